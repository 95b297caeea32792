#include "shell/nodisplay.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

#include <algorithm>
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

// What Qt 6.4's xcb and wayland plugins say, ahead of the fatal message, when their display
// server cannot be reached; any other fatal start-up error is Qt's to explain.
bool saysNoDisplay(const HeldMessage &message)
{
    return message.text.startsWith(u"could not connect to display") ||
           message.text.startsWith(u"Failed to create wl_display");
}

// The program's one global mutable state, and unavoidable: Qt calls a message handler as a plain
// function, with no context of its own, so what the guard holds lives here. It is set when the
// guard is made and emptied when it goes, both on the main thread while the application object
// is made.
QtMessageHandler previousHandler = nullptr;
QList<HeldMessage> held;

// Qt's handler is called directly: a message logged from within a handler would bypass it.
void releaseHeld()
{
    qInstallMessageHandler(previousHandler);
    for (const HeldMessage &message : std::exchange(held, {})) {
        const QMessageLogContext context(nullptr, 0, nullptr,
                                         message.category.isNull() ? nullptr : message.category.constData());
        previousHandler(message.type, context, message.text);
    }
}

void holdOrEnd(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type != QtFatalMsg) {
        held.append({type, context.category, text});
        return;
    }
    if (std::any_of(held.cbegin(), held.cend(), saysNoDisplay)) {
        std::fputs(DisplayText::text(qEnvironmentVariable("DISPLAY"), qEnvironmentVariable("WAYLAND_DISPLAY"))
                       .toLocal8Bit()
                       .constData(),
                   stderr);
    } else {
        releaseHeld();
        previousHandler(type, context, text); // printed as Qt prints it, without its abort
    }
    std::_Exit(1);
}

} // namespace

NoDisplayGuard::NoDisplayGuard()
{
    previousHandler = qInstallMessageHandler(holdOrEnd);
}

NoDisplayGuard::~NoDisplayGuard()
{
    releaseHeld();
}

} // namespace orbisk
