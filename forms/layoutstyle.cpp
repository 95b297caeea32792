#include "layoutstyle.h"

#include "formlayout.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStyleOptionGroupBox>

namespace orbisk {

QRect CompactFrameStyle::subControlRect(ComplexControl control, const QStyleOptionComplex *option,
                                        SubControl subControl, const QWidget *widget) const
{
    QRect rect = QProxyStyle::subControlRect(control, option, subControl, widget);
    if (control == CC_GroupBox && subControl == SC_GroupBoxLabel) {
        const auto *box = qstyleoption_cast<const QStyleOptionGroupBox *>(option);
        const int textWidth = option->fontMetrics.horizontalAdvance(box->text);
        rect.setLeft(option->rect.left());
        rect.setWidth(qMin(textWidth, option->rect.width()));
    }
    return rect;
}

void applyLayoutStyle()
{
    QApplication::setStyle(new CompactFrameStyle);

    const QString tightestCaption = QStringLiteral("Instruments");
    const int room = pixels(975);
    const auto fits = [&](const QFont &font) {
        return QFontMetrics(font).boundingRect(tightestCaption).right() < room;
    };
    const QFont desktop = QApplication::font();
    if (desktop.pointSizeF() <= largestLayoutPointSize && fits(desktop))
        return;
    QFont font = desktop;
    constexpr double smallest = 6.0;
    font.setPointSizeF(largestLayoutPointSize);
    while (!fits(font) && font.pointSizeF() > smallest)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    QApplication::setFont(font);
}

} // namespace orbisk
