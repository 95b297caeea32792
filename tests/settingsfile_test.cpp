#include "settingsfile.h"
#include "settingsfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace orbisk;

namespace {

QStringList with(int index, const QString &value)
{
    QStringList values = initialSettings();
    values[index] = value;
    return values;
}

} // namespace

class SettingsFileTest : public QObject, private SettingsFileFixture {
    Q_OBJECT

private slots:
    void cleanup() { QFile::remove(path()); }

    void write_defaultsGiveTheExact75Bytes()
    {
        QVERIFY(!writeSettings(path(), initialSettings()));
        QCOMPARE(contents(), defaultBytes);
        QCOMPARE(contents().size(), 75);
    }

    void read_followsTheFieldRules_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<bool>("problem");
        const QStringList defaults = initialSettings();
        QTest::newRow("nine lines") << defaultBytes << defaults << false;
        QTest::newRow("one comma-separated line") << QByteArray("GBP/USD,EUR/GBP,EUR/USD,1.6364,0.7225,1.1826,1.6369,0.7230,1.1831") << defaults << false;
        QTest::newRow("quoted value loses its quotes") << QByteArray(defaultBytes).replace("EUR/USD", "\"EUR/USD\"") << defaults << false;
        QTest::newRow("quoted value keeps commas and blanks") << QByteArray(defaultBytes).replace("EUR/USD", " \"EUR, USD \"") << with(2, "EUR, USD ") << false;
        QTest::newRow("quoted value keeps a line break") << QByteArray(defaultBytes).replace("EUR/USD", "\"EUR\r\nUSD\"") << with(2, "EUR\r\nUSD") << false;
        QTest::newRow("text after the closing quote is dropped") << QByteArray(defaultBytes).replace("EUR/USD", "\"EUR\"/USD") << with(2, "EUR") << false;
        QTest::newRow("empty line is an empty value") << QByteArray(defaultBytes).replace("0.7225", "") << with(4, "") << false;
        QTest::newRow("blanks around an unquoted value are dropped") << QByteArray(defaultBytes).replace("0.7225", " \t0.7225  ") << defaults << false;
        QTest::newRow("inner blanks stay") << QByteArray(defaultBytes).replace("GBP/USD", "GBP USD") << with(0, "GBP USD") << false;
        QTest::newRow("lone LF ends a line") << QByteArray(defaultBytes).replace("\r\n", "\n") << defaults << false;
        QTest::newRow("lone CR ends a line") << QByteArray(defaultBytes).replace("\r\n", "\r") << defaults << false;
        QTest::newRow("lines after the ninth are ignored") << defaultBytes + "extra\r\n\"unclosed" << defaults << false;
        QTest::newRow("non-ASCII text") << QByteArray(defaultBytes).replace("GBP/USD", "\xC2\xA3/$") << with(0, QString::fromUtf8("\xC2\xA3/$")) << false;
        QTest::newRow("short file keeps what it has") << QByteArray("a\r\nb\r\nc\r\n1\r\n") << QStringList{"a", "b", "c", "1"} << true;
        QTest::newRow("empty file") << QByteArray() << QStringList{} << true;
        QTest::newRow("unclosed quote") << QByteArray("a\r\n\"b\r\n") << QStringList{"a"} << true;
        QTest::newRow("NUL byte") << QByteArray("a\r\nb\0c\r\n", 8) << QStringList{"a"} << true;
        QTest::newRow("invalid UTF-8") << QByteArray("a\r\n\xFF\xFE\r\n") << QStringList{"a"} << true;
        QTest::newRow("UTF-8 cut short at the end of a value") << QByteArray("a\r\nb\xE4\t\r\n") << QStringList{"a"} << true;
        QTest::newRow("value too long for a text box") << QByteArray("a\r\n") + QByteArray(200'000, 'x') << QStringList{"a"} << true;
        // clang-format on
    }
    void read_followsTheFieldRules()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, values);
        QFETCH(bool, problem);
        put(bytes);
        const SettingsRead read = readSettings(path());
        QVERIFY(read.present);
        QCOMPARE(read.values, values);
        QCOMPARE(!read.problem.isEmpty(), problem);
    }

    void read_absentFileOrDirectoryIsNoProblem()
    {
        SettingsRead read = readSettings(path());
        QVERIFY(!read.present && read.values.isEmpty() && read.problem.isEmpty());
        QVERIFY(QDir(m_dir.path()).mkdir("orbisk.set"));
        read = readSettings(path());
        QVERIFY(!read.present && read.problem.isEmpty());
        QVERIFY(QDir(m_dir.path()).rmdir("orbisk.set"));
    }

    void read_stopsAfterTheNinthField()
    {
        put(defaultBytes);
        QFile file(path());
        QVERIFY(file.resize(qint64(1) << 30)); // a sparse gigabyte after the nine values
        const SettingsRead read = readSettings(path());
        QCOMPARE(read.values, initialSettings());
        QVERIFY(read.problem.isEmpty());
    }

    void roundTrip_keepsAwkwardValues_data()
    {
        // clang-format off
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("line");
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
            QVERIFY(error);
            QVERIFY2(error->contains("the name of leg 2"), qPrintable(*error));
            QCOMPARE(contents(), defaultBytes); // untouched
        }
    }

    void write_replacesTheFileWhole()
    {
        put("old");
        struct stat before {};
        QCOMPARE(stat(QFile::encodeName(path()).constData(), &before), 0);
        QVERIFY(!writeSettings(path(), initialSettings()));
        struct stat after {};
        QCOMPARE(stat(QFile::encodeName(path()).constData(), &after), 0);
        QVERIFY(before.st_ino != after.st_ino); // a new file renamed over the old one
        QCOMPARE(contents(), defaultBytes);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"orbisk.set"});
    }

    void write_reportsAMissingDirectory()
    {
        const auto error = writeSettings(m_dir.filePath("gone/orbisk.set"), initialSettings());
        QVERIFY(error);
        QVERIFY(!error->isEmpty());
    }
};

QTEST_GUILESS_MAIN(SettingsFileTest)
#include "settingsfile_test.moc"
