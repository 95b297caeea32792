#include "settings/settingslocation.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orbisk {
namespace {

const QString fileName = QStringLiteral("orbisk.set");

QString userFileIn(const QString &configFolder)
{
    return QDir(configFolder).filePath(QStringLiteral("orbisk/") + fileName);
}

bool runAsRoot()
{
    return ::geteuid() == 0;
}

bool canWrite(const QString &folder)
{
    // Asked with the effective rights: root that gave up overriding permissions cannot write
    // there, whatever access() says.
    return ::faccessat(AT_FDCWD, QFile::encodeName(folder).constData(), W_OK, AT_EACCESS) == 0 &&
           rootMayUse(folder);
}

// $HOME where it is an absolute path, else the user database's home. Run as root, always
// root's own: "sudo -E" keeps the user's HOME, and root's files there would be beyond that
// user's reach. Empty when neither is known.
QString homeFolder()
{
    QString home = qEnvironmentVariable("HOME");
    if (!runAsRoot() && QDir::isAbsolutePath(home))
        return home;
    const passwd *user = ::getpwuid(::geteuid());
    const QString known = user ? QFile::decodeName(user->pw_dir) : QString();
    return QDir::isAbsolutePath(known) ? known : QString();
}

} // namespace

SettingsPlaces currentSettingsPlaces()
{
    SettingsPlaces places;
    // Known before the application object exists, for --help.
    places.programFolder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    places.installed =
        QFileInfo(places.programFolder + QStringLiteral("/../share/applications/orbisk.desktop")).isFile();
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    const QString home = homeFolder();
    if (QDir::isAbsolutePath(configHome) && rootMayUse(configHome))
        places.userConfigFolder = QDir::cleanPath(configHome);
    else if (!home.isEmpty())
        places.userConfigFolder = QDir::cleanPath(home + QStringLiteral("/.config"));
    for (const QString &folder : qEnvironmentVariable("XDG_CONFIG_DIRS").split(u':', Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(folder))
            places.systemConfigFolders << folder;
    }
    if (places.systemConfigFolders.isEmpty())
        places.systemConfigFolders << QStringLiteral("/etc/xdg");
    return places;
}

QString SettingsLocation::readPath() const
{
    for (const QString &path : readPaths) {
        const QFileInfo file(path);
        if (file.exists() && !file.isDir() && rootMayUse(path))
            return path;
    }
    return writePath;
}

bool rootMay(const struct stat &status)
{
    return status.st_uid == 0 && !(S_ISDIR(status.st_mode) && (status.st_mode & (S_IWGRP | S_IWOTH)) &&
                                   !(status.st_mode & S_ISVTX));
}

bool rootMayUse(const QString &path)
{
    if (!runAsRoot())
        return true;
    const auto rootsAlone = [](QString at) {
        for (struct stat status{};; at = QFileInfo(at).path()) {
            // What cannot be looked at may be anyone's: only a part not there yet is root's.
            if (::lstat(QFile::encodeName(at).constData(), &status) != 0 ? errno != ENOENT && errno != ENOTDIR
                                                                         : !rootMay(status))
                return false;
            if (at == QFileInfo(at).path())
                return true;
        }
    };
    QString existing = QFileInfo(path).absoluteFilePath();
    while (!QFileInfo::exists(existing) && existing != QFileInfo(existing).path())
        existing = QFileInfo(existing).path();
    return rootsAlone(QFileInfo(path).absoluteFilePath()) &&
           rootsAlone(QFileInfo(existing).canonicalFilePath());
}

SettingsLocation settingsLocation(const SettingsPlaces &places)
{
    const QString programFile = QDir(places.programFolder).filePath(fileName);
    if (places.userConfigFolder.isEmpty()) // no home: nowhere else to go
        return {{programFile}, programFile};
    const QString userFile = userFileIn(places.userConfigFolder);
    if (!places.installed) {
        if (canWrite(places.programFolder))
            return {{programFile}, programFile};
        return {{userFile, programFile}, userFile};
    }
    SettingsLocation location{{userFile}, userFile};
    for (const QString &folder : places.systemConfigFolders)
        location.readPaths << userFileIn(folder);
    location.readPaths << programFile;
    return location;
}

SettingsLocation settingsLocation()
{
    return settingsLocation(currentSettingsPlaces());
}

} // namespace orbisk
