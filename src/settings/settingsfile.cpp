#include "settings/settingsfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace orbisk {
namespace {

class FileText {
    Q_DECLARE_TR_FUNCTIONS(SettingsFile)
};
QString because(const QString &what, int error)
{
    return what.arg(qt_error_string(error));
}
QString notASettingsFile()
{
    return FileText::tr("it is a FIFO, socket or device, not a settings file");
}
QString anotherUsers()
{
    return FileText::tr("it or its folder belongs to another user, whose files root leaves alone");
}
QString noCopy(int error)
{
    return error == EEXIST ? FileText::tr("no copy of it could be kept: too many copies are kept already")
                           : because(FileText::tr("no copy of it could be kept (%1)"), error);
}
QString noNewFile(int error)
{
    return because(FileText::tr("its folder does not let a new file be made (%1)"), error);
}
QString noLinks(int error)
{
    return because(FileText::tr("its links cannot be followed (%1)"), error);
}
// swapIn's word for a file that changed under it: look again.
const QString again = QStringLiteral("again");

QByteArray nameOf(const QString &path)
{
    return QFile::encodeName(path);
}

// A descriptor, closed when it goes.
struct Fd {
    int fd = -1;
    explicit Fd(int opened = -1)
        : fd(opened)
    {
    }
    Fd(Fd &&other) noexcept
        : fd(std::exchange(other.fd, -1))
    {
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    Fd &operator=(Fd &&) = delete;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

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
            return {{}, noLinks(hops == 40 ? ELOOP : error.value())};
        const QString link = QFile::decodeName(QByteArray::fromStdString(target.native()));
        at = QDir::isAbsolutePath(link) ? link : QFileInfo(at).path() + u'/' + link;
    }
}

// Unchanged since it was looked at: the same file, neither written nor cut since.
bool unchanged(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Larger than a settings file can be: kept by a second name rather than copied, never compared
// byte by byte (a hostile file costs no time), and never removed as a leftover of a save.
constexpr off_t largestCopied = 8 << 20;

// All the bytes of a regular file, from its start.
QByteArray bytesOf(int fd)
{
    QFile file;
    return fd >= 0 && file.open(::dup(fd), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle) && file.seek(0)
               ? file.readAll()
               : QByteArray();
}

// The folder one save works in: every look, open, link, rename and unlink goes through its
// descriptor, so that a folder renamed or a link put on the way meanwhile changes nothing of
// what the save does.
struct Folder {
    Fd fd;
    QString path;
    QByteArray name; // the settings file's own name in it

    bool look(const QByteArray &entry, struct stat &status) const
    {
        return ::fstatat(fd.fd, entry.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0;
    }
    [[nodiscard]] Fd openRegular(const QByteArray &entry) const
    {
        Fd file(
            ::openat(fd.fd, entry.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
        struct stat status {};
        return Fd(file.fd >= 0 && ::fstat(file.fd, &status) == 0 && S_ISREG(status.st_mode)
                      ? std::exchange(file.fd, -1)
                      : -1);
    }
    // A kept copy's name: "<name>.unread", then "<name>.unread-2", ...
    [[nodiscard]] QByteArray copyName(int number) const
    {
        return name + ".unread" + (number > 1 ? '-' + QByteArray::number(number) : QByteArray());
    }
    // A save's temporary: "<folder>/.<name>.saving-XXXXXX". No person names a file so, which
    // makes the ones a killed save left behind safe to remove.
    [[nodiscard]] QByteArray temporaryPrefix() const { return '.' + name + ".saving-"; }
};

std::optional<Folder> openFolder(const QString &file, QString &error)
{
    const QFileInfo info(file);
    Folder folder{Fd(::open(nameOf(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
                  info.path(), nameOf(info.fileName())};
    if (folder.fd.fd >= 0)
        return folder;
    error = errno == ENOENT || errno == ENOTDIR
                ? FileText::tr("its folder %1 does not exist").arg(QDir::toNativeSeparators(info.path()))
                : noNewFile(errno);
    return std::nullopt;
}

// What is in the file's place now, and how its bytes are kept where they must be.
struct Content {
    struct stat status {};
    Fd fd;             // open for reading, where it may be read
    bool copied;       // kept in a copy of its own (the bytes below), else by a second name
    QByteArray bytes;  // where copied
    int number = 0;    // the copy's name: one that holds them already, or the first free one
    bool held = false; // whether that one holds them already

    Content(const Folder &folder, Fd opened, const struct stat &looked)
        : status(looked)
        , fd(std::move(opened))
        , copied(fd.fd >= 0 && status.st_size <= largestCopied)
        , bytes(copied ? bytesOf(fd.fd) : QByteArray())
    {
        // Anything but a regular file at a copy's name is left alone and costs no number.
        for (int n = 1, copies = 0; n < 1000 && copies < 99 && !held; ++n) {
            struct stat at {};
            if (!folder.look(folder.copyName(n), at)) {
                number = number > 0 || errno != ENOENT ? number : n;
            } else if (S_ISREG(at.st_mode)) {
                ++copies;
                held = copied ? at.st_nlink == 1 && at.st_size == status.st_size &&
                                    bytesOf(folder.openRegular(folder.copyName(n)).fd) == bytes
                              : at.st_dev == status.st_dev && at.st_ino == status.st_ino;
                number = held ? n : number;
            }
        }
    }
};

// Gives the file born of file its mode: its permission bits, readable by its owner, who would
// otherwise lose the values just saved; never its set-id bits, and its group's bits only where
// the new file is in its group. A file system without permission bits has none to set.
int setMode(int fd, const struct stat &file)
{
    struct stat made {};
    mode_t mode = (file.st_mode & 0777) | S_IRUSR;
    if (::fstat(fd, &made) == 0 && made.st_gid != file.st_gid && ::fchown(fd, uid_t(-1), file.st_gid) != 0)
        mode &= ~mode_t(0070);
    return ::fchmod(fd, mode) == 0 || errno == ENOSYS || errno == EOPNOTSUPP || errno == EPERM ? 0 : errno;
}

// A new file beside the settings file, born with the mode given, holding the bytes, synced; its
// name in name. The errno on failure, when nothing is left.
int writeTemporary(const Folder &folder, QByteArray &name, mode_t mode, const struct stat *modeOf,
                   const QByteArray &bytes)
{
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    Fd made;
    for (int attempt = 0; made.fd < 0 && attempt < 100; ++attempt) {
        name = folder.temporaryPrefix();
        for (int i = 0; i < 6; ++i)
            name += letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
        made.fd = ::openat(folder.fd.fd, name.constData(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (made.fd < 0 && errno != EEXIST)
            return errno;
    }
    int error = made.fd < 0 ? EEXIST : modeOf ? setMode(made.fd, *modeOf) : 0;
    for (qsizetype done = 0; error == 0 && done < bytes.size();) { // no progress: a full disk
        const ssize_t written = ::write(made.fd, bytes.constData() + done, size_t(bytes.size() - done));
        error = written > 0 ? 0 : written == 0 ? ENOSPC : errno == EINTR ? 0 : errno;
        done += std::max<ssize_t>(written, 0);
    }
    error = error == 0 && ::fsync(made.fd) != 0 ? errno : error;
    if (error != 0 && made.fd >= 0)
        ::unlinkat(folder.fd.fd, name.constData(), 0);
    return error;
}

// Gives the entry the first free copy's name from number on: a second name where the file system
// has them, else a rename that replaces nothing, else (an old FUSE file system) a rename over a
// name claimed first with a new empty file. 0 or the errno.
int placeCopy(const Folder &folder, const QByteArray &from, int number, bool move)
{
    const int at = folder.fd.fd;
    for (int error = EEXIST; number = std::max(number, 1), number < 1000 && error == EEXIST; ++number) {
        const QByteArray copy = folder.copyName(number);
        error = ::linkat(at, from.constData(), at, copy.constData(), 0) == 0 ? 0 : errno;
        if (error == 0 && move)
            ::unlinkat(at, from.constData(), 0);
        if (error == EPERM || error == EOPNOTSUPP)
            error =
                ::renameat2(at, from.constData(), at, copy.constData(), RENAME_NOREPLACE) == 0 ? 0 : errno;
        if (error == EINVAL) {
            const Fd claim(
                ::openat(at, copy.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0));
            error = claim.fd < 0                                                  ? errno
                    : ::renameat(at, from.constData(), at, copy.constData()) == 0 ? 0
                                                                                  : errno;
        }
        if (error != EEXIST)
            return error;
    }
    return EEXIST;
}

// Whether the content reads whole with the known values: replacing it loses nothing the caller
// has not got.
bool holdsKnown(const Content &content, const std::optional<QStringList> &known)
{
    QFile file;
    if (!known || content.fd.fd < 0 ||
        !file.open(::dup(content.fd.fd), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle) || !file.seek(0))
        return false;
    const SettingsRead read = readSettings(file);
    return read.whole() && read.values == *known;
}

// The program's own temporaries a killed save left, untouched for a minute, go. What a swap
// brought out that cannot be one of them (unreadable, or larger than a settings file) stays:
// its bytes may be kept nowhere else.
void removeStaleSaves(const Folder &folder)
{
    DIR *entries = ::fdopendir(::dup(folder.fd.fd));
    const time_t stale = QDateTime::currentSecsSinceEpoch() - 60;
    for (const dirent *entry = entries ? ::readdir(entries) : nullptr; entry; entry = ::readdir(entries)) {
        const QByteArray name(entry->d_name);
        struct stat status {};
        if (name.size() == folder.temporaryPrefix().size() + 6 && name.startsWith(folder.temporaryPrefix()) &&
            folder.look(name, status) && S_ISREG(status.st_mode) && status.st_uid == ::geteuid() &&
            status.st_mtime < stale && (status.st_mode & S_IRUSR) && status.st_size <= largestCopied)
            ::unlinkat(folder.fd.fd, name.constData(), 0);
    }
    if (entries)
        ::closedir(entries);
}

// One attempt at putting the new file (temporary, synced) in the place of the folder's file: what
// that holds is kept first unless it holds the known values. What an editor puts there between
// the last look and the swap is kept too, where the file system can swap. Returns an empty text
// when done, again when the file changed under it, or why not.
QString swapIn(const Folder &folder, const QByteArray &temporary, const std::optional<QStringList> &known)
{
    const int at = folder.fd.fd;
    const QByteArray &name = folder.name;
    struct stat looked {};
    if (!folder.look(name, looked)) { // nothing to keep; a file made meanwhile is not replaced
        if (::renameat2(at, temporary.constData(), at, name.constData(), RENAME_NOREPLACE) == 0 ||
            (errno == EINVAL && ::renameat(at, temporary.constData(), at, name.constData()) == 0))
            return {};
        return errno == EEXIST ? again : qt_error_string(errno);
    }
    if (!S_ISREG(looked.st_mode))
        return S_ISLNK(looked.st_mode)   ? FileText::tr("it became a link while it was saved")
               : S_ISDIR(looked.st_mode) ? FileText::tr("it is a folder")
                                         : notASettingsFile();
    Fd opened = folder.openRegular(name);
    struct stat status = looked;
    if (opened.fd >= 0 && (::fstat(opened.fd, &status) != 0 || !unchanged(status, looked)))
        return again;
    if (::geteuid() == 0 && status.st_uid != 0)
        return anotherUsers();
    Content content(folder, std::move(opened), status);
    if (holdsKnown(content, known))
        content.held = true;
    else if (content.number == 0)
        return noCopy(EEXIST);
    QByteArray copy;
    int error =
        content.held || !content.copied ? 0 : writeTemporary(folder, copy, S_IRUSR, &status, content.bytes);
    error = error != 0 || copy.isEmpty() ? error : placeCopy(folder, copy, content.number, true);
    if (error != 0)
        return noCopy(error);
    const bool byName = !content.held && !content.copied;
    if (!folder.look(name, looked) || !unchanged(looked, status))
        return again;
    if (::renameat2(at, temporary.constData(), at, name.constData(), RENAME_EXCHANGE) != 0) {
        // A file system that cannot swap: replaced, the last look and the rename a moment apart.
        error = errno != EINVAL ? errno : byName ? placeCopy(folder, name, content.number, false) : 0;
        error = error != 0                                                         ? error
                : ::renameat(at, temporary.constData(), at, name.constData()) == 0 ? 0
                                                                                   : errno;
        return error == 0 ? QString() : byName ? noCopy(error) : qt_error_string(error);
    }
    // The temporary name now holds what was replaced: what was looked at, or what an editor put
    // in its place meanwhile, which is kept as well. A link or another user's file goes back.
    struct stat out {};
    const bool same = folder.look(temporary, out) && unchanged(out, status);
    const bool foreign = !S_ISREG(out.st_mode) || (::geteuid() == 0 && out.st_uid != 0);
    error = foreign ? EEXIST : same && !byName ? 0 : placeCopy(folder, temporary, content.number, true);
    if (error != 0) {
        ::renameat2(at, temporary.constData(), at, name.constData(), RENAME_EXCHANGE);
        return foreign ? again : noCopy(error);
    }
    ::unlinkat(at, temporary.constData(), 0);
    return {};
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
    // Opened without blocking and checked once open: a FIFO would otherwise hang the window.
    const bool openable = !found || S_ISREG(status.st_mode);
    Fd fd(openable ? ::open(nameOf(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY) : -1);
    QFile file;
    if (openable && fd.fd < 0)
        result.problems << because(FileText::tr("it cannot be opened (%1)"), errno);
    else if (fd.fd < 0 || ::fstat(fd.fd, &status) != 0 || !S_ISREG(status.st_mode))
        result.problems << notASettingsFile();
    else if (file.open(std::exchange(fd.fd, -1), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        (result = readSettings(file)).present = true;
    return result;
}

std::optional<QString> writeSettings(const QString &path, const QStringList &values,
                                     const std::optional<QStringList> &known)
{
    const EncodedSettings encoded = encodeSettings(values);
    if (!encoded.problem.isEmpty())
        return encoded.problem;
    const Resolved target = resolveLinks(path);
    // Links through linked folders count towards the system's limit too: what it cannot follow
    // would be saved to where the next start cannot read it.
    struct stat status {};
    if (target.path.isEmpty() || (::stat(nameOf(path).constData(), &status) != 0 && errno == ELOOP))
        return target.path.isEmpty() ? target.error : noLinks(ELOOP);
    if (!rootMayUse(path) || !rootMayUse(target.path))
        return anotherUsers();
    QString error;
    const std::optional<Folder> folder = openFolder(target.path, error);
    if (!folder)
        return error;
    if (::geteuid() == 0 && (::fstat(folder->fd.fd, &status) != 0 || status.st_uid != 0))
        return anotherUsers();
    // Copies of the program take turns: each holds the folder's lock from its first look to the
    // folder's sync, so that no save comes between another's look and its swap. A file system
    // without locks cannot be waited for.
    int tries = 0;
    while (::flock(folder->fd.fd, LOCK_EX | LOCK_NB) != 0 && (errno == EWOULDBLOCK || errno == EINTR)) {
        if (++tries == 1000)
            return FileText::tr("another save holds its folder's lock and has not finished");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    // The new file is born readable by its owner alone and given the file's mode before any byte
    // is written; without a file, the user's usual mode (0666 less umask).
    const bool exists = folder->look(folder->name, status) && S_ISREG(status.st_mode);
    QByteArray temporary;
    if (const int failed = writeTemporary(*folder, temporary, exists ? S_IRUSR | S_IWUSR : 0666,
                                          exists ? &status : nullptr, encoded.bytes))
        return failed == EACCES || failed == EPERM || failed == EROFS || failed == ENOENT || failed == EEXIST
                   ? noNewFile(failed)
                   : qt_error_string(failed);
    QString swapped = again;
    for (int attempt = 0; attempt < 3 && swapped == again; ++attempt)
        swapped = swapIn(*folder, temporary, known);
    if (!swapped.isEmpty()) {
        ::unlinkat(folder->fd.fd, temporary.constData(), 0);
        return swapped == again ? FileText::tr("it kept changing while it was saved") : swapped;
    }
    // The new name lives in the folder: synced too, or a power cut could bring back the old file.
    if (::fsync(folder->fd.fd) != 0)
        return because(FileText::tr("it was replaced, but its folder could not be synced (%1)"), errno);
    removeStaleSaves(*folder);
    return std::nullopt;
}

std::optional<QString> saveSettings(const SettingsLocation &location, const QStringList &values,
                                    const std::optional<QStringList> &known)
{
    // Made one level at a time, so that the folder a failure concerns, and why, can be told.
    QStringList missing;
    QString folder = QFileInfo(location.writePath).path();
    struct stat status {};
    const auto cannotCreate = [](const QString &at, int error) {
        return FileText::tr("its folder %1 cannot be created (%2)")
            .arg(QDir::toNativeSeparators(at), qt_error_string(error));
    };
    while (::stat(nameOf(folder).constData(), &status) != 0) {
        if (errno != ENOENT)
            return cannotCreate(folder, errno);
        missing.prepend(folder);
        folder = QFileInfo(folder).path();
    }
    for (const QString &next : missing) {
        const int error = !rootMayUse(next)                              ? EACCES
                          : !S_ISDIR(status.st_mode)                     ? ENOTDIR
                          : ::mkdir(nameOf(next).constData(), 0777) != 0 ? errno
                                                                         : 0;
        if (error != 0)
            return cannotCreate(next, error);
        ::stat(nameOf(next).constData(), &status);
    }
    return writeSettings(location.writePath, values, known);
}

CopyName keptCopyName(const QString &path)
{
    const QString file = resolveLinks(path).path;
    QString error;
    const std::optional<Folder> folder = file.isEmpty() ? std::nullopt : openFolder(file, error);
    struct stat status {};
    if (!folder || !folder->look(folder->name, status) || !S_ISREG(status.st_mode))
        return {};
    if (::faccessat(folder->fd.fd, ".", W_OK, AT_EACCESS) != 0)
        return {{}, noNewFile(errno)};
    const Content content(*folder, folder->openRegular(folder->name), status);
    if (content.number == 0)
        return {{}, noCopy(EEXIST)};
    return {QDir(folder->path).filePath(QFile::decodeName(folder->copyName(content.number))), {}};
}

} // namespace orbisk
