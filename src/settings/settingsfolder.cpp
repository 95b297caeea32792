#include "settings/settingsfolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace orbisk {

bool unchanged(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

Fd::~Fd()
{
    if (fd >= 0)
        ::close(fd);
}

bool Folder::look(const QByteArray &entry, struct stat &status) const
{
    return ::fstatat(fd.fd, entry.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

Fd Folder::openRegular(const QByteArray &entry) const
{
    Fd file(::openat(fd.fd, entry.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    struct stat status {};
    return Fd(file.fd >= 0 && ::fstat(file.fd, &status) == 0 && S_ISREG(status.st_mode)
                  ? std::exchange(file.fd, -1)
                  : -1);
}

QByteArray Folder::copyName(int number) const
{
    return name + ".unread" + (number > 1 ? '-' + QByteArray::number(number) : QByteArray());
}

Content::Content(const Folder &folder, Fd opened, const struct stat &looked, bool keep)
    : status(looked)
    , fd(std::move(opened))
    , copied(keep && fd.fd >= 0 && status.st_size <= largestCopied)
    , bytes(copied ? bytesOf(fd.fd) : QByteArray())
    , held(!keep)
{
    // Names from 1 up to the first free one, at most 99, and one more for anything but a regular
    // file at one: that is left alone and costs no number.
    for (int n = 1, last = 99; n <= last && !held && number == 0; ++n) {
        struct stat at {};
        if (!folder.look(folder.copyName(n), at)) {
            number = number > 0 || errno != ENOENT ? number : n;
        } else if (!S_ISREG(at.st_mode)) {
            last = std::min(last + 1, 999);
        } else {
            held = at.st_uid != ::geteuid() ? false // another user's may go at their wish
                   : copied                 ? at.st_nlink == 1 && at.st_size == status.st_size &&
                                  bytesOf(folder.openRegular(folder.copyName(n)).fd) == bytes
                            : at.st_dev == status.st_dev && at.st_ino == status.st_ino;
            number = held ? n : number;
        }
    }
}

int setMode(int fd, const struct stat &file)
{
    struct stat made {};
    if (file.st_uid != ::geteuid()) // another user's mode is theirs to choose, not ours to take
        return 0;
    mode_t mode = (file.st_mode & 0777) | S_IRUSR;
    if (::fstat(fd, &made) == 0 && made.st_gid != file.st_gid && ::fchown(fd, uid_t(-1), file.st_gid) != 0)
        mode &= ~mode_t(0070);
    return ::fchmod(fd, mode) == 0 || errno == ENOSYS || errno == EOPNOTSUPP || errno == EPERM ? 0 : errno;
}

int writeTemporary(const Folder &folder, QByteArray &name, Fd &made, bool keeping, mode_t mode,
                   const struct stat *modeOf, const QByteArray &bytes)
{
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; made.fd < 0 && attempt < 100; ++attempt) {
        name = folder.temporaryPrefix(keeping);
        for (int i = 0; i < 6; ++i)
            name += letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
        made.fd = ::openat(folder.fd.fd, name.constData(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (made.fd < 0 && errno != EEXIST)
            return errno;
    }
    if (made.fd >= 0) // a folder's default access list would let in whom the mode keeps out
        ::fremovexattr(made.fd, "system.posix_acl_access");
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

int placeCopy(const Folder &folder, const QByteArray &from, int number, bool move)
{
    const int at = folder.fd.fd;
    for (int error = EEXIST; number = std::max(number, 1), number < 1000 && error == EEXIST; ++number) {
        const QByteArray copy = folder.copyName(number);
        error = ::linkat(at, from.constData(), at, copy.constData(), 0) == 0 ? 0 : errno;
        if (error == 0 && move)
            ::unlinkat(at, from.constData(), 0);
        if (move && (error == EPERM || error == EOPNOTSUPP))
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

void removeStaleSaves(const Folder &folder)
{
    DIR *entries = ::fdopendir(::dup(folder.fd.fd));
    const time_t stale = QDateTime::currentSecsSinceEpoch() - 60;
    for (const dirent *entry = entries ? ::readdir(entries) : nullptr; entry; entry = ::readdir(entries)) {
        const QByteArray name(entry->d_name);
        struct stat status {};
        if (name.size() == folder.temporaryPrefix().size() + 6 && name.startsWith(folder.temporaryPrefix()) &&
            folder.look(name, status) && S_ISREG(status.st_mode) && status.st_uid == ::geteuid() &&
            status.st_mtime < stale && (status.st_mode & S_IRUSR) && status.st_size <= largestCopied &&
            (status.st_size == 0 || (status.st_ctim.tv_sec == status.st_mtim.tv_sec &&
                                     status.st_ctim.tv_nsec == status.st_mtim.tv_nsec)))
            ::unlinkat(folder.fd.fd, name.constData(), 0);
    }
    if (entries)
        ::closedir(entries);
}

bool openFrom(QFile &file, int fd)
{
    return fd >= 0 && file.open(::dup(fd), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle) && file.seek(0);
}

QByteArray bytesOf(int fd)
{
    QFile file;
    return openFrom(file, fd) ? file.readAll() : QByteArray();
}

} // namespace orbisk
