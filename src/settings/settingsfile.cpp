#include "settings/settingsfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orbisk {
namespace {

class FileText {
    Q_DECLARE_TR_FUNCTIONS(SettingsFile)

public:
    static QString notASettingsFile() { return tr("it is a FIFO, socket or device, not a settings file"); }
    static QString anotherUsers()
    {
        return tr("it or its folder belongs to another user, whose files root leaves alone");
    }
    static QString withReason(const char *what, int error) { return tr(what).arg(qt_error_string(error)); }
};

QByteArray nameOf(const QString &path)
{
    return QFile::encodeName(path);
}

// Run as root, the program leaves alone what another user owns: a folder or file it made there
// would be beyond that user's reach, and a link that user placed could lead root's save anywhere.
bool foreignToRoot(const struct stat &status)
{
    return ::geteuid() == 0 && status.st_uid != 0;
}

struct Resolved {
    QString path;  // the file at the end of the links; empty when they cannot be followed
    QString error; // why not
};

// The file path stands for, following its symbolic links as the system does (at most 40), so
// that a save replaces that file and keeps every link.
Resolved resolveLinks(const QString &path)
{
    QString at = path;
    for (int hops = 0;; ++hops) {
        struct stat status {};
        if (::lstat(nameOf(at).constData(), &status) != 0 || !S_ISLNK(status.st_mode))
            return {at, {}};
        if (foreignToRoot(status))
            return {{}, FileText::anotherUsers()};
        char target[PATH_MAX];
        const ssize_t size = ::readlink(nameOf(at).constData(), target, sizeof target);
        if (hops == 40 || size <= 0 || size == sizeof target)
            return {
                {},
                FileText::withReason(QT_TRANSLATE_NOOP("SettingsFile", "its links cannot be followed (%1)"),
                                     hops == 40  ? ELOOP
                                     : size <= 0 ? errno
                                                 : ENAMETOOLONG)};
        const QString link = QFile::decodeName(QByteArray(target, int(size)));
        at = QDir::isAbsolutePath(link) ? link : QFileInfo(at).path() + u'/' + link;
    }
}

// A save writes "<folder>/.<name>.saving-XXXXXX" and renames it into place. No person names a
// file so, which makes the ones a killed save left behind safe to remove.
QString temporaryPrefix(const QString &name)
{
    return u'.' + name + QStringLiteral(".saving-");
}

struct Temporary {
    QString path;
    int fd = -1;
    int error = 0; // errno when no file could be made
};

// A new, empty temporary file beside the given file.
Temporary makeTemporary(const QString &beside)
{
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const QFileInfo file(beside);
    Temporary made;
    for (int attempt = 0; made.fd < 0 && attempt < 100; ++attempt) {
        QString suffix;
        for (int i = 0; i < 6; ++i)
            suffix += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)]);
        made.path = file.dir().filePath(temporaryPrefix(file.fileName()) + suffix);
        made.fd =
            ::open(nameOf(made.path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        made.error = made.fd < 0 ? errno : 0;
        if (made.fd < 0 && made.error != EEXIST)
            break;
    }
    return made;
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

// Writes all of size bytes; the errno on failure (a write that makes no progress is a full disk).
int writeAll(int fd, const char *data, qint64 size)
{
    for (qint64 done = 0; done < size;) {
        const ssize_t written = ::write(fd, data + done, static_cast<size_t>(size - done));
        if (written == 0)
            return ENOSPC;
        if (written < 0 && errno != EINTR)
            return errno;
        done += std::max<ssize_t>(written, 0);
    }
    return 0;
}

// Syncs and closes; the errno on failure (the descriptor is closed either way).
int syncAndClose(int fd)
{
    const int error = ::fsync(fd) != 0 ? errno : 0;
    return ::close(fd) != 0 && error == 0 ? errno : error;
}

// The descriptor of the regular file at path, open for reading without blocking; -1 otherwise.
int openRegular(const QString &path)
{
    const int fd =
        ::open(nameOf(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    struct stat status {};
    if (fd >= 0 && (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

bool sameBytes(const QString &a, const QString &b)
{
    QFile first, second;
    const int fd = openRegular(a);
    if (fd < 0 || !first.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return false;
    const int other = openRegular(b);
    if (other < 0 || !second.open(other, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return false;
    if (first.size() != second.size())
        return false;
    while (!first.atEnd()) {
        const QByteArray block = first.read(1 << 16);
        if (block.isEmpty() || block != second.read(block.size()))
            return false;
    }
    return true;
}

// Copies the file's bytes and permission bits into a new file named copy, which no one may have
// taken meanwhile; the errno on failure. The bytes go to a temporary file first, so that no half
// copy ever bears the copy's name.
int copyInto(const QString &file, const QString &copy, mode_t mode)
{
    const int in = openRegular(file);
    if (in < 0)
        return errno;
    Temporary out = makeTemporary(file);
    int error = out.error;
    char block[1 << 16];
    for (ssize_t size = 0; error == 0 && (size = ::read(in, block, sizeof block)) != 0;)
        error = size > 0 ? writeAll(out.fd, block, size) : errno == EINTR ? 0 : errno;
    ::close(in);
    if (out.fd < 0)
        return error;
    if (error == 0 && ::fchmod(out.fd, mode) != 0)
        error = errno;
    const int closed = syncAndClose(out.fd);
    error = error != 0 ? error : closed;
    if (error == 0 && ::renameat2(AT_FDCWD, nameOf(out.path).constData(), AT_FDCWD, nameOf(copy).constData(),
                                  RENAME_NOREPLACE) != 0) {
        error = errno;
        // A file system that cannot refuse to replace (some FUSE ones) is asked first instead.
        struct stat taken {};
        if (error == EINVAL && ::lstat(nameOf(copy).constData(), &taken) != 0 && errno == ENOENT)
            error = ::rename(nameOf(out.path).constData(), nameOf(copy).constData()) == 0 ? 0 : errno;
    }
    if (error != 0)
        ::unlink(nameOf(out.path).constData());
    return error;
}

struct Kept {
    QString made;  // a name the save made for the copy, to be taken back if the save fails
    QString error; // why the bytes could not be kept
};

// Keeps the bytes of the file that status describes under keptCopyName's name, just before the
// file is replaced.
Kept keepBeside(const QString &file, const struct stat &status)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const CopyName name = keptCopyName(file);
        struct stat taken {};
        if (!name.error.isEmpty())
            return {{}, name.error};
        if (::lstat(nameOf(name.path).constData(), &taken) == 0)
            return {}; // a copy holds these bytes already
        // A second name costs nothing and is the bytes' only name once the file is replaced; a
        // file with other names already, or a file system without them, needs a copy.
        int error = EMLINK;
        if (status.st_nlink == 1)
            error = ::link(nameOf(file).constData(), nameOf(name.path).constData()) == 0 ? 0 : errno;
        if (error != 0 && error != EEXIST)
            error = copyInto(file, name.path, status.st_mode & 07777);
        if (error == 0)
            return {name.path, {}};
        if (error != EEXIST) // else the name was taken meanwhile: look again
            return {{},
                    FileText::withReason(
                        QT_TRANSLATE_NOOP("SettingsFile", "no copy of it could be kept (%1)"), error)};
    }
    return {{}, FileText::tr("no copy of it could be kept: too many copies are kept already")};
}

} // namespace

SettingsRead readSettings(const QString &path)
{
    SettingsRead result;
    result.values = initialSettings();
    struct stat status {};
    const bool found = ::stat(nameOf(path).constData(), &status) == 0;
    if ((!found && (errno == ENOENT || errno == ENOTDIR)) || (found && S_ISDIR(status.st_mode)))
        return result;
    result.present = true;
    if (found && !S_ISREG(status.st_mode)) {
        result.problems << FileText::notASettingsFile();
        return result;
    }
    // Opened without blocking and checked again once open: a FIFO swapped in between would
    // otherwise hang the window for good.
    const int fd = ::open(nameOf(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        result.problems << FileText::withReason(QT_TRANSLATE_NOOP("SettingsFile", "it cannot be opened (%1)"),
                                                errno);
        return result;
    }
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
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

std::optional<QString> writeSettings(const QString &path, const QStringList &values, Replaced replaced)
{
    const EncodedSettings encoded = encodeSettings(values);
    if (!encoded.problem.isEmpty())
        return encoded.problem;

    const Resolved target = resolveLinks(path);
    if (target.path.isEmpty())
        return target.error;
    const QString folder = QFileInfo(target.path).path();
    struct stat old {
    }, folderStatus{};
    const bool exists = ::lstat(nameOf(target.path).constData(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode))
        return FileText::tr("it is a folder");
    if (exists && !S_ISREG(old.st_mode))
        return FileText::notASettingsFile();
    if ((exists && foreignToRoot(old)) ||
        (::stat(nameOf(folder).constData(), &folderStatus) == 0 && foreignToRoot(folderStatus)))
        return FileText::anotherUsers();

    Temporary temporary = makeTemporary(target.path);
    if (temporary.fd < 0 && temporary.error == ENOENT)
        return FileText::tr("its folder %1 does not exist").arg(QDir::toNativeSeparators(folder));
    if (temporary.fd < 0)
        return FileText::withReason(
            QT_TRANSLATE_NOOP("SettingsFile", "its folder does not let a new file be made (%1)"),
            temporary.error);
    // The file keeps its permissions, but is always readable by its owner, who would otherwise
    // lose the values just saved; a new one gets the user's usual ones (0666 less umask).
    int error = exists && ::fchmod(temporary.fd, (old.st_mode & 07777) | S_IRUSR) != 0 ? errno : 0;
    if (error == 0)
        error = writeAll(temporary.fd, encoded.bytes.constData(), encoded.bytes.size());
    const int closed = syncAndClose(temporary.fd);
    error = error != 0 ? error : closed;
    Kept kept;
    if (error == 0 && exists && replaced == Replaced::Keep)
        kept = keepBeside(target.path, old);
    if (error == 0 && kept.error.isEmpty() &&
        ::rename(nameOf(temporary.path).constData(), nameOf(target.path).constData()) != 0)
        error = errno;
    if (error != 0 || !kept.error.isEmpty()) {
        ::unlink(nameOf(temporary.path).constData());
        if (!kept.made.isEmpty())
            ::unlink(nameOf(kept.made).constData());
        if (!kept.error.isEmpty())
            return FileText::tr("what it holds was not read whole, or changed since it was read, and %1")
                .arg(kept.error);
        return qt_error_string(error);
    }
    // The new name lives in the folder: synced too, or a power cut could bring back the old file.
    if (const int fd = ::open(nameOf(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    removeStaleSaves(target.path);
    return std::nullopt;
}

std::optional<QString> saveSettings(const SettingsLocation &location, const QStringList &values,
                                    Replaced replaced)
{
    // Made one level at a time, so that the folder a failure concerns, and why, can be told.
    QStringList missing;
    QString folder = QFileInfo(location.writePath).path();
    struct stat status {};
    while (::stat(nameOf(folder).constData(), &status) != 0) {
        if (errno != ENOENT)
            return FileText::tr("its folder %1 cannot be created (%2)")
                .arg(QDir::toNativeSeparators(folder), qt_error_string(errno));
        missing.prepend(folder);
        folder = QFileInfo(folder).path();
    }
    for (const QString &next : missing) {
        const int error = foreignToRoot(status)                          ? EACCES
                          : !S_ISDIR(status.st_mode)                     ? ENOTDIR
                          : ::mkdir(nameOf(next).constData(), 0777) != 0 ? errno
                                                                         : 0;
        if (error != 0)
            return FileText::tr("its folder %1 cannot be created (%2)")
                .arg(QDir::toNativeSeparators(next), qt_error_string(error));
        ::stat(nameOf(next).constData(), &status);
    }
    return writeSettings(location.writePath, values, replaced);
}

CopyName keptCopyName(const QString &path)
{
    const QString file = resolveLinks(path).path;
    struct stat original {};
    if (file.isEmpty() || ::stat(nameOf(file).constData(), &original) != 0)
        return {{}, {}};
    QString free;
    for (int number = 1; number < 100; ++number) {
        const QString copy =
            file + QStringLiteral(".unread") + (number > 1 ? u'-' + QString::number(number) : QString());
        struct stat status {};
        if (::lstat(nameOf(copy).constData(), &status) != 0) {
            if (free.isEmpty() && errno == ENOENT)
                free = copy;
            continue;
        }
        // A second name of the file itself is one once the file is replaced; any other second
        // name is not a copy of its own.
        const bool itself = status.st_dev == original.st_dev && status.st_ino == original.st_ino;
        if (S_ISREG(status.st_mode) && status.st_nlink == (itself ? 2 : 1) &&
            status.st_size == original.st_size && (itself || sameBytes(copy, file)))
            return {copy, {}};
    }
    if (!free.isEmpty())
        return {free, {}};
    return {{}, FileText::tr("no copy of it could be kept: too many copies are kept already")};
}

} // namespace orbisk
