#include "layoutstyle.h"

#include "formlayout.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStyleOption>

#include <algorithm>
#include <cmath>

namespace orbisk {

QRect CompactFrameStyle::subControlRect(ComplexControl control, const QStyleOptionComplex *option,
                                        SubControl subControl, const QWidget *widget) const
{
    QRect rect = QProxyStyle::subControlRect(control, option, subControl, widget);
    if (control == CC_GroupBox && subControl == SC_GroupBoxLabel) {
        // The base style sizes the caption to its text; only its indent goes.
        rect.moveLeft(option->rect.left());
        rect.setWidth(qMin(rect.width(), option->rect.width()));
    }
    return rect;
}

void applyLayoutStyle()
{
    QApplication::setStyle(new CompactFrameStyle);

    // Each size measured loads a font of its own, which is slow, so at most one size is tried
    // before the one that is used.
    const QString tightestCaption = QStringLiteral("Instruments");
    const int room = pixels(975);
    QFont font = QApplication::font();
    const bool capped = font.pointSizeF() > largestLayoutPointSize;
    if (capped)
        font.setPointSizeF(largestLayoutPointSize);
    const int width = QFontMetrics(font).boundingRect(tightestCaption).right() + 1;
    if (width > room) {
        constexpr double smallest = 6.0;
        const double fitting = std::floor(2.0 * font.pointSizeF() * room / width) / 2.0;
        font.setPointSizeF(std::max(smallest, fitting));
    } else if (!capped) {
        return;
    }
    QApplication::setFont(font);
}

} // namespace orbisk
