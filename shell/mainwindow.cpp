#include "mainwindow.h"

#include "mainlayout.h"
#include "stepping.h"
#include "widgetboard.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>

namespace orbisk {
namespace {

// A text box claims Ctrl+A (select all) and Ctrl+E (end of line) for itself before the menu
// sees them. The menu's shortcuts must win wherever the focus is, so the text boxes are told
// not to override them.
class MenuShortcutGuard final : public QObject {
public:
    MenuShortcutGuard(QList<QAction *> actions, QObject *parent)
        : QObject(parent)
        , m_actions(std::move(actions))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ShortcutOverride) {
            const QKeySequence pressed(static_cast<QKeyEvent *>(event)->keyCombination());
            for (const QAction *action : m_actions) {
                if (action->shortcut() == pressed)
                    return true; // left unaccepted: the shortcut goes to the menu
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QList<QAction *> m_actions;
};

void openModal(QMessageBox *box)
{
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
}

} // namespace

MainWindow::MainWindow(const QString &decimalSeparator, QWidget *parent)
    : QMainWindow(parent)
    , m_separator(decimalSeparator.toStdString())
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Orbisk"));

    auto *client = new QWidget(this);
    client->setFixedSize(pixels(mainClientWidth), pixels(mainClientHeight));
    setCentralWidget(client);
    const QList<QWidget *> focusChain = buildForm(client, mainWindowControls());

    auto *buySide = client->findChild<QLineEdit *>(QStringLiteral("txtBidCross1"));
    QPalette white = buySide->palette();
    white.setColor(QPalette::Base, QColor(255, 255, 255));
    buySide->setPalette(white);
    for (int leg = 1; leg <= legCount; ++leg)
        client->findChild<QLineEdit *>(QStringLiteral("txtSpread%1").arg(leg))->setEnabled(false);

    m_board = std::make_unique<WidgetBoard>(client);
    buildMenu();
    connectStepButtons();
    connect(buySide, &QLineEdit::textChanged, this, [this] { evaluateIndicator(Measure::BuySide); });
    connect(client->findChild<QLineEdit *>(QStringLiteral("txtAskCross1")), &QLineEdit::textChanged,
            this, [this] { evaluateIndicator(Measure::SellSide); });

    load();

    // The client area, below the menu bar, sits at a fixed place on the screen.
    const int menuHeight = menuBar()->sizeHint().height();
    setFixedSize(client->width(), client->height() + menuHeight);
    setGeometry(pixels(mainClientLeft), pixels(mainClientTop) - menuHeight, width(), height());
    focusChain.first()->setFocus();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildMenu()
{
    QMenu *menu = menuBar()->addMenu(QStringLiteral("About"));
    menu->setObjectName(QStringLiteral("Main"));

    const auto addEntry = [this, menu](const QString &name, QKeyCombination key, auto handler) {
        QAction *action = menu->addAction(name);
        action->setObjectName(name);
        action->setShortcut(key);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    QAction *about = addEntry(QStringLiteral("About"), Qt::CTRL | Qt::Key_A, [this] { showAbout(); });
    QAction *settings = addEntry(QStringLiteral("Settings"), Qt::CTRL | Qt::Key_S, [] {});
    menu->addSeparator()->setObjectName(QStringLiteral("Separator"));
    QAction *exit = addEntry(QStringLiteral("Exit"), Qt::CTRL | Qt::Key_E,
                             [] { QCoreApplication::exit(0); });

    auto *guard = new MenuShortcutGuard({about, settings, exit}, this);
    for (QLineEdit *edit : centralWidget()->findChildren<QLineEdit *>())
        edit->installEventFilter(guard);
}

void MainWindow::load()
{
    for (const QString &direction : {QStringLiteral("Down"), QStringLiteral("Up")}) {
        for (int leg = 1; leg <= legCount; ++leg)
            findChild<QPushButton *>(QStringLiteral("btnRate%1%2").arg(direction).arg(leg))->setEnabled(true);
    }
}

void MainWindow::connectStepButtons()
{
    const struct {
        Stepper stepper;
        QString prefix;
    } families[] = {{Stepper::Rate, QStringLiteral("btnRate")},
                    {Stepper::Spread, QStringLiteral("btnSpread")}};
    for (const auto &family : families) {
        for (int leg = 1; leg <= legCount; ++leg) {
            for (const int direction : {-1, +1}) {
                const QString name = family.prefix +
                                     (direction < 0 ? QStringLiteral("Down") : QStringLiteral("Up")) +
                                     QString::number(leg);
                connect(findChild<QPushButton *>(name), &QPushButton::clicked, this,
                        [this, stepper = family.stepper, leg, direction] { step(stepper, leg, direction); });
            }
        }
    }
}

void MainWindow::step(Stepper stepper, int leg, int direction)
{
    const auto failure = stepper == Stepper::Rate ? rateStep(*m_board, leg, direction, m_separator)
                                                  : spreadStep(*m_board, leg, direction, m_separator);
    if (failure)
        showWarning(QString::fromStdString(describe(*failure, m_separator)));
}

void MainWindow::evaluateIndicator(Measure changed)
{
    const Indication indication =
        orbisk::evaluateIndicator(changed, m_board->text(Field::buySideMeasure()),
                                  m_board->text(Field::sellSideMeasure()), m_separator);
    auto *action = findChild<QPushButton *>(QStringLiteral("btnAction"));
    action->setText(QString::fromStdString(indication.caption));
    action->setToolTip(QString::fromStdString(indication.tooltip));
}

void MainWindow::showAbout()
{
    openModal(new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Orbisk"), QStringLiteral(" "),
                              QMessageBox::Ok, this));
}

void MainWindow::showWarning(const QString &text)
{
    openModal(new QMessageBox(QMessageBox::Warning, QStringLiteral("Orbisk"), text, QMessageBox::Ok, this));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing the main window ends the program at once, like Exit; no other window gets to
    // run its own close handling.
    event->accept();
    QCoreApplication::exit(0);
}

} // namespace orbisk
