#include "indicator.h"

#include "numbertext.h"

namespace orbisk {
namespace {

bool isPositive(std::string_view text, std::string_view separator)
{
    const auto read = textToDouble(text, separator);
    return read.ok() && read.value > 0.0;
}

} // namespace

Indication evaluateIndicator(Measure changed, std::string_view buySideText, std::string_view sellSideText,
                             std::string_view separator)
{
    static const Indication wait{"Wait", " "};
    static const Indication buy{"Buy", "Sell 1+2 Buy 3"};   // the sell-side measure is positive
    static const Indication sell{"Sell", "Buy 1+2 Sell 3"}; // the buy-side measure is positive

    const bool buySidePositive = isPositive(buySideText, separator);
    const bool sellSidePositive = isPositive(sellSideText, separator);
    if (buySidePositive && sellSidePositive)
        return changed == Measure::BuySide ? buy : sell;
    if (buySidePositive)
        return sell;
    if (sellSidePositive)
        return buy;
    return wait;
}

} // namespace orbisk
