// How the fixed layouts are drawn: the application's own style with compact frame captions,
// and an interface font no larger than the layouts were sized for.
#pragma once

#include <QProxyStyle>

namespace orbisk {

// The frames of the fixed layouts are narrow (65 pixels for "Instruments"); the usual style
// indents a frame's caption so far that it no longer fits. This style starts the caption at
// the frame's left edge and draws everything else as the application's style does.
class CompactFrameStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl subControl,
                         const QWidget *widget) const override;
};

// The layouts' control sizes were chosen for a small interface font. A larger desktop default
// (9 points is common) would clip captions and measure texts, so the desktop's font family is
// kept at a size of at most 8 points at which the layouts' tightest caption ("Instruments" in
// a 975-twip frame) fits, scaled down in half points from its width at 8 points; a default of
// 8 points or less that fits already stays as it is.
constexpr double largestLayoutPointSize = 8.0;

// Installs CompactFrameStyle and that font for the whole application.
void applyLayoutStyle();

} // namespace orbisk
