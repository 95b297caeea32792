#include "property/storagemodel.h"

#include "property/faults.h"
#include "settings/settingsstore.h"

#include <QBuffer>
#include <QDateTime>
#include <QDirIterator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using orbisk::initialSettings;

namespace storagemodel {
namespace {

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

// What a symbolic link holds, as written.
QString linkText(const QString &path)
{
    char text[4096];
    const ssize_t size = ::readlink(encoded(path).constData(), text, sizeof text);
    return QFile::decodeName(QByteArray(text, size > 0 ? int(size) : 0));
}

// ---- Drawing

QString drawText(Choices &choices, bool hostile)
{
    // Hostile pieces: blanks, commas, quotes, line breaks, control characters, a byte-order mark,
    // characters beyond the BMP, and a lone surrogate no encoding can hold.
    static const char32_t plain[] = {'a', 'Z', '7', '.', '/', 0x20AC, 0xFC, 0x4E2D, 0x1F4B1};
    static const char32_t awkward[] = {' ',  '\t', ',',  '"',    '\r',   '\n',   0,      0x1B,
                                       0x7F, 0x85, 0xA0, 0x2028, 0xFEFF, 0xD800, 0x1F4B1};
    QString text;
    const quint32 pieces = choices.below(8) == 0 ? 0 : 1 + choices.below(12);
    for (quint32 i = 0; i < pieces; ++i) {
        const bool odd = hostile && choices.below(3) == 0;
        const char32_t c =
            odd ? awkward[choices.below(std::size(awkward))] : plain[choices.below(std::size(plain))];
        if (c > 0xFFFF)
            text += QString::fromUcs4(&c, 1);
        else
            text += QChar(static_cast<char16_t>(c));
    }
    if (hostile && choices.below(16) == 0) // as long as a text box holds, or a little more
        text = text.leftJustified(32767 - 2 + int(choices.below(5)), u'x');
    return text;
}

QStringList drawValues(Choices &choices, bool hostile)
{
    QStringList values = initialSettings();
    for (QString &value : values) {
        if (choices.below(3) != 0)
            value = drawText(choices, hostile);
    }
    return values;
}

QByteArray drawBytes(Choices &choices)
{
    static const char *const pieces[] = {"GBP/USD", "1.6364", ",", "\"",   "\r",
                                         "\n",      "\r\n",   " ", "\xFF", "x"};
    QByteArray bytes;
    for (quint32 i = choices.below(30); i > 0; --i)
        bytes += choices.below(8) == 0 ? QByteArray(1, '\0')
                                       : QByteArray(pieces[choices.below(std::size(pieces))]);
    return bytes;
}

// ---- The world's files

struct Entry {
    mode_t type = 0;
    mode_t mode = 0;
    ino_t inode = 0;
    nlink_t links = 0;
    qint64 age = 0;  // seconds since the last change of its content
    QByteArray data; // a file's bytes, a link's target
    bool operator==(const Entry &other) const
    {
        return type == other.type && mode == other.mode && inode == other.inode && data == other.data;
    }
};
using Tree = std::map<QString, Entry>;

QByteArray bytesOf(const QString &path, mode_t mode)
{
    // The file may be unreadable on purpose: the test reads it all the same.
    const bool unreadable = !(mode & S_IRUSR);
    if (unreadable)
        ::chmod(encoded(path).constData(), mode | S_IRUSR);
    QFile file(path);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    if (unreadable)
        ::chmod(encoded(path).constData(), mode);
    return bytes;
}

Tree snapshot(const QString &root)
{
    Tree tree;
    QDirIterator entries(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    while (entries.hasNext()) {
        const QString path = entries.next();
        struct stat status {};
        if (::lstat(encoded(path).constData(), &status) != 0)
            continue;
        Entry entry{status.st_mode & S_IFMT, status.st_mode & 07777, status.st_ino,
                    status.st_nlink,         now - status.st_mtime,  {}};
        if (S_ISREG(status.st_mode))
            entry.data = bytesOf(path, entry.mode);
        else if (S_ISLNK(status.st_mode))
            entry.data = encoded(linkText(path));
        tree[path] = entry;
    }
    return tree;
}

// The file a path stands for, following symbolic links as the system does; empty for a loop or
// a chain too long to follow.
QString resolved(QString path)
{
    for (int hops = 0; hops <= 40; ++hops) {
        struct stat status {};
        if (::lstat(encoded(path).constData(), &status) != 0 || !S_ISLNK(status.st_mode))
            return path;
        path = QDir::cleanPath(QFileInfo(path).dir().filePath(linkText(path)));
    }
    return {};
}

bool writeFile(const QString &path, const QByteArray &bytes, int flags)
{
    const int fd = ::open(encoded(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | flags, 0644);
    if (fd < 0)
        return false;
    const bool done = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    ::close(fd);
    return done;
}

QByteArray plainBytes(const QStringList &values)
{
    return values.join(QStringLiteral("\r\n")).toUtf8() + "\r\n";
}

bool storable(const QStringList &values)
{
    for (const QString &value : values) {
        if (value.contains(u'"') || value.contains(u'\r') || value.contains(u'\n') || value.size() > 32767 ||
            !value.isValidUtf16())
            return false;
    }
    return true;
}

// Whether the warning tells the user that value index was not read.
bool covers(const QString &warning, int index)
{
    static const char *const names[] = {"the name of leg 1", "the name of leg 2", "the name of leg 3",
                                        "the bid of leg 1",  "the bid of leg 2",  "the bid of leg 3",
                                        "the ask of leg 1",  "the ask of leg 2",  "the ask of leg 3"};
    static const QRegularExpression wholeFile(
        QStringLiteral("cannot be opened|cannot be read|not a settings file|only (\\d) of its 9 values"));
    const QRegularExpressionMatch match = wholeFile.match(warning);
    return warning.contains(QLatin1String(names[index])) ||
           (match.hasMatch() && (match.captured(1).isEmpty() || match.captured(1).toInt() <= index));
}

class World {
public:
    explicit World(bool noHardLinks)
        : m_home(m_root.filePath(QStringLiteral("home")))
        , m_elsewhere(m_root.filePath(QStringLiteral("elsewhere")))
        , m_file(m_home + QStringLiteral("/orbisk.set"))
        , m_location{{m_file}, m_file}
    {
        QDir(m_root.path()).mkpath(QStringLiteral("home"));
        QDir(m_root.path()).mkpath(QStringLiteral("elsewhere/other"));
        faults::plan() = {};
        faults::plan().noHardLinks = noHardLinks;
    }
    ~World()
    {
        faults::plan() = {};
        ::chmod(encoded(m_home).constData(), 0700); // so that the folder can go
    }
    World(const World &) = delete;
    World &operator=(const World &) = delete;

    std::optional<Broken> apply(const Step &step);

private:
    std::optional<Broken> load(int copy);
    std::optional<Broken> save(const Step &step);
    void change(const Step &step);
    std::optional<Broken> changes(const Tree &before, const Tree &after, bool saved, const QString &target);
    bool knownTo(int copy, const Entry &content) const;
    bool saneForSaving() const;
    QString fresh(const QString &stem) { return m_elsewhere + u'/' + stem + QString::number(++m_serial); }
    QString relative(const QString &path) const { return QDir(m_root.path()).relativeFilePath(path); }

    QTemporaryDir m_root;
    QString m_home, m_elsewhere, m_file;
    orbisk::SettingsLocation m_location;
    std::optional<orbisk::SettingsStore> m_stores[2];
    std::vector<QStringList> m_known[2]; // the values each copy read whole or saved

    // What the file is meant to hold: nothing, these values, or something no one can say.
    enum class Meant { Absent, Values, Unknown } m_meant = Meant::Absent;
    QStringList m_values;

    std::map<QString, QByteArray> m_copies; // the copies the program kept, as they were made
    int m_serial = 0;
};

std::optional<Broken> World::apply(const Step &step)
{
    std::optional<Broken> broken;
    if (step.kind == Step::Load)
        broken = load(step.copy);
    else if (step.kind == Step::Save || step.kind == Step::FailingSave)
        broken = save(step);
    else
        change(step);
    if (broken)
        return broken;

    // 2: what the program kept, no one changes: not the program, not a write to the file.
    const Tree after = snapshot(m_root.path());
    for (const auto &[path, bytes] : m_copies) {
        const auto now = after.find(path);
        if (now == after.end() || now->second.type != S_IFREG || now->second.data != bytes)
            return Broken{2, 0, QStringLiteral("the kept copy %1 changed").arg(relative(path))};
    }
    // 4: one kept copy for each content.
    for (auto a = m_copies.begin(); a != m_copies.end(); ++a) {
        for (auto b = std::next(a); b != m_copies.end(); ++b) {
            if (a->second == b->second && QFileInfo(a->first).path() == QFileInfo(b->first).path())
                return Broken{4, 0,
                              QStringLiteral("%1 and %2 keep the same bytes")
                                  .arg(relative(a->first), relative(b->first))};
        }
    }
    return std::nullopt;
}

std::optional<Broken> World::load(int copy)
{
    const Tree before = snapshot(m_root.path());
    m_stores[copy].emplace(m_location);
    if (auto broken = changes(before, snapshot(m_root.path()), false, resolved(m_file)))
        return broken;

    // 7: what is shown is the file's values, or the warning names what is not.
    const QStringList &shown = m_stores[copy]->values();
    const QString &warning = m_stores[copy]->warning();
    if (m_meant == Meant::Absent && (shown != initialSettings() || !warning.isEmpty()))
        return Broken{
            7, 0,
            QStringLiteral("no file, yet the values shown are not the built-in ones or a warning came: ") +
                warning};
    for (int i = 0; m_meant == Meant::Values && i < shown.size(); ++i) {
        if (shown[i] != m_values[i] && !covers(warning, i))
            return Broken{
                7, 0,
                QStringLiteral("value %1 is shown as \"%2\", the file holds \"%3\"; the warning: %4")
                    .arg(i + 1)
                    .arg(shown[i].left(40), m_values[i].left(40), warning)};
    }
    if (warning.isEmpty())
        m_known[copy].push_back(shown);
    return std::nullopt;
}

bool World::knownTo(int copy, const Entry &content) const
{
    if (!(content.mode & S_IRUSR))
        return false;
    QStringList values = m_values;
    if (m_meant != Meant::Values) {
        QBuffer buffer;
        buffer.setData(content.data);
        buffer.open(QIODevice::ReadOnly);
        const orbisk::SettingsRead read = orbisk::readSettings(buffer);
        if (!read.whole())
            return false;
        values = read.values;
    }
    return std::find(m_known[copy].begin(), m_known[copy].end(), values) != m_known[copy].end();
}

// A file or a chain of links to one, or nothing yet, in a folder that takes new files, readable
// by its owner so that it can be kept: a save there must not fail.
bool World::saneForSaving() const
{
    const QString target = resolved(m_file);
    struct stat folder {
    }, file{};
    if (target.isEmpty() || ::stat(encoded(QFileInfo(target).path()).constData(), &folder) != 0 ||
        (folder.st_mode & 0700) != 0700)
        return false;
    return ::lstat(encoded(target).constData(), &file) != 0 ||
           (S_ISREG(file.st_mode) && (file.st_mode & S_IRUSR));
}

std::optional<Broken> World::save(const Step &step)
{
    std::optional<orbisk::SettingsStore> &store = m_stores[step.copy];
    if (!store)
        return std::nullopt; // no dialog to close
    const Tree before = snapshot(m_root.path());
    const QString target = resolved(m_file);
    const bool sane = saneForSaving();
    const bool readWhole = store->warning().isEmpty();
    faults::Plan &plan = faults::plan();
    plan.log.clear();
    if (step.kind == Step::FailingSave) {
        static const char *const calls[] = {"write", "fsync", "rename", "link", "fchmod"};
        plan.call = calls[step.variant / 3];
        plan.skip = step.variant % 3;
        plan.error = plan.call == "write" ? ENOSPC : plan.call == "link" ? EPERM : EIO;
    }
    const std::optional<QString> error = store->save(step.values);
    const bool fired = plan.fired;
    plan.call.clear();
    plan.fired = false;
    const Tree after = snapshot(m_root.path());

    if (error) {
        if (!fired && sane && storable(step.values))
            return Broken{8, 0, QStringLiteral("a save that can be done failed: ") + *error};
        return changes(before, after, false, target);
    }
    if (auto broken = changes(before, after, true, target))
        return broken;

    // 9: the new file was synced before it took the name, and its folder after (where it can
    // be: some file systems cannot sync a folder).
    const std::vector<std::string> &log = plan.log;
    const auto renamed = std::find(log.rbegin(), log.rend(), "rename");
    if (renamed == log.rend() ||
        std::none_of(log.rbegin(), renamed,
                     [](const std::string &call) { return call.starts_with("fsync folder"); }) ||
        std::find(renamed, log.rend(), "fsync file") == log.rend())
        return Broken{9, 0, QStringLiteral("saved without syncing the file and its folder")};

    // 1: what was saved is read back.
    const orbisk::SettingsRead read = orbisk::readSettings(m_file);
    if (read.values != step.values || !read.whole())
        return Broken{1, 0, QStringLiteral("saved, but read back otherwise: ") + read.problems.join(u';')};

    // 5: the owner can read it; its other permission bits are as they were.
    const auto old = before.find(target);
    const auto now = after.find(target);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const bool replaced = old != before.end() && old->second.type == S_IFREG;
    const mode_t expected = replaced ? (old->second.mode | S_IRUSR) : (0666 & ~mask);
    const mode_t mode = now == after.end() ? 0 : now->second.mode;
    if (mode != expected)
        return Broken{5, 0, QStringLiteral("saved with mode %1, not %2").arg(mode, 0, 8).arg(expected, 0, 8)};

    // 2 and 6: content this copy did not read whole, or never read, was kept before it went.
    if (replaced && !knownTo(step.copy, old->second)) {
        const bool kept = std::any_of(after.begin(), after.end(), [&](const auto &entry) {
            return entry.first.startsWith(target + QStringLiteral(".unread")) &&
                   entry.second.type == S_IFREG && entry.second.links == 1 &&
                   entry.second.data == old->second.data;
        });
        if (!kept)
            return Broken{readWhole ? 6 : 2, 0,
                          QStringLiteral("the file's %1 bytes were replaced without a copy of their own")
                              .arg(old->second.data.size())};
    }
    // 4: no leftover of a killed save older than a minute.
    const QRegularExpression leftover(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(u'.' + QFileInfo(target).fileName() + QStringLiteral(".saving-")) +
        QStringLiteral("[A-Za-z0-9]{6}")));
    for (const auto &[path, entry] : after) {
        if (entry.type == S_IFREG && entry.age > 61 && QFileInfo(path).path() == QFileInfo(target).path() &&
            leftover.match(QFileInfo(path).fileName()).hasMatch())
            return Broken{4, 0, QStringLiteral("a leftover stays after a save: ") + relative(path)};
    }
    m_known[step.copy].push_back(step.values);
    store.reset(); // the dialog is gone once it closed
    m_meant = Meant::Values;
    m_values = step.values;
    return std::nullopt;
}

// 3: nothing the program did not make is removed or changed, but the file by a save and, after
// a save, the program's own leftovers a minute old.
std::optional<Broken> World::changes(const Tree &before, const Tree &after, bool saved, const QString &target)
{
    const QRegularExpression leftover(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(u'.' + QFileInfo(target).fileName() + QStringLiteral(".saving-")) +
        QStringLiteral("[A-Za-z0-9]{6}")));
    const QRegularExpression keptName(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(target + QStringLiteral(".unread")) + QStringLiteral("(-[0-9]+)?")));
    for (const auto &[path, entry] : before) {
        const auto now = after.find(path);
        if (saved && path == target)
            continue;
        if (now == after.end()) {
            const bool stale = saved && entry.type == S_IFREG && entry.age > 59 &&
                               QFileInfo(path).path() == QFileInfo(target).path() &&
                               leftover.match(QFileInfo(path).fileName()).hasMatch();
            if (!stale)
                return Broken{3, 0, QStringLiteral("%1 was removed").arg(relative(path))};
        } else if (!(now->second == entry)) {
            return Broken{3, 0, QStringLiteral("%1 was changed").arg(relative(path))};
        }
    }
    for (const auto &[path, entry] : after) {
        if (before.count(path) || (saved && path == target))
            continue;
        if (!target.isEmpty() && keptName.match(path).hasMatch() && entry.type == S_IFREG)
            m_copies[path] = entry.data;
        else
            return Broken{3, 0, QStringLiteral("%1 was made").arg(relative(path))};
    }
    return std::nullopt;
}

void World::change(const Step &step)
{
    const QString target = resolved(m_file);
    switch (step.kind) {
    case Step::Edit:
        if (writeFile(m_file, plainBytes(step.values), O_CREAT | O_TRUNC)) {
            m_meant = Meant::Values;
            m_values = step.values;
        }
        return;
    case Step::Replace: {
        const QString edited = m_home + QStringLiteral("/.edited");
        if (writeFile(edited, plainBytes(step.values), O_CREAT | O_TRUNC) &&
            ::rename(encoded(edited).constData(), encoded(m_file).constData()) == 0) {
            m_meant = Meant::Values;
            m_values = step.values;
        }
        ::unlink(encoded(edited).constData());
        return;
    }
    case Step::Truncate: {
        struct stat status {};
        if (::stat(encoded(m_file).constData(), &status) == 0 && S_ISREG(status.st_mode) &&
            status.st_size > 0 &&
            ::truncate(encoded(m_file).constData(), status.st_size * step.variant / 1000) == 0)
            m_meant = Meant::Unknown;
        return;
    }
    case Step::LineEnds: {
        struct stat status {};
        if (::stat(encoded(m_file).constData(), &status) != 0 || !S_ISREG(status.st_mode) ||
            !(status.st_mode & S_IRUSR))
            return;
        static const char *const ends[] = {"\n", "\r\r\n", "\r"};
        const QByteArray bytes = bytesOf(m_file, status.st_mode & 07777);
        if (writeFile(m_file, QByteArray(bytes).replace("\r\n", ends[step.variant]), O_TRUNC) &&
            bytes.contains("\r\n") && !bytes.contains("\r\r") && m_meant == Meant::Values &&
            !std::any_of(m_values.begin(), m_values.end(),
                         [](const QString &value) { return value.contains(u'\r') || value.contains(u'\n'); }))
            return; // the values stay as they were
        if (bytes.contains("\r\n"))
            m_meant = Meant::Unknown;
        return;
    }
    case Step::ExtraLines:
        writeFile(m_file, "extra\r\n" + step.bytes, O_APPEND); // after the ninth line: ignored
        return;
    case Step::Garbage:
        if (writeFile(m_file, step.bytes, O_CREAT | O_TRUNC))
            m_meant = Meant::Unknown;
        return;
    case Step::Chmod: {
        static const mode_t modes[] = {0, 0444, 0600, 0200, 0500, 0700};
        ::chmod(encoded(step.variant < 4 ? m_file : m_home).constData(), modes[step.variant]);
        return;
    }
    case Step::LinkAsFile: {
        if (::unlink(encoded(m_file).constData()) != 0 && errno != ENOENT)
            return;
        const int kind = step.variant % 8;
        const QString real = kind == 1 ? m_home + QStringLiteral("/real") + QString::number(++m_serial)
                                       : fresh(QStringLiteral("real"));
        QString link = real;
        Meant meant = Meant::Values;
        if (kind <= 2)
            writeFile(real, plainBytes(step.values), O_CREAT);
        for (int i = 0; kind == 2 && i < step.variant / 8; ++i) {
            const QString next = fresh(QStringLiteral("chain"));
            ::symlink(encoded(link).constData(), encoded(next).constData());
            link = next;
        }
        if (kind == 4) {
            link = fresh(QStringLiteral("loop"));
            ::symlink(encoded(m_file).constData(), encoded(link).constData());
            meant = Meant::Unknown;
        } else if (kind == 3 || kind == 5) {
            link = kind == 3 ? link : fresh(QStringLiteral("nofolder")) + QStringLiteral("/orbisk.set");
            meant = Meant::Absent;
        }
        if (::symlink(encoded(kind == 1 ? QFileInfo(link).fileName() : link).constData(),
                      encoded(m_file).constData()) == 0) {
            m_meant = meant;
            m_values = step.values;
        } else {
            m_meant = Meant::Absent;
        }
        return;
    }
    case Step::LinkAtKeptName: {
        if (target.isEmpty())
            return;
        QString name = target + QStringLiteral(".unread");
        struct stat status {};
        for (int number = 2; ::lstat(encoded(name).constData(), &status) == 0; ++number)
            name = target + QStringLiteral(".unread-") + QString::number(number);
        const QString other = fresh(QStringLiteral("other"));
        writeFile(other, "someone else's\r\n", O_CREAT);
        const QByteArray to[] = {encoded(target), encoded(other), encoded(other + QStringLiteral(".gone")),
                                 encoded(name)};
        if (step.variant < 4)
            ::symlink(to[step.variant].constData(), encoded(name).constData());
        else if (step.variant < 6)
            ::link(encoded(step.variant == 4 ? target : other).constData(), encoded(name).constData());
        else if (step.variant == 6)
            ::mkdir(encoded(name).constData(), 0700);
        else
            ::mkfifo(encoded(name).constData(), 0600);
        return;
    }
    case Step::Fifo:
        if ((::unlink(encoded(m_file).constData()) == 0 || errno == ENOENT) &&
            ::mkfifo(encoded(m_file).constData(), 0600) == 0)
            m_meant = Meant::Unknown;
        return;
    case Step::Leftover: {
        const QString folder = QFileInfo(target.isEmpty() ? m_file : target).path();
        const QString stem = QFileInfo(target.isEmpty() ? m_file : target).fileName();
        const QString serial = QString::number(++m_serial).rightJustified(3, u'0');
        const QString names[] = {u'.' + stem + QStringLiteral(".saving-lft") + serial,
                                 u'.' + stem + QStringLiteral(".saving-lnk") + serial,
                                 u'.' + stem + QStringLiteral(".saving-long") + serial,
                                 stem + QStringLiteral(".usr") + serial};
        const QString path = folder + u'/' + names[step.variant % 4];
        if (step.variant % 4 == 1)
            ::symlink(encoded(m_elsewhere).constData(), encoded(path).constData());
        else
            writeFile(path, "half a save", O_CREAT | O_EXCL);
        static const qint64 ages[] = {10, 50, 70, 86400};
        const timespec times[2] = {{QDateTime::currentSecsSinceEpoch() - ages[step.variant / 4], 0},
                                   {QDateTime::currentSecsSinceEpoch() - ages[step.variant / 4], 0}};
        ::utimensat(AT_FDCWD, encoded(path).constData(), times, AT_SYMLINK_NOFOLLOW);
        return;
    }
    case Step::Remove:
        if (::unlink(encoded(m_file).constData()) == 0 || errno == ENOENT)
            m_meant = Meant::Absent;
        return;
    default:
        return;
    }
}

QString shown(const QString &value)
{
    QString text;
    for (const QChar c : value.left(16))
        text += c.isPrint() && c != u'"' && c != u'\\'
                    ? QString(c)
                    : QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QChar(u'0'));
    return u'"' + text +
           (value.size() > 16 ? QStringLiteral("...\" (%1 characters)").arg(value.size())
                              : QStringLiteral("\""));
}

