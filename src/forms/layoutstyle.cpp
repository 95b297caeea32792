#include "forms/layoutstyle.h"

#include <QStyleOption>

namespace orbisk {

QRect CompactFrameStyle::subControlRect(ComplexControl control, const QStyleOptionComplex *option,
                                        SubControl subControl, const QWidget *widget) const
{
    QRect rect = QProxyStyle::subControlRect(control, option, subControl, widget);
    if (control == CC_GroupBox && subControl == SC_GroupBoxLabel) {
        // The base style sizes the caption to its text; only its indent goes.
        rect.moveLeft(option->rect.left());
    }
    return rect;
}

} // namespace orbisk
