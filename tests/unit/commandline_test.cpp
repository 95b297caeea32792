#include "shell/commandline.h"

#include <QTest>

using namespace orbisk;

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    void arguments_startOrEndWithAStatus_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status"); // -1: the program starts
        QTest::newRow("none: starts") << QStringList{} << -1;
        QTest::newRow("--help") << QStringList{"--help"} << 0;
        QTest::newRow("-h") << QStringList{"-h"} << 0;
        QTest::newRow("--version") << QStringList{"--version"} << 0;
        QTest::newRow("Qt's -platform with its value") << QStringList{"-platform", "offscreen"} << -1;
        QTest::newRow("Qt's -style=") << QStringList{"-style=fusion"} << -1;
        QTest::newRow("Qt's -reverse") << QStringList{"-reverse"} << -1;
        QTest::newRow("unknown option") << QStringList{"--bogus"} << 2;
        QTest::newRow("stray argument") << QStringList{"quotes.txt"} << 2;
    }
    void arguments_startOrEndWithAStatus()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QCOMPARE(handleCommandLine(QStringList{"orbisk"} + arguments).value_or(-1), status);
    }
};

QTEST_APPLESS_MAIN(CommandLineTest)
#include "commandline_test.moc"