QString shown(const QStringList &values)
{
    if (values == initialSettings())
        return QStringLiteral("the built-in values");
    QStringList texts;
    for (const QString &value : values)
        texts << shown(value);
    return u'[' + texts.join(QStringLiteral(", ")) + u']';
}

} // namespace

Sequence drawSequence(Choices &choices, int length)
{
    // Weighted: starts and saves most often, every outside change now and then.
    static const Step::Kind kinds[] = {
        Step::Load,           Step::Load,           Step::Load,        Step::Save,       Step::Save,
        Step::Save,           Step::FailingSave,    Step::FailingSave, Step::Edit,       Step::Edit,
        Step::Replace,        Step::Truncate,       Step::LineEnds,    Step::LineEnds,   Step::ExtraLines,
        Step::Garbage,        Step::Chmod,          Step::Chmod,       Step::LinkAsFile, Step::LinkAsFile,
        Step::LinkAtKeptName, Step::LinkAtKeptName, Step::Fifo,        Step::Leftover,   Step::Leftover,
        Step::Remove};
    Sequence sequence;
    sequence.noHardLinks = choices.below(4) == 0;
    for (int i = 0; i < length; ++i) {
        Step step;
        step.kind = kinds[choices.below(std::size(kinds))];
        step.copy = int(choices.below(2));
        switch (step.kind) {
        case Step::Save:
            step.values = drawValues(choices, true);
            break;
        case Step::FailingSave:
            step.variant = int(choices.below(15));
            step.values = drawValues(choices, true);
            break;
        case Step::Edit:
        case Step::Replace:
            step.values = drawValues(choices, false);
            break;
        case Step::Truncate:
            step.variant = int(choices.below(1000));
            break;
        case Step::LineEnds:
            step.variant = int(choices.below(3));
            break;
        case Step::ExtraLines:
        case Step::Garbage:
            step.bytes = drawBytes(choices);
            break;
        case Step::Chmod:
            step.variant = int(choices.below(6));
            break;
        case Step::LinkAsFile:
            step.variant = int(choices.below(6) + 8 * (1 + choices.below(12)));
            step.values = drawValues(choices, false);
            break;
        case Step::LinkAtKeptName:
            step.variant = int(choices.below(8));
            break;
        case Step::Leftover:
            step.variant = int(choices.below(16));
            break;
        default:
            break;
        }
        sequence.steps.push_back(step);
    }
    return sequence;
}

