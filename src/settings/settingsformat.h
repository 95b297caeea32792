// The settings file's format: the three leg names and the six starting quotes, one per line.
//
// Nine values in a fixed order (names 1-3, bids 1-3, asks 1-3), each ended by CR LF, in the
// system's 8-bit encoding. Values are text and are never checked or converted here.
#pragma once

#include "engine/quoteboard.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>

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

    // From the nine values in file order.
    static SettingsRecord fromValues(const QStringList &values);
    // The values in file order: names 1-3, bids 1-3, asks 1-3.
    [[nodiscard]] QStringList values() const;
};

struct SettingsRead {
    bool present = false; // a file of that name exists and is not a folder
    QStringList values;   // the nine values in file order; one not read holds its built-in text
    QStringList problems; // what was not read and why, for the user; empty when all nine were

    [[nodiscard]] bool whole() const { return problems.isEmpty(); }
};

// Reads the first nine fields and nothing after them:
// - an unquoted field runs to the next comma or line end (LF, CRs and the LF after them, or a
//   lone CR), and the blanks (spaces, tabs) around it are not part of the value; an empty line
//   is an empty value;
// - a field starting with a double quote (after blanks) runs to the next double quote, commas
//   and line breaks included; what follows the closing quote up to the next comma or line end
//   is dropped.
// Every character is a value's own, control characters included. A value that cannot be taken
// (not text in the system encoding, longer than a text box holds, quotes never closed) costs
// itself only: reading goes on after it (after the opening quote's line for unclosed quotes).
// At most a few megabytes are read, so that any file is answered at once. A file that was not
// written as a settings file is not read whole, though its values are read as above: one that
// starts with a byte-order mark, holds a NUL byte in what is read, or ends its lines in more than
// one way (LF, lone CR, CRs and a LF). present is left false.
SettingsRead readSettings(QIODevice &device);

struct EncodedSettings {
    QByteArray bytes;
    QString problem; // empty when the bytes hold every value
};

// The file's bytes for the values: each followed by CR LF, in the system encoding without a
// byte-order mark. A value holding a comma, a line break, or blanks at either end is written in
// double quotes, which the reader takes whole; every other value is written exactly as it is.
// The first value is quoted too where it starts with a byte-order mark. What makes the bytes
// impossible: a value that would need quotes but holds a double quote, one that starts with a
// double quote, a NUL, a character the system encoding lacks, or a value longer than the reader
// takes back.
EncodedSettings encodeSettings(const QStringList &values);

} // namespace orbisk
