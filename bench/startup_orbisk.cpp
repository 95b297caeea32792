// Orbisk's start-up exactly as its main does it, ending at the first paint.
#include "startup.h"
#include "startupprobe.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const auto window = orbisk::startUp();
    reportFirstPaint(window.get()); // registered last, so it runs before the icon loads
    return QApplication::exec();
}
