// The main window: the quote board, the stepping buttons, the measures, the action indicator
// and the menu.
#pragma once

#include "engine/indicator.h"
#include "forms/layoutfont.h"
#include "settings/settingsformat.h"
#include "settings/settingslocation.h"
#include "shell/mainlayout.h"
#include "shell/widgetboard.h"

#include <QMainWindow>
#include <QPointer>

#include <string>
#include <vector>

namespace orbisk {

class SettingsDialog;

class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    // The format is the user's, used to read and write every number.
    // The leg names and starting quotes come from the settings file, through the settings
    // dialog.
    MainWindow(NumberFormat format, const SettingsLocation &settings, QWidget *parent = nullptr);
    ~MainWindow() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    enum class Stepper { Rate, Spread };

    std::vector<QWidget *> buildClientArea();
    void fitAndPlace();
    void buildMenu();
    void load(const SettingsRecord &settings);
    void connectStepButtons();
    void step(Stepper stepper, int leg, Direction direction);
    void evaluateIndicator(Measure changed);
    void showAbout();
    void showSettings();
    SettingsDialog *settingsDialog();
    void showWarning(const QString &text);

    MainControls m_controls;
    WidgetBoard m_board{m_controls};
    NumberFormat m_format;
    SettingsLocation m_settingsLocation;
    // The one settings dialog while it exists; it deletes itself when the user closes it.
    QPointer<SettingsDialog> m_settings;
    QString m_startupProblem; // told once the window is on screen
    LayoutFont m_layoutFont;
};

} // namespace orbisk
