#include "forms/layoutstyle.h"
#include "support/textcheck.h"
#include "support/windowdriver.h"

#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScopeGuard>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOption>

using namespace orbisk;

namespace {

const QStringList board = {"txtBid1", "txtAsk1", "txtBidCross1", "txtAskCross1"};

} // namespace

class MainWindowTest : public QObject, private WindowDriver {
    Q_OBJECT

private slots:
    void init()
    {
        failOnUnexpectedWarnings();
        openWindow();
    }
    void cleanup() { closeWindow(); }

    void window_hasItsSizePlaceAndControls()
    {
        QCOMPARE(m_window->objectName() + ' ' + m_window->windowTitle(), QStringLiteral("frmMain Orbisk"));
        QWidget *client = m_window->centralWidget();
        QCOMPARE(client->mapToGlobal(QPoint(0, 0)), QPoint(388, 309));
        QCOMPARE(m_window->minimumSize(), m_window->maximumSize());
        QCOMPARE(m_window->height(), m_window->menuBar()->height() + client->height());
        QCOMPARE(layoutOf(client), drawnLayout("frmMain.layout"));
    }

    // The texts, and which controls are enabled, are in the layout drawing.
    void startup_focusesTheFirstBidAndPaintsOnlyTheBuySideWhite()
    {
        QCOMPARE(QApplication::focusWidget(), find("txtBid1"));
        QVERIFY(!find("txtAskCross1")->testAttribute(Qt::WA_SetPalette));
    }

    void buySideMeasure_isDarkOnWhiteUnderADarkPalette()
    {
        QPalette dark = m_window->palette(); // as a dark theme gives it
        dark.setColor(QPalette::Base, QColor(30, 30, 30));
        dark.setColor(QPalette::Text, QColor(220, 220, 220));
        m_window->setPalette(dark);
        click("btnRateUp1");
        const QImage shown = find("txtBidCross1")->grab().toImage();
        QCOMPARE(shown.pixelColor(shown.width() - 4, shown.height() / 2), QColor(Qt::white));
        int darkest = 255;
        for (int x = 0; x < shown.width() / 2; ++x)
            darkest = qMin(darkest, qGray(shown.pixel(x, shown.height() / 2)));
        QVERIFY2(darkest < 80, qPrintable(QString::number(darkest)));
    }

