// The main window's controls: every frame, label, text box and button with its place.
#pragma once

#include "formlayout.h"

#include <vector>

namespace orbisk {

constexpr int mainClientWidth = 5955; // twips
constexpr int mainClientHeight = 2250;
constexpr int mainClientLeft = 5820; // on the screen
constexpr int mainClientTop = 4635;

std::vector<ControlSpec> mainWindowControls();

} // namespace orbisk
