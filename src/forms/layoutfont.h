// The font of a fixed layout: the desktop's, made small enough for every text to fit.
//
// The layouts' controls were sized for a small interface font. A desktop font of 9 points or
// more, or one that a platform theme applies after start-up, would clip captions, leg names and
// measures, so each window keeps the desktop's font family at the largest size (half points,
// at most 8) at which all of its texts fit, and fits again whenever the application font
// changes. Below 6 points text is no longer readable: the font stays at 6 points and the
// longest texts are cut off.
#pragma once

#include <QObject>
#include <QString>

#include <vector>

class QWidget;

namespace orbisk {

constexpr double largestLayoutPointSize = 8.0;
constexpr double smallestLayoutPointSize = 6.0;

// A text a layout must show whole, and the control that shows it.
struct ShownText {
    const QWidget *control;
    QString text;
};

// The room a control leaves its text, in pixels, with the control's style and font.
int textRoom(const QWidget *control);

// The text a control shows now: a frame's caption, a label's, a button's, a text box's text.
QString shownText(const QWidget *control);

// Fits the window's font at once, and again on every change of the application font. The
// texts to fit are those the window's visible controls show when it is fitted, and the given
// samples of texts it shows later (measures, leg names).
class LayoutFont final : public QObject {
public:
    LayoutFont(QWidget *window, std::vector<ShownText> samples);

    void fit();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
    std::vector<ShownText> m_samples;
};

} // namespace orbisk
