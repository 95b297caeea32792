// The font of a fixed layout: the desktop's, made small enough for every text to fit.
//
// The layouts' controls were sized for a small interface font. A desktop font of 9 points or
// more, or one that a platform theme applies after start-up, would clip captions, leg names and
// measures, so each window keeps the desktop's font family at the largest size (half points,
// at most 8) at which all of its texts fit, and fits again whenever the application font
// changes. Below 6 points text is no longer readable: the font stays at 6 points and the
// longest texts are cut off.
//
// Figures are different: a figure cut off reads as another number. A text box that must show
// every text of its own whole draws a text too wide for it in a smaller font of its own, and
// returns to the window's font when its text fits again; when even that cannot hold it, the
// box shows the text's beginning whenever it does not have the focus.
#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <vector>

class QLineEdit;
class QWidget;

namespace orbisk {

constexpr double largestLayoutPointSize = 8.0;
constexpr double smallestLayoutPointSize = 6.0;
constexpr double smallestFigurePointSize = 3.0;

// A text a layout must show whole, and the control that shows it.
struct ShownText {
    const QWidget *control;
    QString text;
};

// The room a control leaves its text, in pixels, with the control's style and font.
int textRoom(const QWidget *control);

// The text a control shows now: a frame's caption, a label's, a button's, a text box's text.
QString shownText(const QWidget *control);

class LayoutFont final : public QObject {
public:
    explicit LayoutFont(QWidget *window);

    // Fits the window's font at once, and again on every change of the application font. The
    // texts to fit are those the window's visible controls show when it is fitted, and the given
    // samples of texts it shows later (measures, leg names). The figures' own texts are not
    // among them: each figure box fits its text by itself.
    void start(std::vector<ShownText> samples, std::vector<QLineEdit *> figures = {});

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // What a character of a written number takes at the window's font, measured alone: its
    // advance, and how far right of where it starts its ink reaches.
    struct Extent {
        double advance = -1; // any other character
        double inkRight = 0;
    };

    void fit();
    void measureFigureCharacters();
    double widthBound(const QString &text) const;
    void fitFigure(QLineEdit *figure) const;

    QWidget *m_window;
    std::vector<ShownText> m_samples;
    std::vector<QLineEdit *> m_figures;
    std::array<Extent, 128> m_extents;
};

} // namespace orbisk
