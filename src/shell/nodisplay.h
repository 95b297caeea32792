// Starting without a display.
//
// Qt ends a program that can open no display with an abort, a core dump, its list of platform
// plugins and the advice to reinstall, which is wrong. While the application object is made,
// that end becomes one line that says what to set, and exit status 1.
#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

namespace orbisk {

class NoDisplayGuard {
public:
    NoDisplayGuard();
    // Qt's notices of the start, held back meanwhile, go out as usual.
    ~NoDisplayGuard();
    NoDisplayGuard(const NoDisplayGuard &) = delete;
    NoDisplayGuard &operator=(const NoDisplayGuard &) = delete;
};

// The line printed when no display could be opened, naming what the environment gave.
QString noDisplayText(const QString &display, const QString &waylandDisplay);

} // namespace orbisk
