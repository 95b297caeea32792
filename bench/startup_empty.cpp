// The yardstick: an empty main window of Orbisk's client size, ending at the first paint.
#include "startupprobe.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    auto *client = new QWidget(&window);
    client->setFixedSize(397, 150);
    window.setCentralWidget(client);
    reportFirstPaint(&window);
    window.show();
    return QApplication::exec();
}
