#undef _FORTIFY_SOURCE // the test defines open() itself
#include "property/storagemodel.h"

#include "settings/settingsstore.h"

#include <QBuffer>
#include <QDateTime>
#include <QDebug>
#include <QDirIterator>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using orbisk::initialSettings;

namespace {
constexpr uid_t otherUser = 4242;
struct Limit {
    mode_t mode;
    gid_t gid;
};

// The system calls of a save, counted and logged: the test defines them, so the storage code
// calls these, which pass through to the C library.
struct {
    bool program = false, busy = false, armed = false, fired = false, moved = false, dirSynced = false;
    int odd = 0, count = 0, at = 0, how = 0, law = 0;
    std::function<void()> act;
    std::optional<Limit> limit;  // who may read the file the save replaces
    std::set<std::string> dirty; // written, not yet synced
    QString fault;
} g;

std::string linkText(const std::string &path)
{
    char text[4096];
    const ssize_t size = ::readlink(path.c_str(), text, sizeof text);
    return size > 0 ? std::string(text, size_t(size)) : std::string();
}
std::string fdPath(int fd)
{
    return fd == AT_FDCWD ? QDir::currentPath().toStdString()
                          : linkText("/proc/self/fd/" + std::to_string(fd));
}
std::string pathAt(int dir, const std::string &path)
{
    return path.empty()                           ? fdPath(dir)
           : path.rfind("/proc/self/fd/", 0) == 0 ? linkText(path)
           : path[0] == '/'                       ? path
                                                  : fdPath(dir) + '/' + path;
}
void breach(int law, const QString &what)
{
    if (g.law == 0)
        g.law = law, g.fault = what;
}
bool logging()
{
    return g.program && !g.busy && g.armed;
}

// Counts the call; at the armed one, acts, fails or dies. Then the odd file system's refusal.
int enter(int failure, int odd)
{
    if (!g.program || g.busy)
        return 0;
    if (g.armed && ++g.count == g.at) {
        g.fired = true;
        if (g.how == 3)
            _exit(g.law ? 10 + g.law : 0);
        if (g.how == 2)
            return failure;
        g.busy = true;
        g.act();
        g.busy = false;
    }
    return odd;
}
int moved(int dir, const char *from, int result)
{
    if (logging() && g.dirty.count(pathAt(dir, from)))
        breach(5, QString::fromStdString(pathAt(dir, from)) + " took another name before it was synced");
    if (logging() && result == 0)
        g.moved = true, g.dirSynced = false;
    return result;
}
int opened(int dir, const char *path, int flags, mode_t mode);
} // namespace

#define REAL(name) static const auto real = reinterpret_cast<decltype(&name)>(dlsym(RTLD_NEXT, #name))
#define ENTER(name, failure, odd)                                                                            \
    REAL(name);                                                                                              \
    if (const int e = enter(failure, odd))                                                                   \
    return errno = e, -1
#define MODE                                                                                                 \
    mode_t mode = 0;                                                                                         \
    if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) {                                             \
        va_list args;                                                                                        \
        va_start(args, flags);                                                                               \
        mode = va_arg(args, mode_t);                                                                         \
        va_end(args);                                                                                        \
    }
