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
    QGuiApplication::setDesktopFileName(QStringLiteral("orbisk"));
    orbisk::applyLayoutStyle();
    orbisk::MainWindow window(QLocale::system().decimalPoint(), orbisk::settingsFilePath());
    orbisk::setApplicationIconAfterFirstPaint(&window);
    new FirstPaintReporter(&window); // filters last installed run first: reports before the icon loads
    window.show();
    return QApplication::exec();
}
