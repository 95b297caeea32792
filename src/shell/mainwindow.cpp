#include "shell/mainwindow.h"

#include "engine/stepping.h"
#include "forms/layoutfont.h"
#include "forms/modalmessage.h"
#include "settings/settingsdialog.h"
#include "shell/failuretext.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
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

// The indicator's caption and tooltip; the tooltip names the whole trade, in the notation
// traders use in every language.
std::pair<QString, QString> shownFor(Indication indication)
{
    switch (indication) {
    case Indication::Buy:
        return {QStringLiteral("Buy"), QStringLiteral("Sell 1+2 Buy 3")};
    case Indication::Sell:
        return {QStringLiteral("Sell"), QStringLiteral("Buy 1+2 Sell 3")};
    case Indication::Wait:
        break;
    }
    return {QStringLiteral("Wait"), QStringLiteral(" ")};
}

void nameTheIndicator(QPushButton *action)
{
    // Screen readers speak the name, not the caption; the tooltip is the description.
    action->setAccessibleName(MainWindow::tr("Action: %1").arg(action->text()));
}

} // namespace

MainWindow::MainWindow(NumberFormat format, const SettingsLocation &settings, QWidget *parent)
    : QMainWindow(parent)
    , m_format(std::move(format))
    , m_settingsLocation(settings)
    , m_layoutFont(this)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(programName());
    const std::vector<QWidget *> focusChain = buildClientArea();
    buildMenu();
    connectStepButtons();
    connect(m_controls.buySide, &QLineEdit::textChanged, this,
            [this] { evaluateIndicator(Measure::BuySide); });
    connect(m_controls.sellSide, &QLineEdit::textChanged, this,
            [this] { evaluateIndicator(Measure::SellSide); });
    nameTheIndicator(m_controls.action);

    load(settingsDialog()->record());
    m_startupProblem = settingsDialog()->loadProblem();
    fitAndPlace();
    focusChain.front()->setFocus();
}

std::vector<QWidget *> MainWindow::buildClientArea()
{
    auto *client = new QWidget(this);
    client->setFixedSize(pixels(mainClientWidth), pixels(mainClientHeight));
    setCentralWidget(client);
    std::vector<QWidget *> focusChain = buildForm(client, mainWindowForm(m_controls));

    // The buy-side measure's white background must keep a dark text under any theme.
    QPalette white = m_controls.buySide->palette();
    white.setColor(QPalette::Base, Qt::white);
    white.setColor(QPalette::Text, Qt::black);
    m_controls.buySide->setPalette(white);
    for (const MainControls::Leg &leg : m_controls.legs)
        leg.spread->setEnabled(false);
    return focusChain;
}

void MainWindow::fitAndPlace()
{
    // The widest text the window shows later, beyond those it shows now: a measure with a sign
    // and seven digits.
    const QString widestMeasure = QStringLiteral("-28.00941");
    std::vector<QLineEdit *> figures = {m_controls.buySide, m_controls.sellSide};
    for (const MainControls::Leg &leg : m_controls.legs)
        figures.insert(figures.end(), {leg.bid, leg.ask});
    m_layoutFont.start({{m_controls.buySide, widestMeasure}, {m_controls.sellSide, widestMeasure}}, figures);

    // The window is its menu bar over the fixed client area, whatever the fonts make the menu
    // bar's height; the client area sits at a fixed place on the screen.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    layout()->activate();
    const QPoint clientOnScreen(pixels(mainClientLeft), pixels(mainClientTop));
    setGeometry(QRect(clientOnScreen - QPoint(0, menuBar()->sizeHint().height()), size()));
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

void MainWindow::load(const SettingsRecord &settings)
{
    // Names and starting quotes are copied unchanged.
    for (int i = 0; i < legCount; ++i) {
        const MainControls::Leg &leg = m_controls.legs[i];
        leg.name->setText(settings.names[i]);
        leg.bid->setText(settings.bids[i]);
        leg.ask->setText(settings.asks[i]);

        // A screen reader names the leg as the window shows it.
        const QString name =
            settings.names[i].trimmed().isEmpty() ? tr("leg %1").arg(i + 1) : settings.names[i];
        const std::pair<QWidget *, QString> named[] = {
            {leg.bid, tr("Bid, %1")},
            {leg.ask, tr("Ask, %1")},
            {leg.spread, tr("Spread in pips, %1")},
            {leg.rateDown, tr("Rate one pip down, %1")},
            {leg.rateUp, tr("Rate one pip up, %1")},
            {leg.spreadDown, tr("Spread one pip narrower, %1")},
            {leg.spreadUp, tr("Spread one pip wider, %1")},
        };
        for (const auto &[control, pattern] : named)
            control->setAccessibleName(pattern.arg(name));
    }
}

void MainWindow::connectStepButtons()
{
    for (int leg = 1; leg <= legCount; ++leg) {
        const MainControls::Leg &controls = m_controls.legs[leg - 1];
        const struct {
            QPushButton *button;
            Stepper stepper;
            Direction direction;
        } buttons[] = {{controls.rateDown, Stepper::Rate, Direction::Down},
                       {controls.rateUp, Stepper::Rate, Direction::Up},
                       {controls.spreadDown, Stepper::Spread, Direction::Down},
                       {controls.spreadUp, Stepper::Spread, Direction::Up}};
        // Clang before 16 lets no lambda capture a structured binding: the entry is captured whole.
        for (const auto &entry : buttons) {
            connect(entry.button, &QPushButton::clicked, this,
                    [this, entry, leg] { step(entry.stepper, leg, entry.direction); });
        }
    }
}

void MainWindow::step(Stepper stepper, int leg, Direction direction)
{
    const auto failure = stepper == Stepper::Rate ? rateStep(m_board, leg, direction, m_format)
                                                  : spreadStep(m_board, leg, direction, m_format);
    if (failure)
        showWarning(FailureText::describe(*failure, m_format));
}

void MainWindow::evaluateIndicator(Measure changed)
{
    const Indication indication =
        orbisk::evaluateIndicator(changed, m_board.text(Field::measureOf(Measure::BuySide)),
                                  m_board.text(Field::measureOf(Measure::SellSide)), m_format);
    QPushButton *action = m_controls.action;
    const auto [caption, trade] = shownFor(indication);
    action->setText(caption);
    action->setToolTip(trade);
    nameTheIndicator(action);
}

void MainWindow::showAbout()
{
    openModal(messageBox(QMessageBox::NoIcon, QStringLiteral(" "), QMessageBox::Ok, this));
}

SettingsDialog *MainWindow::settingsDialog()
{
    if (!m_settings)
        m_settings = new SettingsDialog(m_settingsLocation);
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
    openModal(messageBox(QMessageBox::Warning, text, QMessageBox::Ok, this));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing the main window ends the program at once, like Exit; no other window gets to
    // run its own close handling.
    event->accept();
    QCoreApplication::exit(0);
}

} // namespace orbisk