extern "C" {
int open(const char *path, int flags, ...)
{
    MODE return opened(AT_FDCWD, path, flags, mode);
}
int open64(const char *path, int flags, ...)
{
    MODE return opened(AT_FDCWD, path, flags, mode);
}
int openat(int dir, const char *path, int flags, ...)
{
    MODE return opened(dir, path, flags, mode);
}
int openat64(int dir, const char *path, int flags, ...)
{
    MODE return opened(dir, path, flags, mode);
}
ssize_t write(int fd, const void *data, size_t size)
{
    ENTER(write, ENOSPC, 0);
    struct stat status {};
    if (logging() && fd > 2 && ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode))
        g.dirty.insert(fdPath(fd));
    return real(fd, data, size);
}
int fsync(int fd)
{
    ENTER(fsync, EIO, 0);
    const int result = real(fd);
    struct stat status {};
    if (logging() && result == 0 && ::fstat(fd, &status) == 0)
        S_ISDIR(status.st_mode) ? void(g.dirSynced = true) : void(g.dirty.erase(fdPath(fd)));
    return result;
}
int rename(const char *from, const char *to)
{
    ENTER(rename, EIO, 0);
    return moved(AT_FDCWD, from, real(from, to));
}
int renameat(int fromDir, const char *from, int toDir, const char *to)
{
    ENTER(renameat, EIO, 0);
    return moved(fromDir, from, real(fromDir, from, toDir, to));
}
int renameat2(int fromDir, const char *from, int toDir, const char *to, unsigned flags)
{
    ENTER(renameat2, EIO, g.odd == 2 && flags ? EINVAL : 0);
    return moved(fromDir, from, real(fromDir, from, toDir, to, flags));
}
int link(const char *from, const char *to)
{
    ENTER(link, EIO, g.odd ? EPERM : 0);
    return moved(AT_FDCWD, from, real(from, to));
}
int linkat(int fromDir, const char *from, int toDir, const char *to, int flags)
{
    ENTER(linkat, EIO, g.odd ? EPERM : 0);
    return moved(fromDir, from, real(fromDir, from, toDir, to, flags));
}
int unlink(const char *path)
{
    ENTER(unlink, EIO, 0);
    return real(path);
}
int unlinkat(int dir, const char *path, int flags)
{
    ENTER(unlinkat, EIO, 0);
    return real(dir, path, flags);
}
int chmod(const char *path, mode_t mode)
{
    ENTER(chmod, EIO, g.odd ? ENOSYS : 0);
    return real(path, mode);
}
int fchmod(int fd, mode_t mode)
{
    ENTER(fchmod, EIO, g.odd ? ENOSYS : 0);
    return real(fd, mode);
}
#pragma GCC diagnostic ignored "-Wshadow" // flock, the call, hides struct flock's constructor
int flock(int fd, int operation)
{
    ENTER(flock, EIO, 0);
    return real(fd, operation);
}
int mkdir(const char *path, mode_t mode)
{
    ENTER(mkdir, EIO, 0);
    return real(path, mode);
}
int mkdirat(int dir, const char *path, mode_t mode)
{
    ENTER(mkdirat, EIO, 0);
    return real(dir, path, mode);
}
}

namespace {
int opened(int dir, const char *path, int flags, mode_t mode)
{
    ENTER(openat, EIO, 0);
    const int fd = real(dir, path, flags, mode);
    struct stat s {};
    const bool made = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
    if (logging() && made && fd >= 0 && g.limit && ::fstat(fd, &s) == 0 && S_ISREG(s.st_mode) &&
        (((s.st_mode & S_IROTH) && !(g.limit->mode & S_IROTH)) ||
         ((s.st_mode & S_IRGRP) && !((g.limit->mode & S_IRGRP) && s.st_gid == g.limit->gid))))
        breach(4, QStringLiteral("%1 was made with mode %2 over one of %3")
                      .arg(path)
                      .arg(s.st_mode & 07777, 0, 8)
                      .arg(g.limit->mode & 07777, 0, 8));
    return fd;
}
} // namespace

