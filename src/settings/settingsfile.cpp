#include "settings/settingsfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
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
        std::error_code error;
        const std::filesystem::path target = std::filesystem::read_symlink(nameOf(at).constData(), error);
        if (hops == 40 || error)
            return {
                {},
                FileText::withReason(QT_TRANSLATE_NOOP("SettingsFile", "its links cannot be followed (%1)"),
                                     hops == 40 ? ELOOP : error.value())};
        const QString link = QFile::decodeName(QByteArray::fromStdString(target.native()));
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
            entry.ownerId() == ::geteuid() && entry.lastModified() < stale)
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
    QFile in;
    const int fd = openRegular(file);
    if (fd < 0 || !in.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return fd < 0 ? errno : EIO;
    Temporary out = makeTemporary(file);
    int error = out.error;
    while (error == 0 && !in.atEnd()) {
        const QByteArray block = in.read(1 << 16);
        error = block.isEmpty() ? EIO : writeAll(out.fd, block.constData(), block.size());
    }
    in.close();
    if (out.fd < 0)
        return error;
    if (error == 0 && ::fchmod(out.fd, mode) != 0)
        error = errno;
    const int closed = syncAndClose(out.fd);
    error = error != 0 ? error : closed;
    if (error == 0 && ::renameat2(AT_FDCWD, nameOf(out.path).constData(), AT_FDCWD, nameOf(copy).constData(),
                                  RENAME_NOREPLACE) != 0) {
        error = errno;
        // A file system that cannot refuse to replace (some FUSE ones): the name is claimed
        // with a new empty file first, which only this rename then replaces.
        const int claim = error == EINVAL ? ::open(nameOf(copy).constData(),
                                                   O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600)
                                          : -1;
        if (claim >= 0 && ::close(claim) == 0)
            error = ::rename(nameOf(out.path).constData(), nameOf(copy).constData()) == 0 ? 0 : errno;
        else if (error == EINVAL)
            error = errno;
    }
    if (error != 0)
        ::unlink(nameOf(out.path).constData());
    return error;
}

// Files larger than a settings file can be are never compared byte by byte.
constexpr qint64 largestCompared = 8 << 20;

// keptCopyName for the content of the regular file at content, under the names of file.
CopyName copyNameFor(const QString &file, const QString &content)
{
    struct stat original {};
    if (::stat(nameOf(content).constData(), &original) != 0 || !S_ISREG(original.st_mode))
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
        // A second name of the content itself is one once the file is replaced; any other second
        // name is not a copy of its own.
        const bool itself = status.st_dev == original.st_dev && status.st_ino == original.st_ino;
        if (S_ISREG(status.st_mode) && status.st_nlink == (itself ? 2 : 1) &&
            status.st_size == original.st_size &&
            (itself || (status.st_size <= largestCompared && sameBytes(copy, content))))
            return {copy, {}};
    }
    if (!free.isEmpty())
        return {free, {}};
    return {{}, FileText::tr("no copy of it could be kept: too many copies are kept already")};
}

// Whether copyNameFor's name is a copy that holds the bytes already, not a free name.
bool keptAlready(const CopyName &name)
{
    struct stat status {};
    return !name.path.isEmpty() && ::lstat(nameOf(name.path).constData(), &status) == 0;
}

// Whether the file reads whole with the known values: replacing it loses nothing the caller has
// not got.
bool holds(const QString &file, const std::optional<QStringList> &known)
{
    const SettingsRead read = known ? readSettings(file) : SettingsRead{};
    return known && read.whole() && read.values == *known;
}

struct Kept {
    QString made;  // a name made for the copy, to be taken back if the save fails
    QString error; // why the bytes could not be kept
};

