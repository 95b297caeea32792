#include "settings/settingsfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <chrono>
#include <cstring>
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

public:
    static QString notASettingsFile() { return tr("it is a FIFO, socket or device, not a settings file"); }
    static QString anotherUsers()
    {
        return tr("it or its folder belongs to another user, whose files root leaves alone");
    }
    static QString tooManyCopies()
    {
        return tr("no copy of it could be kept: too many copies are kept already");
    }
    static QString noCopy(int error)
    {
        return withReason(QT_TR_NOOP("no copy of it could be kept (%1)"), error);
    }
    static QString noNewFile(int error)
    {
        return withReason(QT_TR_NOOP("its folder does not let a new file be made (%1)"), error);
    }
    static QString withReason(const char *what, int error) { return tr(what).arg(qt_error_string(error)); }
};

QByteArray nameOf(const QString &path)
{
    return QFile::encodeName(path);
}

// A descriptor, closed when it goes.
class Fd {
public:
    explicit Fd(int fd = -1)
        : m_fd(fd)
    {
    }
    Fd(Fd &&other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {
    }
    Fd &operator=(Fd &&other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    [[nodiscard]] int get() const { return m_fd; }
    [[nodiscard]] int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
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
            return {
                {},
                FileText::withReason(QT_TRANSLATE_NOOP("SettingsFile", "its links cannot be followed (%1)"),
                                     hops == 40 ? ELOOP : error.value())};
        const QString link = QFile::decodeName(QByteArray::fromStdString(target.native()));
        at = QDir::isAbsolutePath(link) ? link : QFileInfo(at).path() + u'/' + link;
    }
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Unchanged since it was looked at: the same file, neither written nor cut since.
bool unchanged(const struct stat &a, const struct stat &b)
{
    return sameFile(a, b) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Larger than a settings file can be: kept by a second name rather than copied, and never
// compared byte by byte, so that a hostile file costs no time.
constexpr off_t largestCopied = 8 << 20;

// Bytes that can be read are kept in a copy of their own; others by a second name of the file.
bool byBytes(int content, const struct stat &file)
{
    return content >= 0 && file.st_size <= largestCopied;
}

// A file relative to the folder one save works in: looked at, opened and replaced through the
// folder's descriptor, so that a folder renamed or a link put on the way meanwhile changes
// nothing of what the save does.
struct Folder {
    Fd fd;
    QString path;
    QString name; // the settings file's own name in it

    [[nodiscard]] QByteArray entry(const QString &suffix = {}) const { return nameOf(name + suffix); }
    bool look(const QByteArray &entryName, struct stat &status) const
    {
        return ::fstatat(fd.get(), entryName.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0;
    }
    [[nodiscard]] Fd openRegular(const QByteArray &entryName) const
    {
        Fd file(::openat(fd.get(), entryName.constData(),
                         O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
        struct stat status {};
        if (file.get() >= 0 && (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)))
            return Fd{};
        return file;
    }
    // A kept copy's name: "<name>.unread", then "<name>.unread-2", ...
    [[nodiscard]] QByteArray copyName(int number) const
    {
        return entry(QStringLiteral(".unread") + (number > 1 ? u'-' + QString::number(number) : QString()));
    }
};

std::optional<Folder> openFolder(const QString &file, QString &error)
{
    Folder folder{Fd(::open(nameOf(QFileInfo(file).path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
                  QFileInfo(file).path(), QFileInfo(file).fileName()};
    if (folder.fd.get() >= 0)
        return folder;
    error = errno == ENOENT || errno == ENOTDIR
                ? FileText::tr("its folder %1 does not exist").arg(QDir::toNativeSeparators(folder.path))
                : FileText::noNewFile(errno);
    return std::nullopt;
}

bool sameBytes(int a, int b, off_t size)
{
    char first[1 << 14], second[1 << 14];
    for (off_t at = 0; at < size;) {
        const ssize_t got = ::pread(a, first, sizeof first, at);
        if (got <= 0 || ::pread(b, second, size_t(got), at) != got ||
            std::memcmp(first, second, size_t(got)) != 0)
            return false;
        at += got;
    }
    return true;
}

// Where the file's present bytes go: a copy's name that already holds them (the same file
// where they are kept by a second name, the same bytes where they are copied), or the first free
// one. Anything else at a copy's name is left alone and costs no number.
struct CopyChoice {
    int number = 0;    // of the name
    bool held = false; // the bytes are there already
    QString error;
};

CopyChoice chooseCopy(const Folder &folder, int content, const struct stat &file)
{
    CopyChoice choice;
    for (int number = 1, copies = 0; number < 1000 && copies < 99; ++number) {
        struct stat status {};
        if (!folder.look(folder.copyName(number), status)) {
            choice.number = choice.number > 0 || errno != ENOENT ? choice.number : number;
            continue;
        }
        if (!S_ISREG(status.st_mode))
            continue;
        ++copies;
        const bool held =
            byBytes(content, file)
                ? status.st_nlink == 1 && status.st_size == file.st_size &&
                      sameBytes(content, folder.openRegular(folder.copyName(number)).get(), file.st_size)
                : sameFile(status, file);
        if (held)
            return {number, true, {}};
    }
    if (choice.number == 0)
        choice.error = FileText::tooManyCopies();
    return choice;
}

// The mode a file born of file gets: its permission bits, readable by its owner, who would
// otherwise lose the values just saved; never its set-id bits, and its group's bits only where
// the new file is in its group. A file system without permission bits has none to set.
int setMode(int fd, const struct stat &file)
{
    struct stat made {};
    mode_t mode = (file.st_mode & 0777) | S_IRUSR;
    if (::fstat(fd, &made) == 0 && made.st_gid != file.st_gid && ::fchown(fd, uid_t(-1), file.st_gid) != 0)
        mode &= ~mode_t(0070);
    if (::fchmod(fd, mode) == 0)
        return 0;
    return errno == ENOSYS || errno == EOPNOTSUPP || errno == EPERM ? 0 : errno;
}

// A new, empty file named "<folder>/.<name>.saving-XXXXXX", readable by its owner alone until
// setMode widens it. No person names a file so, which makes the ones a killed save left behind
// safe to remove.
Fd makeTemporary(const Folder &folder, QByteArray &name, mode_t mode)
{
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = '.' + folder.entry(QStringLiteral(".saving-"));
        for (int i = 0; i < 6; ++i)
            name += letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
        Fd made(::openat(folder.fd.get(), name.constData(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (made.get() >= 0 || errno != EEXIST)
            return made;
    }
    return Fd{};
}

// Writes all of size bytes and syncs; the errno on failure (a write that makes no progress is a
// full disk).
int writeAndSync(int fd, const char *data, qint64 size)
{
    for (qint64 done = 0; done < size;) {
        const ssize_t written = ::write(fd, data + done, size_t(size - done));
        if (written <= 0 && (written == 0 || errno != EINTR))
            return written == 0 ? ENOSPC : errno;
        done += std::max<ssize_t>(written, 0);
    }
    return ::fsync(fd) == 0 ? 0 : errno;
}

// Gives the entry from the name of the copy numbered from on, the first that is free: a second
// name where the file system has them, else a rename that replaces nothing, else (an old FUSE
// file system) a rename over a name claimed first with a new empty file. 0 or the errno.
int placeCopy(const Folder &folder, const QByteArray &from, int number, bool move)
{
    const int at = folder.fd.get();
    for (int error = EEXIST; number = std::max(number, 1), number < 1000; ++number) {
        const QByteArray copy = folder.copyName(number);
        error = ::linkat(at, from.constData(), at, copy.constData(), 0) == 0 ? 0 : errno;
        if (error == 0 && move)
            ::unlinkat(at, from.constData(), 0);
        if (error == EPERM || error == EOPNOTSUPP) {
            error =
                ::renameat2(at, from.constData(), at, copy.constData(), RENAME_NOREPLACE) == 0 ? 0 : errno;
            if (error == EINVAL) {
                const Fd claim(
                    ::openat(at, copy.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0));
                error = claim.get() < 0                                               ? errno
                        : ::renameat(at, from.constData(), at, copy.constData()) == 0 ? 0
                                                                                      : errno;
            }
        }
        if (error != EEXIST)
            return error;
    }
    return EEXIST;
}

// Keeps a copy of the bytes of content (the regular file file) under the chosen name, born with
// the file's mode and synced before it takes the name; nothing is left when it fails.
QString copyBytes(const Folder &folder, int content, const struct stat &file, int number)
{
    QByteArray name;
    Fd copy = makeTemporary(folder, name, S_IRUSR | S_IWUSR);
    if (copy.get() < 0)
        return FileText::noCopy(errno);
    int error = setMode(copy.get(), file);
    QByteArray block(1 << 16, Qt::Uninitialized);
    for (off_t at = 0; error == 0 && at < file.st_size;) {
        const ssize_t got = ::pread(content, block.data(), size_t(block.size()), at);
        error = got < 0 ? errno : got == 0 ? EIO : 0;
        for (ssize_t done = 0; error == 0 && done < got;) {
            const ssize_t written = ::write(copy.get(), block.constData() + done, size_t(got - done));
            error = written < 0 ? errno : written == 0 ? ENOSPC : 0;
            done += std::max<ssize_t>(written, 0);
        }
        at += std::max<ssize_t>(got, 0);
    }
    error = error != 0 ? error : ::fsync(copy.get()) == 0 ? 0 : errno;
    error = error != 0 ? error : placeCopy(folder, name, number, true);
    if (error != 0)
        ::unlinkat(folder.fd.get(), name.constData(), 0);
    return error == 0 ? QString() : error == EEXIST ? FileText::tooManyCopies() : FileText::noCopy(error);
}

// Whether the file reads whole with the known values: replacing it loses nothing the caller has
// not got.
bool holdsKnown(int content, const std::optional<QStringList> &known)
{
    QFile file;
    if (!known || !file.open(::dup(content), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return false;
    const SettingsRead read = readSettings(file);
    return read.whole() && read.values == *known;
}

// The program's own temporaries a killed save left, untouched for a minute, go. What a swap
// brought out that cannot be one of them (unreadable, or larger than a settings file) stays:
// its bytes may be kept nowhere else.
void removeStaleSaves(const Folder &folder)
{
    DIR *entries = ::fdopendir(::dup(folder.fd.get()));
    const QByteArray prefix = '.' + folder.entry(QStringLiteral(".saving-"));
    const time_t stale = QDateTime::currentSecsSinceEpoch() - 60;
    for (const dirent *entry = entries ? ::readdir(entries) : nullptr; entry; entry = ::readdir(entries)) {
        const QByteArray name(entry->d_name);
        struct stat status {};
        if (name.size() == prefix.size() + 6 && name.startsWith(prefix) && folder.look(name, status) &&
            S_ISREG(status.st_mode) && status.st_uid == ::geteuid() && status.st_mtime < stale &&
            (status.st_mode & S_IRUSR) && status.st_size <= largestCopied)
            ::unlinkat(folder.fd.get(), name.constData(), 0);
    }
    if (entries)
        ::closedir(entries);
}

// Copies of the program take turns at a folder: each save holds its lock from its first look to
// the folder's sync, so that no save comes between another's look and its swap.
bool lock(const Folder &folder)
{
    for (int tries = 0; tries < 1000; ++tries) {
        if (::flock(folder.fd.get(), LOCK_EX | LOCK_NB) == 0 || (errno != EWOULDBLOCK && errno != EINTR))
            return true; // a file system without locks cannot be waited for
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// One attempt at putting the new file (temporary, synced) in the place of the folder's file: what
// that holds is kept first unless it holds the known values. A save of another program (an
// editor) between the last look and the swap is kept too, where the file system can swap.
// Returns an empty text when done, "again" when the file changed under it, or why not.
QString swapIn(const Folder &folder, const QByteArray &temporary, const std::optional<QStringList> &known)
{
    const int at = folder.fd.get();
    const QByteArray name = folder.entry();
    struct stat looked {};
    if (!folder.look(name, looked)) {
        // Nothing to keep; a file someone makes meanwhile is not replaced but looked at.
        if (::renameat2(at, temporary.constData(), at, name.constData(), RENAME_NOREPLACE) == 0)
            return {};
        if (errno == EINVAL && ::renameat(at, temporary.constData(), at, name.constData()) == 0)
            return {};
        return errno == EEXIST ? QStringLiteral("again") : qt_error_string(errno);
    }
    if (S_ISLNK(looked.st_mode))
        return FileText::tr("it became a link while it was saved");
    if (!S_ISREG(looked.st_mode))
        return S_ISDIR(looked.st_mode) ? FileText::tr("it is a folder") : FileText::notASettingsFile();
    const Fd content = folder.openRegular(name);
    struct stat file = looked;
    if (content.get() >= 0 && (::fstat(content.get(), &file) != 0 || !sameFile(file, looked)))
        return QStringLiteral("again");
    if (::geteuid() == 0 && file.st_uid != 0)
        return FileText::anotherUsers();
    const bool keep = content.get() < 0 || !holdsKnown(content.get(), known);
    const CopyChoice copy = keep ? chooseCopy(folder, content.get(), file) : CopyChoice{0, true, {}};
    if (!copy.error.isEmpty())
        return copy.error;
    const bool copying = !copy.held && byBytes(content.get(), file);
    if (const QString error = copying ? copyBytes(folder, content.get(), file, copy.number) : QString();
        !error.isEmpty())
        return error;
    const bool byName = !copy.held && !copying;
    struct stat now {};
    if (!folder.look(name, now) || !unchanged(now, file))
        return QStringLiteral("again");
    if (::renameat2(at, temporary.constData(), at, name.constData(), RENAME_EXCHANGE) != 0) {
        // A file system that cannot swap: replaced, the last look and the rename a moment apart.
        int error = errno != EINVAL ? errno : byName ? placeCopy(folder, name, copy.number, false) : 0;
        error = error != 0                                                         ? error
                : ::renameat(at, temporary.constData(), at, name.constData()) == 0 ? 0
                                                                                   : errno;
        return error == 0 ? QString() : byName ? FileText::noCopy(error) : qt_error_string(error);
    }
    // The temporary name now holds what was replaced: what was looked at, or what an editor put
    // in its place meanwhile, which is kept as well. A link or another user's file goes back.
    struct stat out {};
    const bool same = folder.look(temporary, out) && unchanged(out, file);
    const bool foreign = !S_ISREG(out.st_mode) || (::geteuid() == 0 && out.st_uid != 0);
    const int error = foreign           ? EEXIST
                      : same && !byName ? 0
                                        : placeCopy(folder, temporary, copy.number, true);
    if (error != 0) {
        ::renameat2(at, temporary.constData(), at, name.constData(), RENAME_EXCHANGE);
        return foreign ? QStringLiteral("again") : FileText::noCopy(error);
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
    if (found && !S_ISREG(status.st_mode)) {
        result.problems << FileText::notASettingsFile();
        return result;
    }
    // Opened without blocking and checked again once open: a FIFO swapped in between would
    // otherwise hang the window for good.
    Fd fd(::open(nameOf(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        result.problems << FileText::withReason(QT_TRANSLATE_NOOP("SettingsFile", "it cannot be opened (%1)"),
                                                errno);
        return result;
    }
    if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        result.problems << FileText::notASettingsFile();
        return result;
    }
    QFile file;
    file.open(fd.release(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
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
    // Links through linked folders count towards the system's limit too: what it cannot follow
    // would be saved to where the next start cannot read it.
    struct stat followed {};
    if (::stat(nameOf(path).constData(), &followed) != 0 && errno == ELOOP)
        return FileText::withReason(QT_TRANSLATE_NOOP("SettingsFile", "its links cannot be followed (%1)"),
                                    ELOOP);
    if (!rootMayUse(path) || !rootMayUse(target.path))
        return FileText::anotherUsers();
    QString error;
    const std::optional<Folder> folder = openFolder(target.path, error);
    if (!folder)
        return error;
    if (struct stat status{};
        ::geteuid() == 0 && (::fstat(folder->fd.get(), &status) != 0 || status.st_uid != 0))
        return FileText::anotherUsers();
    if (!lock(*folder))
        return FileText::tr("another save holds its folder's lock and has not finished");

    // The new file is born readable by its owner alone and given the file's mode before any byte
    // is written; without a file, the user's usual mode (0666 less umask).
    struct stat old {};
    const bool exists = folder->look(folder->entry(), old) && S_ISREG(old.st_mode);
    if (!exists && S_ISDIR(old.st_mode))
        return FileText::tr("it is a folder");
    QByteArray temporary;
    const Fd made = makeTemporary(*folder, temporary, exists ? S_IRUSR | S_IWUSR : 0666);
    if (made.get() < 0)
        return FileText::noNewFile(errno);
    int failed = exists ? setMode(made.get(), old) : 0;
    failed = failed != 0 ? failed : writeAndSync(made.get(), encoded.bytes.constData(), encoded.bytes.size());
    QString swapped = failed != 0 ? qt_error_string(failed) : QStringLiteral("again");
    for (int attempt = 0; attempt < 3 && swapped == QStringLiteral("again"); ++attempt)
        swapped = swapIn(*folder, temporary, known);
    if (!swapped.isEmpty()) {
        ::unlinkat(folder->fd.get(), temporary.constData(), 0);
        if (swapped == QStringLiteral("again"))
            return FileText::tr("it kept changing while it was saved");
        return swapped;
    }
    // The new name lives in the folder: synced too, or a power cut could bring back the old file.
    if (::fsync(folder->fd.get()) != 0)
        return FileText::withReason(
            QT_TRANSLATE_NOOP("SettingsFile", "it was replaced, but its folder could not be synced (%1)"),
            errno);
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
    QString error;
    const std::optional<Folder> folder = file.isEmpty() ? std::nullopt : openFolder(file, error);
    struct stat status {};
    if (!folder || !folder->look(folder->entry(), status) || !S_ISREG(status.st_mode))
        return {};
    if (::faccessat(folder->fd.get(), ".", W_OK, AT_EACCESS) != 0)
        return {{}, FileText::noNewFile(errno)};
    const Fd content = folder->openRegular(folder->entry());
    const CopyChoice copy = chooseCopy(*folder, content.get(), status);
    if (!copy.error.isEmpty())
        return {{}, copy.error};
    return {QDir(folder->path).filePath(QFile::decodeName(folder->copyName(copy.number))), {}};
}

} // namespace orbisk
