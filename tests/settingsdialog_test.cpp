#include "layoutstyle.h"
#include "mainwindow.h"
#include "settingsdialog.h"
#include "settingsfile.h"
#include "settingsfixture.h"

#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace orbisk;

namespace {

QList<SettingsDialog *> settingsDialogs()
{
    QList<SettingsDialog *> dialogs;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<SettingsDialog *>(widget))
            dialogs << dialog;
    }
    return dialogs;
}

QMessageBox *openMessageBox()
{
    return qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
}

void clickButton(QMessageBox *box, const QString &text)
{
    for (QAbstractButton *button : box->buttons()) {
        if (button->text() == text)
            QTest::mouseClick(button, Qt::LeftButton);
    }
}

} // namespace

class SettingsDialogTest : public QObject, private SettingsFileFixture {
    Q_OBJECT

    std::unique_ptr<MainWindow> m_window;

    void start(const QString &settingsPath = {})
    {
        m_window =
            std::make_unique<MainWindow>(QStringLiteral("."), settingsPath.isEmpty() ? path() : settingsPath);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    SettingsDialog *openSettings()
    {
        m_window->findChild<QAction *>(QStringLiteral("Settings"))->trigger();
        const auto dialogs = settingsDialogs();
        return dialogs.size() == 1 && dialogs.first()->isVisible() ? dialogs.first() : nullptr;
    }
    static QLineEdit *field(QWidget *window, const QString &name)
    {
        return window->findChild<QLineEdit *>(name);
    }
    static void retype(QLineEdit *edit, const QString &text)
    {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

private slots:
    void initTestCase() { applyLayoutStyle(); }
    void cleanup()
    {
        while (QWidget *modal = QApplication::activeModalWidget())
            delete modal;
        m_window.reset();
        QFile::remove(path());
        QCOMPARE(settingsDialogs().size(), 0); // the dialog never outlives the main window
    }

    void dialog_hasSpecifiedLayout()
    {
        SettingsDialog dialog(path());
        QCOMPARE(dialog.objectName(), QStringLiteral("frmSetting"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Settings"));
        QCOMPARE(dialog.size(), QSize(377, 124));
        QCOMPARE(dialog.findChildren<QPushButton *>().size(), 0);
        const struct {
            const char *name, *caption;
            int left, width;
        } frames[] = {{"fLabels", "Instruments", 120, 975},
                      {"Frame2", "Name", 1320, 1215},
                      {"Frame1", "Bid", 2760, 1215},
                      {"Frame3", "Ask", 4200, 1215}};
        for (const auto &f : frames) {
            auto *box = dialog.findChild<QGroupBox *>(f.name);
            QCOMPARE(box->title(), QString::fromLatin1(f.caption));
            QCOMPARE(box->geometry(), QRect(f.left / 15, 16, f.width / 15, 89));
        }
        QStringList rowNumbers;
        for (QLabel *label : dialog.findChildren<QLabel *>(QStringLiteral("Label1")))
            rowNumbers << QStringLiteral("%1@%2:%3")
                              .arg(label->property("element").toInt())
                              .arg(label->y())
                              .arg(label->text());
        rowNumbers.sort();
        QCOMPARE(rowNumbers, (QStringList{"3@40:      2", "4@64:      3", "5@16:      1"}));
        QCOMPARE(field(&dialog, "txtAsk2")->geometry(), QRect(8, 40, 65, 19));
        QCOMPARE(field(&dialog, "txtAsk2")->parentWidget()->objectName(), QStringLiteral("Frame3"));
        QCOMPARE(dialog.values(), initialSettings());
    }

    void dialog_tabsFromBid3()
    {
        start();
        SettingsDialog *dialog = openSettings();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QStringList visited{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < 9; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, (QStringList{"txtBid3", "txtBid2", "txtBid1", "txtInstr3", "txtInstr2", "txtInstr1",
                                       "txtAsk1", "txtAsk2", "txtAsk3", "txtBid3"}));
    }

    void dialog_refusesQuotesAndLineBreaks()
    {
        SettingsDialog dialog(path());
        QLineEdit *name = field(&dialog, "txtInstr1");
        retype(name, "EUR\"/USD");
        QCOMPARE(name->text(), QStringLiteral("EUR/USD"));
    }

    void startup_copiesTheFileButKeepsSpreads()
    {
        put("eur/chf\r\nchf/jpy\r\neur/jpy\r\n1.1\r\n2.2\r\n3.3\r\n1.1007\r\n2.2005\r\n3.3005\r\n");
        start();
        QCOMPARE(m_window->findChild<QLabel *>("lblInstr2")->text(), QStringLiteral("chf/jpy"));
        QCOMPARE(field(m_window.get(), "txtBid3")->text(), QStringLiteral("3.3"));
        QCOMPARE(field(m_window.get(), "txtAsk1")->text(), QStringLiteral("1.1007"));
        QCOMPARE(field(m_window.get(), "txtSpread1")->text(), QStringLiteral("5"));
        QCOMPARE(settingsDialogs().size(), 1);
        QVERIFY(!settingsDialogs().first()->isVisible()); // loaded, hidden
    }

    void settingsTwice_showsOneDialogWithoutReload()
    {
        start();
        SettingsDialog *dialog = openSettings();
        QVERIFY(dialog);
        retype(field(dialog, "txtBid1"), "9.9");
        put("changed on disk\r\n");
        QCOMPARE(openSettings(), dialog);
        QCOMPARE(field(dialog, "txtBid1")->text(), QStringLiteral("9.9"));
        QCOMPARE(field(dialog, "txtInstr1")->text(), QStringLiteral("GBP/USD"));
    }

    void closeWithoutEdits_writesTheFile()
    {
        start();
        QVERIFY(openSettings()->close());
        QCOMPARE(contents(), defaultBytes);
        QTRY_COMPARE(settingsDialogs().size(), 0); // destroyed
    }

    void closeWithEdits_savesForTheNextStartOnly()
    {
        start();
        SettingsDialog *dialog = openSettings();
        retype(field(dialog, "txtBid1"), "1,5");
        retype(field(dialog, "txtInstr1"), "usd/chf");
        QVERIFY(dialog->close());
        QCOMPARE(field(m_window.get(), "txtBid1")->text(), QStringLiteral("1.6364"));
        QCOMPARE(m_window->findChild<QLabel *>("lblInstr1")->text(), QStringLiteral("GBP/USD"));
        QVERIFY(contents().startsWith("usd/chf\r\nEUR/GBP\r\nEUR/USD\r\n\"1,5\"\r\n"));

        QTRY_COMPARE(settingsDialogs().size(), 0);
        put(QByteArray(defaultBytes).replace("EUR/GBP", "reread"));
        dialog = openSettings(); // built anew: reads the file again
        QCOMPARE(field(dialog, "txtInstr2")->text(), QStringLiteral("reread"));

        m_window.reset();
        start();
        QCOMPARE(m_window->findChild<QLabel *>("lblInstr2")->text(), QStringLiteral("reread"));
    }

    void shortFile_isReportedOnceShown()
    {
        put("a\r\nb\r\n");
        start();
        QTRY_VERIFY(openMessageBox());
        QVERIFY(openMessageBox()->text().contains(path()));
        QVERIFY(openMessageBox()->text().contains("only 2 of its 9 values"));
        QCOMPARE(m_window->findChild<QLabel *>("lblInstr2")->text(), QStringLiteral("b"));
        QCOMPARE(m_window->findChild<QLabel *>("lblInstr3")->text(), QStringLiteral("EUR/USD"));
    }

    void failedSave_letsTheUserChoose()
    {
        const QString unwritable = m_dir.filePath("missing/orbisk.set");
        start(unwritable);
        SettingsDialog *dialog = openSettings();
        retype(field(dialog, "txtAsk3"), "1.2");

        QVERIFY(!dialog->close());
        QMessageBox *box = openMessageBox();
        QVERIFY(box && box->text().contains(unwritable));
        box->button(QMessageBox::Retry)->click(); // still failing: asked again
        QTRY_VERIFY(openMessageBox() && openMessageBox() != box);
        clickButton(openMessageBox(), "Keep Editing");
        QTRY_VERIFY(!openMessageBox());
        QVERIFY(dialog->isVisible()); // keep editing: nothing lost
        QCOMPARE(field(dialog, "txtAsk3")->text(), QStringLiteral("1.2"));

        QVERIFY(!dialog->close());
        clickButton(openMessageBox(), "Close Without Saving");
        QTRY_COMPARE(settingsDialogs().size(), 0);
        QVERIFY(!QFile::exists(unwritable));
    }

    // Ends the event loop, so it runs last.
    void exitWithOpenEdits_leavesTheFileAlone()
    {
        put(defaultBytes);
        start();
        SettingsDialog *dialog = openSettings();
        retype(field(dialog, "txtBid2"), "0.1");
        QTimer::singleShot(0, this, [this] { m_window->findChild<QAction *>("Exit")->trigger(); });
        QTimer::singleShot(5000, this, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
        m_window.reset();
        QCOMPARE(contents(), defaultBytes);
    }
};

QTEST_MAIN(SettingsDialogTest)
#include "settingsdialog_test.moc"
