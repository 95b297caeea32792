// The command line: --help and --version, and Qt's own options.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace orbisk {

// What to print and the exit status, for a command line that ends the program at once.
struct CommandLineAnswer {
    int status;   // 0 after --help or --version (printed on standard output), 2 on an error
    QString text; // the usage, the version, or what is wrong (for standard error)
};

// Reads the arguments (the program's name first) before any window exists, so that --help and
// --version work without a display. The usage names settingsFile, where settings are saved.
// --help=x and the like are errors, as is anything after "--", which ends the options.
// Returns nothing when the program should start; every other argument is Qt's to take.
std::optional<CommandLineAnswer> readCommandLine(const QStringList &arguments, const QString &settingsFile);

// What is left of the arguments once Qt has taken out its own options (X11's -geometry, -title
// and -name among them, where X11 is the platform), the program's name first: anything left but
// a closing "--" is an error.
std::optional<CommandLineAnswer> readLeftoverArguments(const QStringList &arguments);

} // namespace orbisk
