#include "shell/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace orbisk {
namespace {

class CommandLine {
    Q_DECLARE_TR_FUNCTIONS(CommandLine)

public:
    static std::optional<CommandLineAnswer> read(const QStringList &arguments);
};

std::optional<CommandLineAnswer> CommandLine::read(const QStringList &arguments)
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
        return CommandLineAnswer{
            2, tr("%1: %2\nTry '%1 --help' for more information.\n").arg(program, parser.errorText())};
    }
    if (!parser.positionalArguments().isEmpty()) {
        return CommandLineAnswer{2,
                                 tr("%1: unexpected argument '%2'\nTry '%1 --help' for more information.\n")
                                     .arg(program, parser.positionalArguments().first())};
    }
    if (parser.isSet(help)) {
        return CommandLineAnswer{
            0, tr("Usage: %1 [options]\n"
                  "Watches three currency-pair quotes for a triangular-arbitrage opportunity.\n\n"
                  "Options:\n"
                  "  -h, --help  Shows this help and exits.\n"
                  "  --version   Shows the version and exits.\n\n"
                  "Qt's own options, such as -platform and -style, are accepted too.\n"
                  "The settings file is orbisk.set next to the program or, where that folder\n"
                  "cannot be written, ~/.config/orbisk/orbisk.set.\n")
                   .arg(program)};
    }
    if (parser.isSet(version)) {
        return CommandLineAnswer{0, QStringLiteral("Orbisk %1\n").arg(QStringLiteral(ORBISK_VERSION))};
    }
    return std::nullopt;
}

} // namespace

std::optional<CommandLineAnswer> readCommandLine(const QStringList &arguments)
{
    return CommandLine::read(arguments);
}

} // namespace orbisk
