#include "settings/settingsfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orbisk {
namespace {

class FileText {
    Q_DECLARE_TR_FUNCTIONS(SettingsFile)

public:
    static QString notASettingsFile() { return tr("it is a FIFO, socket or device, not a settings file"); }
    static QString withReason(const char *what, int error) { return tr(what).arg(qt_error_string(error)); }
};

QByteArray nameOf(const QString &path)
{
    return QFile::encodeName(path);
}

// The file a symbolic link leads to, so that saving replaces that file and keeps the link.
QString followLinks(const QString &path)
{
    QString target = path;
    for (int hops = 0; hops < 8 && QFileInfo(target).isSymLink(); ++hops)
        target = QFileInfo(target).symLinkTarget();
    return target;
}

// A save writes "<folder>/.<name>.saving-XXXXXX" and renames it over the file. No person names
// a file so, which makes the ones a killed save left behind safe to remove.
QString temporaryPrefix(const QString &name)
{
    return u'.' + name + QStringLiteral(".saving-");
}

QString randomSuffix()
{
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString suffix;
    for (int i = 0; i < 6; ++i)
        suffix += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)]);
    return suffix;
}

// One untouched for a minute belongs to no save still running.
void removeStaleSaves(const QString &path)
{
    const QFileInfo saved(path);
    const QString prefix = temporaryPrefix(saved.fileName());
    const QRegularExpression temporary(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(prefix) + QStringLiteral("[A-Za-z0-9]{6}")));
    const QDateTime stale = QDateTime::currentDateTime().addSecs(-60);
    const QFileInfoList entries =
        saved.dir().entryInfoList({prefix + u'*'}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &entry : entries) {
        if (temporary.match(entry.fileName()).hasMatch() && !entry.isSymLink() &&
            entry.lastModified() < stale)
            QFile::remove(entry.filePath());
    }
}

// Writes all of bytes, syncs and closes; the reason on failure (the descriptor is closed
// either way).
std::optional<QString> writeWhole(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t written =
            ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (written <= 0 && errno != EINTR) {
            const int error = written == 0 ? ENOSPC : errno;
            ::close(fd);
            return qt_error_string(error);
        }
        done += std::max<ssize_t>(written, 0);
    }
    if (::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        return qt_error_string(error);
    }
    if (::close(fd) != 0)
        return qt_error_string(errno);
    return std::nullopt;
}

bool sameFile(const QString &a, const QString &b)
{
    struct stat first {
    }, second{};
    return ::stat(nameOf(a).constData(), &first) == 0 && ::stat(nameOf(b).constData(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

} // namespace

SettingsRead readSettings(const QString &path)
{
    SettingsRead result;
    result.values = initialSettings();
    struct stat status {};
    if (::stat(nameOf(path).constData(), &status) != 0 || S_ISDIR(status.st_mode))
        return result;
    result.present = true;
    // Opened without blocking and checked again once open: a FIFO swapped in between would
    // otherwise hang the window for good.
    const int fd = S_ISREG(status.st_mode)
                       ? ::open(nameOf(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)
                       : -1;
    if (fd < 0 && S_ISREG(status.st_mode)) {
        result.problems << FileText::withReason(QT_TRANSLATE_NOOP("SettingsFile", "it cannot be opened (%1)"),
                                                errno);
        return result;
    }
    if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        result.problems << FileText::notASettingsFile();
        return result;
    }
    QFile file;
    file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    result = readSettings(file);
    result.present = true;
    return result;
}

std::optional<QString> writeSettings(const QString &path, const QStringList &values)
{
    const EncodedSettings encoded = encodeSettings(values);
    if (!encoded.problem.isEmpty())
        return encoded.problem;

    const QString target = followLinks(path);
    struct stat old {};
    const bool exists = ::stat(nameOf(target).constData(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode))
        return FileText::tr("it is a folder");
    if (exists && !S_ISREG(old.st_mode))
        return FileText::notASettingsFile();

    const QFileInfo file(target);
    QString temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = file.dir().filePath(temporaryPrefix(file.fileName()) + randomSuffix());
        fd =
            ::open(nameOf(temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        return FileText::withReason(
            QT_TRANSLATE_NOOP("SettingsFile", "its folder does not let a new file be made (%1)"), errno);
    }
    // The file keeps its permissions; a new one gets the user's usual ones (0666 less umask).
    if (exists)
        ::fchmod(fd, old.st_mode & 07777);
    std::optional<QString> error = writeWhole(fd, encoded.bytes);
    if (!error && ::rename(nameOf(temporary).constData(), nameOf(target).constData()) != 0)
        error = qt_error_string(errno);
    if (error) {
        ::unlink(nameOf(temporary).constData());
        return error;
    }
    removeStaleSaves(target);
    return std::nullopt;
}

std::optional<QString> saveSettings(const SettingsLocation &location, const QStringList &values)
{
    if (!QDir().mkpath(QFileInfo(location.writePath).path()))
        return FileText::tr("its folder cannot be created");
    return writeSettings(location.writePath, values);
}

KeptCopy keepCopy(const QString &path)
{
    const QString file = followLinks(path);
    if (!QFileInfo(file).isFile())
        return {}; // nothing that a save could lose
    for (int number = 1; number < 100; ++number) {
        const QString copy =
            file + QStringLiteral(".unread") + (number > 1 ? u'-' + QString::number(number) : QString());
        if (QFileInfo(copy).exists() || QFileInfo(copy).isSymLink()) {
            if (sameFile(copy, file))
                return {copy, {}};
            continue;
        }
        // A second name for the same bytes costs nothing and keeps them whatever replaces the
        // file; where the file system has no such names, a copy.
        if (::link(nameOf(file).constData(), nameOf(copy).constData()) == 0)
            return {copy, {}};
        const int error = errno;
        if (error == EEXIST)
            continue;
        QFile original(file);
        if (original.copy(copy))
            return {copy, {}};
        return {{},
                FileText::withReason(QT_TRANSLATE_NOOP("SettingsFile", "no copy of it could be kept (%1)"),
                                     error)};
    }
    return {{}, FileText::tr("no copy of it could be kept: too many copies are kept already")};
}

} // namespace orbisk
