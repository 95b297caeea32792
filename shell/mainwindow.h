// The main window: the quote board, the stepping buttons, the measures, the action indicator
// and the menu.
#pragma once

#include "indicator.h"

#include <QMainWindow>

#include <memory>
#include <string>

namespace orbisk {

class WidgetBoard;

class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    // The separator is the user's decimal separator, used to read and write every number.
    explicit MainWindow(const QString &decimalSeparator, QWidget *parent = nullptr);
    ~MainWindow() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    enum class Stepper { Rate, Spread };

    void buildMenu();
    void load();
    void connectStepButtons();
    void step(Stepper stepper, int leg, int direction);
    void evaluateIndicator(Measure changed);
    void showAbout();
    void showWarning(const QString &text);

    std::string m_separator;
    std::unique_ptr<WidgetBoard> m_board;
};

} // namespace orbisk
