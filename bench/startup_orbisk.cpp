// Orbisk's start-up exactly as its main does it, ending at the first paint.
#include "firstpaint.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const auto window = orbisk::startUp();
    new FirstPaintReporter(window.get()); // installed last, so it sees the first paint before the icon does
    return QApplication::exec();
}
