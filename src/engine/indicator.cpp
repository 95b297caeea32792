#include "engine/indicator.h"

#include "engine/numbertext.h"

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
    const bool buySidePositive = isPositive(buySideText, separator);
    const bool sellSidePositive = isPositive(sellSideText, separator);
    if (buySidePositive && sellSidePositive)
        return changed == Measure::BuySide ? Indication::Buy : Indication::Sell;
    if (buySidePositive)
        return Indication::Sell;
    if (sellSidePositive)
        return Indication::Buy;
    return Indication::Wait;
}

} // namespace orbisk
