// The settings dialog's controls: frames, row numbers and the nine text boxes with their places.
#pragma once

#include "engine/quoteboard.h"
#include "forms/formlayout.h"

#include <array>

class QLineEdit;

namespace orbisk {

constexpr int settingsClientWidth = 5655; // twips
constexpr int settingsClientHeight = 1860;

// The dialog's fields, index 0 being leg 1.
struct SettingsControls {
    struct Leg {
        QLineEdit *name = nullptr;
        QLineEdit *bid = nullptr;
        QLineEdit *ask = nullptr;
    };
    std::array<Leg, legCount> legs;
};

// The layout, with the initial texts; building it fills the handles.
FormSpec settingsDialogForm(SettingsControls &controls);

} // namespace orbisk
