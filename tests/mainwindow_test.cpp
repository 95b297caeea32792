#include "layoutstyle.h"
#include "windowdriver.h"

#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QTimer>

using namespace orbisk;

namespace {

// Every control with its parent and place in twips, as the layout is laid down; kept apart from
// the program's own table so that a slip in either shows.
constexpr const char *expectedGeometry = R"(
fLabels - 0 120 975 1335
Frame1 - 1080 120 1215 1335
Frame2 - 2400 120 1215 1335
Frame8 - 3720 120 855 1335
Frame10 - 4680 120 1215 1335
Label3 - 120 1800 855 255
Frame3 - 1080 1560 1215 615
Frame4 - 2400 1560 1215 615
Frame9 - 4320 1560 1335 615
lblInstr1 fLabels 120 240 855 255
lblInstr3 fLabels 120 960 855 255
txtBid2 Frame1 120 600 975 285
txtAsk3 Frame2 120 960 975 285
btnRateDown1 Frame8 120 240 255 255
btnRateUp2 Frame8 480 600 255 255
btnSpreadDown3 Frame10 120 960 255 255
txtSpread2 Frame10 480 600 255 285
btnSpreadUp1 Frame10 840 240 255 255
txtBidCross1 Frame3 120 240 975 285
txtAskCross1 Frame4 120 240 975 285
btnAction Frame9 360 240 615 255
txtBidCross2 Frame3 120 600 975 285
txtAskCross3 Frame4 120 960 975 285
btnBuyCross2 Frame9 120 600 255 255
btnSellCross3 Frame9 480 960 255 255
)";

const QStringList expectedTabOrder = {
    "txtBid1",       "txtBid2",        "txtBid3",        "txtAsk3",        "txtAsk2",      "txtAsk1",
    "txtBidCross3",  "txtBidCross1",   "txtAskCross3",   "txtAskCross2",   "txtAskCross1", "btnRateDown1",
    "btnRateDown2",  "btnRateDown3",   "btnRateUp1",     "btnRateUp2",     "btnRateUp3",   "btnSellCross3",
    "btnSellCross2", "btnBuyCross3",   "btnBuyCross2",   "btnAction",      "btnSpreadUp3", "btnSpreadUp2",
    "btnSpreadUp1",  "btnSpreadDown3", "btnSpreadDown2", "btnSpreadDown1", "txtBidCross2", "txtBid1",
};

const QStringList board = {"txtBid1", "txtAsk1", "txtBidCross1", "txtAskCross1"};

QString spoken(QWidget *widget, QAccessible::Text what)
{
    return QAccessible::queryAccessibleInterface(widget)->text(what);
}

} // namespace

class MainWindowTest : public QObject, private WindowDriver {
    Q_OBJECT

private slots:
    void initTestCase() { applyLayoutStyle(); }
    void init() { openWindow(); }
    void cleanup() { closeWindow(); }

    void window_hasItsSizePlaceAndControls()
    {
        QCOMPARE(m_window->objectName() + ' ' + m_window->windowTitle(), QStringLiteral("frmMain Orbisk"));
        QCOMPARE(m_window->centralWidget()->size(), QSize(397, 150));
        QCOMPARE(m_window->centralWidget()->mapToGlobal(QPoint(0, 0)), QPoint(388, 309));
        QCOMPARE(m_window->minimumSize(), m_window->maximumSize());
        for (const QString &line : QString::fromLatin1(expectedGeometry).trimmed().split('\n')) {
            const QStringList f = line.split(' ');
            QWidget *widget = find(f[0]);
            QCOMPARE(widget->parentWidget()->objectName(), f[1] == "-" ? QString() : f[1]);
            const QRect expected(f[2].toInt() / 15, f[3].toInt() / 15, f[4].toInt() / 15, f[5].toInt() / 15);
            QVERIFY2(widget->geometry() == expected, qPrintable(f[0]));
        }
        QCOMPARE(m_window->findChildren<QGroupBox *>().size(), 8);
        QCOMPARE(m_window->findChildren<QLineEdit *>().size(), 15);
        QCOMPARE(m_window->findChildren<QPushButton *>().size(), 17);
        QCOMPARE(find("fLabels")->property("element").toInt(), 1);
    }

