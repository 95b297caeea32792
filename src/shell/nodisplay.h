// Starting without a display.
//
// Qt ends a program that can open no display with an abort, a core dump, its list of platform
// plugins and the advice to reinstall, which is wrong. While the application object is made,
// that end becomes one line that says what to set, and exit status 1. Any other fatal start-up
// error (a platform plugin that does not exist, say) keeps Qt's notices and message, which name
// the cause, and ends with exit status 1 too, without the abort.
#pragma once

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

} // namespace orbisk
