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

// The system calls of a save, counted, acted on at the armed one, and logged for laws 4 and 5:
// the test defines them, so the storage code calls these, which pass through to the C library.
struct {
    bool saving = false, fired = false, renamed = false; // renamed: the folder wants a sync
    int odd = 0, count = 0, at = 0, how = 0, law = 0;
    std::function<void()> act;
    std::optional<Limit> limit;                 // who may read the file the save replaces
    std::set<std::string> unsynced;             // files written since their last sync
    std::map<ino_t, std::optional<Limit>> born; // files made, with who could read the file then
    QString fault;
} g;

std::string pathOf(int dir, const char *path = "")
{
    char text[4096];
    const std::string base = dir == AT_FDCWD ? "/proc/self/cwd" : "/proc/self/fd/" + std::to_string(dir);
    const ssize_t size = ::readlink(base.c_str(), text, sizeof text);
    return *path == '/' ? path
                        : std::string(text, size_t(std::max<ssize_t>(size, 0))) + (*path ? "/" : "") + path;
}
void breach(int law, const QString &what)
{
    if (g.law == 0)
        g.law = law, g.fault = what;
}
// Counts the call; at the armed one acts, fails or dies. Then the odd file system's refusal.
int enter(int failure, int odd)
{
    if (!g.saving)
        return 0;
    if (++g.count == g.at) {
        g.fired = true;
        if (g.how == 3)
            _exit(g.law ? 10 + g.law : 0);
        if (g.how == 2)
            return failure;
        g.saving = false, g.act(), g.saving = true;
    }
    return odd;
}
void renamed(int dir, const char *from, int result)
{
    if (g.saving && g.unsynced.count(pathOf(dir, from)))
        breach(5, QString::fromStdString(pathOf(dir, from)) + " took another name before it was synced");
    g.renamed = g.renamed || (g.saving && result == 0);
}
void wrote(int fd)
{
    struct stat s {};
    if (g.saving && fd > 2 && ::fstat(fd, &s) == 0 && S_ISREG(s.st_mode))
        g.unsynced.insert(pathOf(fd));
}
void synced(int fd, int result)
{
    struct stat s {};
    if (g.saving && result == 0 && ::fstat(fd, &s) == 0)
        S_ISDIR(s.st_mode) ? void(g.renamed = false) : void(g.unsynced.erase(pathOf(fd)));
}
int created(int dir, const char *path, int flags, mode_t mode);
} // namespace

