#include "settings/settingsfile.h"
#include "support/settingsfixture.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>

#include <csignal>
#include <cstring>
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
class FailingDevice final : public QIODevice {
public:
    explicit FailingDevice(QByteArray bytes)
        : m_bytes(std::move(bytes))
    {
        open(QIODevice::ReadOnly);
    }

protected:
    qint64 readData(char *data, qint64 size) override
    {
        if (m_bytes.isEmpty()) {
            setErrorString(QStringLiteral("Input/output error"));
            return -1;
        }
        const qint64 n = qMin(size, qint64(m_bytes.size()));
        std::memcpy(data, m_bytes.constData(), n);
        m_bytes.remove(0, n);
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }
    qint64 size() const override { return qint64(1) << 20; } // more than it gives: not at its end

private:
    QByteArray m_bytes;
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
        QTest::addColumn<QString>("problem"); // what the reader reports, if anything
        // clang-format off
        const QStringList defaults = initialSettings();
        QTest::newRow("nine lines") << defaultBytes << defaults << QString();
        QTest::newRow("one comma-separated line") << QByteArray("GBP/USD,EUR/GBP,EUR/USD,1.6364,0.7225,1.1826,1.6369,0.7230,1.1831") << defaults << QString();
        QTest::newRow("quoted value loses its quotes") << QByteArray(defaultBytes).replace("EUR/USD", "\"EUR/USD\"") << defaults << QString();
        QTest::newRow("quoted value keeps commas and blanks") << QByteArray(defaultBytes).replace("EUR/USD", " \"EUR, USD \"") << with(2, "EUR, USD ") << QString();
        QTest::newRow("quoted value keeps a line break") << QByteArray(defaultBytes).replace("EUR/USD", "\"EUR\r\nUSD\"") << with(2, "EUR\r\nUSD") << QString();
        QTest::newRow("NUL after the closing quote is dropped") << QByteArray(defaultBytes).replace("EUR/USD", QByteArray("\"EUR\"\0x", 7)) << with(2, "EUR") << QString();
        QTest::newRow("text after the closing quote is dropped") << QByteArray(defaultBytes).replace("EUR/USD", "\"EUR\"/USD") << with(2, "EUR") << QString();
        QTest::newRow("empty line is an empty value") << QByteArray(defaultBytes).replace("0.7225", "") << with(4, "") << QString();
        QTest::newRow("blanks around an unquoted value are dropped") << QByteArray(defaultBytes).replace("0.7225", " \t0.7225  ") << defaults << QString();
        QTest::newRow("inner blanks stay") << QByteArray(defaultBytes).replace("GBP/USD", "GBP USD") << with(0, "GBP USD") << QString();
        QTest::newRow("lone LF ends a line") << QByteArray(defaultBytes).replace("\r\n", "\n") << defaults << QString();
        QTest::newRow("lone CR ends a line") << QByteArray(defaultBytes).replace("\r\n", "\r") << defaults << QString();
        QTest::newRow("lines after the ninth are ignored") << defaultBytes + "extra\r\n\"unclosed" << defaults << QString();
        QTest::newRow("non-ASCII text") << QByteArray(defaultBytes).replace("GBP/USD", "\xC2\xA3/$") << with(0, QString::fromUtf8("\xC2\xA3/$")) << QString();
        QTest::newRow("short file keeps what it has") << QByteArray("a\r\nb\r\nc\r\n1\r\n") << QStringList{"a", "b", "c", "1"} << QString("it holds only 4 of its 9 values");
        QTest::newRow("empty file") << QByteArray() << QStringList{} << QString("it holds only 0 of its 9 values");
        QTest::newRow("unclosed quote") << QByteArray("a\r\n\"b\r\n") << QStringList{"a"} << QString("the quotes around the name of leg 2 are not closed");
        QTest::newRow("NUL byte") << QByteArray("a\r\nb\0c\r\n", 8) << QStringList{"a"} << QString("the name of leg 2 is not text");
        QTest::newRow("NUL starting a value") << QByteArray("a\r\n\0b\r\n", 7) << QStringList{"a"} << QString("the name of leg 2 is not text");
        QTest::newRow("NUL inside quotes") << QByteArray("a\r\n\"b\0\"\r\n", 9) << QStringList{"a"} << QString("the name of leg 2 is not text");
        QTest::newRow("invalid UTF-8") << QByteArray("a\r\n\xFF\xFE\r\n") << QStringList{"a"} << QString("the name of leg 2 is not text");
        QTest::newRow("UTF-8 cut short at the end of a value") << QByteArray("a\r\nb\xE4\t\r\n") << QStringList{"a"} << QString("the name of leg 2 is not text");
        QTest::newRow("value longer than a text box holds") << QByteArray("a\r\n") + QByteArray(40'000, 'x') << QStringList{"a"} << QString("the name of leg 2 is too long");
        QTest::newRow("value too long for a text box") << QByteArray("a\r\n") + QByteArray(200'000, 'x') << QStringList{"a"} << QString("the name of leg 2 is too long");
        // clang-format on
    }
    void read_followsTheFieldRules()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, values);
        QFETCH(QString, problem);
        put(bytes);
        const SettingsRead read = readSettings(path());
        QVERIFY(read.present);
        QCOMPARE(read.values, values);
        QCOMPARE(read.problem, problem);
    }

    void read_absentUnreadableOrHuge()
    {
        QVERIFY(QDir(m_dir.path()).mkdir("orbisk.set")); // a directory counts as no file
        SettingsRead read = readSettings(path());
        QVERIFY(!read.present && read.values.isEmpty() && read.problem.isEmpty());
        QVERIFY(QDir(m_dir.path()).rmdir("orbisk.set"));

        put(defaultBytes);
        setMode(path(), 0);
        read = readSettings(path());
        QVERIFY(read.present && read.values.isEmpty());
        QVERIFY2(read.problem.contains("Permission denied"), qPrintable(read.problem));

        setMode(path(), 0600);
        QVERIFY(QFile(path()).resize(qint64(1) << 30)); // a sparse gigabyte after the nine values
        QCOMPARE(readSettings(path()).values, initialSettings());
        QVERIFY(QFile(path()).resize(0) && QFile(path()).resize(qint64(1) << 30)); // and without any line end
        read = readSettings(path());
        QVERIFY(read.values.isEmpty() && !read.problem.isEmpty());
    }

    void read_errorPartWay_keepsWhatWasRead()
    {
        FailingDevice device("GBP/USD\r\nEUR/GBP\r\nEUR");
        const SettingsRead read = readSettings(device);
        QCOMPARE(read.values, (QStringList{"GBP/USD", "EUR/GBP"}));
        QCOMPARE(read.problem, QStringLiteral("it cannot be read (Input/output error)"));
    }

    void location_followsWhetherTheProgramFolderCanBeWritten()
    {
        const QString program = m_dir.filePath("bin"), config = m_dir.filePath("config");
        QVERIFY(QDir().mkpath(program));
        SettingsLocation location = settingsLocation(program, config);
        QCOMPARE(location.readPath(), program + "/orbisk.set"); // a portable copy: as always
        QCOMPARE(location.writePath(), program + "/orbisk.set");

        setMode(program, 0555); // an installed copy
        location = settingsLocation(program, config);
        QCOMPARE(location.readPath(), program + "/orbisk.set");     // an administrator's defaults
        const auto error = saveSettings(location, with(0, "mine")); // creates the user's folder
        QVERIFY2(!error, qPrintable(error.value_or("")));
        QCOMPARE(location.readPath(), config + "/orbisk/orbisk.set");
        QCOMPARE(readSettings(location.readPath()).values, with(0, "mine"));
        QVERIFY(!QFile::exists(program + "/orbisk.set"));
        setMode(program, 0755);
    }

    void save_removesOnlyStaleTemporaryFiles()
    {
        const QDir dir(m_dir.path());
        const QDateTime old = QDateTime::currentDateTime().addSecs(-120);
        const QStringList stale = {"orbisk.set.aB3xY9", "orbisk.set.000000"};
        const QStringList kept = {"orbisk.set.fresh1", "orbisk.set.abcdefg", "orbisk.set.bak",
                                  "other.set.aB3xY9"};
        for (const QString &name : stale + kept) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (name != "orbisk.set.fresh1")
                QVERIFY(file.setFileTime(old, QFileDevice::FileModificationTime));
        }
        QVERIFY(!writeSettings(path(), initialSettings()));
        QStringList left = dir.entryList(QDir::Files);
        QStringList expected = kept + QStringList{"orbisk.set"};
        left.sort();
        expected.sort();
        QCOMPARE(left, expected);
        for (const QString &name : kept)
            QFile::remove(dir.filePath(name));
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

    void write_readOnlyDirectory_rewritesInPlaceOrFailsWhole()
    {
        put("old");
        setMode(m_dir.path(), 0500);
        QCOMPARE(writeSettings(path(), initialSettings()), std::nullopt);
        QCOMPARE(contents(), defaultBytes);
        setMode(path(), 0400);
        const auto error = writeSettings(path(), with(0, "new"));
        QVERIFY2(error && error->contains("Permission denied"), qPrintable(error.value_or("")));
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
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"orbisk.set"}); // no debris
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
    }
};

QTEST_GUILESS_MAIN(SettingsFileTest)
#include "settingsfile_test.moc"
