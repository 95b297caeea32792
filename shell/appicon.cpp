#include "appicon.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace orbisk {
namespace {

class FirstPaintWatcher final : public QObject {
public:
    explicit FirstPaintWatcher(QWidget *window)
        : QObject(window)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                QApplication::setWindowIcon(applicationIcon());
                deleteLater();
            });
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

QIcon applicationIcon()
{
    // Pre-rendered from icons/orbisk.svg, so that no SVG renderer is needed at run time. QIcon
    // decodes each file at once, so only the sizes a window shows are loaded.
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/icons/orbisk-%1.png").arg(size), QSize(size, size));
    return icon;
}

void setApplicationIconAfterFirstPaint(QWidget *window)
{
    new FirstPaintWatcher(window);
}

} // namespace orbisk
