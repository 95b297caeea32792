#include "property/storagemodel.h"

#include "settings/settingsstore.h"

#include <QBuffer>
#include <QDateTime>
#include <QDebug>
#include <QDirIterator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using orbisk::initialSettings;

// The system calls of a save fail on request: the test executable defines them, so the storage
// code linked into it calls these, which pass through to the C library otherwise.
namespace {
struct {
    std::string call; // the call to fail, after skip calls of it that succeed
    int skip = 0, error = 0;
    bool fired = false, noHardLinks = false, noRenameFlags = false;
    std::string log;    // in order: F a file synced, D a folder synced, R a rename; lower case: failed
    std::string during; // the call at which the other copy saves
    std::function<void()> meanwhile; // that save
} faults;

void meanwhile(const char *call)
{
    if (faults.during == call && faults.meanwhile)
        std::exchange(faults.meanwhile, {})();
}

bool failsNow(const char *call)
{
    if (faults.call != call || faults.fired || faults.skip-- > 0)
        return false;
    faults.fired = true;
    errno = faults.error;
    return true;
}
} // namespace

#define PASS_ON(name) static const auto real = reinterpret_cast<decltype(&name)>(dlsym(RTLD_NEXT, #name))
extern "C" {
ssize_t write(int fd, const void *data, size_t size)
{
    PASS_ON(write);
    return fd > 2 && failsNow("write") ? -1 : real(fd, data, size);
}
int fsync(int fd)
{
    PASS_ON(fsync);
    struct stat status {};
    const char synced = fstat(fd, &status) == 0 && S_ISDIR(status.st_mode) ? 'D' : 'F';
    if (synced == 'F')
        meanwhile("fsync");
    const int result = failsNow("fsync") ? -1 : real(fd);
    faults.log += result == 0 ? synced : char(synced + 32);
    return result;
}
int rename(const char *from, const char *to)
{
    PASS_ON(rename);
    const int result = failsNow("rename") ? -1 : real(from, to);
    faults.log += result == 0 ? 'R' : 'r';
    return result;
}
int renameat2(int fromFolder, const char *from, int toFolder, const char *to, unsigned int flags)
{
    PASS_ON(renameat2);
    meanwhile("rename");
    if (faults.noRenameFlags && flags != 0) {
        errno = EINVAL;
        return -1;
    }
    const int result = failsNow("rename") ? -1 : real(fromFolder, from, toFolder, to, flags);
    faults.log += result == 0 ? 'R' : 'r';
    return result;
}
int link(const char *from, const char *to)
{
    PASS_ON(link);
    errno = EPERM; // as FAT says
    return faults.noHardLinks || failsNow("link") ? -1 : real(from, to);
}
int fchmod(int fd, mode_t mode)
{
    PASS_ON(fchmod);
    return failsNow("fchmod") ? -1 : real(fd, mode);
}
}

