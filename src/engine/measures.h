// The two triangular-arbitrage measures, in pips, with leg 3 taken as the cross of legs 1
// and 2.
#pragma once

#include "engine/failure.h"
#include "engine/numbertext.h"
#include "engine/quoteboard.h"

#include <optional>
#include <string>
#include <string_view>

namespace orbisk {

// A measure's text, or why there is none.
struct MeasureText {
    std::string text;
    std::optional<MeasureFailure> failure;

    [[nodiscard]] bool ok() const { return !failure; }
};

// (bid3 - ask2 * ask1) * 10000: the product and the difference are exact or formed in double,
// only the difference is rounded to float, then the product with 10000. Overflow error when a
// rounded value leaves the float range.
Converted<float> buySideValue(float ask1, float ask2, float bid3);

// (bid2 * bid1 - ask3) * 10000 with every operation rounded to float, the product included.
// Overflow error when a rounded value leaves the float range.
Converted<float> sellSideValue(float bid1, float bid2, float ask3);

// A positive value as singleToText; anything else as "-" and singleToText of its negation, so
// zero reads "-0" and the sign never comes from the conversion.
std::string measureText(float value, const NumberFormat &format);

// The buy-side measure from the texts of ask 1, ask 2 and bid 3 (read in the order ask 2,
// ask 1, bid 3). The leg is the one whose quote just moved; the result does not depend on it
// and it only appears in a failure. Writes nothing; fails at the first field that does not
// read as a float (NotANumber, TooLarge) or with ResultTooLarge.
MeasureText get_crossBid(const QuoteBoard &board, int leg, const NumberFormat &format);

// The sell-side measure from the texts of bid 2, bid 1 and ask 3 (read in that order); fails
// as get_crossBid does.
MeasureText get_crossAsk(const QuoteBoard &board, int leg, const NumberFormat &format);

} // namespace orbisk
