#include "settings/settingslocation.h"

#include <QDir>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

namespace orbisk {
namespace {

const QString fileName = QStringLiteral("orbisk.set");

QString userFileIn(const QString &configFolder)
{
    return QDir(configFolder).filePath(QStringLiteral("orbisk/") + fileName);
}

bool canWrite(const QString &folder)
{
    // Asked with the effective rights: root that gave up overriding permissions cannot write
    // there, whatever access() says.
    return ::faccessat(AT_FDCWD, QFile::encodeName(folder).constData(), W_OK, AT_EACCESS) == 0;
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
    places.userConfigFolder =
        QDir::isAbsolutePath(configHome) ? configHome : QDir::homePath() + QStringLiteral("/.config");
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
        if (file.exists() && !file.isDir())
            return path;
    }
    return writePath;
}

SettingsLocation settingsLocation(const SettingsPlaces &places)
{
    const QString programFile = QDir(places.programFolder).filePath(fileName);
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
