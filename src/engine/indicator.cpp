#include "engine/indicator.h"

#include "engine/numbertext.h"

namespace orbisk {
namespace {

bool isPositive(std::string_view text, const NumberFormat &format)
{
    const auto read = textToDouble(text, format);
    return read.ok() && read.value > 0.0;
}

} // namespace

Indication evaluateIndicator(Measure changed, std::string_view buySideText, std::string_view sellSideText,
                             const NumberFormat &format)
{
    const bool buySidePositive = isPositive(buySideText, format);
    const bool sellSidePositive = isPositive(sellSideText, format);
    if (buySidePositive && sellSidePositive)
        return changed == Measure::BuySide ? Indication::Buy : Indication::Sell;
    if (buySidePositive)
        return Indication::Sell;
    if (sellSidePositive)
        return Indication::Buy;
    return Indication::Wait;
}

} // namespace orbisk
