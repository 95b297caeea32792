#include "shell/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace orbisk {
namespace {

class CommandLine {
    Q_DECLARE_TR_FUNCTIONS(CommandLine)

public:
    static std::optional<int> handle(const QStringList &arguments);
};

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

std::optional<int> CommandLine::handle(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOption(help);
    parser.addOption(version);

    // QApplication takes these from the command line itself; the usage leaves them out.
    for (const char *name :
         {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
          "qwindowtitle", "style", "stylesheet", "display", "session", "qmljsdebugger"})
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), {}, QStringLiteral("value")));
    for (const char *name : {"reverse", "widgetcount", "nograb", "dograb", "sync"})
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));

    const QString program = QStringLiteral("orbisk");
    if (!parser.parse(arguments)) {
        print(stderr, tr("%1: %2\nTry '%1 --help' for more information.\n").arg(program, parser.errorText()));
        return 2;
    }
    if (!parser.positionalArguments().isEmpty()) {
        print(stderr, tr("%1: unexpected argument '%2'\nTry '%1 --help' for more information.\n")
                          .arg(program, parser.positionalArguments().first()));
        return 2;
    }
    if (parser.isSet(help)) {
        print(stdout, tr("Usage: %1 [options]\n"
                         "Watches three currency-pair quotes for a triangular-arbitrage opportunity.\n\n"
                         "Options:\n"
                         "  -h, --help  Shows this help and exits.\n"
                         "  --version   Shows the version and exits.\n\n"
                         "Qt's own options, such as -platform and -style, are accepted too.\n"
                         "The settings file is orbisk.set next to the program or, where that folder\n"
                         "cannot be written, ~/.config/orbisk/orbisk.set.\n")
                          .arg(program));
        return 0;
    }
    if (parser.isSet(version)) {
        print(stdout, QStringLiteral("Orbisk %1\n").arg(QStringLiteral(ORBISK_VERSION)));
        return 0;
    }
    return std::nullopt;
}

} // namespace

std::optional<int> handleCommandLine(const QStringList &arguments)
{
    return CommandLine::handle(arguments);
}

} // namespace orbisk