    void startup_showsInitialTextsAndState()
    {
        QCOMPARE(find<QLabel>("lblInstr1")->text(), QStringLiteral("GBP/USD")); // no settings file
        QCOMPARE(texts({"txtBid2", "txtAsk2", "txtBidCross1", "txtAskCross1"}),
                 (QStringList{"0.7225", "0.7230", "", ""}));
        QCOMPARE(indicator(), QStringLiteral("Wait / "));
        for (const QString leg : {"1", "2", "3"}) {
            QCOMPARE(text("txtSpread" + leg), QStringLiteral("5"));
            QVERIFY(!find("txtSpread" + leg)->isEnabled());
            QVERIFY(find("btnRateUp" + leg)->isEnabled() && find("btnRateDown" + leg)->isEnabled());
        }
        QCOMPARE(QApplication::focusWidget(), find("txtBid1"));
        QCOMPARE(find("txtBidCross1")->palette().color(QPalette::Base), QColor(Qt::white));
        QVERIFY(!find("txtAskCross1")->testAttribute(Qt::WA_SetPalette));
    }

    void tab_visitsControlsInTabIndexOrder()
    {
        QStringList visited{QApplication::focusWidget()->objectName()};
        while (visited.size() < expectedTabOrder.size()) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, expectedTabOrder);
    }

    void visibleTexts_fitTheirControls()
    {
        retype("txtBid3", "1.1845");
        click("btnRateUp3"); // the widest measures of the examples
        QCOMPARE(text("txtAskCross1"), QStringLiteral("-28.00941"));
        const int frame = m_window->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
        for (QWidget *widget : m_window->centralWidget()->findChildren<QWidget *>()) {
            if (widget->y() >= widget->parentWidget()->height() - 1)
                continue; // the inert controls below the lower frames' edge
            int room = widget->width();
            QString shown;
            if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
                shown = edit->text();
                room -= 2 * frame + 4;
            } else if (auto *button = qobject_cast<QPushButton *>(widget)) {
                shown = button->text();
                room -= 4;
            } else if (auto *label = qobject_cast<QLabel *>(widget)) {
                shown = label->text();
            } else if (auto *box = qobject_cast<QGroupBox *>(widget)) {
                shown = box->title();
            }
            QVERIFY2(widget->fontMetrics().boundingRect(shown).right() < room,
                     qPrintable(widget->objectName()));
        }
    }

    void screenReader_namesEveryFieldAndButton()
    {
        for (QWidget *widget : m_window->centralWidget()->findChildren<QWidget *>()) {
            if (qobject_cast<QLineEdit *>(widget) || qobject_cast<QPushButton *>(widget))
                QVERIFY2(!spoken(widget, QAccessible::Name).isEmpty(), qPrintable(widget->objectName()));
        }
        QCOMPARE(spoken(find("txtBid1"), QAccessible::Name), QStringLiteral("Bid, leg 1"));
        QCOMPARE(spoken(find("btnRateUp3"), QAccessible::Name), QStringLiteral("Rate one pip up, leg 3"));
        QCOMPARE(spoken(find("btnSpreadDown2"), QAccessible::Name),
                 QStringLiteral("Spread one pip narrower, leg 2"));
        retype("txtBid3", "1.1845");
        click("btnRateUp3");
        QCOMPARE(spoken(find("btnAction"), QAccessible::Description), QStringLiteral("Buy 1+2 Sell 3"));
    }

    void menu_hasFourEntriesWithShortcuts()
    {
        QCOMPARE(m_window->menuBar()->actions().size(), 1);
        QMenu *menu = m_window->menuBar()->actions().first()->menu();
        QCOMPARE(menu->objectName() + ' ' + menu->title(), QStringLiteral("Main About"));
        QStringList entries;
        for (const QAction *action : menu->actions())
            entries << action->objectName() + ':' + (action->isSeparator() ? "-" : action->text()) + ':' +
                           action->shortcut().toString();
        QCOMPARE(entries, (QStringList{"About:About:Ctrl+A", "Settings:Settings:Ctrl+S",
                                       "Separator:-:", "Exit:Exit:Ctrl+E"}));
    }

    void ctrlA_inATextBox_opensAbout()
    {
        QTest::keyClick(find("txtBid1"), Qt::Key_A, Qt::ControlModifier);
        QMessageBox *box = openMessageBox();
        QVERIFY(box);
        QCOMPARE(box->windowTitle() + '|' + box->text() + '|', QStringLiteral("Orbisk| |"));
        QCOMPARE(box->icon(), QMessageBox::NoIcon);
        QCOMPARE(box->standardButtons(), QMessageBox::Ok);
        QVERIFY(find<QLineEdit>("txtBid1")->selectedText().isEmpty()); // not select-all
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        QTRY_VERIFY(!openMessageBox());
        QCOMPARE(text("txtBid1"), QStringLiteral("1.6364"));
    }

    void rateButtons_stepBidAskMeasuresAndIndicator()
    {
        click("btnRateUp1");
        QCOMPARE(texts(board), (QStringList{"1.6365", "1.637", "-9.509368", "-7.287264"}));
        QCOMPARE(indicator(), QStringLiteral("Wait /  "));
        retype("txtBid3", "1.1845");
        QCOMPARE(text("txtBidCross1"), QStringLiteral("-9.509368")); // typing computes nothing
        click("btnRateUp3");
        QCOMPARE(texts({"txtBid3", "txtAsk3"}), (QStringList{"1.1846", "1.1851"}));
        QCOMPARE(indicator(), QStringLiteral("Sell / Buy 1+2 Sell 3"));
    }

    void spreadButtons_changeOnlyTheSpread()
    {
        click("btnSpreadDown2");
        click("btnSpreadDown2");
        QCOMPARE(texts({"txtSpread2", "txtAsk2", "txtBidCross1"}), (QStringList{"3", "0.7230", ""}));
        click("btnRateDown2");
        QCOMPARE(text("txtAsk2"), QStringLiteral("0.7227"));
    }

    void typingAMeasure_reevaluatesTheIndicator()
    {
        click("btnRateUp1");
        retype("txtAskCross1", "1E-05");
        QCOMPARE(indicator(), QStringLiteral("Buy / Sell 1+2 Buy 3"));
        retype("txtAskCross1", "");
        QCOMPARE(indicator(), QStringLiteral("Wait /  "));
        click("btnAction");
        QCOMPARE(indicator(), QStringLiteral("Wait /  "));
    }

    void failedStep_warnsAndKeepsFields()
    {
        retype("txtBid1", "abc");
        click("btnRateUp1");
        QMessageBox *box = openMessageBox();
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), QStringLiteral("Orbisk"));
        QCOMPARE(box->icon(), QMessageBox::Warning);
        QCOMPARE(box->text(),
                 QStringLiteral("Leg 1 cannot be stepped up: the bid of leg 1, \"abc\", is not a number."));
        QCOMPARE(texts(board), (QStringList{"abc", "1.6369", "", ""}));
    }

    void failedMeasure_keepsTheNewQuotes()
    {
        retype("txtAsk2", "");
        click("btnRateDown1");
        QVERIFY(openMessageBox());
        QCOMPARE(texts(board), (QStringList{"1.6363", "1.6368", "", ""}));
    }

    void commaSeparator_readsBothAndWritesComma()
    {
        openWindow({}, QStringLiteral(","));
        retype("txtBid2", "0,7225");
        click("btnRateUp1");
        QCOMPARE(texts(board), (QStringList{"1,6365", "1,637", "-9,509368", "-7,287264"}));
    }

    // These end the event loop, so they run last.
    void ctrlE_endsTheProgram()
    {
        QTimer::singleShot(0, this,
                           [this] { QTest::keyClick(find("txtBid1"), Qt::Key_E, Qt::ControlModifier); });
        QTimer::singleShot(5000, this, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
    }

    void closingTheMainWindow_endsTheProgram()
    {
        QTimer::singleShot(0, this, [this] { m_window->close(); });
        QTimer::singleShot(5000, this, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
    }
};

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