QString describe(const Sequence &sequence)
{
    QStringList lines;
    if (sequence.noHardLinks)
        lines << QStringLiteral("(on a file system without hard links)");
    int number = 0;
    for (const Step &step : sequence.steps) {
        const QString copy = step.copy == 0 ? QStringLiteral("copy A") : QStringLiteral("copy B");
        static const char *const calls[] = {"write", "fsync", "rename", "link", "fchmod"};
        static const char *const ends[] = {"LF", "CR CR LF", "CR"};
        static const char *const modes[] = {"file 000",  "file 0444",   "file 0600",
                                            "file 0200", "folder 0500", "folder 0700"};
        static const char *const links[] = {"a file elsewhere", "a file beside it", "a chain of %1 links",
                                            "nothing",          "a loop",           "a missing folder"};
        static const char *const kept[] = {
            "a link to the file",      "a link elsewhere",      "a dangling link", "a link to itself",
            "a hard link to the file", "a hard link elsewhere", "a folder",        "a FIFO"};
        static const char *const leftovers[] = {"a killed save's leftover", "a link named like a leftover",
                                                "a file named almost like a leftover", "a user's file"};
        static const int ages[] = {10, 50, 70, 86400};
        QString text;
        switch (step.kind) {
        case Step::Load:
            text = copy + QStringLiteral(" starts");
            break;
        case Step::Save:
            text = copy + QStringLiteral(" saves ") + shown(step.values);
            break;
        case Step::FailingSave:
            text = copy + QStringLiteral(" saves %1 while call %2 of %3 fails")
                              .arg(shown(step.values))
                              .arg(step.variant % 3 + 1)
                              .arg(QLatin1String(calls[step.variant / 3]));
            break;
        case Step::Edit:
            text = QStringLiteral("an editor rewrites the file in place: ") + shown(step.values);
            break;
        case Step::Replace:
            text = QStringLiteral("a new file is renamed over it: ") + shown(step.values);
            break;
        case Step::Truncate:
            text = QStringLiteral("the file is cut to %1 per mille").arg(step.variant);
            break;
        case Step::LineEnds:
            text = QStringLiteral("its CR LF become ") + QLatin1String(ends[step.variant]);
            break;
        case Step::ExtraLines:
            text = QStringLiteral("lines are added after the ninth");
            break;
        case Step::Garbage:
            text = QStringLiteral("the file is overwritten with ") + shown(QString::fromLatin1(step.bytes));
            break;
        case Step::Chmod:
            text = QStringLiteral("chmod ") + QLatin1String(modes[step.variant]);
            break;
        case Step::LinkAsFile:
            text = QStringLiteral("the file becomes a link to ") +
                   QString::fromLatin1(links[step.variant % 8]).arg(step.variant / 8);
            break;
        case Step::LinkAtKeptName:
            text = QStringLiteral("the next copy's name is taken by ") + QLatin1String(kept[step.variant]);
            break;
        case Step::Fifo:
            text = QStringLiteral("the file becomes a FIFO");
            break;
        case Step::Leftover:
            text = QStringLiteral("%1 appears, %2 s old")
                       .arg(QLatin1String(leftovers[step.variant % 4]))
                       .arg(ages[step.variant / 4]);
            break;
        default:
            text = QStringLiteral("the file is removed");
        }
        lines << QStringLiteral("%1. %2").arg(++number).arg(text);
    }
    return lines.join(u'\n');
}

