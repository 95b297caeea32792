// Saves two different settings records in turn, forever, printing a dot after each save; a
// test kills it at random points to see that the file is never left half-written.
#include "settings/settingsfile.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString path = QCoreApplication::arguments().value(1);
    QStringList second = orbisk::initialSettings();
    second.replaceInStrings(QStringLiteral("/"), QStringLiteral(" per "));
    for (unsigned i = 0;; ++i) {
        if (orbisk::writeSettings(path, i % 2 == 0 ? second : orbisk::initialSettings(),
                                  i % 2 == 0 ? orbisk::initialSettings() : second))
            return 1;
        std::fputc('.', stdout);
        std::fflush(stdout);
    }
}
