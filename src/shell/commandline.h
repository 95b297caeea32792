// The command line: --help, --version, and Qt's own options.
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
// --version work without a display. Returns nothing when the program should start. Qt's own
// options (-platform, -style, ...) are left to Qt.
std::optional<CommandLineAnswer> readCommandLine(const QStringList &arguments);

} // namespace orbisk
