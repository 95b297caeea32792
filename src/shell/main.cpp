#include "settings/settingslocation.h"
#include "shell/appicon.h"
#include "shell/commandline.h"
#include "shell/mainwindow.h"
#include "shell/nodisplay.h"

#include <QApplication>
#include <QLocale>

#include <cstdio>
#include <optional>

namespace {

QStringList argumentsOf(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

int answer(const orbisk::CommandLineAnswer &answer)
{
    std::fputs(answer.text.toLocal8Bit().constData(), answer.status == 0 ? stdout : stderr);
    return answer.status;
}

} // namespace

int main(int argc, char *argv[])
{
    const orbisk::SettingsLocation settings = orbisk::settingsLocation();
    if (const auto early = orbisk::readCommandLine(argumentsOf(argc, argv), settings.writePath))
        return answer(*early);

    std::optional<orbisk::NoDisplayGuard> guard(std::in_place);
    QApplication app(argc, argv); // takes Qt's own options out of argv
    guard.reset();
    if (const auto leftover = orbisk::readLeftoverArguments(argumentsOf(argc, argv)))
        return answer(*leftover);

    QGuiApplication::setDesktopFileName(QStringLiteral("orbisk"));
    orbisk::MainWindow window(QLocale::system().decimalPoint().toStdString(), settings);
    window.show();
    QApplication::setWindowIcon(orbisk::applicationIcon());
    return QApplication::exec();
}
