// How the fixed layouts' frames are drawn: the application's style with compact captions.
#pragma once

#include <QProxyStyle>

namespace orbisk {

// The frames of the fixed layouts are narrow ("Instruments" barely fits its frame); the usual style
// indents a frame's caption so far that it no longer fits. This style starts the caption at
// the frame's left edge and draws everything else as the application's style does.
class CompactFrameStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl subControl,
                         const QWidget *widget) const override;
};

} // namespace orbisk
