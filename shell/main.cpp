#include "appicon.h"
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
    window.show();
    return QApplication::exec();
}
