// The main window: the quote board, the stepping buttons, the measures, the action indicator
// and the menu.
#pragma once

#include "indicator.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <string>

class QPushButton;

namespace orbisk {

class SettingsDialog;
class WidgetBoard;

class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    // The separator is the user's decimal separator, used to read and write every number.
    // The leg names and starting quotes come from the settings file at the path, through the
    // settings dialog.
    MainWindow(const QString &decimalSeparator, const QString &settingsPath, QWidget *parent = nullptr);
    ~MainWindow() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    enum class Stepper { Rate, Spread };

    void buildMenu();
    void load();
    void connectStepButtons();
    void step(Stepper stepper, int leg, int direction);
    void evaluateIndicator(Measure changed);
    void showAbout();
    void showSettings();
    SettingsDialog *settingsDialog();
    void showWarning(const QString &text);

    std::string m_separator;
    std::unique_ptr<WidgetBoard> m_board;
    QPushButton *m_action = nullptr; // the action indicator, rewritten on every measure change
    QString m_settingsPath;
    // The one settings dialog while it exists; it deletes itself when the user closes it.
    QPointer<SettingsDialog> m_settings;
    QString m_startupProblem; // told once the window is on screen
};

} // namespace orbisk