// Keeps the content of the regular file at content under copyNameFor's name beside file: a
// second name where it has no other, so that it is the bytes' only name once the content is
// replaced or removed; otherwise, or where the file system has no second names, a copy.
Kept keepBeside(const QString &file, const QString &content)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const CopyName name = copyNameFor(file, content);
        struct stat status {};
        if (!name.error.isEmpty() || ::stat(nameOf(content).constData(), &status) != 0)
            return {{}, name.error};
        if (keptAlready(name))
            return {};
        int error = EMLINK;
        if (status.st_nlink == 1)
            error = ::link(nameOf(content).constData(), nameOf(name.path).constData()) == 0 ? 0 : errno;
        if (error != 0 && error != EEXIST)
            error = copyInto(content, name.path, (status.st_mode & 07777) | S_IRUSR);
        if (error == 0)
            return {name.path, {}};
        if (error != EEXIST) // else the name was taken meanwhile: look again
            return {{},
                    FileText::withReason(
                        QT_TRANSLATE_NOOP("SettingsFile", "no copy of it could be kept (%1)"), error)};
    }
    return {{}, FileText::tr("no copy of it could be kept: too many copies are kept already")};
}

// Bytes no one could read when they were kept (mode 000) could not be compared with the copies
// already kept; now that the copy is readable, it goes where an earlier one holds the same bytes.
void dropIfKeptBefore(const QString &file, const QString &copy)
{
    const CopyName earlier = copyNameFor(file, copy);
    if (earlier.path != copy && keptAlready(earlier))
        ::unlink(nameOf(copy).constData());
}

struct Swap {
    int error = 0;
    QString kept; // why something that had to be kept could not be
};

// Puts the temporary file in the target's place, keeping what the target holds unless it holds
// the known values. What is looked at is looked at again after the swap: another save may have
// come in between, and its content is kept too.
Swap swapIn(const QString &temporary, const QString &target, const std::optional<QStringList> &known)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        struct stat looked {};
        if (::lstat(nameOf(target).constData(), &looked) != 0) {
            // Nothing to keep; a file someone makes meanwhile is not replaced but looked at.
            if (::renameat2(AT_FDCWD, nameOf(temporary).constData(), AT_FDCWD, nameOf(target).constData(),
                            RENAME_NOREPLACE) == 0)
                return {};
            if (errno == EEXIST)
                continue;
            return {errno == EINVAL &&
                            ::rename(nameOf(temporary).constData(), nameOf(target).constData()) == 0
                        ? 0
                        : errno,
                    {}};
        }
        if (!S_ISREG(looked.st_mode))
            return {EEXIST, FileText::notASettingsFile()};
        const Kept kept = holds(target, known) ? Kept{} : keepBeside(target, target);
        if (!kept.error.isEmpty())
            return {0, kept.error};
        if (::renameat2(AT_FDCWD, nameOf(temporary).constData(), AT_FDCWD, nameOf(target).constData(),
                        RENAME_EXCHANGE) != 0) {
            // A file system that cannot swap: replaced, the look and the rename a moment apart.
            const int error =
                errno == EINVAL && ::rename(nameOf(temporary).constData(), nameOf(target).constData()) == 0
                    ? 0
                    : errno;
            if (error != 0 && !kept.made.isEmpty())
                ::unlink(nameOf(kept.made).constData());
            return {error, {}};
        }
        if (!kept.made.isEmpty()) // now a file of its own, which its owner can read
            ::chmod(nameOf(kept.made).constData(), (looked.st_mode & 07777) | S_IRUSR);
        // The temporary name now holds what was replaced: what was looked at, whose bytes are
        // kept where they had to be, or what another save put there meanwhile.
        struct stat swapped {};
        const bool meanwhile = ::lstat(nameOf(temporary).constData(), &swapped) == 0 &&
                               (swapped.st_dev != looked.st_dev || swapped.st_ino != looked.st_ino);
        const Kept also = meanwhile && !holds(temporary, known) ? keepBeside(target, temporary) : Kept{};
        if (!also.error.isEmpty()) { // put it back: nothing is replaced that cannot be kept
            ::renameat2(AT_FDCWD, nameOf(temporary).constData(), AT_FDCWD, nameOf(target).constData(),
                        RENAME_EXCHANGE);
            return {0, also.error};
        }
        ::unlink(nameOf(temporary).constData());
        if (!kept.made.isEmpty())
            dropIfKeptBefore(target, kept.made);
        return {};
    }
    return {EEXIST, {}};
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

