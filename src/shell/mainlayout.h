// The main window's controls: every frame, label, text box and button with its place.
#pragma once

#include "engine/quoteboard.h"
#include "forms/formlayout.h"

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

namespace orbisk {

constexpr int mainClientWidth = 5955; // twips
constexpr int mainClientHeight = 2250;
constexpr int mainClientLeft = 5820; // on the screen
constexpr int mainClientTop = 4635;

// The controls the window works with; index 0 of legs is leg 1.
struct MainControls {
    struct Leg {
        QLabel *name = nullptr;
        QLineEdit *bid = nullptr;
        QLineEdit *ask = nullptr;
        QLineEdit *spread = nullptr;
        QPushButton *rateDown = nullptr;
        QPushButton *rateUp = nullptr;
        QPushButton *spreadDown = nullptr;
        QPushButton *spreadUp = nullptr;
    };
    std::array<Leg, legCount> legs;
    QLineEdit *buySide = nullptr;  // the buy-side measure
    QLineEdit *sellSide = nullptr; // the sell-side measure
    QPushButton *action = nullptr; // the action indicator
};

// The layout, with the initial captions and texts; building it fills the handles.
FormSpec mainWindowForm(MainControls &controls);

} // namespace orbisk
