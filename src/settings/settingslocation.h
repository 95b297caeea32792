// Where the settings file lies.
//
// A copy that is not installed (the build tree, a portable folder) keeps "orbisk.set" next to
// the executable, or the user's file where that folder cannot be written. An installed copy
// (the executable in a bin folder whose share folder holds the program's desktop entry) writes
// only the user's file, whoever runs it; when the user has none it reads the administrator's
// defaults, then a file an earlier release may have left next to the program. Run as root, a
// program folder another user owns counts as one that cannot be written.
#pragma once

#include <QString>
#include <QStringList>

#include <sys/stat.h>

namespace orbisk {

struct SettingsPlaces {
    QString programFolder;
    bool installed = false;
    QString userConfigFolder;        // $XDG_CONFIG_HOME: where the user's file goes; empty without a home
    QStringList systemConfigFolders; // $XDG_CONFIG_DIRS: administrators' defaults, most important first
};

// The places for the running executable and the user who runs it. A relative or empty
// $XDG_CONFIG_HOME or $XDG_CONFIG_DIRS entry is ignored, as the XDG rules say, and so is a
// $HOME that is not an absolute path: the user database's home is used instead. Run as root,
// the home is always root's own, and a $XDG_CONFIG_HOME that root does not own is ignored.
SettingsPlaces currentSettingsPlaces();

struct SettingsLocation {
    QStringList readPaths; // in order of preference; the first present one is read
    QString writePath;     // the file saves go to

    // The file to read now: the first that is present (exists and is not a folder), or the
    // file saves go to when none is.
    [[nodiscard]] QString readPath() const;
};

SettingsLocation settingsLocation(const SettingsPlaces &places);

// The location for the running executable.
SettingsLocation settingsLocation();

// False where the program runs as root and path, or a folder or link on the way to it (as
// written, or where its links lead), belongs to another user or is a folder another user may
// change (see rootMay): root makes, replaces and reads nothing there, so that it leaves no file
// beyond that user's reach and follows no link that user placed.
bool rootMayUse(const QString &path);

// Whether root may use what has this status: its own, and for a folder, one where no other user
// may rename or remove its entries (none may write it, or it is sticky).
bool rootMay(const struct stat &status);

} // namespace orbisk
