// Whether a window's texts read as the desktop shows them: every visible text fits its control
// in the font the control uses and stands out from its own background on the rendered pixels,
// and the window's font is the largest that lets them fit.
#pragma once

#include "forms/layoutfont.h"

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOption>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <map>

namespace textcheck {

// The width in which a control draws its text, by Qt's own geometry: a text box's contents less
// the two pixels it keeps clear on each side, a button's contents, a label's or frame's width.
inline int room(QWidget *w)
{
    if (auto *edit = qobject_cast<QLineEdit *>(w)) {
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth = w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, w);
        return w->style()->subElementRect(QStyle::SE_LineEditContents, &option, w).width() - 4;
    }
    if (auto *button = qobject_cast<QPushButton *>(w)) {
        QStyleOptionButton option;
        option.initFrom(button);
        return w->style()->subElementRect(QStyle::SE_PushButtonContents, &option, w).width();
    }
    return w->width();
}

// The contrast ratio of two colours as accessibility guidelines define it.
inline double contrast(QRgb a, QRgb b)
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
inline double renderedContrast(QWidget *w)
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

} // namespace textcheck

inline void checkEveryText(std::initializer_list<QWidget *> windows)
{
    if (QWidget *focused = QApplication::focusWidget())
        focused->clearFocus(); // no text cursor to stand in for the text
    for (QWidget *window : windows) {
        // The font is the largest that fits: half a point more, some text would not.
        QFont larger = window->font();
        larger.setPointSizeF(larger.pointSizeF() + 0.5);
        bool tight = window->font().pointSizeF() >= 8.0; // the largest size the layouts take
        for (QWidget *w : window->findChildren<QWidget *>()) {
            const QString text = orbisk::shownText(w);
            if (!w->isVisible() || !w->parentWidget()->rect().contains(w->geometry()) ||
                text.trimmed().isEmpty())
                continue;
            tight = tight || QFontMetrics(larger).boundingRect(text).right() + 1 > textcheck::room(w);
            if (!w->isEnabled())
                continue;
            const QString what = window->objectName() + '.' + w->objectName() + " \"" + text + '"';
            const int width = w->fontMetrics().boundingRect(text).right() + 1;
            QVERIFY2(
                width <= textcheck::room(w),
                qPrintable(what + QStringLiteral(" needs %1 px of %2").arg(width).arg(textcheck::room(w))));
            QVERIFY2(textcheck::renderedContrast(w) >= 3.0, qPrintable(what + " does not stand out"));
        }
        QVERIFY2(tight, qPrintable(window->objectName() + " could take a larger font"));
    }
}
