#include "settings/settingsstore.h"
#include "support/permissions.h"
#include "support/settingsfixture.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>

#include <fcntl.h>
#include <pwd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace orbisk;

namespace {

QStringList with(int index, const QString &value)
{
    QStringList values = initialSettings();
    values[index] = value;
    return values;
}

// Gives its bytes, then fails as a disk that goes bad part-way.
class FailingDevice final : public QBuffer {
public:
    explicit FailingDevice(const QByteArray &bytes)
    {
        setData(bytes);
        open(QIODevice::ReadOnly);
    }
    bool atEnd() const override { return false; }

protected:
    qint64 readData(char *data, qint64 size) override
    {
        const qint64 n = QBuffer::readData(data, size);
        if (n == 0)
            setErrorString(QStringLiteral("Input/output error"));
        return n == 0 ? -1 : n;
    }
};

QString userHome()
{
    return QFile::decodeName(getpwuid(geteuid())->pw_dir);
}

bool run(const QString &program, const QStringList &arguments)
{
    return QProcess::execute(program, arguments) == 0;
}

} // namespace

// What the storage property test cannot reach: the reader's rules for files written by hand,
// where the file lies, root's rules, and real file systems.
class SettingsFileTest : public QObject, private SettingsFileFixture {
    Q_OBJECT