namespace storagemodel {
namespace {

// Each outside action's words: %2 the values an editor or the other copy writes, %b the bytes.
const char *const actions[] = {"the other copy saves %2",
                               "an editor writes %2 in place",
                               "an editor writes %2 by a rename",
                               "the file is cut to %b bytes",
                               "the file's CR LF become LF",
                               "the file's CR LF become CR CR LF",
                               "the file's CR LF become CR",
                               "the file gets lines after the ninth: %b",
                               "the file's bytes become %b",
                               "a link to a file elsewhere holding %2 takes the file's place",
                               "a file appears at the kept copy's name",
                               "a link to the file appears at the kept copy's name",
                               "a link elsewhere appears at the kept copy's name",
                               "a dangling link appears at the kept copy's name",
                               "a hard link to the file appears at the kept copy's name",
                               "a FIFO appears at the kept copy's name",
                               "chmod 000 the file",
                               "chmod 0444 the file",
                               "chmod 0600 the file",
                               "chmod 0200 the file",
                               "chmod 0500 its folder",
                               "chmod 0700 its folder",
                               "the file becomes a FIFO",
                               "the file becomes a loop of links",
                               "the file becomes a chain of links to %2",
                               "a minute passes",
                               "another user puts their own copy of the file in its place and links the kept "
                               "copy's name to a precious file",
                               "another user links the file's name to a precious file",
                               "another user reads what they can"};
const mode_t modes[] = {0, 0444, 0600, 0200, 0500, 0700};

QByteArray name(const QString &path)
{
    return QFile::encodeName(path);
}

QString shown(const QStringList &values)
{
    QString text;
    QDebug(&text).nospace() << values; // quoted, the unprintable escaped
    return values == initialSettings() ? QStringLiteral("the built-in values") : text;
}

struct Entry {
    mode_t mode; // type and permission bits
    uid_t uid;
    gid_t gid;
    ino_t ino;
    QByteArray data; // a file's bytes, a link's text
    bool same(const Entry &o) const
    {
        return mode == o.mode && uid == o.uid && ino == o.ino && data == o.data;
    }
    bool regular() const { return S_ISREG(mode); }
};
using Tree = std::map<QString, Entry>;

// The test reads what the program may not, by lending its owner read permission a moment.
QByteArray bytesOf(const QString &path, const struct stat &s)
{
    const bool lend = !(s.st_mode & S_IRUSR) && s.st_uid == ::geteuid();
    if (lend)
        ::chmod(name(path), (s.st_mode & 07777) | S_IRUSR);
    QFile file(path);
    const QByteArray bytes = file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)
                                 ? file.readAll()
                                 : "<unreadable " + QByteArray::number(quint64(s.st_ino)) + '>';
    if (lend)
        ::chmod(name(path), s.st_mode & 07777);
    return bytes;
}

bool put(const QString &path, const QByteArray &bytes, int flags)
{
    const int fd = ::open(name(path), O_WRONLY | O_NONBLOCK | O_CLOEXEC | flags, 0644);
    const bool done = fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return (fd < 0 || ::close(fd) == 0) && done;
}

int waitFor(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
int forked(const std::function<void()> &child)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        g.armed = g.busy = false;
        child();
        _exit(0);
    }
    return waitFor(pid);
}
void asOtherUser(const std::function<void()> &action)
{
    forked([&] {
        g.program = false;
        if (::setgroups(0, nullptr) != 0 || ::setresgid(otherUser, otherUser, otherUser) != 0 ||
            ::setresuid(otherUser, otherUser, otherUser) != 0)
            _exit(9);
        action();
    });
}

class Model {
public:
    explicit Model(int odd)
    {
        g = {};
        g.odd = odd;
        ::mkdir(name(m_home), 0700);
        ::mkdir(name(m_elsewhere), 0755);
        put(m_precious, "precious\r\n", O_CREAT);
        ::chmod(name(m_precious), 0600);
        if (m_root) { // another user may write in home, and reach it
            ::chmod(name(m_rootPath), 0755);
            ::chown(name(m_home), 0, otherUser);
            ::chmod(name(m_home), 02775);
        }
    }
    ~Model()
    {
        g = {};
        ::chmod(name(m_home), 0700); // so that the folder can go
    }
    Model(const Model &) = delete;
    Model &operator=(const Model &) = delete;
    std::optional<Broken> apply(const Step &step);

private:
    void act(int action, const Step &step);
    std::optional<Broken> spy();
    Tree snapshot() const;
    std::pair<QString, bool> target() const;
    pid_t otherCopySaves(const QStringList &values);
    orbisk::SettingsLocation location() const { return {{m_file}, m_file}; }
    QString fresh(const QString &stem) { return m_elsewhere + u'/' + stem + QString::number(++m_serial); }

    QTemporaryDir m_dir;
    QString m_rootPath = QFileInfo(m_dir.path()).canonicalFilePath();
    QString m_home = m_rootPath + "/home", m_elsewhere = m_rootPath + "/elsewhere";
    QString m_file = m_home + "/orbisk.set", m_precious = m_elsewhere + "/precious";
    bool m_root = ::geteuid() == 0;
    std::optional<orbisk::SettingsStore> m_stores[2];
    std::optional<QStringList> m_meant = initialSettings(); // what the file holds, where known
    struct Made {
        ino_t ino;
        mode_t mode;
        std::optional<Limit> limit;
    };
    std::map<QString, Made> m_made; // by the program, with who could read what it replaced
    std::set<QString> m_leftovers;  // made by saves that were killed or failed
    std::optional<Broken> m_spied;
    QByteArray m_otherRead; // the file the other copy read at its start
    int m_serial = 0;
};

