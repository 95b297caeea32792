// The settings file on disk: reading it safely, replacing it atomically, and keeping the bytes
// a save replaces when the program did not read them whole.
#pragma once

#include "settings/settingsformat.h"
#include "settings/settingslocation.h"

#include <QString>

#include <optional>

namespace orbisk {

// Reads the file at path by the rules of readSettings(QIODevice &). A missing file (a dangling
// link included), or a folder of that name, is absent: the built-in values and no problem. A
// FIFO, socket or device of that name is present but not a settings file, and is never opened
// in a way that could block; a loop of links is present and cannot be opened.
SettingsRead readSettings(const QString &path);

// Replaces the file with the values' bytes, atomically: a new file beside it is written and
// synced, swapped in for the file, and the folder is synced, so the file is always the old or the
// new content whole. Symbolic links are followed as the system follows them and stay links: the
// file at the end of the chain is replaced, and all the rest is done through its folder's
// descriptor. Copies of the program take turns there (a lock on the folder). The new file is born
// readable by its owner alone and gets the old one's permission bits, readable by its owner
// (never set-id bits, nor group bits for another group), before any byte is written; without an
// old one, the user's usual ones.
//
// What the file holds at the moment it is replaced is kept beside it first, unless it reads whole
// with the known values (what the caller read, or saved, itself): see keptCopyName. Bytes that can
// be read are copied into a file of their own, born with the file's mode and synced before it
// takes its name; others (or more than a settings file can hold) are kept by a second name of the
// file. What an editor puts in the file's place between the last look and the swap is kept the
// same way.
//
// Where anything fails, nothing is lost. Run as root, what another user owns is left alone
// (rootMayUse). After a successful save, the program's own temporary files that killed saves
// left beside the file, untouched for a minute, are removed; nothing else is. Returns what went
// wrong, or nothing.
std::optional<QString> writeSettings(const QString &path, const QStringList &values,
                                     const std::optional<QStringList> &known);

// writeSettings to the location's file, creating its folder where needed.
std::optional<QString> saveSettings(const SettingsLocation &location, const QStringList &values,
                                    const std::optional<QStringList> &known);

struct CopyName {
    QString path;  // where the file's bytes are kept, or would be
    QString error; // why no name can take them; empty when one can
};

// The name under which the present bytes of the regular file at path (after its links) are
// kept: the first of the names "<name>.unread", "<name>.unread-N" that is free, unless a regular
// file before it already holds them (the same bytes in a file of its own, or for bytes kept by a
// second name the file itself). Any other entry under such a name is left alone and
// counts towards no limit; at most 99 copies are kept. Files larger than a settings file can be
// are never compared, so that a hostile one costs no time. error says why none can be kept (a
// folder that takes no new file, too many copies).
CopyName keptCopyName(const QString &path);

} // namespace orbisk
