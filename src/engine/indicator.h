// The action indicator: "Wait", "Buy" or "Sell" from the texts of the two measure fields.
#pragma once

#include "engine/numbertext.h"
#include "engine/quoteboard.h"

#include <string_view>

namespace orbisk {

enum class Indication {
    Wait, // neither measure is positive
    Buy,  // the sell-side measure is positive: sell legs 1 and 2, buy leg 3
    Sell, // the buy-side measure is positive: buy legs 1 and 2, sell leg 3
};

// A measure counts as positive when its text reads (textToDouble) as a number strictly above
// zero; a text that cannot be read, empty included, is not positive. The measure that changed
// is tested first and the other one second, so when both are positive the one that did not
// change wins. Never fails.
Indication evaluateIndicator(Measure changed, std::string_view buySideText, std::string_view sellSideText,
                             const NumberFormat &format);

} // namespace orbisk
