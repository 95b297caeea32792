// Start-up as the program does it, for main and for the start-up benchmark alike.
#pragma once

#include "mainwindow.h"

#include <memory>

namespace orbisk {

// Sets the application's style, font and desktop entry name, builds the main window from the
// settings file next to the executable in the user's locale, and shows it; the window icon
// follows once it has painted. Needs a QApplication.
std::unique_ptr<MainWindow> startUp();

} // namespace orbisk
