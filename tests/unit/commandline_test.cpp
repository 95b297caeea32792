#include "shell/commandline.h"

#include <QTest>

using namespace orbisk;

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    void arguments_startOrEndWithAStatus_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");   // -1: the program starts
        QTest::addColumn<QString>("text"); // how the answer begins
        // clang-format off
        QTest::newRow("none: starts") << QStringList{} << -1 << "";
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage: orbisk [options]\n";
        QTest::newRow("-h") << QStringList{"-h"} << 0 << "Usage: orbisk [options]\n";
        QTest::newRow("--version") << QStringList{"--version"} << 0 << "Orbisk 1.0\n";
        QTest::newRow("Qt's -platform with its value") << QStringList{"-platform", "offscreen"} << -1 << "";
        QTest::newRow("Qt's -style=") << QStringList{"-style=fusion"} << -1 << "";
        QTest::newRow("Qt's -reverse") << QStringList{"-reverse"} << -1 << "";
        QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << "orbisk: Unknown option 'bogus'.\nTry 'orbisk --help'";
        QTest::newRow("stray argument") << QStringList{"quotes.txt"} << 2 << "orbisk: unexpected argument 'quotes.txt'\n";
        // clang-format on
    }
    void arguments_startOrEndWithAStatus()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, text);
        const auto answer = readCommandLine(QStringList{"orbisk"} + arguments);
        QCOMPARE(answer ? answer->status : -1, status);
        QVERIFY2(!answer || answer->text.startsWith(text), qPrintable(answer ? answer->text : QString()));
    }
};

QTEST_APPLESS_MAIN(CommandLineTest)
#include "commandline_test.moc"
