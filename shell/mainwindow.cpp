#include "mainwindow.h"

#include "mainlayout.h"
#include "modalmessage.h"
#include "settingsdialog.h"
#include "settingsfile.h"
#include "settingslayout.h"
#include "stepping.h"
#include "widgetboard.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

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

} // namespace

MainWindow::MainWindow(const QString &decimalSeparator, const QString &settingsPath, QWidget *parent)
    : QMainWindow(parent)
    , m_separator(decimalSeparator.toStdString())
    , m_settingsPath(settingsPath)
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
    m_action = client->findChild<QPushButton *>(QStringLiteral("btnAction"));
    buildMenu();
    connectStepButtons();
    connect(buySide, &QLineEdit::textChanged, this, [this] { evaluateIndicator(Measure::BuySide); });
    connect(client->findChild<QLineEdit *>(QStringLiteral("txtAskCross1")), &QLineEdit::textChanged, this,
            [this] { evaluateIndicator(Measure::SellSide); });

    load();

    // The client area, below the menu bar, sits at a fixed place on the screen.
    const int menuHeight = menuBar()->sizeHint().height();
    setFixedSize(client->width(), client->height() + menuHeight);
    setGeometry(pixels(mainClientLeft), pixels(mainClientTop) - menuHeight, width(), height());
    focusChain.first()->setFocus();
}

// The dialog goes with the main window without saving: only its own close writes the file.
MainWindow::~MainWindow()
{
    delete m_settings;
}

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
    QAction *settings =
        addEntry(QStringLiteral("Settings"), Qt::CTRL | Qt::Key_S, [this] { showSettings(); });
    menu->addSeparator()->setObjectName(QStringLiteral("Separator"));
    QAction *exit = addEntry(QStringLiteral("Exit"), Qt::CTRL | Qt::Key_E, [] { QCoreApplication::exit(0); });

    auto *guard = new MenuShortcutGuard({about, settings, exit}, this);
    for (QLineEdit *edit : centralWidget()->findChildren<QLineEdit *>())
        edit->installEventFilter(guard);
}

void MainWindow::load()
{
    // Names and starting quotes are copied unchanged from the dialog's fields, in file order.
    SettingsDialog *dialog = settingsDialog();
    const QStringList values = dialog->values();
    const QStringList targets = settingsFieldNames();
    for (int i = 0; i < settingsValueCount; ++i) {
        if (i < legCount)
            findChild<QLabel *>(QStringLiteral("lblInstr%1").arg(i + 1))->setText(values[i]);
        else
            findChild<QLineEdit *>(targets[i])->setText(values[i]);
    }
    m_startupProblem = dialog->loadProblem();

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
    m_action->setText(QString::fromStdString(indication.caption));
    m_action->setToolTip(QString::fromStdString(indication.tooltip));
    m_action->setAccessibleDescription(m_action->toolTip()); // screen readers do not read tooltips
}

void MainWindow::showAbout()
{
    openModal(new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Orbisk"), QStringLiteral(" "),
                              QMessageBox::Ok, this));
}

SettingsDialog *MainWindow::settingsDialog()
{
    if (!m_settings)
        m_settings = new SettingsDialog(m_settingsPath);
    return m_settings;
}

void MainWindow::showSettings()
{
    const bool built = !m_settings;
    SettingsDialog *dialog = settingsDialog();
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    if (built && !dialog->loadProblem().isEmpty())
        showWarning(dialog->loadProblem());
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_startupProblem.isEmpty()) {
        const QString problem = std::exchange(m_startupProblem, QString());
        QTimer::singleShot(0, this, [this, problem] { showWarning(problem); });
    }
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
