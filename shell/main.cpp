#include "layoutstyle.h"
#include "mainwindow.h"
#include "settingsfile.h"

#include <QApplication>
#include <QLocale>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    orbisk::applyLayoutStyle();
    orbisk::MainWindow window(QLocale::system().decimalPoint(), orbisk::settingsFilePath());
    window.show();
    return QApplication::exec();
}
