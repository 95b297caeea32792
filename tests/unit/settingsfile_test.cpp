#include "settings/settingsstore.h"
#include "support/permissions.h"
#include "support/settingsfixture.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>

#include <pwd.h>
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

} // namespace

// The storage's rules as examples, one a rule; the storage property test tries them against a
// hostile world.
class SettingsFileTest : public QObject, private SettingsFileFixture {
    Q_OBJECT

    void setMode(const QString &name, mode_t mode) const
    {
        QCOMPARE(::chmod(QFile::encodeName(name).constData(), mode), 0);
    }

private slots:
    void initTestCase() { QVERIFY(dropPermissionOverrides()); }
    void cleanup()
    {
        setMode(m_dir.path(), 0700);
        QFile::remove(path());
    }

    void write_defaultsGiveTheExact75Bytes()
    {
        QVERIFY(!writeSettings(path(), initialSettings(), initialSettings()));
        QCOMPARE(contents(), defaultBytes);
        QCOMPARE(contents().size(), 75);
    }

    void read_followsTheFieldRules_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QString>("problems"); // what the reader reports, if anything
        // clang-format off
        const QStringList defaults = initialSettings();
        QTest::newRow("nine lines") << defaultBytes << defaults << QString();
        QTest::newRow("one comma-separated line") << QByteArray("GBP/USD,EUR/GBP,EUR/USD,1.6364,0.7225,1.1826,1.6369,0.7230,1.1831") << defaults << QString();
        QTest::newRow("quoted value loses its quotes") << QByteArray(defaultBytes).replace("EUR/USD", "\"EUR/USD\"") << defaults << QString();
        QTest::newRow("quoted value keeps commas and blanks") << QByteArray(defaultBytes).replace("EUR/USD", " \"EUR, USD \"") << with(2, "EUR, USD ") << QString();
        QTest::newRow("quoted value keeps a line break") << QByteArray(defaultBytes).replace("EUR/USD", "\"EUR\r\nUSD\"") << with(2, "EUR\r\nUSD") << QString();
        QTest::newRow("NUL after the closing quote is dropped") << QByteArray(defaultBytes).replace("EUR/USD", QByteArray("\"EUR\"\0x", 7)) << with(2, "EUR") << QString();
        QTest::newRow("empty line is an empty value") << QByteArray(defaultBytes).replace("0.7225", "") << with(4, "") << QString();
        QTest::newRow("blanks around an unquoted value are dropped") << QByteArray(defaultBytes).replace("0.7225", " \t0.7225  ") << defaults << QString();
        QTest::newRow("lone LF ends a line") << QByteArray(defaultBytes).replace("\r\n", "\n") << defaults << QString();
        QTest::newRow("lone CR ends a line") << QByteArray(defaultBytes).replace("\r\n", "\r") << defaults << QString();
        QTest::newRow("CRs before a LF end one line") << QByteArray(defaultBytes).replace("\r\n", "\r\r\n") << defaults << QString();
        QTest::newRow("lines after the ninth are ignored") << defaultBytes + "extra\r\n\"unclosed" << defaults << QString();
        QTest::newRow("non-ASCII text") << QByteArray(defaultBytes).replace("GBP/USD", "\xC2\xA3/$") << with(0, QString::fromUtf8("\xC2\xA3/$")) << QString();
        QTest::newRow("control characters are the value's own") << QByteArray(defaultBytes).replace("GBP/USD", QByteArray("\0G\x1b\x7f", 4)) << with(0, QString::fromLatin1("\0G\x1b\x7f", 4)) << QString();
        QTest::newRow("leading byte-order mark is the value's own") << QByteArray(defaultBytes).replace("GBP/USD", "\xEF\xBB\xBFGBP") << with(0, QChar(0xFEFF) + QString("GBP")) << QString();
        QTest::newRow("short file keeps what it has") << QByteArray("a\r\nb\r\nc\r\n1\r\n") << QStringList{"a", "b", "c", "1"} + defaults.mid(4) << QString("it holds only 4 of its 9 values");
        QTest::newRow("empty file") << QByteArray() << defaults << QString("it holds only 0 of its 9 values");
        QTest::newRow("unclosed quote costs its line only") << QByteArray(defaultBytes).replace("EUR/GBP", "\"EUR/GBP") << defaults << QString("the quotes around the name of leg 2 are not closed");
        QTest::newRow("unclosed quote, then an empty line, lone LFs") << QByteArray(defaultBytes).replace("\r\n", "\n").replace("EUR/GBP", "\"EUR/GBP").replace("EUR/USD", "") << with(2, "") << QString("the quotes around the name of leg 2 are not closed");
        QTest::newRow("unclosed quote on the last line") << QByteArray(defaultBytes).replace("1.1831\r\n", "\"1.2") << defaults << QString("the quotes around the ask of leg 3 are not closed");
        QTest::newRow("invalid UTF-8 costs that value only") << QByteArray(defaultBytes).replace("EUR/GBP", "\xFF\xFE").replace("0.7225", "9") << with(4, "9") << QString("the name of leg 2 is not text");
        QTest::newRow("UTF-8 cut short at the end of a value") << QByteArray(defaultBytes).replace("EUR/GBP", "b\xE4\t") << defaults << QString("the name of leg 2 is not text");
        QTest::newRow("value longer than a text box holds") << QByteArray(defaultBytes).replace("EUR/GBP", QByteArray(40'000, 'x')) << defaults << QString("the name of leg 2 is too long");
        QTest::newRow("value too long to read, then two more") << QByteArray(defaultBytes).replace("EUR/GBP", QByteArray(200'000, 'x')).replace("0.7225", "9") << with(4, "9") << QString("the name of leg 2 is too long");
        QTest::newRow("too long to read, and not text either") << QByteArray(defaultBytes).replace("EUR/GBP", QByteArray(200'000, '\xFF')) << defaults << QString("the name of leg 2 is too long");
        QTest::newRow("quoted value too long to read") << QByteArray(defaultBytes).replace("EUR/GBP", "\"" + QByteArray(200'000, 'x') + "\"") << defaults << QString("the name of leg 2 is too long");
        QTest::newRow("two unreadable values") << QByteArray(defaultBytes).replace("EUR/GBP", "\xFF").replace("0.7230", "\"") << defaults << QString("the name of leg 2 is not text; the quotes around the ask of leg 2 are not closed");
        QTest::newRow("a value cut by the read limit") << ("\"a\"" + QByteArray(294'902, 'j') + "\r\n").repeated(8) + "1.23456\r\n" << QStringList(8, "a") + defaults.mid(8) << QString("it is longer than a settings file can be; only 8 of its 9 values were found in it");
        QTest::newRow("CRs running into the read limit") << QByteArray(3'000'000, '\r') + "\n" + defaultBytes << with(0, "") << QString("it is longer than a settings file can be; only 1 of its 9 values were found in it");
        QTest::newRow("megabytes after a closing quote") << "\"a\"" + QByteArray(5'000'000, 'x') << with(0, "a") << QString("it is longer than a settings file can be; only 1 of its 9 values were found in it");
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
        QCOMPARE(read.values, values);
        QCOMPARE(read.problems.join("; "), problems);
        // Whatever was read is saved and read back whole and unchanged.
        QVERIFY(!writeSettings(path(), values, values));
        QCOMPARE(readSettings(path()).values, values);
        QVERIFY(readSettings(path()).whole());
    }

    void write_storesOrRefusesEachValue_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("written"); // the value's line, or why it is refused
        // clang-format off
        QTest::newRow("comma: quoted") << "1,6364" << QByteArray("\"1,6364\"\r\n");
        QTest::newRow("line break: quoted") << "a\nb" << QByteArray("\"a\nb\"\r\n");
        QTest::newRow("inner quote: as it is") << "a\"b" << QByteArray("a\"b\r\n");
        QTest::newRow("NUL, ESC, DEL, NEL, non-ASCII: as they are") << QString::fromUtf8("\0\x1b\x7f\xC2\x85\xE2\x82\xAC", 8) << QByteArray("\0\x1b\x7f\xC2\x85\xE2\x82\xAC\r\n", 10);
        QTest::newRow("leading quote: refused") << "\"x" << QByteArray("the bid of leg 2 holds a double quote, which the file cannot store there");
        QTest::newRow("quote in a value that needs quotes: refused") << "a,\"b" << QByteArray("the bid of leg 2 holds a double quote, which the file cannot store there");
        QTest::newRow("lone surrogate: refused") << QString(QChar(0xD800)) << QByteArray("the bid of leg 2 holds a character the system's encoding lacks");
        QTest::newRow("longer than a text box: refused") << QString(32768, u'x') << QByteArray("the bid of leg 2 is too long");
        // clang-format on
    }
    void write_storesOrRefusesEachValue()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, written);
        put(defaultBytes);
        if (const auto error = writeSettings(path(), with(4, value), initialSettings())) {
            QCOMPARE(error->toUtf8(), written);
            QCOMPARE(contents(), defaultBytes); // untouched
        } else {
            QVERIFY(contents().contains("1.6364\r\n" + written + "1.1826\r\n"));
            QCOMPARE(readSettings(path()).values, with(4, value));
        }
    }

    // A folder where the file should be is no file, and no save replaces it; a file where its
    // folder should be is named, with the reason.
    void readAndSave_aFolderOrAFileInTheWay()
    {
        QVERIFY(QDir().mkdir(path()));
        QVERIFY(!readSettings(path()).present);
        QCOMPARE(writeSettings(path(), initialSettings(), initialSettings()), "it is a folder");
        QVERIFY(QDir().rmdir(path()));
        put(defaultBytes);
        QCOMPARE(saveSettings({{}, path() + "/sub/orbisk.set"}, initialSettings(), initialSettings()),
                 "its folder " + path() + "/sub cannot be created (Not a directory)");
    }

    // A program started with its standard input closed gets descriptor 0 for the next file.
    void readAndWrite_withStandardInputClosed()
    {
        put(defaultBytes);
        ::close(STDIN_FILENO);
        QCOMPARE(readSettings(path()).values, initialSettings());
        QVERIFY(!writeSettings(path(), with(0, "zero"), initialSettings()));
        QCOMPARE(readSettings(path()).values, with(0, "zero"));
    }

    void read_errorPartWay_keepsWhatWasRead()
    {
        FailingDevice device("GBP/USD\r\nX\r\nEUR");
        const SettingsRead read = readSettings(device);
        QCOMPARE(read.values, with(1, "X"));
        QCOMPARE(read.problems, QStringList{"it cannot be read (Input/output error)"});
    }

    void location_followsHowTheProgramIsInstalled_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("folderWritable");
        QTest::addColumn<QStringList>("readPaths");
        QTest::addColumn<QString>("writePath");
        // clang-format off
        QTest::newRow("portable copy: next to the program") << false << true << QStringList{"bin/orbisk.set"} << "bin/orbisk.set";
        QTest::newRow("portable copy in a read-only folder: the user's file") << false << false << QStringList{"home/orbisk/orbisk.set", "bin/orbisk.set"} << "home/orbisk/orbisk.set";
        QTest::newRow("installed, even with a writable folder: the user's file") << true << true << QStringList{"home/orbisk/orbisk.set", "etc/orbisk/orbisk.set", "xdg/orbisk/orbisk.set", "bin/orbisk.set"} << "home/orbisk/orbisk.set";
        // clang-format on
    }
    void location_followsHowTheProgramIsInstalled()
    {
        QFETCH(bool, installed);
        QFETCH(bool, folderWritable);
        QFETCH(QStringList, readPaths);
        QFETCH(QString, writePath);
        const QTemporaryDir scratch;
        const QDir dir(scratch.path());
        QVERIFY(dir.mkpath("bin"));
        setMode(dir.filePath("bin"), folderWritable ? 0755 : 0555);
        const SettingsLocation location = settingsLocation({dir.filePath("bin"),
                                                            installed,
                                                            dir.filePath("home"),
                                                            {dir.filePath("etc"), dir.filePath("xdg")}});
        setMode(dir.filePath("bin"), 0755);
        QCOMPARE(QStringList(location.readPaths).replaceInStrings(dir.path() + '/', ""), readPaths);
        QCOMPARE(QString(location.writePath).remove(dir.path() + '/'), writePath);

        // Read: the first that is present; saving creates the user's folder.
        QCOMPARE(location.readPath(), location.writePath);
        QVERIFY(QFile(location.readPaths.last()).open(QIODevice::WriteOnly));
        QCOMPARE(location.readPath(), location.readPaths.last());
        QVERIFY(!saveSettings(location, with(0, "mine"), initialSettings()));
        QCOMPARE(location.readPath(), location.writePath);
        QCOMPARE(readSettings(location.readPath()).values, with(0, "mine"));
    }

    // A folder where a file is looked for is no file; a file saves never replace is never kept.
    void location_skipsFolders_andKeepsOnlyTheFileSavesReplace()
    {
        const QString admin = m_dir.filePath("admin.set");
        QFile file(admin);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("\xFF") == 1);
        QVERIFY(QDir().mkdir(path()));
        const SettingsLocation location{{path(), admin}, m_dir.filePath("user.set")};
        QCOMPARE(location.readPath(), admin);
        const QString warning = SettingsStore(location).warning();
        QVERIFY2(warning.contains("not read whole") && !warning.contains("kept"), qPrintable(warning));
        QVERIFY(QDir().rmdir(path()));
        // A file no one can read: kept when replaced, by its second name; a FIFO: nothing to keep.
        put("x");
        setMode(path(), 0);
        const QString unreadable = SettingsStore({{path()}, path()}).warning();
        QVERIFY2(unreadable.contains("is kept as " + path() + ".unread"), qPrintable(unreadable));
        QVERIFY(QFile::remove(path()));
        QCOMPARE(::mkfifo(QFile::encodeName(path()).constData(), 0600), 0);
        QCOMPARE(SettingsStore({{path()}, path()}).warning(),
                 "The settings file " + path() +
                     " was not read whole: it is a FIFO, socket or device, not a "
                     "settings file. The built-in values are used in place of what "
                     "was not read.");
    }

    void location_takesOnlyAbsoluteFolders()
    {
        qputenv("XDG_CONFIG_HOME", "relative/config");
        qputenv("XDG_CONFIG_DIRS", "relative:/etc/admin");
        const SettingsPlaces places = currentSettingsPlaces();
        QCOMPARE(places.userConfigFolder, userHome() + "/.config");
        QCOMPARE(places.systemConfigFolders, QStringList{"/etc/admin"});
        QVERIFY(!places.installed); // the test runs from the build tree, next to its own settings
        QCOMPARE(places.programFolder, QCoreApplication::applicationDirPath());
        QCOMPARE(settingsLocation().writePath, QCoreApplication::applicationDirPath() + "/orbisk.set");
        qputenv("XDG_CONFIG_HOME", m_dir.path().toUtf8());
        qunsetenv("XDG_CONFIG_DIRS");
        QCOMPARE(currentSettingsPlaces().userConfigFolder, m_dir.path());
        QCOMPARE(currentSettingsPlaces().systemConfigFolders, QStringList{"/etc/xdg"});
        qunsetenv("XDG_CONFIG_HOME");

        // A HOME that is no absolute path is the user database's; root's is always root's own.
        for (const QByteArray home : {"", "relhome", "/home/someone"}) {
            qputenv("HOME", home);
            const QString expected = geteuid() != 0 && home.startsWith('/') ? QString(home) : userHome();
            QCOMPARE(currentSettingsPlaces().userConfigFolder, expected + "/.config");
        }
        qunsetenv("HOME");
        QCOMPARE(currentSettingsPlaces().userConfigFolder, userHome() + "/.config");
        // An ordinary user's relative HOME too: root tries it as nobody.
        qputenv("HOME", "relhome");
        if (geteuid() == 0 && seteuid(65534) == 0) {
            const QString home = currentSettingsPlaces().userConfigFolder;
            QCOMPARE(seteuid(0), 0);
            QCOMPARE(home, QFile::decodeName(getpwuid(65534)->pw_dir) + "/.config");
        }
    }

    // "sudo -E" keeps the user's HOME: root must not make, replace or follow what they own.
    void asRoot_anotherUsersFilesAndFoldersAreLeftAlone()
    {
        if (geteuid() != 0)
            QSKIP("only root can hold files of another user here");
        const QString theirs = m_dir.filePath("theirs");
        QVERIFY(QDir().mkdir(theirs));
        setMode(theirs, 0777); // even where their permissions would let root in
        QCOMPARE(::chown(QFile::encodeName(theirs).constData(), 4242, 4242), 0);
        const QString notMine = "it or its folder belongs to another user, whose files root leaves alone";
        QCOMPARE(saveSettings({{}, theirs + "/orbisk.set"}, initialSettings(), initialSettings()), notMine);
        QCOMPARE(saveSettings({{}, theirs + "/sub/orbisk.set"}, initialSettings(), initialSettings()),
                 "its folder " + theirs + "/sub cannot be created (Permission denied)");
        QVERIFY(QFile::link(m_dir.filePath("target"), path()));
        QCOMPARE(::lchown(QFile::encodeName(path()).constData(), 4242, 4242), 0);
        QCOMPARE(writeSettings(path(), initialSettings(), initialSettings()), notMine);
        QCOMPARE(QDir(theirs).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{});
        QVERIFY(!QFileInfo::exists(m_dir.filePath("target")));
        // Their link on the way to a folder of root's: not followed, for saving, reading or as
        // the config folder. Their leftover beside root's file stays.
        const QString mine = m_dir.filePath("mine"), through = m_dir.filePath("through");
        QVERIFY(QDir().mkdir(mine) && QFile::link(mine, through));
        QCOMPARE(::lchown(QFile::encodeName(through).constData(), 4242, 4242), 0);
        QCOMPARE(saveSettings({{}, through + "/orbisk/orbisk.set"}, initialSettings(), initialSettings()),
                 "its folder " + through + "/orbisk cannot be created (Permission denied)");
        QVERIFY(QFile::link(theirs, m_dir.filePath("into"))); // root's link into their folder
        QCOMPARE(saveSettings({{}, m_dir.filePath("into/new.set")}, initialSettings(), {}), notMine);
        QVERIFY(QFile::link(mine, theirs + "/orbisk.set"));
        QCOMPARE((SettingsLocation{{theirs + "/orbisk.set"}, path()}.readPath()), path());
        qputenv("XDG_CONFIG_HOME", through.toUtf8());
        QCOMPARE(currentSettingsPlaces().userConfigFolder, userHome() + "/.config");
        qunsetenv("XDG_CONFIG_HOME");
        const QString leftover = m_dir.filePath(".orbisk.set.saving-abcdef");
        QFile stale(leftover);
        QVERIFY(
            stale.open(QIODevice::WriteOnly) &&
            stale.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
        stale.close();
        QCOMPARE(::chown(QFile::encodeName(leftover).constData(), 4242, 4242), 0);
        QVERIFY(QFile::remove(path()) && !writeSettings(path(), initialSettings(), {}));
        QVERIFY(QFileInfo::exists(leftover) && QDir(mine).isEmpty());
        // A copy that is not installed, in their folder: root's own file instead.
        QVERIFY(settingsLocation({theirs, false, "/root/.config", {}}).writePath.startsWith("/root/"));
    }

    void write_killedWhileSaving_leavesOldOrNewWhole()
    {
        put(defaultBytes);
        const auto leftovers = [this] {
            return QDir(m_dir.path()).entryList({".orbisk.set.saving-*"}, QDir::Files | QDir::Hidden);
        };
        const QStringList before = leftovers(); // another user's, which stays
        const QByteArray second = QByteArray(defaultBytes).replace("/", " per ");
        for (int round = 0; round < 150; ++round) {
            QProcess saver;
            saver.start(QCoreApplication::applicationDirPath() + "/savesloop", {path()});
            QVERIFY(saver.waitForStarted());
            // Let it finish a random number of saves, then kill it wherever it is.
            const int saves = QRandomGenerator::global()->bounded(6);
            while (saver.bytesAvailable() < saves && saver.waitForReadyRead(5000)) {
            }
            saver.kill();
            QVERIFY(saver.waitForFinished());
            const QByteArray now = contents();
            QVERIFY2(now == defaultBytes || now == second, now.constData());
        }
        // What the killed saves left goes with the next save, once a minute old.
        QStringList left = leftovers();
        for (const QString &name : before)
            left.removeAll(name);
        for (const QString &name : left) {
            QFile file(m_dir.filePath(name));
            QVERIFY(file.open(QIODevice::Append) &&
                    file.setFileTime(QDateTime::currentDateTime().addSecs(-61),
                                     QFileDevice::FileModificationTime));
        }
        const QStringList values = readSettings(path()).values;
        QVERIFY(!left.isEmpty() && !writeSettings(path(), values, values));
        QCOMPARE(leftovers(), before);
    }
};

QTEST_GUILESS_MAIN(SettingsFileTest)
#include "settingsfile_test.moc"
