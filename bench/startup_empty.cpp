// The yardstick: an empty main window of Orbisk's client size with the same one-menu menu bar.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    QMenu *menu = window.menuBar()->addMenu(QStringLiteral("About"));
    menu->addAction(QStringLiteral("About"))->setShortcut(Qt::CTRL | Qt::Key_A);
    menu->addAction(QStringLiteral("Settings"))->setShortcut(Qt::CTRL | Qt::Key_S);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Exit"))->setShortcut(Qt::CTRL | Qt::Key_E);
    auto *client = new QWidget(&window);
    client->setFixedSize(397, 150);
    window.setCentralWidget(client);
    window.show();
    return QApplication::exec();
}