Tree Model::snapshot() const
{
    Tree tree;
    QDirIterator entries(m_rootPath, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString path = entries.next();
        struct stat s {};
        if (::lstat(name(path), &s) == 0)
            tree[path.mid(m_rootPath.size() + 1)] = {
                s.st_mode, s.st_uid, s.st_gid, s.st_ino,
                S_ISREG(s.st_mode)   ? bytesOf(path, s)
                : S_ISLNK(s.st_mode) ? QByteArray::fromStdString(linkText(name(path).toStdString()))
                                     : QByteArray()};
    }
    return tree;
}

// The path the file's links lead to (a loop's: any), and whether its user owns all of the way.
std::pair<QString, bool> Model::target() const
{
    QString at = m_file;
    bool own = true;
    struct stat s {};
    for (int hops = 0; hops < 40 && ::lstat(name(at), &s) == 0; ++hops) {
        own = own && s.st_uid == ::geteuid();
        if (!S_ISLNK(s.st_mode))
            break;
        const QString link = QFile::decodeName(QByteArray::fromStdString(linkText(name(at).toStdString())));
        at = QDir::cleanPath(QDir::isAbsolutePath(link) ? link : QFileInfo(at).path() + u'/' + link);
    }
    return {at.mid(m_rootPath.size() + 1), own};
}

// Not waited for: it may wait for the saving copy. Exits 1 when its save failed, +2 read whole.
pid_t Model::otherCopySaves(const QStringList &values)
{
    struct stat s {};
    m_otherRead = ::stat(name(m_file), &s) == 0 && S_ISREG(s.st_mode) ? bytesOf(m_file, s) : QByteArray();
    const pid_t pid = ::fork();
    if (pid == 0) {
        g.armed = g.busy = false;
        ::close_range(3, ~0U, 0); // none of the saving copy's locks
        orbisk::SettingsStore other(location());
        const bool whole = other.warning().isEmpty();
        _exit((other.save(values) ? 1 : 0) | (whole ? 2 : 0));
    }
    return pid;
}

