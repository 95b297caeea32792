// A fairer yardstick: the empty main window with one line of text, so that it pays for the
// font system's start-up as every window that shows text does.
#include "startupprobe.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    auto *client = new QLabel(QStringLiteral("Instruments"), &window);
    client->setFixedSize(397, 150);
    window.setCentralWidget(client);
    reportFirstPaint(&window);
    window.show();
    return QApplication::exec();
}
