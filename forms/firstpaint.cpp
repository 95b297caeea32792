#include "firstpaint.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace orbisk {
namespace {

class FirstPaintWatcher final : public QObject {
public:
    FirstPaintWatcher(QWidget *window, std::function<void()> action)
        : QObject(window)
        , m_action(std::move(action))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                m_action();
                deleteLater();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_action;
};

} // namespace

void afterFirstPaint(QWidget *window, std::function<void()> action)
{
    new FirstPaintWatcher(window, std::move(action));
}

} // namespace orbisk