void Model::act(int v, const Step &step)
{
    const QByteArray file = name(m_file), edited = name(m_home + "/.edited");
    const QByteArray plain = step.theirs.join("\r\n").toUtf8() + "\r\n";
    struct stat s {};
    const bool regular = ::stat(file, &s) == 0 && S_ISREG(s.st_mode);
    const QByteArray bytes = regular ? bytesOf(m_file, s) : QByteArray();
    const QString kept = orbisk::keptCopyName(m_file).path, real = fresh("real");
    if (v == 0) {
        waitFor(otherCopySaves(step.theirs));
    } else if (v <= 2) {
        if (put(v == 1 ? m_file : m_home + "/.edited", plain, O_CREAT | O_TRUNC) &&
            (v == 1 || ::rename(edited, file) == 0))
            m_meant = step.theirs;
        ::unlink(edited);
    } else if (v <= 8 && (regular || v == 8)) {
        static const char *const ends[] = {"\n", "\r\r\n", "\r"};
        const QByteArray now = v == 3   ? bytes.left(step.bytes.size())
                               : v <= 6 ? QByteArray(bytes).replace("\r\n", ends[v - 4])
                               : v == 7 ? bytes + "extra\r\n" + step.bytes
                                        : step.bytes;
        if (put(m_file, now, O_CREAT | O_TRUNC))
            m_meant.reset();
    } else if (v == 9 || v == 24) { // a file elsewhere, at the end of one link or of three
        QString link = real;
        put(real, plain, O_CREAT);
        for (int i = 0; v == 24 && i < 2; ++i) {
            const QString next = fresh("chain");
            ::symlink(name(link), name(next));
            link = next;
        }
        ::unlink(file);
        if (::symlink(name(link), file) == 0)
            m_meant = step.theirs;
    } else if (v >= 10 && v <= 15 && !kept.isEmpty()) {
        put(real, "someone else's\r\n", O_CREAT);
        const QByteArray at = name(kept);
        v == 10   ? void(put(kept, "someone else's\r\n", O_CREAT | O_EXCL))
        : v == 11 ? void(::symlink(file, at))
        : v == 12 ? void(::symlink(name(real), at))
        : v == 13 ? void(::symlink(name(real + ".gone"), at))
        : v == 14 ? void(::link(name(m_rootPath + u'/' + target().first), at))
                  : void(::mkfifo(at, 0600));
    } else if (v >= 16 && v <= 21) {
        ::chmod(v < 20 ? file : name(m_home), modes[v - 16]);
    } else if (v == 22 || v == 23) {
        ::unlink(file);
        v == 22 ? void(::mkfifo(file, 0600))
                : void(::symlink(name(real), file) + ::symlink(file, name(real)));
        m_meant.reset();
    } else if (v == 25) {
        const timespec old{QDateTime::currentSecsSinceEpoch() - 120, 0}, times[2] = {old, old};
        for (const auto &entry : snapshot()) {
            if (entry.first.startsWith("home/"))
                ::utimensat(AT_FDCWD, name(m_rootPath + u'/' + entry.first), times, AT_SYMLINK_NOFOLLOW);
        }
    } else if (v >= 26 && !m_root) {
        static bool told = false;
        if (!std::exchange(told, true))
            qInfo("another user's actions need root: they are left out");
    } else if (v == 26) {
        asOtherUser([&] {
            if (put(m_home + "/.theirs", bytes, O_CREAT | O_EXCL))
                ::chmod(name(m_home + "/.theirs"), 06777), ::rename(name(m_home + "/.theirs"), file);
        });
        const QString at = orbisk::keptCopyName(m_file).path;
        asOtherUser([&] {
            if (!at.isEmpty() && ::symlink(name(m_precious), name(m_home + "/.theirs")) == 0)
                ::rename(name(m_home + "/.theirs"), name(at));
        });
        m_meant.reset();
    } else if (v == 27) {
        asOtherUser([&] {
            if (::symlink(name(m_precious), name(m_home + "/.theirs")) == 0)
                ::rename(name(m_home + "/.theirs"), file);
        });
        m_meant.reset();
    } else if (v == 28) {
        m_spied = spy();
    }
}

// Law 4 seen from outside: another user opens what the program made where it replaced what
// they could not open.
std::optional<Broken> Model::spy()
{
    QStringList files;
    for (const auto &[path, entry] : snapshot()) {
        if (entry.regular() && path.startsWith("home/"))
            files << path;
    }
    int pipe[2];
    if (::pipe(pipe) != 0)
        return std::nullopt;
    asOtherUser([&] {
        for (const QString &path : files) {
            const char could =
                ::open(name(m_rootPath + u'/' + path), O_RDONLY | O_NONBLOCK | O_NOFOLLOW) >= 0;
            ::write(pipe[1], &could, 1);
        }
    });
    std::optional<Broken> broken;
    for (const QString &path : files) {
        char could = 0;
        struct stat s {};
        const auto made = m_made.find(path);
        if (::read(pipe[0], &could, 1) == 1 && could && made != m_made.end() && made->second.limit &&
            ::lstat(name(m_rootPath + u'/' + path), &s) == 0 && s.st_ino == made->second.ino &&
            s.st_mode == made->second.mode && !(made->second.limit->mode & S_IROTH) &&
            !((made->second.limit->mode & S_IRGRP) && made->second.limit->gid == otherUser))
            broken = Broken{4, 0, "another user read " + path + ", made over a file they could not"};
    }
    ::close(pipe[0]), ::close(pipe[1]);
    return broken;
}

