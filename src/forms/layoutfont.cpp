#include "forms/layoutfont.h"

#include <QApplication>
#include <QEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>

namespace orbisk {
namespace {

int widthOf(const QFont &font, const QString &text)
{
    return QFontMetrics(font).boundingRect(text).right() + 1;
}

double pointSizeOf(const QFont &font, const QWidget *window)
{
    if (font.pointSizeF() > 0)
        return font.pointSizeF();
    return font.pixelSize() * 72.0 / window->logicalDpiY();
}

// The largest half-point size, from the font's own down to the floor, at which every text fits
// its control. Each size measured loads a font of its own, which is slow: each try scales by the
// worst overflow, rounded down to half points, so more than one try is rare.
double fittingSize(QFont font, double size, double floor, const std::vector<ShownText> &texts)
{
    for (;;) {
        font.setPointSizeF(size);
        double worst = 1.0;
        for (const ShownText &shown : texts) {
            const int room = textRoom(shown.control);
            const int width = widthOf(font, shown.text);
            if (width > room)
                worst = std::min(worst, static_cast<double>(room) / width);
        }
        if (worst >= 1.0 || size <= floor)
            return size;
        size = std::max(floor, std::floor(2.0 * size * worst) / 2.0);
    }
}

} // namespace

int textRoom(const QWidget *control)
{
    if (qobject_cast<const QLineEdit *>(control)) {
        // The text box's frame, then the two pixels it keeps clear on each side of its text.
        const int frame = control->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, control);
        return control->width() - 2 * frame - 4;
    }
    if (qobject_cast<const QPushButton *>(control))
        return control->width() - 4;
    return control->width();
}

QString shownText(const QWidget *control)
{
    if (const auto *edit = qobject_cast<const QLineEdit *>(control))
        return edit->text();
    if (const auto *button = qobject_cast<const QPushButton *>(control))
        return button->text();
    if (const auto *label = qobject_cast<const QLabel *>(control))
        return label->text();
    if (const auto *frame = qobject_cast<const QGroupBox *>(control))
        return frame->title();
    return {};
}

LayoutFont::LayoutFont(QWidget *window)
    : m_window(window)
{
}

void LayoutFont::start(std::vector<ShownText> samples, std::vector<QLineEdit *> figures)
{
    m_samples = std::move(samples);
    m_figures = std::move(figures);
    // Qt tells every window of each change of the application font, whoever makes it: a
    // platform theme after start-up, the desktop's settings, the program itself.
    m_window->installEventFilter(this);
    for (QLineEdit *figure : m_figures) {
        figure->installEventFilter(this);
        connect(figure, &QLineEdit::textChanged, this, [this, figure] { fitFigure(figure); });
    }
    fit();
}

void LayoutFont::fit()
{
    std::vector<ShownText> texts = m_samples;
    for (const QWidget *control : m_window->findChildren<QWidget *>()) {
        // Controls the layout puts past their frame's edge show nothing.
        const bool shown = control->parentWidget()->rect().contains(control->geometry());
        const bool figure = std::find(m_figures.begin(), m_figures.end(), control) != m_figures.end();
        if (shown && !figure && !shownText(control).isEmpty())
            texts.push_back({control, shownText(control)});
    }
    QFont font = QApplication::font();
    const double size = std::min(pointSizeOf(font, m_window), largestLayoutPointSize);
    font.setPointSizeF(fittingSize(font, size, smallestLayoutPointSize, texts));
    m_window->setFont(font);
    measureFigureCharacters();
    for (QLineEdit *figure : m_figures)
        fitFigure(figure);
}

// Kerning may widen a pair of these characters: by up to a fiftieth of an em in the fonts tried
// (an E before a minus, two sevens), so each advance is widened by a thirty-second.
void LayoutFont::measureFigureCharacters()
{
    const QFont &font = m_window->font();
    const QFontMetricsF metrics(font);
    const double kerning = QFontInfo(font).pixelSize() / 32.0;
    m_extents = {};
    // Letter spacing is unset as 0, whichever its kind; 100 % is no spacing either.
    const qreal spacing = font.letterSpacing();
    if (spacing != 0 && !(font.letterSpacingType() == QFont::PercentageSpacing && spacing == 100))
        return; // extra room between letters: every figure is measured
    for (const char c : std::string_view("0123456789.,-+Ee")) {
        const QLatin1Char character(c);
        m_extents[static_cast<unsigned char>(c)] = {metrics.horizontalAdvance(character) + kerning,
                                                    metrics.boundingRect(character).right()};
    }
}

// At least widthOf(window's font, text), without shaping the text, which costs more than the rest
// of a figure's write: its characters side by side, and two pixels for the shaper's rounding of
// ink to whole pixels. Other characters may join, overhang or take another font: no bound.
double LayoutFont::widthBound(const QString &text) const
{
    double start = 0;
    double right = 0;
    for (const QChar c : text) {
        if (c.unicode() >= m_extents.size() || m_extents[c.unicode()].advance < 0)
            return std::numeric_limits<double>::infinity();
        right = std::max(right, start + m_extents[c.unicode()].inkRight);
        start += m_extents[c.unicode()].advance;
    }
    return right + 2;
}

void LayoutFont::fitFigure(QLineEdit *figure) const
{
    const QFont &windowFont = m_window->font();
    const auto fitsWindowFont = [&] {
        const int room = textRoom(figure);
        return widthBound(figure->text()) <= room || widthOf(windowFont, figure->text()) <= room;
    };
    // Most writes leave a box without a font of its own and a text that fits at the window's:
    // the search and the font reset are then left out, and mostly the exact measure too.
    if (figure->testAttribute(Qt::WA_SetFont) || !fitsWindowFont()) {
        const double size = pointSizeOf(windowFont, m_window);
        const double fitted =
            fittingSize(windowFont, size, smallestFigurePointSize, {{figure, figure->text()}});
        QFont own; // only the size is the figure's own; family and the rest follow the window
        if (fitted < size)
            own.setPointSizeF(fitted);
        figure->setFont(own);
    }
    if (!figure->hasFocus())
        figure->setCursorPosition(0);
}

bool LayoutFont::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::ApplicationFontChange)
        fit();
    else if (watched != m_window && event->type() == QEvent::FocusOut)
        static_cast<QLineEdit *>(watched)->setCursorPosition(0); // only figures are watched besides
    return QObject::eventFilter(watched, event);
}

} // namespace orbisk
