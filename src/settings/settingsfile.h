// The settings file on disk: reading it safely, replacing it atomically, and keeping the bytes
// of a file that was not read whole before anything is saved over it.
#pragma once

#include "settings/settingsformat.h"
#include "settings/settingslocation.h"

#include <QString>

#include <optional>

namespace orbisk {

// Reads the file at path by the rules of readSettings(QIODevice &). A missing file, or a
// folder of that name, is absent: the built-in values and no problem. A FIFO, socket or device
// of that name is present but not a settings file, and is never opened in a way that could
// block.
SettingsRead readSettings(const QString &path);

// Replaces the file with the values' bytes, atomically: a new file beside it is written, synced
// and renamed over it, so the file is always the old or the new content whole. A symbolic link
// is followed. Where a new file cannot be made (a folder that refuses new files, a FIFO of that
// name), nothing is written. After a successful save, the program's own temporary files that
// saves killed part-way left beside the file, untouched for a minute, are removed; nothing
// else is. Returns what went wrong, or nothing.
std::optional<QString> writeSettings(const QString &path, const QStringList &values);

// writeSettings to the location's file, creating its folder where needed.
std::optional<QString> saveSettings(const SettingsLocation &location, const QStringList &values);

struct KeptCopy {
    QString path;  // the copy beside the file, holding its bytes as they are now
    QString error; // why no copy could be kept; empty when one was
};

// Keeps the file's present bytes beside it as "<name>.unread" ("<name>.unread-2", ... where
// that name holds something else). A copy that already holds this very file is used again, so
// repeated calls make one copy. Nothing is overwritten. Neither path nor error is set where
// there is no regular file to keep.
KeptCopy keepCopy(const QString &path);

} // namespace orbisk
