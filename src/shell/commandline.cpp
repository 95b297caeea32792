#include "shell/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

namespace orbisk {
namespace {

const QString program = QStringLiteral("orbisk");
const QString endOfOptions = QStringLiteral("--");

// The program's own options; any other may be Qt's.
struct OwnOptions {
    QCommandLineParser parser;
    const QCommandLineOption help{QStringList{QStringLiteral("h"), QStringLiteral("help")}};
    const QCommandLineOption version{QStringLiteral("version")};

    OwnOptions()
    {
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOption(help);
        parser.addOption(version);
    }
};

// Control characters escaped, a line break as \n, so that what is wrong stays on one line.
QString oneLine(const QString &text)
{
    QString line;
    for (const QChar c : text) {
        if (c == u'\n')
            line += QStringLiteral("\\n");
        else if (c.category() == QChar::Other_Control)
            line += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            line += c;
    }
    return line;
}

class CommandLine {
    Q_DECLARE_TR_FUNCTIONS(CommandLine)

public:
    static QString usage(const QString &settingsFile)
    {
        return tr("Usage: %1 [options]\n"
                  "Watches three currency-pair quotes for a triangular-arbitrage opportunity.\n\n"
                  "Options:\n"
                  "  -h, --help  Shows this help and exits.\n"
                  "  --version   Shows the version and exits.\n\n"
                  "Qt's own options, such as -platform, -style and, on X11, -geometry, are\n"
                  "accepted too. Settings are saved in %2.\n")
            .arg(program, QDir::toNativeSeparators(settingsFile));
    }
    static QString wrong(const QString &what)
    {
        return tr("%1: %2\nTry '%1 --help' for more information.\n").arg(program, oneLine(what));
    }
    static QString unknownOption(const QString &option) { return tr("Unknown option '%1'.").arg(option); }
    static QString unexpected(const QString &argument)
    {
        return tr("unexpected argument '%1'").arg(argument);
    }
};

} // namespace

std::optional<CommandLineAnswer> readCommandLine(const QStringList &arguments, const QString &settingsFile)
{
    const qsizetype end = arguments.indexOf(endOfOptions, 1);
    // Ours take no value: one given a value is an error in the parser's words, --help or not. Each
    // is parsed alone, since the parser's error for the whole line may be about Qt's options.
    for (const QString &argument : arguments.mid(1, end < 0 ? -1 : end - 1)) {
        OwnOptions alone;
        if (!alone.parser.parse({program, argument}) && alone.parser.unknownOptionNames().isEmpty())
            return CommandLineAnswer{2, CommandLine::wrong(alone.parser.errorText())};
    }
    OwnOptions own;
    own.parser.parse(arguments); // options it does not know may be Qt's: they are judged after Qt
    if (own.parser.isSet(own.help))
        return CommandLineAnswer{0, CommandLine::usage(settingsFile)};
    if (own.parser.isSet(own.version))
        return CommandLineAnswer{0, QStringLiteral("Orbisk %1\n").arg(QStringLiteral(ORBISK_VERSION))};
    // The program takes no arguments, and Qt would take its options even after "--".
    if (end >= 0 && end + 1 < arguments.size())
        return CommandLineAnswer{2, CommandLine::wrong(CommandLine::unexpected(arguments[end + 1]))};
    return std::nullopt;
}

std::optional<CommandLineAnswer> readLeftoverArguments(const QStringList &arguments)
{
    if (arguments.size() < 2 || arguments.mid(1) == QStringList{endOfOptions})
        return std::nullopt;
    const QString &first = arguments[1];
    return CommandLineAnswer{2, CommandLine::wrong(first.startsWith(u'-') ? CommandLine::unknownOption(first)
                                                                          : CommandLine::unexpected(first))};
}

} // namespace orbisk
