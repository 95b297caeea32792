#include "forms/layoutstyle.h"
#include "settings/settingsfile.h"
#include "shell/appicon.h"
#include "shell/commandline.h"
#include "shell/mainwindow.h"

#include <QApplication>
#include <QLocale>

#include <cstdio>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const auto answer = orbisk::readCommandLine(arguments)) {
        std::fputs(answer->text.toLocal8Bit().constData(), answer->status == 0 ? stdout : stderr);
        return answer->status;
    }

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("orbisk"));
    orbisk::applyLayoutStyle();
    orbisk::MainWindow window(QLocale::system().decimalPoint(), orbisk::settingsLocation());
    window.show();
    QApplication::setWindowIcon(orbisk::applicationIcon());
    return QApplication::exec();
}