std::optional<Broken> Model::apply(const Step &step)
{
    if (step.kind == Step::World) {
        act(step.action, step);
        const std::optional<Broken> spied = std::exchange(m_spied, std::nullopt);
        return spied && !qEnvironmentVariable("ORBISK_PROPERTY_UNCHECKED").contains(u'4') ? spied
                                                                                          : std::nullopt;
    }
    std::optional<Broken> broken;
    const auto fail = [&](int law, const QString &what) {
        if (!broken && !qEnvironmentVariable("ORBISK_PROPERTY_UNCHECKED").contains(QString::number(law)))
            broken = Broken{law, 0, what};
    };
    const QByteArray file = name(m_file);
    std::optional<orbisk::SettingsStore> &store = m_stores[step.copy];
    Tree before = snapshot(), pre, post;
    const auto [goal, own] = target();
    struct stat s {
    }, folder{};
    const bool absent = ::lstat(file, &s) != 0 && errno == ENOENT;
    if (step.kind == Step::Start || !store) {
        g.program = true;
        store.emplace(location());
        g.program = false;
        const bool whole = store->warning().isEmpty();
        if ((absent && (!whole || store->values() != initialSettings())) ||
            (whole && m_meant && store->values() != *m_meant))
            fail(6, "shown " + shown(store->values()) + " with the warning: " + store->warning());
    }
    const QStringList known[] = {step.values, store->warning().isEmpty() ? store->values() : step.values};
    const QByteArray ownBytes = orbisk::encodeSettings(step.values).bytes;
    const bool must = step.kind == Step::Save && orbisk::encodeSettings(step.values).problem.isEmpty() &&
                      ::stat(name(m_home), &folder) == 0 && (folder.st_mode & 0300) == 0300 &&
                      (absent || (S_ISREG(s.st_mode) && (s.st_mode & S_IRUSR) && s.st_uid == ::geteuid() &&
                                  orbisk::keptCopyName(m_file).error.isEmpty()));
    pid_t other = -1;
    int killed = -1, otherDone = -1;
    std::optional<QString> error;
    std::set<QByteArray> destroyed; // by the outside action
    if (step.kind == Step::Save) {
        g.limit = ::stat(file, &s) == 0 && S_ISREG(s.st_mode) ? std::optional<Limit>({s.st_mode, s.st_gid})
                                                              : std::nullopt;
        g.armed = true, g.count = 0, g.at = step.how ? step.call : -1, g.how = step.how, g.fired = false;
        g.moved = g.dirSynced = false, g.dirty.clear();
        g.act = [&] {
            if (step.action == 0)
                return void(other = otherCopySaves(step.theirs));
            pre = snapshot();
            act(step.action, step);
            post = snapshot();
        };
        if (step.how == 3) {
            killed = forked([&] {
                g.armed = g.program = true;
                const bool failed = bool(store->save(step.values));
                _exit(g.law ? 10 + g.law : failed ? 4 : 3);
            });
        } else {
            g.program = true;
            error = store->save(step.values);
        }
        g.program = g.armed = false;
        if (other > 0)
            otherDone = waitFor(other);
        if (!error && !(killed >= 0) && g.moved && !g.dirSynced)
            breach(5, "the folder was not synced after the last rename");
        if (otherDone >= 2)
            destroyed.insert(m_otherRead);
    }
    const Tree after = snapshot();
    std::set<QByteArray> present;
    for (const auto &[path, entry] : post) {
        if (!pre.count(path) || !pre.at(path).same(entry))
            before[path] = entry, m_made.erase(path);
        present.insert(entry.data);
    }
    for (const auto &[path, entry] : pre) {
        if (!post.count(path))
            before.erase(path);
        if (entry.regular() && !present.count(entry.data))
            destroyed.insert(entry.data);
    }
    // Without rename flags a save cannot see an editor's write between its last look and its
    // rename: that write is the editor's risk.
    for (const auto &[path, entry] : post) {
        if (g.odd == 2 && (step.action == 1 || step.action == 2) && entry.regular())
            destroyed.insert(entry.data);
    }
    present.clear();
    for (const auto &entry : after)
        present.insert(entry.second.data);
    if (g.law)
        fail(std::exchange(g.law, 0), g.fault);
    if (killed >= 10)
        fail(killed - 10, "in the killed copy");
    if (const std::optional<Broken> spied = std::exchange(m_spied, std::nullopt))
        fail(spied->law, spied->detail);
    const bool outside = g.fired && step.how == 1;
    if (step.kind == Step::Save && killed < 0 && !error && !outside) {
        const orbisk::SettingsRead read = orbisk::readSettings(m_file);
        if (read.values != step.values || !read.whole())
            fail(1, "saved, and read back as " + shown(read.values) + read.problems.join(u';'));
    }
    if (must && killed < 0 && error && !g.fired)
        fail(7, "the save failed: " + *error);
    const auto exempt = [&](const QByteArray &bytes) {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        const orbisk::SettingsRead read = orbisk::readSettings(buffer);
        return destroyed.count(bytes) || (step.kind == Step::Save && ownBytes.startsWith(bytes)) ||
               (step.kind == Step::Save && read.whole() &&
                std::count(std::begin(known), std::end(known), read.values));
    };
    for (const auto &[path, entry] : before) {
        if (entry.regular() && entry.uid == ::geteuid() && !present.count(entry.data) &&
            !m_leftovers.count(path) && !exempt(entry.data))
            fail(2, QStringLiteral("the %1 bytes %2 held are nowhere").arg(entry.data.size()).arg(path));
    }
    if ((otherDone == 0 || otherDone == 2) && !present.count(orbisk::encodeSettings(step.theirs).bytes))
        fail(2, "the other copy's save, reported done, is nowhere");
    for (const auto &[path, entry] : before) {
        const auto now = after.find(path);
        const auto made = m_made.find(path);
        if (path == goal && own)
            continue;
        if (made != m_made.end() && made->second.ino == entry.ino) {
            if (now != after.end() &&
                (now->second.data != entry.data || now->second.regular() != entry.regular()))
                fail(3, path + ", which the program made, changed its bytes");
        } else if (now == after.end() || !now->second.same(entry)) {
            fail(3, path + (now == after.end() ? " was removed" : " was changed"));
        }
    }
    for (const auto &[path, entry] : after) {
        if (before.count(path) && before.at(path).ino == entry.ino)
            continue;
        if (!(entry.regular() || S_ISDIR(entry.mode)) || entry.uid != ::geteuid())
            fail(3, path + " was made, not a file of the program's user");
        m_made[path] = {entry.ino, entry.mode, g.limit};
        if (killed >= 0 || g.fired)
            m_leftovers.insert(path);
    }
    if (step.kind == Step::Save) {
        if (killed >= 0 || g.fired)
            m_meant.reset();
        else if (!error)
            m_meant = step.values;
        if (killed >= 0 || !error)
            store.reset(); // the dialog closed, or the program is gone
    }
    return broken;
}

