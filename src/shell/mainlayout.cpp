#include "shell/mainlayout.h"

#include "engine/defaults.h"

namespace orbisk {
namespace {

std::array<QString, 3> defaultQuotes(std::string_view LegDefaults::*quote)
{
    std::array<QString, 3> texts;
    for (std::size_t i = 0; i < texts.size(); ++i)
        texts[i] = QString::fromLatin1(defaultLegs[i].*quote);
    return texts;
}

} // namespace

FormSpec mainWindowForm(MainControls &c)
{
    using Leg = MainControls::Leg;
    const QString spread = QString::fromLatin1(defaultSpread);
    // clang-format off
    return {
        .frames = {
            {.name = "fLabels", .caption = "Instruments", .rect = {0, 120, 975, 1335}, .tabIndex = 15, .element = 1,
             .controls = rowFamily({"lblInstr", 120, 855, 255, {"gbp/usd", "eur/gbp", "eur/usd"}, {18, 16, 17}}, perRow(c.legs, &Leg::name))},
            {.name = "Frame1", .caption = "Bid", .rect = {1080, 120, 1215, 1335}, .tabIndex = 0,
             .controls = rowFamily({"txtBid", 120, 975, 285, defaultQuotes(&LegDefaults::bid), {1, 2, 3}}, perRow(c.legs, &Leg::bid))},
            {.name = "Frame2", .caption = "Ask", .rect = {2400, 120, 1215, 1335}, .tabIndex = 4,
             .controls = rowFamily({"txtAsk", 120, 975, 285, defaultQuotes(&LegDefaults::ask), {7, 6, 5}}, perRow(c.legs, &Leg::ask))},
            {.name = "Frame8", .caption = "Rates", .rect = {3720, 120, 855, 1335}, .tabIndex = 19,
             .controls = joined({
                 rowFamily({"btnRateDown", 120, 255, 255, {"<", "<", "<"}, {20, 21, 22}}, perRow(c.legs, &Leg::rateDown)),
                 rowFamily({"btnRateUp", 480, 255, 255, {">", ">", ">"}, {23, 24, 25}}, perRow(c.legs, &Leg::rateUp)),
             })},
            {.name = "Frame10", .caption = "Spreads", .rect = {4680, 120, 1215, 1335}, .tabIndex = 32,
             .controls = joined({
                 rowFamily({"btnSpreadDown", 120, 255, 255, {"<", "<", "<"}, {38, 37, 36}}, perRow(c.legs, &Leg::spreadDown)),
                 rowFamily({"txtSpread", 480, 255, 285, {spread, spread, spread}, {39, 40, 41}}, perRow(c.legs, &Leg::spread)),
                 rowFamily({"btnSpreadUp", 840, 255, 255, {">", ">", ">"}, {35, 34, 33}}, perRow(c.legs, &Leg::spreadUp)),
             })},
            // The lower band. Its frames are too short for rows 2 and 3: those controls are
            // present but clipped away and inert.
            {.name = "Frame3", .caption = "Bid", .rect = {1080, 1560, 1215, 615}, .tabIndex = 8,
             .controls = {
                 {.name = "txtBidCross1", .kind = TextBox{&c.buySide}, .rect = {120, 240, 975, 285}, .tabIndex = 10, .accessibleName = "Buy-side measure in pips"},
                 {.name = "txtBidCross2", .kind = TextBox{}, .rect = {120, 600, 975, 285}, .tabIndex = 43, .inert = true},
                 {.name = "txtBidCross3", .kind = TextBox{}, .rect = {120, 960, 975, 285}, .tabIndex = 9, .inert = true},
             }},
            {.name = "Frame4", .caption = "Ask", .rect = {2400, 1560, 1215, 615}, .tabIndex = 11,
             .controls = {
                 {.name = "txtAskCross1", .kind = TextBox{&c.sellSide}, .rect = {120, 240, 975, 285}, .tabIndex = 14, .accessibleName = "Sell-side measure in pips"},
                 {.name = "txtAskCross2", .kind = TextBox{}, .rect = {120, 600, 975, 285}, .tabIndex = 13, .inert = true},
                 {.name = "txtAskCross3", .kind = TextBox{}, .rect = {120, 960, 975, 285}, .tabIndex = 12, .inert = true},
             }},
            {.name = "Frame9", .caption = "Action", .rect = {4320, 1560, 1335, 615}, .tabIndex = 26,
             .controls = {
                 {.name = "btnAction", .kind = Button{&c.action}, .rect = {360, 240, 615, 255}, .text = "Wait", .tabIndex = 31},
                 {.name = "btnBuyCross2", .kind = Button{}, .rect = {120, 600, 255, 255}, .text = "B", .tabIndex = 30, .inert = true},
                 {.name = "btnBuyCross3", .kind = Button{}, .rect = {120, 960, 255, 255}, .text = "B", .tabIndex = 29, .inert = true},
                 {.name = "btnSellCross2", .kind = Button{}, .rect = {480, 600, 255, 255}, .text = "S", .tabIndex = 28, .inert = true},
                 {.name = "btnSellCross3", .kind = Button{}, .rect = {480, 960, 255, 255}, .text = "S", .tabIndex = 27, .inert = true},
             }},
        },
        .controls = {
            {.name = "Label3", .kind = Label{}, .rect = {120, 1800, 855, 255}, .text = "Indicator", .tabIndex = 42},
        },
    };
    // clang-format on
}

} // namespace orbisk