std::optional<Broken> run(const Sequence &sequence)
{
    World world(sequence.noHardLinks);
    for (int i = 0; i < int(sequence.steps.size()); ++i) {
        if (std::optional<Broken> broken = world.apply(sequence.steps[size_t(i)])) {
            broken->step = i;
            return broken;
        }
    }
    return std::nullopt;
}

Sequence shrink(Sequence sequence, const Broken &broken)
{
    sequence.steps.resize(size_t(broken.step) + 1);
    const auto stillBreaks = [&broken](const Sequence &shorter) {
        const std::optional<Broken> again = run(shorter);
        return again && again->invariant == broken.invariant;
    };
    const auto tryInstead = [&](const Sequence &simpler) {
        if (!stillBreaks(simpler))
            return false;
        sequence = simpler;
        return true;
    };
    // Fewer steps, then simpler ones: a save without a failing call, built-in values, hard links.
    for (bool simpler = true; simpler;) {
        simpler = false;
        for (size_t i = sequence.steps.size(); i-- > 0;) {
            Sequence without = sequence;
            without.steps.erase(without.steps.begin() + std::ptrdiff_t(i));
            simpler = tryInstead(without) || simpler;
        }
        for (size_t i = 0; i < sequence.steps.size(); ++i) {
            Sequence plain = sequence;
            Step &step = plain.steps[i];
            if (step.kind == Step::FailingSave) {
                step.kind = Step::Save;
                simpler = tryInstead(plain) || simpler;
            }
            for (qsizetype v = 0; v < sequence.steps[i].values.size(); ++v) {
                plain = sequence;
                plain.steps[i].values[v] = initialSettings()[v];
                if (plain.steps[i].values != sequence.steps[i].values)
                    simpler = tryInstead(plain) || simpler;
            }
        }
        if (sequence.noHardLinks) {
            Sequence withLinks = sequence;
            withLinks.noHardLinks = false;
            simpler = tryInstead(withLinks) || simpler;
        }
    }
    return sequence;
}

} // namespace storagemodel
