// The application's icon, at the sizes a window shows.
#pragma once

#include <QIcon>

class QWidget;

namespace orbisk {

QIcon applicationIcon();

// Sets applicationIcon() for every window once the given window has painted for the first
// time: decoding the images costs more than a millisecond, which the first paint need not wait for.
void setApplicationIconAfterFirstPaint(QWidget *window);

} // namespace orbisk