    static void setMode(const QString &name, mode_t mode)
    {
        QCOMPARE(::chmod(QFile::encodeName(name), mode), 0);
    }

private slots:
    void initTestCase() { QVERIFY(dropPermissionOverrides()); }
    void cleanup()
    {
        setMode(m_dir.path(), 0700);
        for (const QString &name :
             QDir(m_dir.path())
                 .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot))
            QVERIFY(QFile::remove(m_dir.filePath(name)) || QDir(m_dir.filePath(name)).removeRecursively());
    }

    void read_followsTheFieldRules_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QString>("problems"); // what the reader reports, if anything
        const QStringList defaults = initialSettings();
        const QString cut =
            "it is longer than a settings file can be; only %1 of its 9 values were found in it";
        // clang-format off
        QTest::newRow("nine lines") << defaultBytes << defaults << QString();
        QTest::newRow("one comma-separated line") << QByteArray("GBP/USD,EUR/GBP,EUR/USD,1.6364,0.7225,1.1826,1.6369,0.7230,1.1831") << defaults << QString();
        QTest::newRow("quoted value loses its quotes") << QByteArray(defaultBytes).replace("EUR/USD", "\"EUR/USD\"") << defaults << QString();
        QTest::newRow("quoted value keeps commas and blanks") << QByteArray(defaultBytes).replace("EUR/USD", " \"EUR, USD \"") << with(2, "EUR, USD ") << QString();
        QTest::newRow("quoted value keeps a line break") << QByteArray(defaultBytes).replace("EUR/USD", "\"EUR\r\nUSD\"") << with(2, "EUR\r\nUSD") << QString();
        QTest::newRow("text after the closing quote is dropped") << QByteArray(defaultBytes).replace("EUR/USD", "\"EUR\"x") << with(2, "EUR") << QString();
        QTest::newRow("empty line is an empty value") << QByteArray(defaultBytes).replace("0.7225", "") << with(4, "") << QString();
        QTest::newRow("blanks around an unquoted value are dropped") << QByteArray(defaultBytes).replace("0.7225", " \t0.7225  ") << defaults << QString();
        QTest::newRow("lone LF ends a line") << QByteArray(defaultBytes).replace("\r\n", "\n") << defaults << QString();
        QTest::newRow("lone CR ends a line") << QByteArray(defaultBytes).replace("\r\n", "\r") << defaults << QString();
        QTest::newRow("CRs before a LF end one line") << QByteArray(defaultBytes).replace("\r\n", "\r\r\n").replace("EUR/USD\r\r", "EUR/USD\r") << defaults << QString();
        QTest::newRow("lines after the ninth are ignored") << defaultBytes + "extra\n\"unclosed\r" << defaults << QString();
        QTest::newRow("non-ASCII text") << QByteArray(defaultBytes).replace("GBP/USD", "\xC2\xA3/$") << with(0, QString::fromUtf8("\xC2\xA3/$")) << QString();
        QTest::newRow("control characters are the value's own") << QByteArray(defaultBytes).replace("GBP/USD", "G\x1b\x7f") << with(0, "G\x1b\x7f") << QString();
        QTest::newRow("short file keeps what it has") << QByteArray("a\r\nb\r\nc\r\n1\r\n") << QStringList{"a", "b", "c", "1"} + defaults.mid(4) << QString("it holds only 4 of its 9 values");
        QTest::newRow("empty file") << QByteArray() << defaults << QString("it holds only 0 of its 9 values");
        QTest::newRow("unclosed quote costs its line only") << QByteArray(defaultBytes).replace("EUR/GBP", "\"EUR/GBP") << defaults << QString("the quotes around the name of leg 2 are not closed");
        QTest::newRow("unclosed quote on the last line") << QByteArray(defaultBytes).replace("1.1831\r\n", "\"1.2") << defaults << QString("the quotes around the ask of leg 3 are not closed");
        QTest::newRow("invalid UTF-8 costs that value only") << QByteArray(defaultBytes).replace("EUR/GBP", "\xFF\xFE").replace("0.7225", "9") << with(4, "9") << QString("the name of leg 2 is not text");
        QTest::newRow("UTF-8 cut short at the end of a value") << QByteArray(defaultBytes).replace("EUR/GBP", "b\xE4\t") << defaults << QString("the name of leg 2 is not text");
        QTest::newRow("value longer than a text box holds") << QByteArray(defaultBytes).replace("EUR/GBP", QByteArray(40'000, 'x')) << defaults << QString("the name of leg 2 is too long");
        QTest::newRow("value too long to read, then two more") << QByteArray(defaultBytes).replace("EUR/GBP", QByteArray(200'000, 'x')).replace("0.7225", "9") << with(4, "9") << QString("the name of leg 2 is too long");
        QTest::newRow("quoted value too long to read") << QByteArray(defaultBytes).replace("EUR/GBP", "\"" + QByteArray(200'000, '\xFF') + "\"") << defaults << QString("the name of leg 2 is too long");
        QTest::newRow("two unreadable values") << QByteArray(defaultBytes).replace("EUR/GBP", "\xFF").replace("0.7230", "\"") << defaults << QString("the name of leg 2 is not text; the quotes around the ask of leg 2 are not closed");
        QTest::newRow("a value cut by the read limit") << ("\"a\"" + QByteArray(294'902, 'j') + "\r\n").repeated(8) + "1.23456\r\n" << QStringList(8, "a") + defaults.mid(8) << cut.arg(8);
        QTest::newRow("a first line longer than the read limit") << QByteArray(10'000'000, 'x') + "\r\n" + defaultBytes << defaults << cut.arg(0);
        QTest::newRow("a first quote longer than the read limit") << "\"" + QByteArray(10'000'000, 'x') << defaults << cut.arg(0);
        QTest::newRow("CRs running into the read limit") << QByteArray(3'000'000, '\r') + "\n" + defaultBytes << with(0, "") << cut.arg(1);
        QTest::newRow("CRs after the ninth value, into the read limit") << defaultBytes.chopped(2) + QByteArray(3'000'000, '\r') << defaults << QString();
        QTest::newRow("megabytes after a closing quote") << "\"a\"" + QByteArray(5'000'000, 'x') << with(0, "a") << cut.arg(1);
        // Files not written as settings files: their values are read, but not whole.
        QTest::newRow("UTF-8 byte-order mark") << "\xEF\xBB\xBF" + defaultBytes << with(0, QChar(0xFEFF) + QString("GBP/USD")) << QString("it starts with a byte-order mark, which a settings file never does");
        QTest::newRow("NUL after the closing quote") << QByteArray(defaultBytes).replace("EUR/USD", QByteArray("\"EUR\"\0x", 7)) << with(2, "EUR") << QString("it holds NUL bytes, as text in UTF-16 does, not 8-bit text");
        QTest::newRow("UTF-16 without a mark") << QByteArray("G\0B\0P\0", 6) << defaults << QString("the name of leg 1 is not text; it holds only 1 of its 9 values; it holds NUL bytes, as text in UTF-16 does, not 8-bit text");
        QTest::newRow("a stray CR in a CR LF file") << QByteArray(defaultBytes).replace("\r\nEUR/GBP", "\r\n\rEUR/GBP") << QStringList{"GBP/USD", "", "EUR/GBP", "EUR/USD", "1.6364", "0.7225", "1.1826", "1.6369", "0.7230"} << QString("its lines end in more than one way, so where a value ends is unsure");
        // clang-format on
    }
    void read_followsTheFieldRules()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, values);
        QFETCH(QString, problems);
        put(bytes);
        const SettingsRead read = readSettings(path());
        QVERIFY(read.present);
        if (!values.isEmpty()) // where they would only restate how the bytes fall apart
            QCOMPARE(read.values, values);
        QCOMPARE(read.problems.join("; "), problems);
    }

    void write_storesOrRefusesEachValue_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("written"); // the file's start, or why the value is refused
        // clang-format off
        QTest::newRow("comma: quoted") << 0 << "1,6364" << QByteArray("\"1,6364\"\r\n");
        QTest::newRow("line break: quoted") << 0 << "a\nb" << QByteArray("\"a\nb\"\r\n");
        QTest::newRow("byte-order mark first in the file: quoted") << 0 << QChar(0xFEFF) + QString("a") << QByteArray("\"\xEF\xBB\xBF" "a\"\r\n");
        QTest::newRow("inner quote: as it is") << 0 << "a\"b" << QByteArray("a\"b\r\n");
        QTest::newRow("ESC, DEL, NEL, non-ASCII: as they are") << 0 << QString::fromUtf8("\x1b\x7f\xC2\x85\xE2\x82\xAC") << QByteArray("\x1b\x7f\xC2\x85\xE2\x82\xAC\r\n");
        QTest::newRow("leading quote: refused") << 4 << "\"x" << QByteArray("the bid of leg 2 holds a double quote, which the file cannot store there");
        QTest::newRow("quote in a value that needs quotes: refused") << 4 << "a,\"b" << QByteArray("the bid of leg 2 holds a double quote, which the file cannot store there");
        QTest::newRow("NUL: refused") << 4 << QString(QChar(0)) << QByteArray("the bid of leg 2 holds a NUL character, which the file cannot store");
        QTest::newRow("lone surrogate: refused") << 4 << QString(QChar(0xD800)) << QByteArray("the bid of leg 2 holds a character the system's encoding lacks");
        QTest::newRow("longer than a text box: refused") << 4 << QString(32768, u'x') << QByteArray("the bid of leg 2 is too long");
        // clang-format on
    }
    void write_storesOrRefusesEachValue()
    {
        QFETCH(int, index);
        QFETCH(QString, value);
        QFETCH(QByteArray, written);
        put(defaultBytes);
        if (const auto error = writeSettings(path(), with(index, value), initialSettings())) {
            QCOMPARE(error->toUtf8(), written);
            QCOMPARE(contents(), defaultBytes); // untouched
        } else {
            QVERIFY2(contents().startsWith(written), contents().constData());
            QCOMPARE(readSettings(path()).values, with(index, value));
            QVERIFY(readSettings(path()).whole());
        }
    }

    // What the start-up warning promises for a file not read whole, and what the save then does.
    void warning_saysWhereTheFileIsKept_andTheSaveKeepsIt_data()
    {
        QTest::addColumn<QString>("world"); // what is done to the folder after the file is put
        QTest::addColumn<QString>("promise");
        QTest::addColumn<QString>("keptAs"); // where the save keeps the bytes; empty: it does not save
        const QString kept =
            "Before the settings are saved over it, the file is kept as %1."; // the copy's path
        // clang-format off
        QTest::newRow("a free name") << "" << kept << "orbisk.set.unread";
        QTest::newRow("a FIFO at the first name: the next, which no limit counts") << "fifo" << kept << "orbisk.set.unread-2";
        QTest::newRow("no one may read it: kept by a second name") << "chmod" << kept << "orbisk.set.unread";
        QTest::newRow("other bytes of the same size at the first name: the next") << "same size" << kept << "orbisk.set.unread-2";
        QTest::newRow("the same bytes at the first name: that copy") << "same bytes" << kept << "orbisk.set.unread";
        QTest::newRow("98 copies and a FIFO: the hundredth name") << "crowded" << kept << "orbisk.set.unread-100";
        QTest::newRow("99 copies: none more") << "full" << "Closing the Settings window will not save over it: no copy of it could be kept: too many copies are kept already." << "";
        QTest::newRow("a folder that takes no new file") << "read-only" << "Closing the Settings window will not save over it: its folder does not let a new file be made (Permission denied)." << "";
        // clang-format on
    }
    void warning_saysWhereTheFileIsKept_andTheSaveKeepsIt()
    {
        QFETCH(QString, world);
        QFETCH(QString, promise);
        QFETCH(QString, keptAs);
        const QByteArray unread = QByteArray(defaultBytes).replace("EUR/GBP", "\xFF");
        put(unread);
        if (world == "fifo" || world == "crowded")
            QCOMPARE(::mkfifo(QFile::encodeName(path() + ".unread"), 0600), 0);
        const int copies = world.startsWith("same") ? 1 : world == "crowded" || world == "full" ? 99 : 0;
        for (int n = world == "crowded" ? 2 : 1; n <= copies; ++n) {
            QFile copy(path() + ".unread" + (n > 1 ? "-" + QString::number(n) : QString()));
            QVERIFY(copy.open(QIODevice::WriteOnly) &&
                    copy.write(world == "same bytes"
                                   ? unread
                                   : QByteArray(unread).replace("\xFF", QByteArray::number(n))));
        }
        setMode(world == "chmod" ? path() : m_dir.path(), world == "chmod"       ? 0
                                                          : world == "read-only" ? 0500
                                                                                 : 0700);
        SettingsStore store({{path()}, path()});
        QVERIFY2(store.warning().endsWith(" " +
                                          (keptAs.isEmpty() ? promise : promise.arg(m_dir.filePath(keptAs)))),
                 qPrintable(store.warning()));
        QCOMPARE(store.save(initialSettings()).has_value(), keptAs.isEmpty());
        setMode(keptAs.isEmpty() ? path() : m_dir.filePath(keptAs), 0600);
        QCOMPARE(keptAs.isEmpty() ? contents() : QByteArray(defaultBytes), contents());
        QFile copy(m_dir.filePath(keptAs));
        QVERIFY(keptAs.isEmpty() || (copy.open(QIODevice::ReadOnly) && copy.readAll() == unread));
    }

    void read_errorPartWay_keepsWhatWasRead()
    {
        FailingDevice device("GBP/USD\r\nX\r\nEUR");
        const SettingsRead read = readSettings(device);
        QCOMPARE(read.values, with(1, "X"));
        QCOMPARE(read.problems, QStringList{"it cannot be read (Input/output error)"});
    }

    // Why a save is refused, in words that name what is in the way.
    void save_refusesWhatItCannotReplace_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("why");
        QTest::newRow("a folder of that name") << "folder"
                                               << "it is a folder";
        QTest::newRow("a file where its folder should be")
            << "orbisk.set/sub/orbisk.set"
            << "its folder %1/orbisk.set/sub cannot be created (Not a directory)";
        QTest::newRow("a folder that is not one for files")
            << "/proc/self/mem"
            << "its folder does not let a new file be made (No such file or directory)";
    }
    void save_refusesWhatItCannotReplace()
    {
        QFETCH(QString, file);
        QFETCH(QString, why);
        put(defaultBytes);
        QVERIFY(QDir().mkpath(m_dir.filePath("folder")));
        QCOMPARE(saveSettings({{}, QDir(m_dir.path()).filePath(file)}, initialSettings(), initialSettings()),
                 QString(why).replace("%1", m_dir.path()));
    }

    // Links are followed as the system follows them: forty, and no more.
    void save_followsFortyLinksAndNoMore()
    {
        put(defaultBytes);
        QString link = path();
        for (int n = 1; n <= 41; ++n) {
            const QString next = m_dir.filePath(QStringLiteral("link%1").arg(n));
            QVERIFY(QFile::link(link, next));
            link = next;
        }
        QCOMPARE(writeSettings(link, initialSettings(), initialSettings()),
                 "its links cannot be followed (Too many levels of symbolic links)");
        QCOMPARE(writeSettings(m_dir.filePath("link40"), initialSettings(), initialSettings()), std::nullopt);
    }

    // A save removes a killed save's leftover of its own a minute old, and nothing else named so.
    void save_removesOnlyItsOwnStaleLeftovers()
    {
        put(defaultBytes);
        const QString leftover = m_dir.filePath(".orbisk.set.saving-");
        QVERIFY(QFile(leftover + "mine00").open(QIODevice::WriteOnly) &&
                QFile(leftover + "fresh0").open(QIODevice::WriteOnly) &&
                QFile(leftover + "unread").open(QIODevice::WriteOnly));
        setMode(leftover + "unread", 0200); // what a killed swap brought out, which no copy keeps
        QCOMPARE(::mkfifo(QFile::encodeName(leftover + "fifo00"), 0600), 0);
        QVERIFY(QDir().mkdir(leftover + "folder") && QFile::link(leftover + "mine00", leftover + "link00"));
        const timespec old{QDateTime::currentSecsSinceEpoch() - 61, 0}, times[2] = {old, old};
        for (const char *name : {"mine00", "fifo00", "folder", "link00", "unread"})
            QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(leftover + name), times, AT_SYMLINK_NOFOLLOW),
                     0);
        QVERIFY(!writeSettings(path(), initialSettings(), initialSettings()));
        QCOMPARE(QDir(m_dir.path())
                     .entryList({".orbisk.set.saving-*"}, QDir::AllEntries | QDir::System | QDir::Hidden),
                 (QStringList{".orbisk.set.saving-fifo00", ".orbisk.set.saving-folder",
                              ".orbisk.set.saving-fresh0", ".orbisk.set.saving-link00",
                              ".orbisk.set.saving-unread"}));
    }

    void location_followsHowTheProgramIsInstalled_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("folderWritable");
        QTest::addColumn<QString>("home");
        QTest::addColumn<QStringList>("readPaths");
        QTest::addColumn<QString>("writePath");
        // clang-format off
        QTest::newRow("portable copy: next to the program") << false << true << "home" << QStringList{"bin/orbisk.set"} << "bin/orbisk.set";
        QTest::newRow("portable copy in a read-only folder: the user's file") << false << false << "home" << QStringList{"home/orbisk/orbisk.set", "bin/orbisk.set"} << "home/orbisk/orbisk.set";
        QTest::newRow("installed, even with a writable folder: the user's file") << true << true << "home" << QStringList{"home/orbisk/orbisk.set", "etc/orbisk/orbisk.set", "xdg/orbisk/orbisk.set", "bin/orbisk.set"} << "home/orbisk/orbisk.set";
        QTest::newRow("no home, even installed: next to the program") << true << false << "" << QStringList{"bin/orbisk.set"} << "bin/orbisk.set";
        // clang-format on
    }
    void location_followsHowTheProgramIsInstalled()
    {
        QFETCH(bool, installed);
        QFETCH(bool, folderWritable);
        QFETCH(QString, home);
        QFETCH(QStringList, readPaths);
        QFETCH(QString, writePath);
        const QDir dir(m_dir.path());
        QVERIFY(dir.mkpath("bin"));
        setMode(dir.filePath("bin"), folderWritable ? 0755 : 0555);
        const SettingsLocation location = settingsLocation({dir.filePath("bin"),
                                                            installed,
                                                            home.isEmpty() ? home : dir.filePath(home),
                                                            {dir.filePath("etc"), dir.filePath("xdg")}});
        setMode(dir.filePath("bin"), 0755);
        QCOMPARE(QStringList(location.readPaths).replaceInStrings(dir.path() + '/', ""), readPaths);
        QCOMPARE(QString(location.writePath).remove(dir.path() + '/'), writePath);

        // Read: the first that is present, a folder being none; saving creates the user's folder.
        QCOMPARE(location.readPath(), location.writePath);
        QVERIFY(location.readPaths.size() == 1 || dir.mkpath(location.readPaths.first()));
        QVERIFY(QFile(location.readPaths.last()).open(QIODevice::WriteOnly));
        QCOMPARE(location.readPath(), location.readPaths.last());
        QVERIFY(location.readPaths.size() == 1 || dir.rmdir(location.readPaths.first()));
        QVERIFY(!saveSettings(location, with(0, "mine"), initialSettings()));
        QCOMPARE(location.readPath(), location.writePath);
        QCOMPARE(readSettings(location.readPath()).values, with(0, "mine"));
    }

    void location_takesOnlyAbsoluteFolders()
    {
        qputenv("XDG_CONFIG_HOME", "relative/config");
        qputenv("XDG_CONFIG_DIRS", "relative:/etc/admin");
        const SettingsPlaces places = currentSettingsPlaces();
        QCOMPARE(places.userConfigFolder, userHome() + "/.config");
        QCOMPARE(places.systemConfigFolders, QStringList{"/etc/admin"});
        QVERIFY(!places.installed); // the test runs from the build tree, next to its own settings
        QCOMPARE(settingsLocation().writePath, QCoreApplication::applicationDirPath() + "/orbisk.set");
        qputenv("XDG_CONFIG_HOME", m_dir.path().toUtf8() + "/");
        qunsetenv("XDG_CONFIG_DIRS");
        QCOMPARE(currentSettingsPlaces().userConfigFolder, m_dir.path());
        QCOMPARE(currentSettingsPlaces().systemConfigFolders, QStringList{"/etc/xdg"});
        qunsetenv("XDG_CONFIG_HOME");

        // A HOME that is no absolute path is the user database's; root's is always root's own.
        for (const QByteArray home : {"", "relhome", "/", "/home/someone"}) {
            qputenv("HOME", home);
            const QString expected = geteuid() != 0 && home.startsWith('/') ? QString(home) : userHome();
            QCOMPARE(currentSettingsPlaces().userConfigFolder, QDir::cleanPath(expected + "/.config"));
        }
        // An ordinary user's HOME too: root tries it as nobody.
        for (const QByteArray home : {"relhome", "/"}) {
            qputenv("HOME", home);
            if (geteuid() == 0 && seteuid(65534) == 0) {
                const QString folder = currentSettingsPlaces().userConfigFolder;
                QCOMPARE(seteuid(0), 0);
                QCOMPARE(folder,
                         home == "/" ? "/.config" : QFile::decodeName(getpwuid(65534)->pw_dir) + "/.config");
            }
        }
        qunsetenv("HOME");
    }

    // "sudo -E" keeps the user's HOME: root must not make, replace or follow what they own.
    void asRoot_anotherUsersFilesAndFoldersAreLeftAlone()
    {
        if (geteuid() != 0)
            QSKIP("only root can hold files of another user here");
        const QString theirs = m_dir.filePath("theirs"), mine = m_dir.filePath("mine");
        const QString through = m_dir.filePath("through"), shared = m_dir.filePath("shared");
        const QString notMine =
            "it or its folder belongs to another user, or another user may change it, and "
            "root leaves those alone";
        QVERIFY(QDir().mkdir(theirs) && QDir().mkdir(mine) && QFile::link(mine, through));
        setMode(theirs, 0777); // even where their permissions would let root in
        QCOMPARE(::chown(QFile::encodeName(theirs), 4242, 4242), 0);
        QCOMPARE(::lchown(QFile::encodeName(through), 4242, 4242), 0);
        QCOMPARE(saveSettings({{}, theirs + "/orbisk.set"}, initialSettings(), {}), notMine);
        QCOMPARE(saveSettings({{}, theirs + "/sub/orbisk.set"}, initialSettings(), {}),
                 "its folder " + theirs + "/sub cannot be created (Permission denied)");
        QCOMPARE(saveSettings({{}, through + "/orbisk/orbisk.set"}, initialSettings(), {}),
                 "its folder " + through + "/orbisk cannot be created (Permission denied)");
        QVERIFY(QDir().mkdir(shared)); // root's, but a group may rename what is in it
        setMode(shared, 02775);
        QCOMPARE(saveSettings({{}, shared + "/orbisk.set"}, initialSettings(), {}), notMine);
        setMode(shared, 03775); // sticky: no one renames what another put there
        QCOMPARE(saveSettings({{}, shared + "/orbisk.set"}, initialSettings(), {}), std::nullopt);
        // Their copy of root's bytes is no copy of root's: they may remove it.
        QVERIFY(QFile::copy(shared + "/orbisk.set", shared + "/orbisk.set.unread"));
        QCOMPARE(::chown(QFile::encodeName(shared + "/orbisk.set.unread"), 4242, 4242), 0);
        QCOMPARE(keptCopyName(shared + "/orbisk.set").path, shared + "/orbisk.set.unread-2");
        QVERIFY(QFile::link(theirs + "/new.set", path())); // root's link into their folder
        QCOMPARE(writeSettings(path(), initialSettings(), {}), notMine);
        QVERIFY(QDir(theirs).isEmpty() && QDir(mine).isEmpty());
        QVERIFY(QFile::link(mine, theirs + "/orbisk.set"));
        QCOMPARE((SettingsLocation{{theirs + "/orbisk.set"}, path()}.readPath()), path());
        qputenv("XDG_CONFIG_HOME", through.toUtf8());
        QCOMPARE(currentSettingsPlaces().userConfigFolder, userHome() + "/.config");
        qunsetenv("XDG_CONFIG_HOME");
        // A copy that is not installed, in their folder: root's own file instead.
        QVERIFY(settingsLocation({theirs, false, "/root/.config", {}}).writePath.startsWith("/root/"));
    }

    // Real file systems where the machine has them: a FAT one (no second names, no rename
    // flags, no permission bits) and a full disk.
    void realFileSystems_keepWhatTheyReplace_orChangeNothing_data()
    {
        QTest::addColumn<QString>("system");
        QTest::newRow("FAT through FUSE") << "fat";
        QTest::newRow("a full tmpfs") << "full";
    }
    void realFileSystems_keepWhatTheyReplace_orChangeNothing()
    {
        QFETCH(QString, system);
        const QString mount = m_dir.filePath("mnt"), image = m_dir.filePath("fat.img");
        QVERIFY(QDir().mkdir(mount));
        if (geteuid() != 0)
            QSKIP("only root mounts a file system here");
        if (system == "fat" &&
            (!QFile::exists("/dev/fuse") || QStandardPaths::findExecutable("fusefat").isEmpty()))
            QSKIP("no /dev/fuse or no fusefat (Debian: fusefat, dosfstools)");
        const bool mounted = system == "fat"
                                 ? run("truncate", {"-s", "2M", image}) && run("mkfs.fat", {image}) &&
                                       run("fusefat", {"-o", "rw+", image, mount})
                                 : ::mount("tmpfs", QFile::encodeName(mount), "tmpfs", 0, "size=64k") == 0;
        QVERIFY(mounted);
        const auto device = [](const QString &folder) {
            struct stat status {};
            return ::stat(QFile::encodeName(folder), &status) == 0 ? status.st_dev : 0;
        };
        QTRY_VERIFY(device(mount) != device(m_dir.path())); // FUSE mounts in the background
        const auto unmount =
            qScopeGuard([&] { QVERIFY(::umount2(QFile::encodeName(mount), MNT_DETACH) == 0); });
        const QString file = mount + "/orbisk.set";
        const QByteArray unread = QByteArray(defaultBytes).replace("EUR/GBP", "\xFF");
        QTRY_VERIFY([&] { // FUSE answers once its daemon is up
            QFile put(file);
            return put.open(QIODevice::WriteOnly) && put.write(unread) == unread.size();
        }());
        SettingsStore store({{file}, file});
        QVERIFY2(store.warning().endsWith("the file is kept as " + file + ".unread."),
                 qPrintable(store.warning()));
        if (system == "full") { // fill the disk, then the save must fail and change nothing
            QFile filler(mount + "/filler");
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            while (filler.write(QByteArray(4096, 'f')) > 0) {
            }
            QVERIFY(store.save(with(0, "new")).value_or("").contains("No space left on device"));
            QCOMPARE(QDir(mount).entryList(QDir::Files | QDir::Hidden),
                     (QStringList{".orbisk.set.lock", "filler", "orbisk.set"}));
            filler.close();
            QVERIFY(QFile::remove(filler.fileName()));
        }
        QCOMPARE(store.save(with(0, "new")), std::nullopt);
        QCOMPARE(readSettings(file).values, with(0, "new"));
        QFile kept(file + ".unread");
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), unread);
    }

    // A program started with its standard input closed gets descriptor 0 for the next file. Last,
    // since what runs after it would get the same.
    void readAndWrite_withStandardInputClosed()
    {
        put(QByteArray(defaultBytes).replace("EUR/GBP", "zero"));
        ::close(STDIN_FILENO);
        SettingsStore store({{path()}, path()}); // read whole: replaced without a copy
        QCOMPARE(store.values(), with(1, "zero"));
        QVERIFY(!store.save(with(0, "one")));
        QCOMPARE(readSettings(path()).values, with(0, "one"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{".orbisk.set.lock", "orbisk.set"}));
    }
};

QTEST_GUILESS_MAIN(SettingsFileTest)
#include "settingsfile_test.moc"
