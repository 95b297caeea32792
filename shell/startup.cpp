#include "startup.h"

#include "appicon.h"
#include "firstpaint.h"
#include "layoutstyle.h"
#include "settingsfile.h"

#include <QApplication>
#include <QLocale>

namespace orbisk {

std::unique_ptr<MainWindow> startUp()
{
    QGuiApplication::setDesktopFileName(QStringLiteral("orbisk"));
    applyLayoutStyle();
    auto window = std::make_unique<MainWindow>(QLocale::system().decimalPoint(), settingsFilePath());
    // Decoding the icon costs more than a millisecond, which the first picture need not wait for.
    afterFirstPaint(window.get(), [] { QApplication::setWindowIcon(applicationIcon()); });
    window->show();
    return window;
}

} // namespace orbisk
