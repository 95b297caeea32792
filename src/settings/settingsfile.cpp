#include "settings/settingsfile.h"

#include "settings/settingsfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <climits>
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
    return FileText::tr("it or its folder belongs to another user, or another user may change it, and root "
                        "leaves those alone");
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

// The folder of the file path stands for, opened by walking the path a name at a time, each
// looked at through a descriptor of its own, and following symbolic links as the system does (at
// most 40, linked folders too), so that a save replaces the file at the end of the chain and
// keeps every link. Run as root, a link or folder on the way that another user owns is refused.
// The check and the use are the same descriptors: nothing swapped in meanwhile is followed.
std::optional<Folder> openFolder(const QString &path, QString &error, bool *missing = nullptr)
{
    QStringList pending = path.split(u'/');
    QString at = path.startsWith(u'/') ? QString() : QStringLiteral(".");
    Fd folder(::open(path.startsWith(u'/') ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (int hops = 0; !pending.isEmpty();) {
        const QString name = pending.takeFirst();
        if (name.isEmpty() || name == u'.')
            continue;
        Fd next(::openat(folder.fd, nameOf(name).constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat status {};
        if (next.fd < 0 && !(pending.isEmpty() && errno == ENOENT)) {
            const QString folderPath =
                at + u'/' + name + u'/' + pending.mid(0, pending.size() - 1).join(u'/');
            const bool absent = errno == ENOENT || errno == ENOTDIR;
            error = absent ? FileText::tr("its folder %1 does not exist")
                                 .arg(QDir::toNativeSeparators(QDir::cleanPath(folderPath)))
                           : noNewFile(errno);
            if (missing)
                *missing = absent;
            return std::nullopt;
        }
        if (next.fd >= 0 && (::fstat(next.fd, &status) != 0 || (::geteuid() == 0 && !rootMay(status)))) {
            error = anotherUsers();
            return std::nullopt;
        }
        if (next.fd >= 0 && S_ISLNK(status.st_mode)) {
            // A length the compiler cannot prove to fit, so that the hardened build calls the
            // checked readlinkat: one it could prove would be the unchecked call, which a
            // hardening audit of the package counts against it.
            char link[PATH_MAX];
            const volatile size_t room = sizeof link;
            const ssize_t size = ::readlinkat(next.fd, "", link, room);
            if (++hops > 40 || size <= 0) {
                error = noLinks(hops > 40 ? ELOOP : errno);
                return std::nullopt;
            }
            const QString text = QFile::decodeName(QByteArray(link, int(size)));
            pending = text.split(u'/') + pending;
            if (text.startsWith(u'/'))
                at.clear(), folder = Fd(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        } else if (pending.isEmpty()) { // the file itself, or where it will be
            Folder opened{Fd(::openat(folder.fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
                          at.isEmpty() ? "/" : at, nameOf(name)};
            if (opened.fd.fd < 0)
                error = noNewFile(errno);
            return opened.fd.fd < 0 ? std::nullopt : std::optional<Folder>(std::move(opened));
        } else {
            at = name == QLatin1String("..") ? QFileInfo(at).path() : at + u'/' + name;
            folder = std::move(next);
        }
    }
    error = FileText::tr("it is a folder");
    return std::nullopt;
}

// Whether the content reads whole with the known values: replacing it loses nothing the caller
// has not got.
bool holdsKnown(int content, const std::optional<QStringList> &known)
{
    QFile file;
    if (!known || !openFrom(file, content))
        return false;
    const SettingsRead read = readSettings(file);
    return read.whole() && read.values == *known;
}

// One attempt at putting the new file (temporary, synced) in the place of the folder's file, as
// present (nothing where it was absent) when the new file was made: what that holds is kept first
// unless it holds the known values. What an editor puts there between
// the last look and the swap is kept too, where the file system can swap. Returns an empty text
// when done, again when the file changed under it, or why not.
QString swapIn(const Folder &folder, const QByteArray &temporary, int made,
               const std::optional<QStringList> &known, const struct stat *present)
{
    const int at = folder.fd.fd;
    const QByteArray &name = folder.name;
    struct stat looked {};
    if (present)
        looked = *present;
    else { // nothing to keep; a file made meanwhile is not replaced
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
    const bool keep = !holdsKnown(opened.fd, known);
    const Content content(folder, std::move(opened), status, keep);
    if (!content.held && content.number == 0)
        return noCopy(EEXIST);
    QByteArray copy;
    Fd copied;
    int error = content.held || !content.copied
                    ? 0
                    : writeTemporary(folder, copy, copied, true, S_IRUSR, &status, content.bytes);
    error = error != 0 || copy.isEmpty() ? error : placeCopy(folder, copy, content.number, true);
    if (error != 0)
        return noCopy(error);
    const bool byName = !content.held && !content.copied;
    // The last look; for bytes that were copied, their own look too, since a file system's clock
    // may not tell an edit of the same size made within its tick.
    if (!folder.look(name, looked) || !unchanged(looked, status) ||
        (content.copied && bytesOf(content.fd.fd) != content.bytes))
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
    // A mode given to the file between the last look and the swap is the new file's and the
    // copy's too.
    ::unlinkat(at, temporary.constData(), 0);
    const int failed = setMode(made, out);
    if (const int also = copied.fd >= 0 ? setMode(copied.fd, out) : 0; failed != 0 || also != 0)
        return because(FileText::tr("it was replaced, but its permissions could not be set (%1)"),
                       failed != 0 ? failed : also);
    return {};
}

} // namespace

SettingsRead readSettings(const QString &path)
{
    SettingsRead result;
    result.values = initialSettings();
    QString error;
    bool missing = false;
    const std::optional<Folder> folder = openFolder(path, error, &missing);
    struct stat status {};
    const bool looked = folder && folder->look(folder->name, status);
    if (missing || (folder && !looked && errno == ENOENT) || (looked && S_ISDIR(status.st_mode)))
        return result; // no file of that name (a dangling link included), or a folder
    result.present = true;
    // Opened only where it is a regular file, never through a link, and without blocking: a FIFO
    // or a device swapped in is not opened, and cannot hang the window.
    const Fd fd = looked && S_ISREG(status.st_mode) ? folder->openRegular(folder->name) : Fd{};
    QFile file;
    if (!folder)
        result.problems << error;
    else if (!looked || !S_ISREG(status.st_mode))
        result.problems << (looked ? notASettingsFile()
                                   : because(FileText::tr("it cannot be opened (%1)"), errno));
    else if (fd.fd < 0)
        result.problems << because(FileText::tr("it cannot be opened (%1)"), errno);
    else if (openFrom(file, fd.fd))
        (result = readSettings(file)).present = true;
    return result;
}

std::optional<QString> writeSettings(const QString &path, const QStringList &values,
                                     const std::optional<QStringList> &known)
{
    const EncodedSettings encoded = encodeSettings(values);
    if (!encoded.problem.isEmpty())
        return encoded.problem;
    QString error;
    const std::optional<Folder> folder = openFolder(path, error);
    if (!folder)
        return error;
    struct stat status {};
    if (::geteuid() == 0 && (::fstat(folder->fd.fd, &status) != 0 || status.st_uid != 0))
        return anotherUsers();
    // Copies of the program take turns: each holds a lock from its first look to the folder's
    // sync, so that no save comes between another's look and its swap. The lock is a file of the
    // user's own that no one else may open, "<name>.lock", so that no one else can hold saves up;
    // where there is none to be had, the folder. A file system without locks cannot be waited for.
    Fd lock(::openat(folder->fd.fd, ('.' + folder->name + ".lock").constData(),
                     O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (struct stat mine{}; lock.fd < 0 || ::fstat(lock.fd, &mine) != 0 || mine.st_uid != ::geteuid())
        lock = Fd(::dup(folder->fd.fd));
    for (int tries = 0;
         ::flock(lock.fd, LOCK_EX | LOCK_NB) != 0 && (errno == EWOULDBLOCK || errno == EINTR);) {
        if (++tries == 1000)
            return FileText::tr("another save is still under way there, or another program holds its lock");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    // Each attempt looks at the file first: the new file is born readable by its owner alone and
    // given that file's mode before any byte is written; without a file, the user's usual mode
    // (0666 less umask). What changes after the look sends the save round again.
    QString swapped = again;
    for (int attempt = 0; attempt < 3 && swapped == again; ++attempt) {
        struct stat looked {};
        const bool present = folder->look(folder->name, looked);
        if (!present && errno != ENOENT)
            return qt_error_string(errno);
        QByteArray temporary;
        Fd made;
        if (const int failed =
                writeTemporary(*folder, temporary, made, false, present ? S_IRUSR | S_IWUSR : 0666,
                               present && S_ISREG(looked.st_mode) ? &looked : nullptr, encoded.bytes))
            return failed == EACCES || failed == EPERM || failed == EROFS || failed == ENOENT ||
                           failed == EEXIST
                       ? noNewFile(failed)
                       : qt_error_string(failed);
        swapped = swapIn(*folder, temporary, made.fd, known, present ? &looked : nullptr);
        if (!swapped.isEmpty())
            ::unlinkat(folder->fd.fd, temporary.constData(), 0);
    }
    if (!swapped.isEmpty())
        return swapped == again ? FileText::tr("it kept changing while it was saved") : swapped;
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
    QString error;
    const std::optional<Folder> folder = openFolder(path, error);
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
