#include "settingslayout.h"

#include "settingsfile.h"

namespace orbisk {

using K = ControlKind;

std::vector<ControlSpec> settingsDialogControls()
{
    std::vector<ControlSpec> controls = {
        {"fLabels", K::Frame, {}, 120, 240, 975, 1335, "Instruments", 0, {}, 1},
        {"Frame2", K::Frame, {}, 1320, 240, 1215, 1335, "Name", 8},
        {"Frame1", K::Frame, {}, 2760, 240, 1215, 1335, "Bid", 4},
        {"Frame3", K::Frame, {}, 4200, 240, 1215, 1335, "Ask", 12},
        // One group of three labels under one name, told apart by element number.
        {"Label1", K::Label, "fLabels", 120, 240, 735, 255, "      1", 1, {}, 5},
        {"Label1", K::Label, "fLabels", 120, 600, 735, 255, "      2", 3, {}, 3},
        {"Label1", K::Label, "fLabels", 120, 960, 735, 255, "      3", 2, {}, 4},
    };
    const QStringList &initial = initialSettings();
    const std::vector<LegRowSpec> legRows = {
        {"txtInstr", K::TextBox, "Frame2", 120, 975, 285, initial.mid(0, 3), {11, 10, 9}, "Name, leg %1"},
        {"txtBid", K::TextBox, "Frame1", 120, 975, 285, initial.mid(3, 3), {7, 6, 5}, "Bid, leg %1"},
        {"txtAsk", K::TextBox, "Frame3", 120, 975, 285, initial.mid(6, 3), {13, 14, 15}, "Ask, leg %1"},
    };
    const auto rows = expandLegRows(legRows, {240, 600, 960});
    controls.insert(controls.end(), rows.begin(), rows.end());
    return controls;
}

QStringList settingsFieldNames()
{
    QStringList names;
    for (const char *prefix : {"txtInstr", "txtBid", "txtAsk"}) {
        for (int leg = 1; leg <= 3; ++leg)
            names << QString::fromLatin1(prefix) + QString::number(leg);
    }
    return names;
}

} // namespace orbisk
