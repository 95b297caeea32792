#include "startup.h"

#include "appicon.h"
#include "layoutstyle.h"
#include "settingsfile.h"

#include <QGuiApplication>
#include <QLocale>

namespace orbisk {

std::unique_ptr<MainWindow> startUp()
{
    QGuiApplication::setDesktopFileName(QStringLiteral("orbisk"));
    applyLayoutStyle();
    auto window = std::make_unique<MainWindow>(QLocale::system().decimalPoint(), settingsFilePath());
    setApplicationIconAfterFirstPaint(window.get());
    window->show();
    return window;
}

} // namespace orbisk