    void frameCaptions_startAtTheFrameEdge()
    {
        auto *frame = find<QGroupBox>("fLabels");
        QStyleOptionGroupBox option;
        option.initFrom(frame);
        option.text = frame->title();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        option.lineWidth = 1;
        // Over the Windows style, which indents captions as many styles do.
        const CompactFrameStyle style(QStyleFactory::create("Windows"));
        QCOMPARE(style.subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, frame).x(), 0);
        for (QGroupBox *each : m_window->findChildren<QGroupBox *>())
            QVERIFY(dynamic_cast<CompactFrameStyle *>(each->style()));
    }

    // Every menu on the bar, then its entries by name and caption ("-": a separator line). The
    // shortcuts are pressed by the tests of what they do.
    void menu_isOneMenuOfFourEntries()
    {
        QStringList entries;
        for (const QAction *title : m_window->menuBar()->actions()) {
            entries << title->menu()->objectName() + ' ' + title->text();
            for (const QAction *entry : title->menu()->actions())
                entries << entry->objectName() + ' ' + (entry->isSeparator() ? "-" : entry->text());
        }
        QCOMPARE(entries,
                 (QStringList{"Main About", "About About", "Settings Settings", "Separator -", "Exit Exit"}));
    }

    void keys_pressNoButtonButTheirOwn()
    {
        QTest::keyClick(find("txtBid1"), Qt::Key_S, Qt::ControlModifier);
        QTRY_VERIFY(!settingsDialogs().isEmpty() && settingsDialogs().first()->isVisible());
        // No button is the default or the cancel one. (A focused button takes the keys the desktop
        // says press buttons, Enter among them on some.)
        QTest::keyClick(find("txtBid1"), Qt::Key_Return);
        QTest::keyClick(find("txtBid1"), Qt::Key_Escape);
        // The inert controls do nothing either.
        retype("txtBidCross2", "5");
        click("btnBuyCross2");
        click("btnSellCross3");
        QCOMPARE(texts(board) << text("txtBid2"), (QStringList{"1.6364", "1.6369", "", "", "0.7225"}));
        QCOMPARE(indicator(), QStringLiteral("Wait / "));
        QVERIFY(!openMessageBox());
    }

    void ctrlA_inATextBox_opensAbout()
    {
        QTest::keyClick(find("txtBid1"), Qt::Key_A, Qt::ControlModifier);
        QMessageBox *box = openMessageBox();
        QVERIFY(box);
        QCOMPARE(box->windowTitle() + '|' + box->text() + '|', QStringLiteral("Orbisk| |"));
        QCOMPARE(box->icon(), QMessageBox::NoIcon);
        QCOMPARE(box->windowModality(), Qt::ApplicationModal); // the settings dialog waits too
        QCOMPARE(box->standardButtons(), QMessageBox::Ok);
        QVERIFY(find<QLineEdit>("txtBid1")->selectedText().isEmpty()); // not select-all
        const QPointer<QMessageBox> dismissed = box;
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        QTRY_VERIFY(!dismissed); // deleted, not just hidden
        QCOMPARE(text("txtBid1"), QStringLiteral("1.6364"));
    }

    void rateButtons_stepBidAskMeasuresAndIndicator()
    {
        // Each button steps its own leg in its own direction.
        for (const QString leg : {"1", "2", "3"}) {
            const QString bid = text("txtBid" + leg);
            click("btnRateUp" + leg);
            click("btnRateUp" + leg);
            click("btnRateDown" + leg);
            QCOMPARE(text("txtBid" + leg).toDouble(), bid.toDouble() + 0.0001);
        }
        QCOMPARE(texts({"txtBid1", "txtAsk1"}), (QStringList{"1.6365", "1.637"}));
        const QStringList measures = texts({"txtBidCross1", "txtAskCross1"});
        QVERIFY(measures[0].startsWith('-') && measures[1].startsWith('-') && measures[0] != measures[1]);
        QCOMPARE(indicator(), QStringLiteral("Wait /  "));
        retype("txtBid3", "1.1845");
        QCOMPARE(texts({"txtBidCross1", "txtAskCross1"}), measures); // typing computes nothing
        click("btnRateUp3");
        QCOMPARE(indicator(), QStringLiteral("Sell / Buy 1+2 Sell 3"));
    }

    void spreadButtons_changeOnlyTheSpread()
    {
        for (const QString leg : {"1", "2", "3"}) {
            click("btnSpreadDown" + leg);
            click("btnSpreadDown" + leg);
            click("btnSpreadUp" + leg);
        }
        QCOMPARE(texts({"txtSpread1", "txtSpread2", "txtSpread3", "txtAsk2", "txtBidCross1"}),
                 (QStringList{"4", "4", "4", "0.7230", ""}));
        click("btnRateDown2");
        QCOMPARE(text("txtAsk2"), QStringLiteral("0.7228"));
    }

    void typingAMeasure_reevaluatesTheIndicator()
    {
        click("btnRateUp1");
        retype("txtAskCross1", "1E-05");
        QCOMPARE(indicator(), QStringLiteral("Buy / Sell 1+2 Buy 3"));
        // Both positive: the measure that did not change wins, so each field must say which it is.
        retype("txtBidCross1", "2");
        QCOMPARE(indicator(), QStringLiteral("Buy / Sell 1+2 Buy 3"));
        retype("txtAskCross1", "3");
        QCOMPARE(indicator(), QStringLiteral("Sell / Buy 1+2 Sell 3"));
        retype("txtBidCross1", "-1");
        retype("txtAskCross1", "");
        QCOMPARE(indicator(), QStringLiteral("Wait /  "));
        click("btnAction");
        QCOMPARE(indicator(), QStringLiteral("Wait /  "));
    }

    void failedStep_warnsAndKeepsFields()
    {
        retype("txtBid1", "<b>abc</b>");
        click("btnRateUp1");
        QMessageBox *box = openMessageBox();
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), QStringLiteral("Orbisk"));
        QCOMPARE(box->icon(), QMessageBox::Warning);
        QCOMPARE(
            box->text(),
            QStringLiteral("Leg 1 cannot be stepped up: the bid of leg 1, \"<b>abc</b>\", is not a number."));
        QCOMPARE(box->textFormat(), Qt::PlainText); // the quote shows as typed, not as markup
        QCOMPARE(texts(board), (QStringList{"<b>abc</b>", "1.6369", "", ""}));
    }

    // Fitting counts every pixel of ink: a text one pixel wider than its room takes a smaller size.
    void layoutFont_fitsToThePixel()
    {
        QWidget window;
        auto *label = new QLabel(QStringLiteral("Instruments"), &window);
        QFont font = QApplication::font();
        font.setPointSizeF(std::min(font.pointSizeF(), 8.0));
        label->setFixedWidth(QFontMetrics(font).boundingRect(label->text()).right());
        LayoutFont fit(&window);
        fit.start({});
        QVERIFY(window.font().pointSizeF() < font.pointSizeF());
    }

    // A figure that fits no size shows its beginning at the smallest, whoever wrote it.
    void longFigure_showsItsBeginningAtThreePoints()
    {
        const QString quote = "1." + QString(40, '9');
        find<QLineEdit>("txtAsk1")->setText(quote);
        QCOMPARE(find<QLineEdit>("txtAsk1")->cursorPosition(), 0);
        QCOMPARE(find("txtAsk1")->font().pointSizeF(), 3.0);
        retype("txtAsk1", quote);
        QTest::keyClick(find("txtAsk1"), Qt::Key_Tab);
        QCOMPARE(find<QLineEdit>("txtAsk1")->cursorPosition(), 0);
        QCOMPARE(text("txtAsk1"), quote); // what is copied and read out stays the figure
    }

    // A desktop font with its letters spaced out widens every figure beyond what its characters
    // alone would say: each still fits its box, or shows its beginning at 3 points.
    void spacedFont_fitsEveryFigure()
    {
        const QFont usual = QApplication::font();
        QFont spaced = usual;
        spaced.setLetterSpacing(QFont::AbsoluteSpacing, 2);
        QApplication::setFont(spaced);
        const auto restore = qScopeGuard([usual] { QApplication::setFont(usual); });
        closeWindow();
        openWindow();
        auto *figure = find<QLineEdit>("txtAsk1");
        for (int digits = 1; digits < 16; ++digits) {
            figure->setText("1." + QString(digits, '7'));
            const int width = figure->fontMetrics().boundingRect(figure->text()).right() + 1;
            QVERIFY2(width <= textcheck::room(figure) || figure->font().pointSizeF() == 3.0,
                     qPrintable(figure->text()));
        }
    }

    // Below 6 points text no longer reads: a leg name too long even for that is cut instead.
    void windowFont_stopsAtSixPoints()
    {
        const QTemporaryDir dir;
        QFile file(dir.filePath("orbisk.set"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(60, 'W') + QByteArray(8, ',')) > 0);
        file.close();
        closeWindow();
        openWindow(file.fileName());
        QCOMPARE(m_window->font().pointSizeF(), 6.0);
    }

    void commaSeparator_readsBothAndWritesComma()
    {
        openWindow({}, QStringLiteral(","));
        retype("txtBid2", "0,7225");
        click("btnRateUp1");
        QCOMPARE(texts(board), (QStringList{"1,6365", "1,637", "-9,509368", "-7,287264"}));
    }

    // Run under real desktops as well (tests/desktop): their themes, palettes, fonts and scales.
    void everyText_fitsAndStandsOutInBothWindows()
    {
        if (qEnvironmentVariableIsSet("ORBISK_EXPECT_POINTS")) // a theme that did not load fails here
            QTRY_COMPARE(QApplication::font().pointSize(),
                         qEnvironmentVariableIntValue("ORBISK_EXPECT_POINTS"));
        QCOMPARE(QApplication::palette().color(QPalette::Window).lightness() < 128,
                 qEnvironmentVariableIsSet("ORBISK_EXPECT_DARK"));
        QWidget *settings = openSettings();
        QVERIFY(settings && QTest::qWaitForWindowExposed(settings));
        find<QLineEdit>("txtBid3")->setText("1.1845"); // the dialog is the active window
        click("btnRateUp3");
        checkEveryText({m_window.get(), settings});

        // A figure too wide for its box takes a smaller font of its own, until it fits again.
        find<QLineEdit>("txtBid3")->setText("11826");
        find<QLineEdit>("txtAsk3")->setText("11826.0005");
        click("btnRateUp1");
        QCOMPARE(texts({"txtBidCross1", "txtAskCross1"}), (QStringList{"1.182482E+08", "-1.182482E+08"}));
        checkEveryText({m_window.get()});
        find<QLineEdit>("txtBidCross1")->setText("-3.402823E+38");
        checkEveryText({m_window.get()});
        QVERIFY(find("txtBidCross1")->font().pointSizeF() < m_window->font().pointSizeF());
        find<QLineEdit>("txtBidCross1")->setText("-28.00941");
        QCOMPARE(find("txtBidCross1")->font(), m_window->font());

        // A font the desktop sets late is fitted in both windows.
        const QFont desktopFont = QApplication::font();
        QApplication::setFont(QFont(QStringLiteral("DejaVu Serif"), 12));
        QTRY_COMPARE(m_window->font().family(), QStringLiteral("DejaVu Serif"));
        QTRY_COMPARE(settings->font().family(), QStringLiteral("DejaVu Serif"));
        checkEveryText({m_window.get(), settings});
        QApplication::setFont(desktopFont);
    }
};

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
