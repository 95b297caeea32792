// The rate and spread steps behind the "<" and ">" buttons.
#pragma once

#include "engine/failure.h"
#include "engine/quoteboard.h"

#include <optional>
#include <string_view>

namespace orbisk {

// Moves the leg's bid one pip in the direction, rebuilds its ask as bid plus spread and writes
// both measures, in this order: bid, ask, buy-side measure, sell-side measure.
// The new bid is the nearest pip count (exact halves to even) of bid * 10000 + direction, which
// must fit -32768..32767; the ask is the bid text just written, times 10000 rounded to float,
// plus the spread, divided by 10000 and rounded once to float.
// Stops at the first failure and returns it: what was written before stays, nothing more is
// written. Returns nothing on success.
std::optional<Failure> rateStep(QuoteBoard &board, int leg, Direction direction, const NumberFormat &format);

// Moves the leg's spread one pip in the direction within -32768..32767 and writes only the
// spread. On failure nothing is written.
std::optional<Failure> spreadStep(QuoteBoard &board, int leg, Direction direction,
                                  const NumberFormat &format);

} // namespace orbisk
