#include "layoutstyle.h"

#include <QApplication>
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
    QFont font = QApplication::font();
    if (font.pointSizeF() > layoutPointSize) {
        font.setPointSizeF(layoutPointSize);
        QApplication::setFont(font);
    }
}

} // namespace orbisk
