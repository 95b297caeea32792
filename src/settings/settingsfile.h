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

// What a save does with the content it replaces.
enum class Replaced {
    Drop, // content the program read whole, or saved itself
    Keep, // anything else: its bytes are kept beside the file first (see keptCopyName)
};

// Replaces the file with the values' bytes, atomically: a new file beside it is written, synced
// and renamed over it, and the folder is synced, so the file is always the old or the new
// content whole. Symbolic links are followed as the system follows them and stay links: the
// file at the end of the chain is replaced. The new file has the old one's permission bits,
// readable by its owner, or the user's usual ones. Content to keep is linked to its copy's name
// just before the rename (copied where the file system has no second names, or the file has
// one already), so that the copy is a file of its own once the save is done. Where anything
// fails, nothing is changed. Run as root, links, files and folders another user owns are left
// alone. After a successful save, the program's own temporary files that killed saves left
// beside the file, untouched for a minute, are removed; nothing else is. Returns what went
// wrong, or nothing.
std::optional<QString> writeSettings(const QString &path, const QStringList &values, Replaced replaced);

// writeSettings to the location's file, creating its folder where needed.
std::optional<QString> saveSettings(const SettingsLocation &location, const QStringList &values,
                                    Replaced replaced);

struct CopyName {
    QString path;  // where the file's bytes are kept, or would be
    QString error; // why no name can take them; empty when one can
};

// The name under which the present bytes of the file at path (after its links) are kept: a
// regular file named "<name>.unread" or "<name>.unread-N" (N up to 99) that already holds
// exactly those bytes and has no other name, or else the first of those names that is free.
// Any other entry under such a name is left alone.
CopyName keptCopyName(const QString &path);

} // namespace orbisk
