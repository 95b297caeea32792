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
// file at the end of the chain is replaced. The new file has the old one's permission bits,
// readable by its owner, or the user's usual ones.
//
// What the file holds at the moment it is replaced is kept beside it first, unless it reads whole
// with the known values (what the caller read, or saved, itself): see keptCopyName. The copy is a
// second name made just before the swap where it is then the bytes' only name, else a copy; it
// is a file of its own once the save is done, and what another save put there meanwhile is kept
// the same way.
//
// Where anything fails, nothing is changed. Run as root, what another user owns is left alone
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
// kept: a regular file named "<name>.unread" or "<name>.unread-N" (N up to 99) that already holds
// exactly those bytes and has no other name once the file is replaced, or else the first of
// those names that is free. Any other entry under such a name is left alone. Files larger than a
// settings file can be are never compared, so that a hostile one costs no time.
CopyName keptCopyName(const QString &path);

} // namespace orbisk
