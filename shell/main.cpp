#include "startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const auto window = orbisk::startUp();
    return QApplication::exec();
}
