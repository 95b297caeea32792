#include "forms/layoutfont.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include <algorithm>
#include <cmath>

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

LayoutFont::LayoutFont(QWidget *window, std::vector<ShownText> samples)
    : QObject(window)
    , m_window(window)
    , m_samples(std::move(samples))
{
    // The application hears of every change of its font, whoever makes it: a platform theme
    // after start-up, the desktop's settings, the program itself.
    QCoreApplication::instance()->installEventFilter(this);
    fit();
}

void LayoutFont::fit()
{
    std::vector<ShownText> texts = m_samples;
    for (const QWidget *control : m_window->findChildren<QWidget *>()) {
        // Controls the layout puts past their frame's edge show nothing.
        const bool shown = control->parentWidget()->rect().contains(control->geometry());
        if (shown && !shownText(control).isEmpty())
            texts.push_back({control, shownText(control)});
    }

    QFont font = QApplication::font();
    double size = std::min(pointSizeOf(font, m_window), largestLayoutPointSize);
    font.setPointSizeF(size);
    // Each size measured loads a font of its own, which is slow: each try scales by the worst
    // overflow, rounded down to half points, so more than one try is rare.
    for (;;) {
        double worst = 1.0;
        for (const ShownText &shown : texts) {
            const int room = textRoom(shown.control);
            const int width = widthOf(font, shown.text);
            if (width > room)
                worst = std::min(worst, static_cast<double>(room) / width);
        }
        if (worst >= 1.0 || size <= smallestLayoutPointSize)
            break;
        size = std::max(smallestLayoutPointSize, std::floor(2.0 * size * worst) / 2.0);
        font.setPointSizeF(size);
    }
    m_window->setFont(font);
}

bool LayoutFont::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == QCoreApplication::instance() && event->type() == QEvent::ApplicationFontChange)
        fit();
    return QObject::eventFilter(watched, event);
}

} // namespace orbisk