#define PASS(type, name, params, args, failure, odd, after)                                                  \
    extern "C" type name params                                                                              \
    {                                                                                                        \
        static const auto real = reinterpret_cast<decltype(&name)>(dlsym(RTLD_NEXT, #name));                 \
        if (const int e = enter(failure, odd))                                                               \
            return errno = e, -1;                                                                            \
        const type result = real args;                                                                       \
        after;                                                                                               \
        return result;                                                                                       \
    }
#define OPEN(name, params, dir)                                                                              \
    extern "C" int name params                                                                               \
    {                                                                                                        \
        va_list args;                                                                                        \
        va_start(args, flags);                                                                               \
        const mode_t mode = (flags & O_CREAT) ? va_arg(args, mode_t) : 0;                                    \
        va_end(args);                                                                                        \
        return created(dir, path, flags, mode);                                                              \
    }
OPEN(open, (const char *path, int flags, ...), AT_FDCWD)
OPEN(open64, (const char *path, int flags, ...), AT_FDCWD)
OPEN(openat, (int dir, const char *path, int flags, ...), dir)
OPEN(openat64, (int dir, const char *path, int flags, ...), dir)
PASS(ssize_t, write, (int fd, const void *data, size_t size), (fd, data, size), ENOSPC, 0, wrote(fd))
PASS(int, fsync, (int fd), (fd), EIO, 0, synced(fd, result))
PASS(int, renameat, (int fd, const char *from, int td, const char *to), (fd, from, td, to), EIO, 0,
     renamed(fd, from, result))
PASS(int, renameat2, (int fd, const char *from, int td, const char *to, unsigned flags),
     (fd, from, td, to, flags), EIO, g.odd == 2 && flags ? EINVAL : 0, renamed(fd, from, result))
PASS(int, linkat, (int fd, const char *from, int td, const char *to, int flags), (fd, from, td, to, flags),
     EIO, g.odd ? EPERM : 0, renamed(fd, from, result))
PASS(int, unlinkat, (int dir, const char *path, int flags), (dir, path, flags), EIO, 0, )
PASS(int, fchmod, (int fd, mode_t mode), (fd, mode), EIO, g.odd ? ENOSYS : 0, )
PASS(int, stat, (const char *path, struct stat *status), (path, status), EIO, 0, )
PASS(int, lstat, (const char *path, struct stat *status), (path, status), EIO, 0, )
PASS(int, fstatat, (int dir, const char *path, struct stat *status, int flags), (dir, path, status, flags),
     EIO, 0, )
#pragma GCC diagnostic ignored "-Wshadow" // the call hides struct flock's name
PASS(int, flock, (int fd, int operation), (fd, operation), EIO, 0, )

namespace {
// Law 4 at birth: a new file may let a class read only where the file it replaces did.
int created(int dir, const char *path, int flags, mode_t mode)
{
    static const auto real =
        reinterpret_cast<int (*)(int, const char *, int, ...)>(dlsym(RTLD_NEXT, "openat"));
    if (const int e = enter(EIO, 0))
        return errno = e, -1;
    const int fd = real(dir, path, flags, mode);
    struct stat s {};
    if (g.saving && (flags & O_CREAT) && fd >= 0 && ::fstat(fd, &s) == 0)
        g.born[s.st_ino] = g.limit;
    if (g.saving && (flags & O_CREAT) && fd >= 0 && g.limit &&
        (((s.st_mode & S_IROTH) && !(g.limit->mode & S_IROTH)) ||
         ((s.st_mode & S_IRGRP) && !(g.limit->mode & S_IROTH) &&
          !((g.limit->mode & S_IRGRP) && s.st_gid == g.limit->gid))))
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
const char *const actions[] = {
    "the other copy saves %2",
    "an editor writes %2 in place",
    "an editor writes %2 by a rename",
    "the file's bytes become %b",
    "a link to a file elsewhere holding %2 takes the file's place",
    "a file appears at the kept copy's name",
    "a link to the file appears at the kept copy's name",
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
    "a minute passes",
    "another user puts in a file of theirs, and a link to a precious file as its copy",
    "another user links the file's name to a precious file",
    "another user reads what they can",
};
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
    bool operator==(const Entry &o) const
    {
        return mode == o.mode && uid == o.uid && ino == o.ino && data == o.data;
    }
};
using Tree = std::map<QString, Entry>;

// The test reads what the program may not, by lending the owner read permission a moment.
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
pid_t forked(const std::function<int()> &child)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        g.saving = false, _exit(child());
    return pid;
}
void asOtherUser(const std::function<void()> &action)
{
    waitFor(forked([&] {
        const bool other = ::setgroups(0, nullptr) == 0 &&
                           ::setresgid(otherUser, otherUser, otherUser) == 0 &&
                           ::setresuid(otherUser, otherUser, otherUser) == 0;
        if (other)
            action();
        return 0;
    }));
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
        if (::geteuid() == 0) // another user may write in home (sticky, as root needs it), and reach it
            ::chmod(name(m_root), 0755), ::chown(name(m_home), 0, otherUser), ::chmod(name(m_home), 03775);
    }
    ~Model() { g = {}, ::chmod(name(m_home), 0700); } // so that the folder can go
    Model(const Model &) = delete;
    Model &operator=(const Model &) = delete;
    std::optional<std::pair<int, QString>> apply(const Step &step);

private:
    void act(int action, const Step &step);
    Tree snapshot() const;
    QString target(bool &own) const;
    orbisk::SettingsLocation location() const { return {{m_file}, m_file}; }
    QString fresh(const QString &stem) { return m_elsewhere + u'/' + stem + QString::number(++m_serial); }

    QTemporaryDir m_dir;
    QString m_root = QFileInfo(m_dir.path()).canonicalFilePath();
    QString m_home = m_root + "/home", m_elsewhere = m_root + "/elsewhere";
    QString m_file = m_home + "/orbisk.set", m_precious = m_elsewhere + "/precious";
    std::optional<orbisk::SettingsStore> m_stores[2];
    std::optional<QStringList> m_meant = initialSettings();           // what the file holds, where known
    std::map<QString, std::pair<Entry, std::optional<Limit>>> m_made; // by the program; who could read
    std::optional<QString> m_spied;  // a file another user read that they should not have
    std::set<QString> m_leftovers;   // what interrupted saves left that they were free to lose
    std::set<QByteArray> m_released; // contents a copy read whole, which its saves may replace
    int m_serial = 0;
};

Tree Model::snapshot() const
{
    Tree tree;
    QDirIterator entries(m_root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString path = entries.next();
        struct stat s {};
        if (::lstat(name(path), &s) == 0)
            tree[path.mid(m_root.size() + 1)] = {s.st_mode, s.st_uid, s.st_gid, s.st_ino,
                                                 S_ISREG(s.st_mode)   ? bytesOf(path, s)
                                                 : S_ISLNK(s.st_mode) ? name(QFile::symLinkTarget(path))
                                                                      : QByteArray()};
    }
    return tree;
}

// The path the file's links lead to (a loop's: any); own: whether its user owns all of the way.
QString Model::target(bool &own) const
{
    QString at = m_file;
    struct stat s {};
    own = true;
    for (int hops = 0; hops < 40 && ::lstat(name(at), &s) == 0 && (own = own && s.st_uid == ::geteuid()) &&
                       S_ISLNK(s.st_mode);
         ++hops)
        at = QFileInfo(at).symLinkTarget();
    return at.mid(m_root.size() + 1);
}

void Model::act(int v, const Step &step)
{
    const QByteArray file = name(m_file), plain = step.theirs.join("\r\n").toUtf8() + "\r\n";
    const QString kept = orbisk::keptCopyName(m_file).path, real = fresh("real"),
                  theirs = m_home + "/.theirs";
    if (v == 1 || v == 2) {
        if (put(v == 1 ? m_file : theirs, plain, O_CREAT | O_TRUNC) &&
            (v == 1 || ::rename(name(theirs), file) == 0))
            m_meant = step.theirs;
    } else if (v == 3 && put(m_file, step.bytes, O_CREAT | O_TRUNC)) {
        m_meant.reset();
    } else if (v == 4 && put(real, plain, O_CREAT)) {
        ::unlink(file);
        m_meant = ::symlink(name(real), file) == 0 ? std::optional(step.theirs) : std::nullopt;
    } else if (v >= 5 && v <= 8 && !kept.isEmpty()) {
        v == 5   ? void(put(kept, "someone else's\r\n", O_CREAT | O_EXCL))
        : v == 6 ? void(::symlink(file, name(kept)))
        : v == 7 ? void(::link(file, name(kept)))
                 : void(::mkfifo(name(kept), 0600));
    } else if (v >= 9 && v <= 14) {
        ::chmod(v < 13 ? file : name(m_home), modes[v - 9]);
    } else if (v == 15 || v == 16) {
        ::unlink(file);
        v == 15 ? void(::mkfifo(file, 0600))
                : void(::symlink(name(real), file) + ::symlink(file, name(real)));
        m_meant.reset();
    } else if (v == 17) {
        const timespec old{QDateTime::currentSecsSinceEpoch() - 120, 0}, times[2] = {old, old};
        for (const auto &entry : snapshot())
            ::utimensat(AT_FDCWD, name(m_root + u'/' + entry.first), times, AT_SYMLINK_NOFOLLOW);
    } else if (v >= 18 && ::geteuid() != 0) {
        static const bool told =
            (qInfo("another user's actions need root to be tried: they are left out"), true);
        Q_UNUSED(told);
    } else if (v == 18 || v == 19) {
        asOtherUser([&] {
            if (v == 18 && put(theirs, "theirs\r\n", O_CREAT | O_EXCL) && ::chmod(name(theirs), 06777) == 0)
                ::rename(name(theirs), file);
            if ((v == 19 || !kept.isEmpty()) && ::symlink(name(m_precious), name(theirs)) == 0)
                ::rename(name(theirs), name(v == 18 ? kept : m_file));
        });
        m_meant.reset();
    } else if (v == 20) { // law 4 seen from outside
        int pipe[2];
        const Tree tree = snapshot();
        if (::pipe(pipe) != 0)
            return;
        asOtherUser([&] {
            for (const auto &[path, entry] : tree) {
                const char could =
                    ::open(name(m_root + u'/' + path), O_RDONLY | O_NONBLOCK | O_NOFOLLOW) >= 0;
                ::write(pipe[1], &could, 1);
            }
        });
        for (const auto &[path, entry] : tree) {
            char could = 0;
            const auto made = m_made.find(path);
            const Limit *limit = made != m_made.end() && made->second.first == entry && made->second.second
                                     ? &*made->second.second
                                     : nullptr;
            if (::read(pipe[0], &could, 1) == 1 && could && S_ISREG(entry.mode) && entry.uid == ::geteuid() &&
                limit && !(limit->mode & S_IROTH) && !((limit->mode & S_IRGRP) && limit->gid == otherUser))
                m_spied = "another user read " + path + ", made over a file they could not";
        }
        ::close(pipe[0]), ::close(pipe[1]);
    }
}

std::optional<std::pair<int, QString>> Model::apply(const Step &step)
{
    std::optional<std::pair<int, QString>> broken;
    const auto fail = [&](int law, const QString &what) {
        if (!broken)
            broken = {law, what};
    };
    if (step.kind == Step::World) {
        act(step.action, step);
        if (m_spied)
            fail(4, *std::exchange(m_spied, std::nullopt));
        return broken;
    }
    const QByteArray file = name(m_file);
    std::optional<orbisk::SettingsStore> &store = m_stores[step.copy];
    Tree before = snapshot(), pre, post;
    bool own = true;
    QString goal = target(own);
    std::set<QString> replaceable; // the files at the end of the links, of the program's user all the way
    if (own)
        replaceable.insert(goal);
    struct stat s {
    }, folder{};
    const bool absent = ::lstat(file, &s) != 0 && errno == ENOENT;
    if (step.kind == Step::Start || !store) {
        store.emplace(location());
        const bool whole = store->warning().isEmpty();
        if ((absent && (!whole || store->values() != initialSettings())) ||
            (whole && m_meant && store->values() != *m_meant))
            fail(6, "shown " + shown(store->values()) + " with the warning: " + store->warning());
    }
    if (step.kind == Step::Start)
        return broken;
    // The other copy's dialog, where it was opened before: its values may be stale by now.
    std::optional<orbisk::SettingsStore> &otherStore = m_stores[1 - step.copy];
    QStringList known[] = {step.values, store->warning().isEmpty() ? store->values() : step.values,
                           step.values};
    const QByteArray ownBytes = orbisk::encodeSettings(step.values).bytes,
                     theirBytes = orbisk::encodeSettings(step.theirs).bytes;
    const bool must = orbisk::encodeSettings(step.values).problem.isEmpty() &&
                      ::stat(name(m_home), &folder) == 0 && (folder.st_mode & 0300) == 0300 &&
                      (absent || (S_ISREG(s.st_mode) && (s.st_mode & S_IRUSR) && s.st_uid == ::geteuid() &&
                                  orbisk::keptCopyName(m_file).error.isEmpty()));
    g.limit = ::stat(name(m_root + u'/' + goal), &s) == 0 && S_ISREG(s.st_mode)
                  ? std::optional<Limit>({s.st_mode, s.st_gid})
                  : std::nullopt;
    g.count = 0, g.at = step.how ? step.call : -1, g.how = step.how, g.fired = g.renamed = false,
    g.unsynced.clear(), g.born.clear();
    pid_t other = -1;
    int killed = -1, otherDone = -1;
    std::optional<QString> error;
    QByteArray otherRead;
    g.act = [&] {
        if (step.action == 0) { // waited for a moment only: it may wait for this save's lock
            struct stat now {};
            otherRead = ::stat(file, &now) == 0 && S_ISREG(now.st_mode) ? bytesOf(m_file, now) : QByteArray();
            known[2] = otherStore && otherStore->warning().isEmpty() ? otherStore->values() : step.values;
            other = forked([&] {
                ::close_range(3, ~0U, 0);
                orbisk::SettingsStore copy = otherStore ? *otherStore : orbisk::SettingsStore(location());
                return (copy.save(step.theirs) ? 1 : 0) | (copy.warning().isEmpty() ? 2 : 0);
            });
            for (int wait = 0; wait < 100 && ::waitpid(other, &otherDone, WNOHANG) == 0; ++wait)
                ::usleep(1000);
            return;
        }
        const QString was = goal;
        pre = snapshot(), act(step.action, step), post = snapshot(), goal = target(own);
        if (own)
            replaceable.insert(goal);
        struct stat now {}; // a file the world leaves there, or a mode it gives one, is what is replaced
        if (own && goal == was && ::stat(name(m_root + u'/' + goal), &now) == 0 && S_ISREG(now.st_mode) &&
            !g.born.count(now.st_ino))
            g.limit = Limit{now.st_mode, now.st_gid}, g.born.clear(); // what the save replaces now
    };
    if (step.how == 3) {
        killed = waitFor(forked([&] {
            g.saving = true;
            const bool failed = bool(store->save(step.values));
            return g.law ? 10 + g.law : failed ? 4 : 3;
        }));
    } else {
        g.saving = true, error = store->save(step.values), g.saving = false;
    }
    otherDone = other <= 0 ? -1 : otherDone != -1 ? WEXITSTATUS(otherDone) : waitFor(other);
    if (!error && killed < 0 && g.renamed)
        breach(5, "the folder was not synced after the last rename");
    const Tree after = snapshot();
    // What the outside action itself destroyed, or made, is its own: and an editor's write that a
    // file system without rename flags cannot see between the last look and the rename.
    std::set<QByteArray> destroyed, present;
    if (otherDone >= 2 && !otherStore) // it read the file as it then was
        destroyed.insert(otherRead);
    if (otherDone == 0 || otherDone == 2) // saved: its dialog closed
        otherStore.reset();
    for (const auto &[path, entry] : post) {
        if (!pre.count(path) || !(pre.at(path) == entry))
            before[path] = entry, m_made.erase(path);
        if (g.odd == 2 && step.action >= 1 && step.action <= 4)
            destroyed.insert(entry.data);
        present.insert(entry.data);
    }
    for (const auto &[path, entry] : pre) {
        if (!post.count(path))
            before.erase(path);
        if (S_ISREG(entry.mode) && !present.count(entry.data))
            destroyed.insert(entry.data);
    }
    present.clear();
    for (const auto &entry : after)
        present.insert(entry.second.data);
    if (g.law)
        fail(std::exchange(g.law, 0), g.fault);
    if (killed >= 10)
        fail(killed - 10, "in the killed copy");
    if (killed < 0 && !error && !(g.fired && step.how == 1)) {
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
        const bool readWhole = read.whole() && std::count(std::begin(known), std::end(known), read.values);
        if (readWhole && killed < 0 && !error) // replaced by a copy that read it whole: free to go, later too
            m_released.insert(bytes);
        return readWhole || destroyed.count(bytes) || ownBytes.startsWith(bytes) || m_released.count(bytes);
    };
    if (const auto replaced = before.find(goal); replaced != before.end() && S_ISREG(replaced->second.mode))
        exempt(replaced->second.data);
    for (const auto &[path, entry] : before) {
        if (S_ISREG(entry.mode) && entry.uid == ::geteuid() && !present.count(entry.data) &&
            !m_leftovers.count(path) && !exempt(entry.data))
            fail(2, QStringLiteral("the %1 bytes %2 held are nowhere").arg(entry.data.size()).arg(path));
    }
    if ((otherDone == 0 || otherDone == 2) && !present.count(theirBytes))
        fail(2, "the other copy's save, reported done, is nowhere");
    for (const auto &[path, entry] : before) {
        const auto now = after.find(path);
        const auto made = m_made.find(path);
        if (replaceable.count(path))
            continue;
        if (made != m_made.end() && made->second.first.ino == entry.ino) {
            if (now != after.end() && now->second.data != entry.data)
                fail(3, path + ", which the program made, changed its bytes");
        } else if (now == after.end() || !(now->second == entry)) {
            fail(3, path + (now == after.end() ? " was removed" : " was changed"));
        }
    }
    const auto madeBefore = m_made;
    for (const auto &[path, entry] : after) {
        if (before.count(path) && before.at(path).ino == entry.ino)
            continue;
        if (!(S_ISREG(entry.mode) || S_ISDIR(entry.mode)) || entry.uid != ::geteuid())
            fail(3, path + " was made, not a file of the program's user");
        std::optional<Limit> limit = g.born.count(entry.ino) ? g.born[entry.ino] : g.limit;
        for (const auto &[other, was] : before) { // a copy may be read by whoever read its bytes
            if (limit && S_ISREG(was.mode) && was.data == entry.data && !madeBefore.count(other))
                limit->mode |= was.mode & (S_IROTH | S_IRGRP),
                    limit->gid = was.mode & S_IRGRP ? was.gid : limit->gid;
        }
        m_made[path] = {entry, limit};
        if ((killed >= 0 || g.fired) && exempt(entry.data)) // what this step may lose, later too
            m_leftovers.insert(path);
    }
    if (killed >= 0 || g.fired)
        m_meant.reset();
    else if (!error)
        m_meant = step.values;
    if (killed >= 0 || !error)
        store.reset(); // the dialog closed, or the program is gone
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

QString describe(const Sequence &sequence)
{
    QStringList lines{QStringList{"", "(on a file system without links or modes)",
                                  "(on a file system without links, modes or rename flags)"}[sequence.odd]};
    for (const Step &step : sequence.steps) {
        const QString copy = step.copy == 0 ? "A" : "B",
                      save = "copy " + copy + " saves " + shown(step.values);
        const QString action = QString::fromLatin1(actions[step.action])
                                   .replace("%2", shown(step.theirs))
                                   .replace("%b", shown({QString::fromLatin1(step.bytes)}));
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

// The first broken law, and the step's index.
std::optional<std::pair<int, QString>> run(const Sequence &sequence, size_t &at)
{
    Model model(sequence.odd);
    for (at = 0; at < sequence.steps.size(); ++at) {
        if (auto broken = model.apply(sequence.steps[at]))
            return broken;
    }
    return std::nullopt;
}

} // namespace

quint32 Choices::below(quint32 bound)
{
    quint32 value = 0;
    for (quint64 range = 1; m_data && range < bound && m_next < m_size; range <<= 8)
        value = value << 8 | m_data[m_next++];
    return m_data ? value % bound : m_random.bounded(bound);
}

Sequence drawSequence(Choices &choices, int length)
{
    static const char *const pieces[] = {"GBP/USD", "1.6364", ",",    "\"", "\r",           "\n",
                                         "\r\n",    " ",      "\xFF", "x",  "\xEF\xBB\xBF", ""};
    Sequence sequence;
    sequence.odd = choices.below(4) == 0 ? 1 + int(choices.below(2)) : 0;
    for (int i = 0; i < length; ++i) {
        Step step;
        const quint32 kind = choices.below(12);
        step.kind = kind < 3 ? Step::Start : kind < 9 ? Step::Save : Step::World;
        step.copy = int(choices.below(2));
        step.how = int(choices.below(4));
        step.call = 1 + int(choices.below(40));
        step.action =
            int(choices.below(std::size(actions) - (step.kind == Step::World))) + (step.kind == Step::World);
        if (step.action >= 15 && step.action <= 16 && choices.below(3) != 0) // lasting harm less often
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

std::optional<QString> check(const Sequence &drawn)
{
    size_t at = 0;
    const auto first = run(drawn, at);
    if (!first)
        return std::nullopt;
    // Steps left out, saves made plain, values made built-in, the ordinary file system, while the
    // same law still breaks.
    Sequence sequence = drawn;
    sequence.steps.resize(at + 1);
    bool simpler = true;
    const auto tryInstead = [&](const Sequence &candidate) {
        size_t unused = 0;
        const auto again = run(candidate, unused);
        if (again && again->first == first->first)
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
            for (int v = -1; v < 9 && sequence.steps[i].kind == Step::Save; ++v) {
                Sequence candidate = sequence;
                Step &step = candidate.steps[i];
                const bool plainer =
                    v < 0 ? std::exchange(step.how, 0) != 0
                          : std::exchange(step.values[v], initialSettings()[v]) != step.values[v];
                if (plainer)
                    tryInstead(candidate);
            }
        }
        if (sequence.odd != 0) {
            Sequence candidate = sequence;
            candidate.odd = 0;
            tryInstead(candidate);
        }
    }
    const auto last = run(sequence, at).value_or(*first);
    return QStringLiteral("law %1 broken at step %2: %3\n%4")
        .arg(last.first)
        .arg(at + 1)
        .arg(last.second, describe(sequence));
}

} // namespace storagemodel
