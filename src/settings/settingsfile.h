// The settings file: the three leg names and the six starting quotes, one per line.
//
// Nine values in a fixed order (names 1-3, bids 1-3, asks 1-3), each ended by CR LF, in the
// system's 8-bit encoding. Values are text and are never checked or converted here.
#pragma once

#include "engine/quoteboard.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>

class QIODevice;

namespace orbisk {

constexpr int settingsValueCount = 3 * legCount;

// The built-in values in file order, used wherever the file supplies nothing.
const QStringList &initialSettings();

// The nine values by meaning; index 0 is leg 1.
struct SettingsRecord {
    std::array<QString, legCount> names;
    std::array<QString, legCount> bids;
    std::array<QString, legCount> asks;

    // From values in file order; a value that is missing keeps its built-in text.
    static SettingsRecord fromValues(const QStringList &values);
    // The values in file order: names 1-3, bids 1-3, asks 1-3.
    [[nodiscard]] QStringList values() const;

    friend bool operator==(const SettingsRecord &, const SettingsRecord &) = default;
};

// Where the settings file lies: "orbisk.set" next to the executable, or, where the program's
// folder cannot be written (an installed copy), the user's own file.
struct SettingsLocation {
    QString programFile;   // next to the executable: read when there is no user file
    QString userFile = {}; // empty where the program's folder can be written

    // The file to read now: the user's file if it exists, else the program's.
    [[nodiscard]] QString readPath() const;
    // The file saves go to.
    [[nodiscard]] QString writePath() const { return userFile.isEmpty() ? programFile : userFile; }
};

// The location for the program's folder; the user's file is orbisk/orbisk.set in the user's
// configuration folder ($XDG_CONFIG_HOME, by default ~/.config).
SettingsLocation settingsLocation(const QString &programFolder, const QString &userConfigFolder);

// The location for the running executable.
SettingsLocation settingsLocation();

struct SettingsRead {
    bool present = false; // a regular file of that name exists
    QStringList values;   // the values read, in file order; fewer than nine on a problem
    QString problem;      // what was wrong, for the user; empty when all nine were read
};

// Reads the first nine fields and nothing after them:
// - an unquoted field runs to the next comma or line end (CR LF, or a lone CR or LF), and the
//   blanks (spaces, tabs) around it are not part of the value; an empty line is an empty value;
// - a field starting with a double quote (after blanks) runs to the next double quote, commas
//   and line breaks included; what follows the closing quote up to the next comma or line end
//   is dropped.
// Stops at the first problem: a file that cannot be opened or read, fewer than nine fields,
// an unclosed quote, a value longer than a text box holds, or bytes that are not text in the
// system encoding (NUL and other control characters but tab included). A missing file, or a
// directory of that name, is absent: no values and no problem.
SettingsRead readSettings(const QString &path);

// The same rules over a device open for reading; present is left false.
SettingsRead readSettings(QIODevice &device);

// Writes the values to the location's file, creating the user's folder where needed.
std::optional<QString> saveSettings(const SettingsLocation &location, const QStringList &values);

// Writes the nine values, each followed by CR LF, in the system encoding without a byte-order
// mark. A value holding a comma, a line break, or blanks at either end is written in double
// quotes, which the reader takes whole; every other value is written exactly as it is.
// The file is replaced atomically (a temporary file renamed over it); where the directory
// allows no new file, the file is rewritten in place. After a successful save, the temporary
// files that interrupted saves of the same file left behind (its name, a dot and six letters
// or digits, untouched for a minute) are removed. Returns what went wrong, or nothing.
std::optional<QString> writeSettings(const QString &path, const QStringList &values);

struct EncodedSettings {
    QByteArray bytes;
    QString problem; // empty when the bytes hold every value
};

// The file's bytes for the values, or what makes them impossible to store: a value that would
// need quotes but holds a double quote, one that starts with a double quote, or a character
// the system encoding lacks.
EncodedSettings encodeSettings(const QStringList &values);

} // namespace orbisk
