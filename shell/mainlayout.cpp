#include "mainlayout.h"

namespace orbisk {

using K = ControlKind;

std::vector<ControlSpec> mainWindowControls()
{
    std::vector<ControlSpec> controls = {
        {"fLabels", K::Frame, {}, 0, 120, 975, 1335, "Instruments", 15, {}, 1},
        {"Frame1", K::Frame, {}, 1080, 120, 1215, 1335, "Bid", 0},
        {"Frame2", K::Frame, {}, 2400, 120, 1215, 1335, "Ask", 4},
        {"Frame8", K::Frame, {}, 3720, 120, 855, 1335, "Rates", 19},
        {"Frame10", K::Frame, {}, 4680, 120, 1215, 1335, "Spreads", 32},
        {"Label3", K::Label, {}, 120, 1800, 855, 255, "Indicator", 42},
        {"Frame3", K::Frame, {}, 1080, 1560, 1215, 615, "Bid", 8},
        {"Frame4", K::Frame, {}, 2400, 1560, 1215, 615, "Ask", 11},
        {"Frame9", K::Frame, {}, 4320, 1560, 1335, 615, "Action", 26},

        {"txtBidCross1", K::TextBox, "Frame3", 120, 240, 975, 285, {}, 10, "Buy-side measure in pips"},
        {"txtAskCross1", K::TextBox, "Frame4", 120, 240, 975, 285, {}, 14, "Sell-side measure in pips"},
        {"btnAction", K::Button, "Frame9", 360, 240, 615, 255, "Wait", 31, "Action indicator"},

        // Present but inert: the lower frames are too short to show them.
        {"txtBidCross2", K::TextBox, "Frame3", 120, 600, 975, 285, {}, 43, "Unused"},
        {"txtBidCross3", K::TextBox, "Frame3", 120, 960, 975, 285, {}, 9, "Unused"},
        {"txtAskCross2", K::TextBox, "Frame4", 120, 600, 975, 285, {}, 13, "Unused"},
        {"txtAskCross3", K::TextBox, "Frame4", 120, 960, 975, 285, {}, 12, "Unused"},
        {"btnBuyCross2", K::Button, "Frame9", 120, 600, 255, 255, "B", 30, "Unused"},
        {"btnBuyCross3", K::Button, "Frame9", 120, 960, 255, 255, "B", 29, "Unused"},
        {"btnSellCross2", K::Button, "Frame9", 480, 600, 255, 255, "S", 28, "Unused"},
        {"btnSellCross3", K::Button, "Frame9", 480, 960, 255, 255, "S", 27, "Unused"},
    };

    // clang-format off
    const std::vector<LegRowSpec> legRows = {
        {"lblInstr", K::Label, "fLabels", 120, 855, 255, {"gbp/usd", "eur/gbp", "eur/usd"}, {18, 16, 17}},
        {"txtBid", K::TextBox, "Frame1", 120, 975, 285, {"1.6364", "0.7225", "1.1826"}, {1, 2, 3}, "Bid, leg %1"},
        {"txtAsk", K::TextBox, "Frame2", 120, 975, 285, {"1.6369", "0.7230", "1.1831"}, {7, 6, 5}, "Ask, leg %1"},
        {"btnRateDown", K::Button, "Frame8", 120, 255, 255, {"<", "<", "<"}, {20, 21, 22}, "Rate one pip down, leg %1"},
        {"btnRateUp", K::Button, "Frame8", 480, 255, 255, {">", ">", ">"}, {23, 24, 25}, "Rate one pip up, leg %1"},
        {"btnSpreadDown", K::Button, "Frame10", 120, 255, 255, {"<", "<", "<"}, {38, 37, 36}, "Spread one pip narrower, leg %1"},
        {"txtSpread", K::TextBox, "Frame10", 480, 255, 285, {"5", "5", "5"}, {39, 40, 41}, "Spread in pips, leg %1"},
        {"btnSpreadUp", K::Button, "Frame10", 840, 255, 255, {">", ">", ">"}, {35, 34, 33}, "Spread one pip wider, leg %1"},
    };
    // clang-format on
    const auto rows = expandLegRows(legRows, {240, 600, 960});
    controls.insert(controls.end(), rows.begin(), rows.end());
    return controls;
}

} // namespace orbisk