QString drawText(Choices &choices, bool hostile)
{
    // Hostile pieces: blanks, commas, quotes, line breaks, control characters, a byte-order mark,
    // characters beyond the BMP, and a lone surrogate no encoding holds.
    static const char32_t plain[] = {'a', 'Z', '7', '.', '/', 0x20AC, 0xFC, 0x4E2D, 0x1F4B1};
    static const char32_t awkward[] = {' ',  '\t', ',',  '"',  '\r',   '\n',  0,
                                       0x1B, 0x7F, 0x85, 0xA0, 0xFEFF, 0xD800};
    QString text;
    for (quint32 pieces = choices.below(8) == 0 ? 0 : 1 + choices.below(12); pieces > 0; --pieces) {
        const char32_t c = hostile && choices.below(3) == 0 ? awkward[choices.below(std::size(awkward))]
                                                            : plain[choices.below(std::size(plain))];
        text += c > 0xFFFF ? QString::fromUcs4(&c, 1) : QString(QChar(char16_t(c)));
    }
    if (hostile && choices.below(16) == 0) // as long as a text box holds, or a little longer
        text = text.leftJustified(32765 + int(choices.below(5)), u'x');
    return text;
}

} // namespace

Sequence drawSequence(Choices &choices, int length)
{
    static const char *const pieces[] = {"GBP/USD", "1.6364", ",", "\"",           "\r",       "\n", "\r\n",
                                         " ",       "\xFF",   "x", "\xEF\xBB\xBF", "\xFF\xFE", ""};
    Sequence sequence;
    sequence.odd = choices.below(4) == 0 ? 1 + int(choices.below(2)) : 0;
    for (int i = 0; i < length; ++i) {
        Step step;
        const quint32 kind = choices.below(12);
        step.kind = kind < 3 ? Step::Start : kind < 9 ? Step::Save : Step::World;
        step.copy = int(choices.below(2));
        step.how = int(choices.below(4));
        step.call = 1 + int(choices.below(30));
        step.action = step.kind == Step::World ? 1 + int(choices.below(std::size(actions) - 1))
                                               : int(choices.below(std::size(actions)));
        if (step.action >= 22 && choices.below(3) != 0) // lasting harm a third as often: an editor mends
            step.action = 2;
        const bool hostile = choices.below(4) == 0;
        for (int v = 0; v < 9; ++v) {
            step.values << (choices.below(3) == 0 ? initialSettings()[v] : drawText(choices, hostile));
            step.theirs << (choices.below(3) == 0 ? initialSettings()[v] : drawText(choices, false));
        }
        for (quint32 n = choices.below(40); n > 0; --n) {
            const char *piece = pieces[choices.below(std::size(pieces))];
            step.bytes += *piece ? QByteArray(piece) : QByteArray(1, '\0');
        }
        sequence.steps.push_back(step);
    }
    return sequence;
}

