#include "settings/settingsfile.h"
#include "support/settingsfixture.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>

#include <csignal>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace orbisk;

namespace {

QStringList with(int index, const QString &value)
{
    QStringList values = initialSettings();
    values[index] = value;
    return values;
}

// Root reads and writes past file permissions; the fault checks need them to count, so the
// process gives up the capabilities that override them.
bool dropPermissionOverrides()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
        data[capability / 32].effective &= ~(1U << (capability % 32));
    return syscall(SYS_capset, &header, data) == 0;
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

} // namespace

class SettingsFileTest : public QObject, private SettingsFileFixture {
    Q_OBJECT

    void setMode(const QString &name, mode_t mode) const
    {
        QCOMPARE(::chmod(QFile::encodeName(name).constData(), mode), 0);
    }

private slots:
    void initTestCase() { QVERIFY(geteuid() != 0 || dropPermissionOverrides()); }
    void cleanup()
    {
        setMode(m_dir.path(), 0700);
        QFile::remove(path());
    }

    void write_defaultsGiveTheExact75Bytes()
    {
        QVERIFY(!writeSettings(path(), initialSettings()));
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
        QTest::newRow("megabytes after a closing quote") << "\"a\"" + QByteArray(5'000'000, 'x') << with(0, "a") << QString("it is longer than a settings file can be; only 1 of its 9 values were found in it");
        QTest::newRow("a byte short of the 2,359,260-byte limit") << "a\r\n" + QByteArray(2'359'256, ' ') << with(0, "a") << QString("it holds only 1 of its 9 values");
        QTest::newRow("at the limit, more may follow") << "a\r\n" + QByteArray(2'359'257, ' ') << with(0, "a") << QString("it is longer than a settings file can be; only 1 of its 9 values were found in it");
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
        QVERIFY(!writeSettings(path(), values));
        QCOMPARE(readSettings(path()).values, values);
        QVERIFY(readSettings(path()).whole());
    }

    void read_absentUnreadableOrNotAFile()
    {
        QVERIFY(QDir(m_dir.path()).mkdir("orbisk.set")); // a directory counts as no file
        SettingsRead read = readSettings(path());
        QVERIFY(!read.present && read.whole());
        QVERIFY(writeSettings(path(), initialSettings())->contains("folder"));
        QVERIFY(QDir(m_dir.path()).rmdir("orbisk.set"));

        // A FIFO blocks whoever opens it until a writer comes: it is answered, not opened.
        QCOMPARE(::mkfifo(QFile::encodeName(path()).constData(), 0600), 0);
        read = readSettings(path());
        QVERIFY(read.present);
        QCOMPARE(read.problems, QStringList{"it is a FIFO, socket or device, not a settings file"});
        QCOMPARE(writeSettings(path(), initialSettings()), read.problems.first());
        QVERIFY(QFileInfo(path()).isFile() == false && QFile::remove(path()));

        put(defaultBytes);
        setMode(path(), 0);
        read = readSettings(path());
        QVERIFY(read.present && read.values == initialSettings());
        QCOMPARE(read.problems, QStringList{"it cannot be opened (Permission denied)"});
        setMode(path(), 0600);
    }

    // A program started with its standard input closed gets descriptor 0 for the next file.
    void readAndWrite_withStandardInputClosed()
    {
        put(defaultBytes);
        ::close(STDIN_FILENO);
        QCOMPARE(readSettings(path()).values, initialSettings());
        QVERIFY(!writeSettings(path(), with(0, "zero")));
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
        QVERIFY(!saveSettings(location, with(0, "mine")));
        QCOMPARE(location.readPath(), location.writePath);
        QCOMPARE(readSettings(location.readPath()).values, with(0, "mine"));
    }

