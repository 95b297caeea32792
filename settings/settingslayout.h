// The settings dialog's controls: frames, row numbers and the nine text boxes with their places.
#pragma once

#include "formlayout.h"

#include <vector>

namespace orbisk {

constexpr int settingsClientWidth = 5655; // twips
constexpr int settingsClientHeight = 1860;

std::vector<ControlSpec> settingsDialogControls();

// The text boxes in file order: names 1-3, bids 1-3, asks 1-3.
QStringList settingsFieldNames();

} // namespace orbisk
