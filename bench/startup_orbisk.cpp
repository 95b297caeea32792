// Orbisk's start-up exactly as its main does it, ending at the first paint.
#include "appicon.h"
#include "firstpaint.h"
#include "layoutstyle.h"
#include "mainwindow.h"
#include "settingsfile.h"

#include <QApplication>
#include <QLocale>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(orbisk::applicationIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("orbisk"));
    orbisk::applyLayoutStyle();
    orbisk::MainWindow window(QLocale::system().decimalPoint(), orbisk::settingsFilePath());
    new FirstPaintReporter(&window);
    window.show();
    return QApplication::exec();
}
