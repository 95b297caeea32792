#include "shell/nodisplay.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace orbisk {
namespace {

// The line printed when no display could be opened, naming what the environment gave.
class DisplayText {
    Q_DECLARE_TR_FUNCTIONS(NoDisplay)

public:
    static QString text(const QString &display, const QString &waylandDisplay)
    {
        QString where;
        if (!display.isEmpty())
            where = tr(" at DISPLAY=%1").arg(display);
        else if (!waylandDisplay.isEmpty())
            where = tr(" at WAYLAND_DISPLAY=%1").arg(waylandDisplay);
        return tr("orbisk: no display could be opened%1; set DISPLAY (X11) or WAYLAND_DISPLAY (Wayland) to "
                  "a running desktop session's display.\n")
            .arg(where);
    }
};

struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};

// A message handler has no context of its own: what the guard holds lives here while it is up.
QtMessageHandler previousHandler = nullptr;
QList<HeldMessage> held;

void holdOrEnd(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtFatalMsg) {
        std::fputs(DisplayText::text(qEnvironmentVariable("DISPLAY"), qEnvironmentVariable("WAYLAND_DISPLAY"))
                       .toLocal8Bit()
                       .constData(),
                   stderr);
        std::_Exit(1);
    }
    held.append({type, context.category, text});
}

} // namespace

NoDisplayGuard::NoDisplayGuard()
{
    previousHandler = qInstallMessageHandler(holdOrEnd);
}

NoDisplayGuard::~NoDisplayGuard()
{
    qInstallMessageHandler(previousHandler);
    for (const HeldMessage &message : std::exchange(held, {})) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
        qt_message_output(message.type, context, message.text);
    }
}

} // namespace orbisk
