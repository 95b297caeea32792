// The action indicator: "Wait", "Buy" or "Sell" from the texts of the two measure fields.
#pragma once

#include <string>
#include <string_view>

namespace orbisk {

enum class Measure { BuySide, SellSide };

struct Indication {
    std::string caption;
    std::string tooltip;

    friend bool operator==(const Indication &, const Indication &) = default;
};

// A measure counts as positive when its text reads (textToDouble) as a number strictly above
// zero; a text that cannot be read, empty included, is not positive. The measure that changed
// is tested first and the other one second, so when both are positive the one that did not
// change wins. Never fails.
Indication evaluateIndicator(Measure changed, std::string_view buySideText, std::string_view sellSideText,
                             std::string_view separator);

} // namespace orbisk
