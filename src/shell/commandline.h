// The command line: --help, --version, and Qt's own options.
#pragma once

#include <QStringList>

#include <optional>

namespace orbisk {

// Reads the arguments (the program's name first) before any window exists, so that --help and
// --version work without a display. Prints the usage, the version or what is wrong, and then
// returns the exit status; returns nothing when the program should start. Qt's own options
// (-platform, -style, ...) are left to Qt.
std::optional<int> handleCommandLine(const QStringList &arguments);

} // namespace orbisk
