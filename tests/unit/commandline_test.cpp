#include "shell/commandline.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace orbisk;

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    void arguments_startOrEndWithAStatus_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("qtTookSome"); // the arguments are what Qt left
        QTest::addColumn<int>("status");      // -1: the program starts
        QTest::addColumn<QString>("text");    // how the answer begins
        // clang-format off
        QTest::newRow("none: starts") << QStringList{} << false << -1 << "";
        QTest::newRow("--help names the settings file") << QStringList{"--bogus", "--help"} << false << 0 << "Usage: orbisk [options]\n";
        QTest::newRow("-h") << QStringList{"-h"} << false << 0 << "Usage: orbisk [options]\n";
        QTest::newRow("--version") << QStringList{"--version"} << false << 0 << "Orbisk 1.0\n";
        QTest::newRow("-version, one dash") << QStringList{"-version"} << false << 0 << "Orbisk 1.0\n";
        QTest::newRow("--help=x, as Qt's parser words it") << QStringList{"-platform", "xcb", "--help=x"} << false << 2 << "orbisk: Unexpected value after '--help'.\n";
        QTest::newRow("--version=1 just before --") << QStringList{"--version=1", "--"} << false << 2 << "orbisk: Unexpected value after '--version'.\n";
        QTest::newRow("--version=1 beside --help") << QStringList{"--help", "--version=1"} << false << 2 << "orbisk: Unexpected value after '--version'.\n";
        QTest::newRow("a closing --: starts") << QStringList{"--"} << false << -1 << "";
        QTest::newRow("-- ends the options: Qt's and ours after it are arguments") << QStringList{"--", "-style", "--help", "--version=1"} << false << 2 << "orbisk: unexpected argument '-style'\n";
        QTest::newRow("Qt's -platformtheme is not -h") << QStringList{"-platformtheme", "gtk3"} << false << -1 << "";
        QTest::newRow("anything else waits for Qt") << QStringList{"-geometry", "300x200+10+10", "--bogus"} << false << -1 << "";
        QTest::newRow("nothing Qt left: starts") << QStringList{} << true << -1 << "";
        QTest::newRow("unknown option, as typed") << QStringList{"--bogus"} << true << 2 << "orbisk: Unknown option '--bogus'.\nTry 'orbisk --help'";
        QTest::newRow("stray argument") << QStringList{"quotes.txt"} << true << 2 << "orbisk: unexpected argument 'quotes.txt'\n";
        QTest::newRow("control characters on one line") << QStringList{"two\nlines\t\x1b[1m"} << true << 2 << "orbisk: unexpected argument 'two\\nlines\\x09\\x1b[1m'\n";
        QTest::newRow("a closing -- Qt left: starts") << QStringList{"--"} << true << -1 << "";
        // clang-format on
    }
    void arguments_startOrEndWithAStatus()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, qtTookSome);
        QFETCH(int, status);
        QFETCH(QString, text);
        arguments.prepend("orbisk");
        const auto answer = qtTookSome ? readLeftoverArguments(arguments)
                                       : readCommandLine(arguments, "/home/u/.config/orbisk/orbisk.set");
        QCOMPARE(answer ? answer->status : -1, status);
        QVERIFY2(!answer || answer->text.startsWith(text), qPrintable(answer ? answer->text : QString()));
        if (status == 0 && arguments.contains("--help"))
            QVERIFY(answer->text.contains("Settings are saved in /home/u/.config/orbisk/orbisk.set."));
    }

    void program_withoutADisplay_saysSoInOneLine_data()
    {
        QTest::addColumn<QString>("display");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output"); // how it begins
        QTest::addColumn<int>("lines");      // in all
        const QString noDisplay =
            "orbisk: no display could be opened%1; set DISPLAY (X11) or WAYLAND_DISPLAY (Wayland) "
            "to a running desktop session's display.\n";
        // clang-format off
        QTest::newRow("no display set") << QString() << QStringList{} << 1 << noDisplay.arg("") << 1;
        QTest::newRow("a display nobody serves") << ":1999" << QStringList{} << 1 << noDisplay.arg(" at DISPLAY=:1999") << 1;
        QTest::newRow("both set: X11's, which was tried, is named") << ":1999 wayland-1999" << QStringList{} << 1 << noDisplay.arg(" at DISPLAY=:1999") << 1;
        QTest::newRow("a Wayland display nobody serves") << "wayland-1999" << QStringList{} << 1 << noDisplay.arg(" at WAYLAND_DISPLAY=wayland-1999") << 1;
        QTest::newRow("-platform wayland, nobody serving") << "wayland-1999" << QStringList{"-platform", "wayland"} << 1 << noDisplay.arg(" at WAYLAND_DISPLAY=wayland-1999") << 1;
        QTest::newRow("no such platform: Qt's notice and message") << ":1999" << QStringList{"-platform", "bogus"} << 1 << "qt.qpa.plugin: Could not find the Qt platform plugin \"bogus\" in \"\"\nThis application failed to start because no Qt platform plugin could be initialized." << 5;
        QTest::newRow("--version needs none") << QString() << QStringList{"--version"} << 0 << "Orbisk 1.0\n" << 1;
        QTest::newRow("unknown option after Qt's") << QString() << QStringList{"-platform", "offscreen", "--bogus"} << 2 << "QStandardPaths: wrong permissions on runtime directory" << 3;
        // clang-format on
    }
    void program_withoutADisplay_saysSoInOneLine()
    {
        QFETCH(QString, display);
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, output);
        QFETCH(int, lines);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        // Qt's notices of the start still go out: one about the runtime folder, here.
        const QTemporaryDir runtime;
        QFile::setPermissions(runtime.path(), QFileDevice::Permissions(0x7777));
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        for (const QString &each : display.split(u' ', Qt::SkipEmptyParts))
            environment.insert(each.startsWith("wayland") ? "WAYLAND_DISPLAY" : "DISPLAY", each);
        program.setProcessEnvironment(environment);
        program.start(ORBISK_PROGRAM, arguments);
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit); // no abort, no core
        QCOMPARE(program.exitCode(), status);
        // Answers go to standard output, errors and notices to standard error.
        const QString said = QString::fromLocal8Bit(status == 0 ? program.readAllStandardOutput()
                                                                : program.readAllStandardError());
        QVERIFY2(said.startsWith(output) && said.count('\n') == lines, qPrintable(said));
    }

    // An installed copy (bin beside share/applications/orbisk.desktop) saves to the user's own
    // file, and --help names it, though the administrator's is the one it reads.
    void help_ofAnInstalledCopy_namesTheUsersFile()
    {
        const QTemporaryDir prefix;
        const QDir root(prefix.path());
        for (const char *folder : {"bin", "share/applications", "etc/orbisk", "config"})
            QVERIFY(root.mkpath(folder));
        QVERIFY(QFile::copy(ORBISK_PROGRAM, root.filePath("bin/orbisk")));
        for (const char *file : {"share/applications/orbisk.desktop", "etc/orbisk/orbisk.set"})
            QVERIFY(QFile(root.filePath(file)).open(QIODevice::WriteOnly));
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", root.filePath("config"));
        environment.insert("XDG_CONFIG_DIRS", root.filePath("etc"));
        program.setProcessEnvironment(environment);
        program.start(root.filePath("bin/orbisk"), {"--help"});
        QVERIFY(program.waitForFinished(20000));
        QVERIFY(program.readAllStandardOutput().contains(
            "Settings are saved in " + root.filePath("config/orbisk/orbisk.set").toUtf8() + '.'));
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "commandline_test.moc"