    void location_ignoresRelativeConfigFolders()
    {
        qputenv("XDG_CONFIG_HOME", "relative/config");
        qputenv("XDG_CONFIG_DIRS", "relative:/etc/admin");
        const SettingsPlaces places = currentSettingsPlaces();
        QCOMPARE(places.userConfigFolder, QDir::homePath() + "/.config");
        QCOMPARE(places.systemConfigFolders, QStringList{"/etc/admin"});
        QVERIFY(!places.installed); // the test runs from the build tree, next to its own settings
        QCOMPARE(places.programFolder, QCoreApplication::applicationDirPath());
        QCOMPARE(settingsLocation().writePath, QCoreApplication::applicationDirPath() + "/orbisk.set");
        qputenv("XDG_CONFIG_HOME", "/abs/config");
        qunsetenv("XDG_CONFIG_DIRS");
        QCOMPARE(currentSettingsPlaces().userConfigFolder, QStringLiteral("/abs/config"));
        QCOMPARE(currentSettingsPlaces().systemConfigFolders, QStringList{"/etc/xdg"});
    }

    void save_removesOnlyItsOwnStaleTemporaryFiles()
    {
        const QDir dir(m_dir.path());
        const QDateTime old = QDateTime::currentDateTime().addDays(-1);
        const QStringList stale = {".orbisk.set.saving-aB3xY9", ".orbisk.set.saving-000000",
                                   ".orbisk.set.saving-60s500"};
        const QStringList kept = {".orbisk.set.saving-fresh1",  "orbisk.set.backup",
                                  "orbisk.set.2024Q1",          "orbisk.set.aB3xY9",
                                  ".orbisk.set.saving-abcdefg", ".other.set.saving-aB3xY9"};
        for (const QString &name : stale + kept) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            // A minute is the line: half a second either side.
            const QDateTime age =
                name == ".orbisk.set.saving-fresh1"   ? QDateTime::currentDateTime().addMSecs(-59'500)
                : name == ".orbisk.set.saving-60s500" ? QDateTime::currentDateTime().addMSecs(-60'500)
                                                      : old;
            QVERIFY(file.setFileTime(age, QFileDevice::FileModificationTime));
        }
        QVERIFY(!writeSettings(path(), initialSettings()));
        QStringList left = dir.entryList(QDir::Files | QDir::Hidden);
        QStringList expected = kept + QStringList{"orbisk.set"};
        left.sort();
        expected.sort();
        QCOMPARE(left, expected);
        for (const QString &name : kept)
            QFile::remove(dir.filePath(name));
    }

    void keepCopy_keepsTheBytesOnceAndOverwritesNothing()
    {
        const QByteArray unread = QByteArray(defaultBytes).replace("EUR/GBP", "\xFF");
        put(unread);
        QFile mine(path() + ".unread"); // the user's own file of that name
        QVERIFY(mine.open(QIODevice::WriteOnly) && mine.write("mine") == 4);
        mine.close();
        const KeptCopy kept = keepCopy(path());
        QCOMPARE(kept.path, path() + ".unread-2");
        QCOMPARE(keepCopy(path()).path, kept.path); // again: the same copy
        QVERIFY(!writeSettings(path(), initialSettings()));
        QFile copy(kept.path);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), unread);
        QVERIFY(mine.open(QIODevice::ReadOnly));
        QCOMPARE(mine.readAll(), QByteArray("mine"));
        QVERIFY(mine.remove() && copy.remove());

