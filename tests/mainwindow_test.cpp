#include "layoutstyle.h"
#include "mainwindow.h"

#include <QAccessible>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace orbisk;

namespace {

// Every control of the window with its parent and its place in twips, as the layout is
// specified; kept apart from the program's own table so that a slip in either shows.
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
    "btnSpreadUp1",  "btnSpreadDown3", "btnSpreadDown2", "btnSpreadDown1", "txtBidCross2",
};

QMessageBox *openMessageBox()
{
    return qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;

    template <typename T = QWidget> T *find(const QString &name) const
    {
        auto *widget = m_window->findChild<T *>(name);
        if (!widget)
            qFatal("no control named %s", qPrintable(name));
        return widget;
    }
    QString text(const QString &name) const { return find<QLineEdit>(name)->text(); }
    void click(const QString &name) const { QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton); }
    void retype(const QString &name, const QString &text) const
    {
        auto *edit = find<QLineEdit>(name);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    void openWindow(const QString &separator = QStringLiteral("."))
    {
        m_window = std::make_unique<MainWindow>(separator, m_dir.filePath("orbisk.set"));
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

private slots:
    void initTestCase() { applyLayoutStyle(); }
    void init() { openWindow(); }
    void cleanup()
    {
        while (QWidget *modal = QApplication::activeModalWidget())
            delete modal;
        m_window.reset();
    }

    void window_hasSpecifiedFrameAndPlace()
    {
        QCOMPARE(m_window->objectName(), QStringLiteral("frmMain"));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Orbisk"));
        QWidget *client = m_window->centralWidget();
        QCOMPARE(client->size(), QSize(397, 150));
        QCOMPARE(client->mapToGlobal(QPoint(0, 0)), QPoint(388, 309));
        QCOMPARE(m_window->minimumSize(), m_window->maximumSize());
    }

    void controls_sitWhereTheLayoutSays()
    {
        const QStringList lines = QString::fromLatin1(expectedGeometry).trimmed().split('\n');
        for (const QString &line : lines) {
            const QStringList f = line.split(' ');
            QWidget *widget = find(f[0]);
            const QString parent = f[1] == "-" ? QString() : f[1];
            QCOMPARE(widget->parentWidget()->objectName(), parent);
            const QRect expected(f[2].toInt() / 15, f[3].toInt() / 15, f[4].toInt() / 15, f[5].toInt() / 15);
            QVERIFY2(widget->geometry() == expected, qPrintable(f[0]));
        }
        QCOMPARE(m_window->findChildren<QGroupBox *>().size(), 8);
        QCOMPARE(m_window->findChildren<QLineEdit *>().size(), 15);
        QCOMPARE(m_window->findChildren<QPushButton *>().size(), 17);
        QCOMPARE(find<QGroupBox>("fLabels")->property("element").toInt(), 1);
    }

    void startup_showsInitialTexts()
    {
        QCOMPARE(find<QLabel>("lblInstr1")->text(), QStringLiteral("GBP/USD")); // no settings file
        QCOMPARE(text("txtBid2"), QStringLiteral("0.7225"));
        QCOMPARE(text("txtAsk2"), QStringLiteral("0.7230"));
        QCOMPARE(text("txtBidCross1"), QString());
        QCOMPARE(text("txtAskCross1"), QString());
        QCOMPARE(find<QPushButton>("btnAction")->text(), QStringLiteral("Wait"));
        QCOMPARE(find<QPushButton>("btnAction")->toolTip(), QString());
        for (int leg = 1; leg <= 3; ++leg) {
            QCOMPARE(text(QStringLiteral("txtSpread%1").arg(leg)), QStringLiteral("5"));
            QVERIFY(!find(QStringLiteral("txtSpread%1").arg(leg))->isEnabled());
            QVERIFY(find(QStringLiteral("btnRateUp%1").arg(leg))->isEnabled());
            QVERIFY(find(QStringLiteral("btnRateDown%1").arg(leg))->isEnabled());
        }
        QCOMPARE(QApplication::focusWidget(), find("txtBid1"));
        QCOMPARE(find<QLineEdit>("txtBidCross1")->palette().color(QPalette::Base), QColor(Qt::white));
        QVERIFY(!find("txtAskCross1")->testAttribute(Qt::WA_SetPalette));
    }

    void tab_visitsControlsInTabIndexOrder()
    {
        QStringList visited{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < expectedTabOrder.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, expectedTabOrder + QStringList{"txtBid1"});
    }

    void visibleTexts_fitTheirControls()
    {
        retype("txtBid3", "1.1845");
        click("btnRateUp3"); // the widest measures of the examples: 11.2135 and -28.00941
        QCOMPARE(text("txtAskCross1"), QStringLiteral("-28.00941"));
        const int frame = m_window->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
        for (QWidget *widget : m_window->centralWidget()->findChildren<QWidget *>()) {
            if (widget->y() >= widget->parentWidget()->height() - 1)
                continue; // the inert controls below the lower frames' edge
            const QFontMetrics metrics = widget->fontMetrics();
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
            QVERIFY2(metrics.boundingRect(shown).right() < room, qPrintable(widget->objectName()));
        }
    }

    void screenReader_namesEveryFieldAndButton()
    {
        const auto spoken = [](QWidget *widget, QAccessible::Text what) {
            return QAccessible::queryAccessibleInterface(widget)->text(what);
        };
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
        const QList<QAction *> bar = m_window->menuBar()->actions();
        QCOMPARE(bar.size(), 1);
        QMenu *menu = bar.first()->menu();
        QCOMPARE(menu->objectName(), QStringLiteral("Main"));
        QCOMPARE(menu->title(), QStringLiteral("About"));
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
        QCOMPARE(box->windowTitle(), QStringLiteral("Orbisk"));
        QCOMPARE(box->text(), QStringLiteral(" "));
        QCOMPARE(box->icon(), QMessageBox::NoIcon);
        QCOMPARE(box->standardButtons(), QMessageBox::Ok);
        QVERIFY(find<QLineEdit>("txtBid1")->selectedText().isEmpty()); // not select-all
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        QTRY_VERIFY(!openMessageBox());
        QCOMPARE(text("txtBid1"), QStringLiteral("1.6364"));
    }

    void rateButtons_stepBidAskAndMeasures()
    {
        click("btnRateUp1");
        QCOMPARE(text("txtBid1"), QStringLiteral("1.6365"));
        QCOMPARE(text("txtAsk1"), QStringLiteral("1.637"));
        QCOMPARE(text("txtBidCross1"), QStringLiteral("-9.509368"));
        QCOMPARE(text("txtAskCross1"), QStringLiteral("-7.287264"));
        QCOMPARE(find<QPushButton>("btnAction")->text(), QStringLiteral("Wait"));
        QCOMPARE(find<QPushButton>("btnAction")->toolTip(), QStringLiteral(" "));

        retype("txtBid3", "1.1845");
        QCOMPARE(text("txtBidCross1"), QStringLiteral("-9.509368")); // typing computes nothing
        click("btnRateUp3");
        QCOMPARE(text("txtBid3"), QStringLiteral("1.1846"));
        QCOMPARE(text("txtAsk3"), QStringLiteral("1.1851"));
        QCOMPARE(find<QPushButton>("btnAction")->text(), QStringLiteral("Sell"));
        QCOMPARE(find<QPushButton>("btnAction")->toolTip(), QStringLiteral("Buy 1+2 Sell 3"));
    }

    void spreadButtons_changeOnlyTheSpread()
    {
        click("btnSpreadDown2");
        click("btnSpreadDown2");
        QCOMPARE(text("txtSpread2"), QStringLiteral("3"));
        QCOMPARE(text("txtAsk2"), QStringLiteral("0.7230"));
        QCOMPARE(text("txtBidCross1"), QString());
        click("btnRateDown2");
        QCOMPARE(text("txtAsk2"), QStringLiteral("0.7227"));
    }

    void typingAMeasure_reevaluatesTheIndicator()
    {
        click("btnRateUp1");
        retype("txtAskCross1", "1E-05");
        QCOMPARE(find<QPushButton>("btnAction")->text(), QStringLiteral("Buy"));
        QCOMPARE(find<QPushButton>("btnAction")->toolTip(), QStringLiteral("Sell 1+2 Buy 3"));
        retype("txtAskCross1", "");
        QCOMPARE(find<QPushButton>("btnAction")->text(), QStringLiteral("Wait"));
        click("btnAction");
        QCOMPARE(find<QPushButton>("btnAction")->text(), QStringLiteral("Wait"));
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
        QCOMPARE(text("txtAsk1"), QStringLiteral("1.6369"));
        QCOMPARE(text("txtBidCross1"), QString());
    }

    void failedMeasure_keepsTheNewQuotes()
    {
        retype("txtAsk2", "");
        click("btnRateDown1");
        QVERIFY(openMessageBox());
        QCOMPARE(text("txtBid1"), QStringLiteral("1.6363"));
        QCOMPARE(text("txtAsk1"), QStringLiteral("1.6368"));
        QCOMPARE(text("txtBidCross1"), QString());
        QCOMPARE(text("txtAskCross1"), QString());
    }

    void commaSeparator_readsBothAndWritesComma()
    {
        openWindow(QStringLiteral(","));
        retype("txtBid2", "0,7225");
        click("btnRateUp1");
        QCOMPARE(text("txtBid1"), QStringLiteral("1,6365"));
        QCOMPARE(text("txtAsk1"), QStringLiteral("1,637"));
        QCOMPARE(text("txtBidCross1"), QStringLiteral("-9,509368"));
        QCOMPARE(text("txtAskCross1"), QStringLiteral("-7,287264"));
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
