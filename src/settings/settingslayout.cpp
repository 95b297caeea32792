#include "settings/settingslayout.h"

#include "settings/settingsformat.h"

namespace orbisk {

FormSpec settingsDialogForm(SettingsControls &c)
{
    const SettingsRecord initial = SettingsRecord::fromValues({});
    // clang-format off
    return {.frames = {
        {.name = "fLabels", .caption = "Instruments", .rect = {120, 240, 975, 1335}, .tabIndex = 0, .element = 1,
         .controls = {
             // One group of three labels under one name, told apart by element number.
             {.name = "Label1", .kind = Label{}, .rect = {120, 240, 735, 255}, .text = "      1", .tabIndex = 1, .element = 5},
             {.name = "Label1", .kind = Label{}, .rect = {120, 600, 735, 255}, .text = "      2", .tabIndex = 3, .element = 3},
             {.name = "Label1", .kind = Label{}, .rect = {120, 960, 735, 255}, .text = "      3", .tabIndex = 2, .element = 4},
         }},
        {.name = "Frame2", .caption = "Name", .rect = {1320, 240, 1215, 1335}, .tabIndex = 8,
         .controls = rowFamily({"txtInstr", 120, 975, 285, initial.names, {11, 10, 9}},
                               perRow(c.legs, &SettingsControls::Leg::name))},
        {.name = "Frame1", .caption = "Bid", .rect = {2760, 240, 1215, 1335}, .tabIndex = 4,
         .controls = rowFamily({"txtBid", 120, 975, 285, initial.bids, {7, 6, 5}},
                               perRow(c.legs, &SettingsControls::Leg::bid))},
        {.name = "Frame3", .caption = "Ask", .rect = {4200, 240, 1215, 1335}, .tabIndex = 12,
         .controls = rowFamily({"txtAsk", 120, 975, 285, initial.asks, {13, 14, 15}},
                               perRow(c.legs, &SettingsControls::Leg::ask))},
    }};
    // clang-format on
}

} // namespace orbisk