        // Every name taken by other files: none is overwritten, and keeping fails.
        const QTemporaryDir crowded;
        const QString file = crowded.filePath("orbisk.set");
        for (int number = 0; number < 100; ++number) {
            const QString suffix = number == 0   ? ""
                                   : number == 1 ? ".unread"
                                                 : ".unread-" + QString::number(number);
            QVERIFY(QFile(file + suffix).open(QIODevice::WriteOnly));
        }
        QCOMPARE(keepCopy(file).error, "no copy of it could be kept: too many copies are kept already");
    }

    void roundTrip_keepsAwkwardValues_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("line");
        // clang-format off
        QTest::newRow("comma-separated bid") << "1,6364" << QByteArray("\"1,6364\"\r\n");
        QTest::newRow("leading blank") << " x" << QByteArray("\" x\"\r\n");
        QTest::newRow("trailing tab") << "x\t" << QByteArray("\"x\t\"\r\n");
        QTest::newRow("empty") << "" << QByteArray("\r\n");
        QTest::newRow("not a number") << "abc" << QByteArray("abc\r\n");
        QTest::newRow("inner quote") << "a\"b" << QByteArray("a\"b\r\n");
        QTest::newRow("line break") << "a\nb" << QByteArray("\"a\nb\"\r\n");
        QTest::newRow("non-ASCII") << QString::fromUtf8("\xE2\x82\xAC/\xC2\xA5") << QByteArray("\xE2\x82\xAC/\xC2\xA5\r\n");
        QTest::newRow("ESC, BS, VT, FF, DEL") << QString::fromLatin1("a\x1b\b\v\f\x7f") << QByteArray("a\x1b\b\v\f\x7f\r\n");
        QTest::newRow("NUL first") << QString(QChar(0)) + "x" << QByteArray("\0x\r\n", 4);
        QTest::newRow("NEL") << QString::fromUtf8("a\xC2\x85") << QByteArray("a\xC2\x85\r\n");
        QTest::newRow("leading U+FEFF") << QChar(0xFEFF) + QString("x") << QByteArray("\xEF\xBB\xBFx\r\n");
        // clang-format on
    }
    void roundTrip_keepsAwkwardValues()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, line);
        const QStringList values = with(4, value);
        QVERIFY(!writeSettings(path(), values));
        QVERIFY(contents().contains("1.6364\r\n" + line + "1.1826\r\n"));
        QCOMPARE(readSettings(path()).values, values);
    }

    void write_refusesWhatTheFileCannotHold()
    {
        put(defaultBytes);
        for (const QString &value : {QStringLiteral("\"quoted"), QStringLiteral("a,\"b")}) {
            const auto error = writeSettings(path(), with(1, value));
            QVERIFY2(error && error->contains("the name of leg 2"), qPrintable(error.value_or("")));
            QCOMPARE(contents(), defaultBytes); // untouched
        }
    }

    void write_folderRefusingNewFiles_failsAndLeavesTheFile()
    {
        put(defaultBytes);
        setMode(m_dir.path(), 0500); // the file itself stays writable
        const auto error = writeSettings(path(), with(0, "new"));
        QCOMPARE(error, QStringLiteral("its folder does not let a new file be made (Permission denied)"));
        QCOMPARE(contents(), defaultBytes);
    }

    void write_fullDisk_keepsTheOldFileWhole()
    {
        put(defaultBytes);
        // A file-size limit below the new content makes the write fail part-way, as a full
        // disk would.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit tight = old;
        tight.rlim_cur = 20;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
        const auto error = writeSettings(path(), with(0, QString(100, 'x')));
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &old), 0);
        QVERIFY2(error && error->contains("File too large"), qPrintable(error.value_or("")));
        QCOMPARE(contents(), defaultBytes);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"orbisk.set"}); // no debris
    }

    void write_killedWhileSaving_leavesOldOrNewWhole()
    {
        put(defaultBytes);
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
        // What the kills left behind goes with the next save once it is a minute old.
        const QDir dir(m_dir.path());
        for (const QString &name : dir.entryList({".orbisk.set.saving-*"}, QDir::Files | QDir::Hidden)) {
            QFile leftover(dir.filePath(name));
            QVERIFY(leftover.open(QIODevice::ReadWrite));
            QVERIFY(leftover.setFileTime(QDateTime::currentDateTime().addSecs(-61),
                                         QFileDevice::FileModificationTime));
        }
        QVERIFY(!writeSettings(path(), initialSettings()));
        QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden), QStringList{"orbisk.set"});
    }
};

QTEST_GUILESS_MAIN(SettingsFileTest)
#include "settingsfile_test.moc"
