#include "settingsfile.h"
#include "settingsfixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace orbisk;

namespace {

// Root reads and writes past file permissions; the checks below need them to count, so the
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

} // namespace

class SettingsFaultsTest : public QObject, private SettingsFileFixture {
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

    void unreadableFile_isReportedWithTheReason()
    {
        put(defaultBytes);
        setMode(path(), 0);
        const SettingsRead read = readSettings(path());
        QVERIFY(read.present);
        QVERIFY(read.values.isEmpty());
        QVERIFY2(read.problem.contains("Permission denied"), qPrintable(read.problem));
    }

    void gigabyteWithoutLineEnds_stopsEarly()
    {
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(qint64(1) << 30)); // sparse: a gigabyte of NUL bytes
        file.close();
        const SettingsRead read = readSettings(path());
        QVERIFY(read.values.isEmpty());
        QVERIFY(!read.problem.isEmpty());
    }

    void readOnlyDirectory_rewritesTheFileInPlace()
    {
        put("old");
        setMode(m_dir.path(), 0500);
        QCOMPARE(writeSettings(path(), initialSettings()), std::nullopt);
        QCOMPARE(contents(), defaultBytes);
    }

    void readOnlyDirectoryAndFile_failsAndKeepsTheFile()
    {
        put("old");
        setMode(path(), 0400);
        setMode(m_dir.path(), 0500);
        const auto error = writeSettings(path(), initialSettings());
        QVERIFY(error);
        QVERIFY2(error->contains("Permission denied"), qPrintable(*error));
        QCOMPARE(contents(), QByteArray("old"));
    }

    void fullDisk_failsAndKeepsTheOldFileWhole()
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
        QStringList values = initialSettings();
        values[0] = QString(100, 'x');
        const auto error = writeSettings(path(), values);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &old), 0);
        QVERIFY(error);
        QVERIFY2(error->contains("File too large"), qPrintable(*error));
        QCOMPARE(contents(), defaultBytes);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"orbisk.set"}); // no debris
    }

    void killedWhileSaving_leavesOldOrNewWhole()
    {
        put(defaultBytes);
        QByteArray second = defaultBytes;
        second.replace("/", " per ");
        const QString saver = QCoreApplication::applicationDirPath() + "/savesloop";
        for (int round = 0; round < 150; ++round) {
            QProcess process;
            process.start(saver, {path()});
            QVERIFY(process.waitForStarted());
            // Let it finish a random number of saves, then kill it wherever it is.
            const int saves = QRandomGenerator::global()->bounded(6);
            while (process.bytesAvailable() < saves && process.waitForReadyRead(5000)) {
            }
            process.kill();
            QVERIFY(process.waitForFinished());
            const QByteArray now = contents();
            QVERIFY2(now == defaultBytes || now == second, now.constData());
        }
        // A kill between creating and renaming the temporary file leaves it behind; the
        // settings file itself is always whole.
        for (const QString &name : QDir(m_dir.path()).entryList(QDir::Files))
            QVERIFY(name.startsWith("orbisk.set"));
    }
};

QTEST_GUILESS_MAIN(SettingsFaultsTest)
#include "settingsfaults_test.moc"
