// The settings file: the three leg names and the six starting quotes, one per line.
//
// Nine values in a fixed order (names 1-3, bids 1-3, asks 1-3), each ended by CR LF, in the
// system's 8-bit encoding. Values are text and are never checked or converted here.
#pragma once

#include <QString>
#include <QStringList>

class QIODevice;

#include <optional>

namespace orbisk {

constexpr int settingsValueCount = 9;

// The dialog's initial texts, used wherever the file supplies nothing.
const QStringList &initialSettings();

// "orbisk.set" in the directory of the running executable.
QString settingsFilePath();

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

// Writes the nine values, each followed by CR LF, in the system encoding without a byte-order
// mark. A value holding a comma, a line break, or blanks at either end is written in double
// quotes, which the reader takes whole; every other value is written exactly as it is.
// The file is replaced atomically (a temporary file renamed over it); where the directory
// allows no new file, the file is rewritten in place. Returns what went wrong, or nothing.
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
