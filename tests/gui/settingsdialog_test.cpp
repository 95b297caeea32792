#include "support/settingsfixture.h"
#include "support/windowdriver.h"

#include <QTimer>

using namespace orbisk;

namespace {

void clickButton(QMessageBox *box, const QString &text)
{
    for (QAbstractButton *button : box->buttons()) {
        if (button->text() == text)
            QTest::mouseClick(button, Qt::LeftButton);
    }
}

} // namespace

class SettingsDialogTest : public QObject, private SettingsFileFixture, private WindowDriver {
    Q_OBJECT

private slots:
    void init() { failOnUnexpectedWarnings(); }
    void cleanup()
    {
        closeWindow();
        QDir dir(m_dir.path());
        for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden))
            dir.remove(name);
        QCOMPARE(settingsDialogs().size(), 0); // the dialog never outlives the main window
    }

    void dialog_hasItsLayoutAndTabOrder()
    {
        openWindow(path());
        SettingsDialog *dialog = openSettings();
        QVERIFY(waitUntilActive(dialog));
        QCOMPARE(dialog->objectName() + ' ' + dialog->windowTitle(), QStringLiteral("frmSetting Settings"));
        QCOMPARE(layoutOf(dialog), drawnLayout("frmSetting.layout"));
        QCOMPARE(find<QLineEdit>("txtAsk2", dialog)->accessibleName(),
                 QStringLiteral("Ask, leg 2")); // heard, not seen

        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("txtBid3")); // then Tab's order
        for (const QString name : {"txtInstr1", "txtAsk3"}) { // the file could not hold these
            retype(find<QLineEdit>(name, dialog), "1\"2");
            find<QLineEdit>(name, dialog)->insert("3\n4"); // pasted: refused whole
            QCOMPARE(find<QLineEdit>(name, dialog)->text(), QStringLiteral("12"));
        }
    }

    void startup_copiesTheFileButKeepsSpreads()
    {
        put("eur/chf\r\n\r\neur/jpy\r\n1.1\r\n2.2\r\n3.3\r\n1.1007\r\n2.2005\r\n3.3005\r\n");
        openWindow(path());
        QCOMPARE(legNames(), QStringLiteral("eur/chf  eur/jpy"));
        QCOMPARE(texts({"txtBid3", "txtAsk1", "txtSpread1"}), (QStringList{"3.3", "1.1007", "5"}));
        QCOMPARE(find("txtBid1")->accessibleName() + " / " + find("txtBid2")->accessibleName(),
                 QStringLiteral("Bid, eur/chf / Bid, leg 2")); // a leg without a name is still told apart
        QCOMPARE(settingsDialogs().size(), 1);
        QVERIFY(!settingsDialogs().first()->isVisible()); // loaded, hidden
    }

    // Settings again shows the same dialog without reloading it, and brings it to the top where a
    // display server stacks windows (offscreen has no order to look at).
    void settingsTwice_showsOneDialogOnTopWithoutReload()
    {
        const bool stacked = QGuiApplication::platformName() == QLatin1String("xcb");
        openWindow(path());
        put("changed on disk\r\n");
        SettingsDialog *dialog = openSettings(); // the first shows what start-up read
        QVERIFY(dialog);
        QCOMPARE(dialog->record().values(), initialSettings());
        retype(find<QLineEdit>("txtBid1", dialog), "9.9");
        if (stacked) {
            QVERIFY(QTest::qWaitForWindowExposed(dialog));
            dialog->move(m_window->pos());
            m_window->raise();
            QTRY_COMPARE(QApplication::topLevelAt(dialog->geometry().center()), m_window.get());
        }
        QCOMPARE(openSettings(), dialog);
        QCOMPARE(dialog->record().values().mid(0, 4), (QStringList{"GBP/USD", "EUR/GBP", "EUR/USD", "9.9"}));
        if (stacked)
            QTRY_COMPARE(QApplication::topLevelAt(dialog->geometry().center()), dialog);
    }

    void close_savesForTheNextStartOnly()
    {
        openWindow(path());
        QVERIFY(openSettings()->close()); // unedited: still written
        QCOMPARE(contents(), defaultBytes);
        QTRY_COMPARE(settingsDialogs().size(), 0);

        SettingsDialog *dialog = openSettings();
        retype(find<QLineEdit>("txtBid1", dialog), "1,5");
        find<QLineEdit>("txtInstr1", dialog)->selectAll();
        find<QLineEdit>("txtInstr1", dialog)->insert(QStringLiteral("usd/chf\x1b\u0085")); // pasted
        QVERIFY(dialog->close());
        QCOMPARE(text("txtBid1") + ' ' + legNames(), QStringLiteral("1.6364 GBP/USD EUR/GBP EUR/USD"));
        QVERIFY(contents().startsWith(
            QByteArray("usd/chf\x1b\xC2\x85\r\nEUR/GBP\r\nEUR/USD\r\n\"1,5\"\r\n", 37)));

        QTRY_COMPARE(settingsDialogs().size(), 0);
        put("GBP/USD\r\nreread\r\n");
        QCOMPARE(openSettings()->record().values().at(1), QStringLiteral("reread")); // built anew: read again
        QTRY_VERIFY(openMessageBox() && openMessageBox()->text().contains("only 2 of its 9 values"));
        closeWindow();
        openWindow(path());
        QCOMPARE(legNames(), QStringLiteral("GBP/USD reread EUR/USD"));
    }

    void failedSave_letsTheUserChoose()
    {
        put("a file where the folder would be");
        const QString unwritable = path() + "/orbisk.set";
        openWindow(unwritable);
        SettingsDialog *dialog = openSettings();
        retype(find<QLineEdit>("txtAsk3", dialog), "1.2");

        QVERIFY(!dialog->close());
        QMessageBox *box = openMessageBox();
        QVERIFY(box && box->text().contains(unwritable));
        QTest::keyClick(box, Qt::Key_Return); // Retry, the only accepting button, is the default: still
                                              // failing, so asked again
        QTRY_VERIFY(openMessageBox() && openMessageBox() != box);
        clickButton(openMessageBox(), "Keep Editing");
        QTRY_VERIFY(!openMessageBox());
        QVERIFY(dialog->isVisible()); // nothing lost
        QCOMPARE(find<QLineEdit>("txtAsk3", dialog)->text(), QStringLiteral("1.2"));

        QVERIFY(!dialog->close());
        clickButton(openMessageBox(), "Close Without Saving");
        QTRY_COMPARE(settingsDialogs().size(), 0);
        QCOMPARE(contents(), QByteArray("a file where the folder would be"));
    }

    void unreadValue_costsOnlyItself_andTheFileIsKeptBeforeSaving()
    {
        const QByteArray unread =
            QByteArray(defaultBytes).replace("GBP/USD", "\xFF").replace("0.7225", "0.8");
        put(unread);
        openWindow(path());
        QTRY_VERIFY(openMessageBox());
        QCOMPARE(
            openMessageBox()->text().remove(m_dir.path() + '/'),
            QStringLiteral(
                "The settings file %1 was not read whole: the name of leg 1 is not text. The built-in "
                "values are used in place of what was not read. Before the settings are saved over it, the "
                "file is kept as %1.unread.")
                .arg("orbisk.set"));
        QCOMPARE(legNames() + ' ' + text("txtBid2"), QStringLiteral("GBP/USD EUR/GBP EUR/USD 0.8"));
        delete openMessageBox();
        QVERIFY(openSettings()->close());
        QFile kept(path() + ".unread");
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), unread);
        QCOMPARE(contents(), QByteArray(defaultBytes).replace("0.7225", "0.8"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), (QStringList{"orbisk.set", "orbisk.set.unread"}));
    }

    // Ends the event loop, so it runs last.
    void exitOrClosingWithOpenEdits_leavesTheFileAlone()
    {
        put(defaultBytes);
        for (const bool exit : {true, false}) {
            openWindow(path());
            retype(find<QLineEdit>("txtBid2", openSettings()), "0.1");
            QTimer::singleShot(0, this, [this, exit] {
                if (exit && waitUntilActive(m_window.get())) // Ctrl+E, though a text box claims it
                    QTest::keyClick(find("txtBid1"), Qt::Key_E, Qt::ControlModifier);
                else
                    m_window->close();
            });
            QTimer::singleShot(5000, this, [] { QCoreApplication::exit(1); });
            QCOMPARE(QApplication::exec(), 0);
            closeWindow();
            QCOMPARE(contents(), defaultBytes);
        }
    }
};

QTEST_MAIN(SettingsDialogTest)
#include "settingsdialog_test.moc"