QString describe(const Sequence &sequence)
{
    QStringList lines{QStringList{"", "(on a file system without links or modes)",
                                  "(on a file system without links, modes or rename flags)"}[sequence.odd]};
    for (const Step &step : sequence.steps) {
        const QString copy = step.copy == 0 ? "A" : "B";
        const QString action =
            QString::fromLatin1(actions[step.action])
                .replace("%2", shown(step.theirs))
                .replace("%b", step.action == 3 ? QString::number(step.bytes.size())
                                                : shown({QString::fromLatin1(step.bytes)}));
        const QString save = "copy " + copy + " saves " + shown(step.values);
        const QStringList hows{save, save + QStringLiteral(", and at its call %1 ").arg(step.call) + action,
                               save + QStringLiteral(", and its call %1 fails").arg(step.call),
                               save + QStringLiteral(", killed before its call %1").arg(step.call)};
        lines << QString::number(lines.size()) + ". " +
                     (step.kind == Step::Start  ? "copy " + copy + " starts"
                      : step.kind == Step::Save ? hows[step.how]
                                                : action);
    }
    return lines.join(u'\n').trimmed();
}

std::optional<Broken> run(const Sequence &sequence)
{
    Model model(sequence.odd);
    for (size_t i = 0; i < sequence.steps.size(); ++i) {
        if (std::optional<Broken> broken = model.apply(sequence.steps[i])) {
            broken->step = int(i);
            return broken;
        }
    }
    return std::nullopt;
}

Sequence shrink(Sequence sequence, const Broken &broken)
{
    sequence.steps.resize(size_t(broken.step) + 1);
    bool simpler = true;
    const auto tryInstead = [&](const Sequence &candidate) {
        const std::optional<Broken> again = run(candidate);
        if (again && again->law == broken.law)
            sequence = candidate, simpler = true;
    };
    while (simpler) {
        simpler = false;
        for (size_t i = sequence.steps.size(); i-- > 0;) {
            Sequence candidate = sequence;
            candidate.steps.erase(candidate.steps.begin() + std::ptrdiff_t(i));
            tryInstead(candidate);
        }
        for (size_t i = 0; i < sequence.steps.size(); ++i) {
            for (int v = -1; v < 9; ++v) { // a plain save, or one value built in
                Sequence candidate = sequence;
                Step &step = candidate.steps[i];
                if (v < 0 && step.kind == Step::Save && step.how != 0)
                    step.how = 0;
                else if (v >= 0 && step.kind == Step::Save && step.values[v] != initialSettings()[v])
                    step.values[v] = initialSettings()[v];
                else
                    continue;
                tryInstead(candidate);
            }
        }
        if (sequence.odd != 0) {
            Sequence candidate = sequence;
            candidate.odd = 0;
            tryInstead(candidate);
        }
    }
    return sequence;
}

} // namespace storagemodel