std::optional<QString> writeSettings(const QString &path, const QStringList &values,
                                     const std::optional<QStringList> &known)
{
    const EncodedSettings encoded = encodeSettings(values);
    if (!encoded.problem.isEmpty())
        return encoded.problem;

    const Resolved target = resolveLinks(path);
    if (target.path.isEmpty())
        return target.error;
    struct stat old {};
    const bool exists = ::lstat(nameOf(target.path).constData(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode))
        return FileText::tr("it is a folder");
    if (exists && !S_ISREG(old.st_mode))
        return FileText::notASettingsFile();
    // Links through linked folders count towards the system's limit too: what it cannot follow
    // would be saved to where the next start cannot read it.
    struct stat followed {};
    if (::stat(nameOf(path).constData(), &followed) != 0 && errno == ELOOP)
        return FileText::withReason(QT_TRANSLATE_NOOP("SettingsFile", "its links cannot be followed (%1)"),
                                    ELOOP);
    if (!rootMayUse(path) || !rootMayUse(target.path))
        return FileText::anotherUsers();

    const QString folder = QFileInfo(target.path).path();
    Temporary temporary = makeTemporary(target.path);
    if (temporary.fd < 0 && temporary.error == ENOENT)
        return FileText::tr("its folder %1 does not exist").arg(QDir::toNativeSeparators(folder));
    if (temporary.fd < 0)
        return FileText::withReason(
            QT_TRANSLATE_NOOP("SettingsFile", "its folder does not let a new file be made (%1)"),
            temporary.error);
    // The file keeps its permissions, but is always readable by its owner, who would otherwise
    // lose the values just saved; a new one gets the user's usual ones (0666 less umask). A file
    // system without permission bits has none to keep.
    int error = exists && ::fchmod(temporary.fd, (old.st_mode & 07777) | S_IRUSR) != 0 && errno != ENOSYS &&
                        errno != EOPNOTSUPP
                    ? errno
                    : 0;
    if (error == 0)
        error = writeAll(temporary.fd, encoded.bytes.constData(), encoded.bytes.size());
    const int closed = syncAndClose(temporary.fd);
    const Swap swap = error == 0 && closed == 0 ? swapIn(temporary.path, target.path, known) : Swap{};
    error = error != 0 ? error : closed != 0 ? closed : swap.error;
    if (error != 0 || !swap.kept.isEmpty()) {
        ::unlink(nameOf(temporary.path).constData());
        if (!swap.kept.isEmpty() && swap.error == 0)
            return FileText::tr("what it holds was not read whole, or changed since it was read, and %1")
                .arg(swap.kept);
        return swap.kept.isEmpty() ? qt_error_string(error) : swap.kept;
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
                                    const std::optional<QStringList> &known)
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
        const int error = !rootMayUse(next)                              ? EACCES
                          : !S_ISDIR(status.st_mode)                     ? ENOTDIR
                          : ::mkdir(nameOf(next).constData(), 0777) != 0 ? errno
                                                                         : 0;
        if (error != 0)
            return FileText::tr("its folder %1 cannot be created (%2)")
                .arg(QDir::toNativeSeparators(next), qt_error_string(error));
        ::stat(nameOf(next).constData(), &status);
    }
    return writeSettings(location.writePath, values, known);
}

CopyName keptCopyName(const QString &path)
{
    const QString file = resolveLinks(path).path;
    return file.isEmpty() ? CopyName{} : copyNameFor(file, file);
}

} // namespace orbisk
