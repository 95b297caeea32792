// Both real windows as a desktop shows them: under the display server, platform theme, palette,
// font and scale that the environment sets up (see run-desktop). Every visible text must fit its
// control in the font the control uses, and stand out from its own background on the rendered
// pixels, after a rate step and after a font arrives late.
#include "settings/settingsdialog.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <map>
#include <memory>

using namespace orbisk;

namespace {

double luminance(QRgb rgb)
{
    const auto channel = [](int value) {
        const double v = value / 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
}

double contrast(QRgb a, QRgb b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Where the control draws its text, and the room it has there.
struct TextArea {
    QString text;
    QRect rect;
    int room;
};

TextArea textArea(const QWidget *w)
{
    const int frame = w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w);
    if (const auto *edit = qobject_cast<const QLineEdit *>(w))
        return {edit->text(), w->rect().adjusted(frame + 1, frame + 1, -frame - 1, -frame - 1),
                w->width() - 2 * frame - 4};
    if (const auto *button = qobject_cast<const QPushButton *>(w))
        return {button->text(), w->rect().adjusted(3, 3, -3, -3), w->width() - 4};
    if (const auto *label = qobject_cast<const QLabel *>(w))
        return {label->text(), w->rect(), w->width()};
    if (const auto *box = qobject_cast<const QGroupBox *>(w))
        return {box->title(), QRect(0, 0, w->width(), w->fontMetrics().height()), w->width()};
    return {};
}

// The contrast of the pixel that stands out most from the most common colour of the area.
double renderedContrast(QWidget *w, const QRect &area)
{
    const QImage image = w->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
    std::map<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    const QRgb background = std::max_element(counts.begin(), counts.end(), [](auto &a, auto &b) {
                                return a.second < b.second;
                            })->first;
    double best = 1.0;
    for (const auto &[colour, count] : counts)
        best = std::max(best, contrast(colour, background));
    return best;
}

} // namespace

class DesktopTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
    SettingsDialog *m_settings = nullptr;

    void checkEveryText()
    {
        if (QWidget *focused = QApplication::focusWidget())
            focused->clearFocus(); // no text cursor to stand in for the text
        for (QWidget *window : {static_cast<QWidget *>(m_window.get()), static_cast<QWidget *>(m_settings)}) {
            // The font is the largest that fits: half a point more, some text would not.
            QFont larger = window->font();
            larger.setPointSizeF(larger.pointSizeF() + 0.5);
            bool tight = window->font().pointSizeF() >= 8.0;
            for (QWidget *w : window->findChildren<QWidget *>()) {
                const TextArea area = textArea(w);
                const bool shown = w->isVisible() && w->parentWidget()->rect().contains(w->geometry());
                if (!shown || area.text.trimmed().isEmpty())
                    continue;
                tight = tight || QFontMetrics(larger).boundingRect(area.text).right() + 1 > area.room;
                if (!w->isEnabled())
                    continue;
                const QString what = window->objectName() + '.' + w->objectName() + " \"" + area.text + '"';
                const int width = w->fontMetrics().boundingRect(area.text).right() + 1;
                QVERIFY2(width <= area.room,
                         qPrintable(what + QStringLiteral(" needs %1 px of %2").arg(width).arg(area.room)));
                const double seen = renderedContrast(w, area.rect);
                QVERIFY2(seen >= 3.0,
                         qPrintable(what + QStringLiteral(" contrast %1:1").arg(seen, 0, 'f', 2)));
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
        auto *bid3 = m_window->findChild<QLineEdit *>(QStringLiteral("txtBid3"));
        bid3->setText(QStringLiteral("1.1845"));
        QTest::mouseClick(m_window->findChild<QPushButton *>(QStringLiteral("btnRateUp3")), Qt::LeftButton);
        QCOMPARE(m_window->findChild<QLineEdit *>(QStringLiteral("txtAskCross1"))->text(),
                 QStringLiteral("-28.00941"));
        checkEveryText();
    }

    void hugeFigures_areShownWholeInTheirOwnFont()
    {
        const auto edit = [this](const char *name) { return m_window->findChild<QLineEdit *>(name); };
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

    void aLateFont_isFittedInBothWindows_data()
    {
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("points");
        QTest::newRow("DejaVu Serif 10") << "DejaVu Serif" << 10;
        QTest::newRow("DejaVu Sans 12") << "DejaVu Sans" << 12;
    }
    void aLateFont_isFittedInBothWindows()
    {
        QFETCH(QString, family);
        QFETCH(int, points);
        QApplication::setFont(QFont(family, points));
        QTRY_COMPARE(m_window->font().family(), family); // the desktop's choice, at a size that fits
        QTRY_COMPARE(m_settings->font().family(), family);
        checkEveryText();
    }

    // Ends the event loop, so it runs last.
    void exit_endsTheProgram()
    {
        QTimer::singleShot(0, this,
                           [this] { m_window->findChild<QAction *>(QStringLiteral("Exit"))->trigger(); });
        QTimer::singleShot(10000, this, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
        QTimer::singleShot(0, this, [this] { m_window->close(); });
        QTimer::singleShot(10000, this, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
    }

    void cleanupTestCase()
    {
        delete m_settings;
        m_window.reset();
    }
};

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
