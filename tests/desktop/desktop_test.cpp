// Both real windows as a desktop shows them: under the display server, platform theme, palette,
// font and scale that the environment sets up (see run-desktop). Every visible text must fit its
// control in the font the control uses, and stand out from its own background on the rendered
// pixels, after a rate step, with huge figures, and after a font arrives late.
#include "forms/layoutfont.h"
#include "settings/settingsdialog.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <map>
#include <memory>

using namespace orbisk;

namespace {

// The contrast ratio of two colours as accessibility guidelines define it.
double contrast(QRgb a, QRgb b)
{
    const auto luminance = [](QRgb rgb) {
        const auto channel = [](int value) {
            const double v = value / 255.0;
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The contrast of the pixel that stands out most from the most common colour where the control
// draws its text: a frame's caption strip, or inside its border.
double renderedContrast(QWidget *w)
{
    const QRect area = qobject_cast<QGroupBox *>(w) ? QRect(0, 0, w->width(), w->fontMetrics().height())
                                                    : w->rect().adjusted(2, 2, -2, -2);
    const QImage image = w->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
    std::map<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    const auto background =
        std::max_element(counts.begin(), counts.end(), [](auto &a, auto &b) { return a.second < b.second; });
    double best = 1.0;
    for (const auto &[colour, count] : counts)
        best = std::max(best, contrast(colour, background->first));
    return best;
}

} // namespace

class DesktopTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
    SettingsDialog *m_settings = nullptr;

    QLineEdit *edit(const char *name) const { return m_window->findChild<QLineEdit *>(name); }

    void checkEveryText() const
    {
        if (QWidget *focused = QApplication::focusWidget())
            focused->clearFocus(); // no text cursor to stand in for the text
        for (QWidget *window : {static_cast<QWidget *>(m_window.get()), static_cast<QWidget *>(m_settings)}) {
            // The font is the largest that fits: half a point more, some text would not.
            QFont larger = window->font();
            larger.setPointSizeF(larger.pointSizeF() + 0.5);
            bool tight = window->font().pointSizeF() >= largestLayoutPointSize;
            for (QWidget *w : window->findChildren<QWidget *>()) {
                const QString text = shownText(w);
                if (!w->isVisible() || !w->parentWidget()->rect().contains(w->geometry()) ||
                    text.trimmed().isEmpty())
                    continue;
                tight = tight || QFontMetrics(larger).boundingRect(text).right() + 1 > textRoom(w);
                if (!w->isEnabled())
                    continue;
                const QString what = window->objectName() + '.' + w->objectName() + " \"" + text + '"';
                const int width = w->fontMetrics().boundingRect(text).right() + 1;
                QVERIFY2(width <= textRoom(w),
                         qPrintable(what + QStringLiteral(" needs %1 px of %2").arg(width).arg(textRoom(w))));
                QVERIFY2(renderedContrast(w) >= 3.0, qPrintable(what + " does not stand out"));
            }
            QVERIFY2(tight, qPrintable(window->objectName() + " could take a larger font"));
        }
    }

private slots:
    void initTestCase()
    {
        QTest::failOnWarning(
            QRegularExpression("^(?!This plugin does not support|Wayland does not support)"));
        m_window = std::make_unique<MainWindow>(
            ".", SettingsLocation{{m_dir.filePath("orbisk.set")}, m_dir.filePath("orbisk.set")});
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->findChild<QAction *>(QStringLiteral("Settings"))->trigger();
        for (QWidget *top : QApplication::topLevelWidgets())
            m_settings = m_settings ? m_settings : qobject_cast<SettingsDialog *>(top);
        QVERIFY(m_settings && QTest::qWaitForWindowExposed(m_settings));
    }
    void cleanupTestCase()
    {
        delete m_settings;
        m_window.reset();
    }

    // A theme that did not load fails here rather than passing on Qt's own look.
    void theme_isInEffect()
    {
        if (qEnvironmentVariableIsSet("ORBISK_EXPECT_POINTS"))
            QTRY_COMPARE(QApplication::font().pointSize(),
                         qEnvironmentVariableIntValue("ORBISK_EXPECT_POINTS"));
        const bool dark = QApplication::palette().color(QPalette::Window).lightness() < 128;
        QCOMPARE(dark, qEnvironmentVariableIsSet("ORBISK_EXPECT_DARK"));
    }

    void afterARateStep_everyTextFitsAndStandsOut()
    {
        edit("txtBid3")->setText(QStringLiteral("1.1845"));
        QTest::mouseClick(m_window->findChild<QPushButton *>(QStringLiteral("btnRateUp3")), Qt::LeftButton);
        QCOMPARE(edit("txtAskCross1")->text(), QStringLiteral("-28.00941"));
        checkEveryText();
    }

    void hugeFigures_areShownWholeInTheirOwnFont()
    {
        edit("txtBid3")->setText(QStringLiteral("11826"));
        edit("txtAsk3")->setText(QStringLiteral("11826.0005"));
        QTest::mouseClick(m_window->findChild<QPushButton *>(QStringLiteral("btnRateUp1")), Qt::LeftButton);
        QCOMPARE(edit("txtBidCross1")->text() + ' ' + edit("txtAskCross1")->text(),
                 QStringLiteral("1.182482E+08 -1.182482E+08"));
        checkEveryText();
        edit("txtBidCross1")->setText(QStringLiteral("-3.402823E+38"));
        checkEveryText();
        QVERIFY(edit("txtBidCross1")->font().pointSizeF() < m_window->font().pointSizeF());
        edit("txtBidCross1")->setText(QStringLiteral("-28.00941")); // fits again: the window's font
        QCOMPARE(edit("txtBidCross1")->font(), m_window->font());
    }

    void aLateFont_isFittedInBothWindows()
    {
        QApplication::setFont(QFont(QStringLiteral("DejaVu Serif"), 12));
        QTRY_COMPARE(m_window->font().family(), QStringLiteral("DejaVu Serif")); // at a size that fits
        QTRY_COMPARE(m_settings->font().family(), QStringLiteral("DejaVu Serif"));
        checkEveryText();
    }
};

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
