// Work that must not delay the first picture of a window.
#pragma once

#include <functional>

class QWidget;

namespace orbisk {

// Runs the action once, from the event loop, right after the window's first paint has been
// delivered. Actions registered later run first.
void afterFirstPaint(QWidget *window, std::function<void()> action);

} // namespace orbisk