namespace storagemodel {
namespace {

// Each kind of step, in the order of Step::Kind: its words (%1 the copy, %2 the values, %3 the
// variant's words, %4 the bytes), its variants' words between bars, and whether it carries values
// (v: any a save may be given, p: plain ones an editor writes) or bytes (b).
const struct {
    const char *text, *variants;
    char carries;
} kinds[] = {
    {"copy %1 starts", "", 0},
    {"copy %1 saves %2", "", 'v'},
    {"copy %1 saves %2 while %3 fails", "write|fsync|fsync 2|fsync 3|rename|link|fchmod|fchmod 2", 'v'},
    {"copy %1 saves %2 while the other copy saves %3", "as this one syncs|as this one renames", 'v'},
    {"an editor writes %2 %3", "in place|by a rename", 'p'},
    {"the file's bytes are %3",
     "cut to %4|given LF for CR LF|given CR CR LF for CR LF|given CR for CR LF|"
     "followed by lines after the ninth|replaced by %4",
     'b'},
    {"chmod %3", "000 the file|0444 the file|0600 the file|0200 the file|0500 its folder|0700 its folder", 0},
    {"the file becomes %3",
     "a FIFO|a link elsewhere|a link beside it|a chain of 2 links|a chain of 12 links|"
     "a dangling link|a link into a missing folder|a loop of links|a chain of 25 links through a linked "
     "folder",
     'p'},
    {"%3 appears beside the file",
     "a link to it, at its copy's name|a link elsewhere, at its copy's name|a dangling link, at its copy's "
     "name|"
     "a link to itself, at its copy's name|a hard link to it, at its copy's name|"
     "a hard link elsewhere, at its copy's name|a folder, at its copy's name|a FIFO, at its copy's name|"
     "a killed save's leftover, 10 s old|a killed save's leftover, 50 s old|a killed save's leftover, 70 s "
     "old|"
     "a killed save's leftover, a day old|a link named like a leftover|a file named almost like one|"
     "a user's file named like it",
     0}};
const qint64 ages[] = {10, 50, 70, 86400, 86400, 86400, 86400};

QStringList variantsOf(Step::Kind kind)
{
    return QString::fromLatin1(kinds[kind].variants).split(u'|', Qt::SkipEmptyParts);
}

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
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

QString shown(const QString &value)
{
    QString text;
    QDebug(&text).nospace() << value.left(16); // quoted, the unprintable escaped
    return value.size() > 16 ? text + QStringLiteral("... (%1 characters)").arg(value.size()) : text;
}

QString shown(const QStringList &values)
{
    QStringList texts;
    for (const QString &value : values)
        texts << shown(value);
    return values == initialSettings() ? QStringLiteral("the built-in values")
                                       : u'[' + texts.join(", ") + u']';
}

// ---- The world, as the test sees it

struct Entry {
    struct stat status;
    QByteArray data; // a file's bytes, a link's target
    bool operator==(const Entry &other) const
    {
        return status.st_mode == other.status.st_mode && status.st_ino == other.status.st_ino &&
               data == other.data;
    }
    qint64 age() const { return QDateTime::currentSecsSinceEpoch() - status.st_mtime; }
    bool regular() const { return S_ISREG(status.st_mode); }
};
using Tree = std::map<QString, Entry>;

QByteArray bytesOf(const QString &path, mode_t mode)
{
    ::chmod(encoded(path).constData(), mode | S_IRUSR); // the test reads what the program may not
    QFile file(path);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    ::chmod(encoded(path).constData(), mode);
    return bytes;
}

QString linkText(const QString &path)
{
    char text[4096];
    const ssize_t size = ::readlink(encoded(path).constData(), text, sizeof text);
    return QFile::decodeName(QByteArray(text, size > 0 ? int(size) : 0));
}

// The file a path stands for, after its links as the system follows them; empty for a loop.
QString resolved(QString path)
{
    struct stat status {};
    for (int hops = 0; hops <= 40; ++hops) {
        if (::lstat(encoded(path).constData(), &status) != 0 || !S_ISLNK(status.st_mode))
            return path;
        path = QDir::cleanPath(QFileInfo(path).dir().filePath(linkText(path)));
    }
    return {};
}

bool writeFile(const QString &path, const QByteArray &bytes, int flags)
{
    const int fd = ::open(encoded(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | flags, 0644);
    const bool done = fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return (fd < 0 || ::close(fd) == 0) && done;
}

// Whether a start's warning tells that value index was not read.
bool covers(const QString &warning, int index)
{
    static const QRegularExpression whole(
        QStringLiteral("cannot be opened|cannot be read|not a settings file|only (\\d) of its 9 values"));
    const QRegularExpressionMatch match = whole.match(warning);
    static const char *const what[] = {"name", "bid", "ask"};
    return warning.contains(QStringLiteral("the %1 of leg %2").arg(what[index / 3]).arg(index % 3 + 1)) ||
           (match.hasMatch() && match.captured(1).toInt() <= index);
}

bool isLeftoverOf(const QString &file, const QString &path, const Entry &entry)
{
    static const QRegularExpression suffix(QStringLiteral("^\\.saving-[A-Za-z0-9]{6}$"));
    const QString name = QFileInfo(path).fileName(), prefix = u'.' + QFileInfo(file).fileName();
    return entry.regular() && QFileInfo(path).path() == QFileInfo(file).path() && name.startsWith(prefix) &&
           suffix.match(name.mid(prefix.size())).hasMatch();
}

// The file a kept copy's name was made from: one copy per content is a rule for each file.
QString keptFrom(const QString &copy)
{
    return copy.left(copy.lastIndexOf(QStringLiteral(".unread")));
}

class World {
public:
    explicit World(int oddFileSystem)
    {
        QDir(m_root.path()).mkpath("home");
        QDir(m_root.path()).mkpath("elsewhere");
        faults = {};
        faults.noHardLinks = oddFileSystem > 0;
        faults.noRenameFlags = oddFileSystem > 1;
    }
    ~World()
    {
        faults = {};
        ::chmod(encoded(m_home).constData(), 0700); // so that the folder can go
    }
    World(const World &) = delete;
    World &operator=(const World &) = delete;

    std::optional<Broken> apply(const Step &step);

private:
    void change(const Step &step);
    std::optional<Broken> checkSave(const Step &step, const Entry *replaced, const Tree &after,
                                    const QString &target);
    std::optional<Broken> changes(const Tree &before, const Tree &after, bool saved, const QString &target);
    Tree snapshot() const;
    // Why a save cannot be done here, in the program's words; empty where it must be done, "?"
    // where either may be right (a file only a second name can keep).
    QString whyNotSaved() const;
    // Whether the content reads whole with one of the values: replacing it loses nothing.
    bool known(const std::vector<QStringList> &values, const Entry &content) const;
    QString fresh(const QString &stem) { return m_elsewhere + u'/' + stem + QString::number(++m_serial); }
    QString relative(const QString &path) const { return QDir(m_root.path()).relativeFilePath(path); }
    void meant(std::optional<QStringList> values) { m_meant = std::move(values); }

    QTemporaryDir m_root;
    QString m_home = m_root.filePath("home"), m_elsewhere = m_root.filePath("elsewhere");
    QString m_file = m_home + "/orbisk.set";
    std::optional<orbisk::SettingsStore> m_stores[2];
    std::vector<QStringList> m_known[2];     // the values each copy read whole or saved
    std::vector<QStringList> m_readWhole[2]; // what each copy's dialog now open read whole
    // The values the file is meant to hold: the built-in ones where it is absent; nothing where
    // no one can say.
    std::optional<QStringList> m_meant = initialSettings();
    std::map<QString, QByteArray> m_copies; // the copies the program kept, as it made them
    bool m_copied = false;                  // whether the step at hand kept a copy
    int m_serial = 0;
};

Tree World::snapshot() const
{
    Tree tree;
    QDirIterator entries(m_root.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString path = entries.next();
        struct stat status {};
        if (::lstat(encoded(path).constData(), &status) == 0)
            tree[path] = {status, S_ISREG(status.st_mode)   ? bytesOf(path, status.st_mode & 07777)
                                  : S_ISLNK(status.st_mode) ? encoded(linkText(path))
                                                            : QByteArray()};
    }
    return tree;
}

std::optional<Broken> World::apply(const Step &step)
{
    const QString target = resolved(m_file);
    const Tree before = snapshot();
    m_copied = false;
    std::optional<orbisk::SettingsStore> &store = m_stores[step.copy];
    const bool saving = step.kind >= Step::Save && step.kind <= Step::Overlapped && store;
    const QString why = whyNotSaved();
    const bool readWhole = saving && store->warning().isEmpty();
    std::optional<QString> error;
    std::optional<Entry> overlapped; // what the other copy's save left for this one to replace
    if (step.kind == Step::Load) {
        store.emplace(orbisk::SettingsLocation{{m_file}, m_file});
    } else if (saving) {
        const QStringList call = step.kind == Step::FailingSave
                                     ? variantsOf(step.kind)[step.variant].split(u' ')
                                     : QStringList{QString()};
        faults.call = call[0].toStdString();
        faults.skip = call.value(1, "1").toInt() - 1;
        faults.error = call[0] == "write" ? ENOSPC : call[0] == "link" ? EPERM : EIO;
        faults.log.clear();
        std::optional<orbisk::SettingsStore> &other = m_stores[1 - step.copy];
        // Without an exchange of names, what comes between the look and the rename goes unseen.
        faults.during = step.kind == Step::Overlapped && other && !(faults.noRenameFlags && step.variant == 1)
                            ? (step.variant == 0 ? "fsync" : "rename")
                            : "";
        faults.meanwhile = [&] {
            QStringList theirs = step.values;
            theirs[0] += u'\'';
            if (!other->save(theirs)) {
                m_known[1 - step.copy].push_back(theirs);
                other.reset();
                meant(theirs);
            }
            const Tree now = snapshot();
            overlapped = now.count(target) ? std::optional<Entry>(now.at(target)) : std::nullopt;
        };
        error = store->save(step.values);
        faults.call.clear();
        faults.meanwhile = {};
    } else if (step.kind > Step::Overlapped) {
        change(step);
    }
    const Tree after = snapshot();
    if (step.kind == Step::Load || saving) {
        if (auto broken = changes(before, after, saving && !error, target))
            return broken;
    }
    if (step.kind == Step::Load) {
        const QStringList &values = store->values();
        const QString &warning = store->warning();
        for (int i = 0; i < 9 && m_meant; ++i) {
            const bool absent = *m_meant == initialSettings() && !QFileInfo(target).exists();
            if ((values[i] != m_meant->at(i) && !covers(warning, i)) || (absent && !warning.isEmpty()))
                return Broken{7, 0,
                              QStringLiteral("value %1 is shown as %2, the file holds %3; the warning: %4")
                                  .arg(i + 1)
                                  .arg(shown(values[i]), shown(m_meant->at(i)), warning)};
        }
        const QString unreadable = why.startsWith("its links")    ? "cannot be opened"
                                   : why == "not a settings file" ? why
                                                                  : "";
        if (!warning.contains(unreadable))
            return Broken{7, 0, "the warning does not say the file " + unreadable + ": " + warning};
        m_readWhole[step.copy] =
            warning.isEmpty() ? std::vector<QStringList>{values} : std::vector<QStringList>{};
        if (warning.isEmpty())
            m_known[step.copy].push_back(values);
    }
    const bool storable = std::none_of(step.values.begin(), step.values.end(), [](const QString &value) {
        return value.contains(u'"') || value.contains(u'\r') || value.contains(u'\n') ||
               value.size() > 32767 || !value.isValidUtf16();
    });
    if (saving && !faults.fired && storable && why != "?" &&
        (error ? why.isEmpty() || !error->contains(why) : !why.isEmpty()))
        return Broken{8, 0, "the save should say \"" + why + "\", and says: " + error.value_or("nothing")};
    if (saving && !error) {
        const auto old = before.find(target);
        const Entry *replaced = overlapped ? &*overlapped : old != before.end() ? &old->second : nullptr;
        if (auto broken = checkSave(step, replaced, after, target)) {
            broken->invariant = broken->invariant == 2 && readWhole ? 6 : broken->invariant;
            return broken;
        }
        m_known[step.copy].push_back(step.values);
        store.reset(); // the dialog is gone once it closed
        meant(step.values);
    }
    for (const auto &[path, bytes] : m_copies) {
        const auto now = after.find(path);
        if (now == after.end() || !now->second.regular() || now->second.data != bytes)
            return Broken{2, 0, relative(path) + " changed, which the program kept"};
        for (const auto &[other, its] : m_copies) {
            if (other < path && its == bytes && keptFrom(other) == keptFrom(path))
                return Broken{4, 0, relative(other) + " and " + relative(path) + " keep the same bytes"};
        }
    }
    return std::nullopt;
}

std::optional<Broken> World::checkSave(const Step &step, const Entry *replaced, const Tree &after,
                                       const QString &target)
{
    static const QRegularExpression durable(QStringLiteral("F.*R[^R]*[Dd][^R]*$"));
    if (!durable.match(QString::fromStdString(faults.log)).hasMatch() ||
        faults.log.find('f') != std::string::npos)
        return Broken{9, 0,
                      "saved without syncing every file it wrote before the rename, and the folder after"};
    const orbisk::SettingsRead read = orbisk::readSettings(m_file);
    if (read.values != step.values || !read.whole())
        return Broken{1, 0, "saved, but read back otherwise: " + read.problems.join(u';')};
    const auto now = after.find(target);
    const bool regular = replaced && replaced->regular();
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const mode_t mode = regular ? ((replaced->status.st_mode & 07777) | S_IRUSR) : (0666 & ~mask);
    if (now == after.end() || (now->second.status.st_mode & 07777) != mode)
        return Broken{5, 0, QStringLiteral("not saved with mode %1").arg(mode, 0, 8)};
    const auto keeps = [&](const auto &entry) {
        return entry.first.startsWith(target + ".unread") && entry.second.regular() &&
               entry.second.status.st_nlink == 1 && entry.second.data == replaced->data;
    };
    if (regular && !known(m_known[step.copy], *replaced) && std::none_of(after.begin(), after.end(), keeps))
        return Broken{
            2, 0,
            QStringLiteral("%1 bytes were replaced without a copy of their own").arg(replaced->data.size())};
    if (regular && known(m_readWhole[step.copy], *replaced) && m_copied && step.kind != Step::Overlapped)
        return Broken{4, 0, "kept a copy of what its settings dialog read whole"};
    for (const auto &[path, entry] : after) {
        if (entry.age() > 61 && isLeftoverOf(target, path, entry))
            return Broken{4, 0, "a leftover stays after a save: " + relative(path)};
    }
    return std::nullopt;
}

bool World::known(const std::vector<QStringList> &values, const Entry &content) const
{
    QBuffer buffer;
    buffer.setData(content.data);
    buffer.open(QIODevice::ReadOnly);
    const orbisk::SettingsRead read = orbisk::readSettings(buffer);
    return (content.status.st_mode & S_IRUSR) && (m_meant || read.whole()) &&
           std::count(values.begin(), values.end(), m_meant.value_or(read.values)) > 0;
}

// A file readable by its owner, a chain of links to one, or nothing yet, in a folder that takes
// new files: a save there must not fail.
QString World::whyNotSaved() const
{
    const QString target = resolved(m_file);
    struct stat folder {
    }, file{};
    const bool present = !target.isEmpty() && ::lstat(encoded(target).constData(), &file) == 0;
    struct stat followed {};
    if (target.isEmpty() || (::stat(encoded(m_file).constData(), &followed) != 0 && errno == ELOOP))
        return "its links cannot be followed";
    if (present && S_ISFIFO(file.st_mode))
        return "not a settings file";
    if (::stat(encoded(QFileInfo(target).path()).constData(), &folder) != 0)
        return "its folder " + QFileInfo(target).path() + " does not exist";
    if ((folder.st_mode & 0700) != 0700)
        return "does not let a new file be made";
    // Bytes no one can read are kept only by a second name, where that is their only one (or
    // already at the copy's name: either may be right where they have others).
    const bool unreadable = present && !(file.st_mode & S_IRUSR);
    if (!present || !S_ISREG(file.st_mode))
        return present ? "?" : "";
    return unreadable && faults.noHardLinks  ? "no copy of it could be kept"
           : unreadable && file.st_nlink > 1 ? "?"
                                             : "";
}

std::optional<Broken> World::changes(const Tree &before, const Tree &after, bool saved, const QString &target)
{
    const QRegularExpression keptName(
        QRegularExpression::anchoredPattern(QRegularExpression::escape(target + ".unread") + "(-[0-9]+)?"));
    for (const auto &[path, entry] : before) {
        const auto now = after.find(path);
        const bool stale = saved && entry.age() > 59 && isLeftoverOf(target, path, entry);
        if (!(saved && path == target) && (now == after.end() ? !stale : !(now->second == entry)))
            return Broken{3, 0, relative(path) + (now == after.end() ? " was removed" : " was changed")};
    }
    for (const auto &[path, entry] : after) {
        if (before.count(path) || (saved && path == target))
            continue;
        if (target.isEmpty() || !keptName.match(path).hasMatch() || !entry.regular())
            return Broken{3, 0, relative(path) + " was made"};
        m_copies[path] = entry.data;
        m_copied = true;
    }
    return std::nullopt;
}

void World::change(const Step &step)
{
    const QByteArray file = encoded(m_file);
    const QString target = resolved(m_file), edited = m_home + "/.edited";
    const QByteArray plain = step.values.join("\r\n").toUtf8() + "\r\n";
    struct stat status {};
    const bool regular = ::stat(file.constData(), &status) == 0 && S_ISREG(status.st_mode);
    const QByteArray bytes = regular ? bytesOf(m_file, status.st_mode & 07777) : QByteArray();
    const int v = step.variant;
    if (step.kind == Step::Write) {
        if (writeFile(v == 0 ? m_file : edited, plain, O_CREAT | O_TRUNC) &&
            (v == 0 || ::rename(encoded(edited).constData(), file.constData()) == 0))
            meant(step.values);
        ::unlink(encoded(edited).constData());
    } else if (step.kind == Step::Rewrite && (regular || v == 5)) {
        static const char *const ends[] = {"", "\n", "\r\r\n", "\r"};
        const QByteArray now = v == 0   ? bytes.left(step.bytes.size())
                               : v <= 3 ? QByteArray(bytes).replace("\r\n", ends[v])
                               : v == 4 ? bytes + "extra\r\n" + step.bytes
                                        : step.bytes;
        // The values stay where only line ends change, none inside a value or after a CR, or where
        // lines follow the ninth.
        const bool same =
            regular && (now == bytes ||
                        (m_meant && (v == 4 || (v >= 1 && v <= 3 && !bytes.contains("\r\r") &&
                                                !m_meant->join("").contains(QRegularExpression("[\r\n]"))))));
        if (writeFile(m_file, now, O_CREAT | O_TRUNC) && !same)
            meant({});
    } else if (step.kind == Step::Chmod) {
        ::chmod(encoded(v < 4 ? m_file : m_home).constData(),
                variantsOf(step.kind)[v].section(u' ', 0, 0).toUInt(nullptr, 8));
    } else if (step.kind == Step::Becomes && (::unlink(file.constData()) == 0 || errno == ENOENT)) {
        const QString real = v == 2 ? m_home + "/real" + QString::number(++m_serial) : fresh("real");
        QString link = v == 6 ? fresh("gone") + "/orbisk.set" : v == 7 ? fresh("loop") : real;
        if ((v >= 1 && v <= 4) || v == 8)
            writeFile(real, plain, O_CREAT);
        // Through a linked folder, each link costs two of the forty the system follows.
        const QString alias = v == 8 ? fresh("alias") + u'/' : QString();
        if (v == 8)
            ::symlink(encoded(m_elsewhere).constData(), encoded(alias.chopped(1)).constData());
        for (int i = 0; i < (v == 3 ? 2 : v == 4 ? 12 : v == 8 ? 25 : 0); ++i) {
            const QString next = fresh("chain");
            ::symlink(encoded(v == 8 ? alias + QFileInfo(link).fileName() : link).constData(),
                      encoded(next).constData());
            link = next;
        }
        if (v == 7)
            ::symlink(file.constData(), encoded(link).constData());
        const bool made = v == 0 ? ::mkfifo(file.constData(), 0600) == 0
                                 : ::symlink(encoded(v == 2 ? QFileInfo(link).fileName() : link).constData(),
                                             file.constData()) == 0;
        meant(!made || v == 5 || v == 6 ? initialSettings()
              : v == 0 || v >= 7        ? std::optional<QStringList>()
                                        : step.values);
    } else if (step.kind == Step::Beside && !target.isEmpty()) {
        // At the name the next kept copy would take, or named like a killed save's leftover.
        QString name = target + ".unread";
        for (int number = 2; ::lstat(encoded(name).constData(), &status) == 0; ++number)
            name = target + ".unread-" + QString::number(number);
        if (v >= 8)
            name = QFileInfo(target).path() + (v == 14 ? "/" : "/.") + QFileInfo(target).fileName() +
                   (v <= 12   ? ".saving-"
                    : v == 13 ? ".saving-lo"
                              : ".usr") +
                   QString::number(100000 + ++m_serial).right(6);
        const QString other = fresh("other");
        writeFile(other, "someone else's\r\n", O_CREAT);
        const QByteArray to =
            encoded(QStringList{target, other, other + ".gone", name, target, other}.value(v));
        if (v < 4 || v == 12)
            ::symlink(v == 12 ? encoded(other).constData() : to.constData(), encoded(name).constData());
        else if (v < 6)
            ::link(to.constData(), encoded(name).constData());
        else if (v == 6)
            ::mkdir(encoded(name).constData(), 0700);
        else if (v == 7)
            ::mkfifo(encoded(name).constData(), 0600);
        else
            writeFile(name, "half a save", O_CREAT | O_EXCL);
        const timespec time{QDateTime::currentSecsSinceEpoch() - ages[std::max(v - 8, 0)], 0},
            times[2] = {time, time};
        for (const QString &aged : {name, other}) { // a link named like a leftover leads to an old file
            if (v >= 8)
                ::utimensat(AT_FDCWD, encoded(aged).constData(), times, AT_SYMLINK_NOFOLLOW);
        }
    }
}

} // namespace

Sequence drawSequence(Choices &choices, int length)
{
    // Starts and saves most often, every change of the world now and then.
    static const Step::Kind drawn[] = {
        Step::Load,        Step::Load,        Step::Load,       Step::Save,  Step::Save,  Step::Save,
        Step::FailingSave, Step::FailingSave, Step::Overlapped, Step::Write, Step::Write, Step::Rewrite,
        Step::Rewrite,     Step::Rewrite,     Step::Chmod,      Step::Chmod, Step::Chmod, Step::Becomes,
        Step::Becomes,     Step::Beside,      Step::Beside,     Step::Beside};
    static const char *const pieces[] = {"GBP/USD", "1.6364", ",",    "\"", "\r", "\n",
                                         "\r\n",    " ",      "\xFF", "x",  ""};
    Sequence sequence;
    sequence.oddFileSystem = choices.below(4) == 0 ? 1 + int(choices.below(2)) : 0;
    for (int i = 0; i < length; ++i) {
        Step step;
        step.kind = drawn[choices.below(std::size(drawn))];
        step.copy = int(choices.below(2));
        step.variant = int(choices.below(quint32(std::max<qsizetype>(1, variantsOf(step.kind).size()))));
        // An editor's file now and then holds just the built-in values, which a start without a
        // file shows too.
        if (kinds[step.kind].carries == 'p' && choices.below(4) == 0)
            step.values = initialSettings();
        for (qsizetype v = step.values.size();
             (kinds[step.kind].carries == 'v' || kinds[step.kind].carries == 'p') && v < 9; ++v)
            step.values << (choices.below(3) == 0 ? initialSettings()[v]
                                                  : drawText(choices, kinds[step.kind].carries == 'v'));
        for (quint32 n = kinds[step.kind].carries == 'b' ? choices.below(40) : 0; n > 0; --n) {
            const char *piece = pieces[choices.below(std::size(pieces))];
            step.bytes += *piece ? QByteArray(piece) : QByteArray(1, '\0');
        }
        sequence.steps.push_back(step);
    }
    return sequence;
}

QString describe(const Sequence &sequence)
{
    QStringList lines{
        QStringList{"", "(on a file system without hard links)",
                    "(on a file system without hard links or rename flags)"}[sequence.oddFileSystem]};
    for (const Step &step : sequence.steps) {
        const QStringList variants = variantsOf(step.kind);
        lines << QString::number(lines.size()) + ". " +
                     QString::fromLatin1(kinds[step.kind].text)
                         .replace("%1", step.copy == 0 ? "A" : "B")
                         .replace("%2", shown(step.values))
                         .replace("%3", variants.value(step.variant))
                         .replace("%4", step.kind == Step::Rewrite && step.variant == 0
                                            ? QStringLiteral("%1 bytes").arg(step.bytes.size())
                                            : shown(QString::fromLatin1(step.bytes)));
    }
    return lines.join(u'\n').trimmed();
}

std::optional<Broken> run(const Sequence &sequence)
{
    World world(sequence.oddFileSystem);
    for (size_t i = 0; i < sequence.steps.size(); ++i) {
        if (std::optional<Broken> broken = world.apply(sequence.steps[i])) {
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
        if (again && again->invariant == broken.invariant) {
            sequence = candidate;
            simpler = true;
        }
    };
    while (simpler) {
        simpler = false;
        for (size_t i = sequence.steps.size(); i-- > 0;) {
            Sequence candidate = sequence;
            candidate.steps.erase(candidate.steps.begin() + std::ptrdiff_t(i));
            tryInstead(candidate);
        }
        for (size_t i = 0; i < sequence.steps.size(); ++i) {
            for (qsizetype v = -1; v < sequence.steps[i].values.size(); ++v) {
                Sequence candidate = sequence; // a plain save, or one value built in
                Step &step = candidate.steps[i];
                if (v < 0 && (step.kind == Step::FailingSave || step.kind == Step::Overlapped))
                    step.kind = Step::Save;
                else if (v >= 0 && step.values[v] != initialSettings()[v])
                    step.values[v] = initialSettings()[v];
                else
                    continue;
                tryInstead(candidate);
            }
        }
        if (sequence.oddFileSystem != 0) {
            Sequence candidate = sequence;
            candidate.oddFileSystem = 0;
            tryInstead(candidate);
        }
    }
    return sequence;
}

} // namespace storagemodel
