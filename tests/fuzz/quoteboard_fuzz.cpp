// Random typing and button presses on the engine's quote board. Every step writes its fields in
// order and stops at its first failure: a rate step writes a prefix of bid, ask, buy-side and
// sell-side measure (all four when it succeeds), a spread step its spread or nothing. What it
// writes is sound: a bid on the pip grid, the ask at bid plus spread, readable measures.
// Typed texts come from the fuzzer, helped by the dictionary quoteboard.dict.
#include "engine/numbertext.h"
#include "engine/stepping.h"
#include "fuzz/fuzzcheck.h"
#include "support/memoryboard.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <vector>

using namespace orbisk;

namespace {

void checkWrites(const MemoryBoard &board, const std::vector<Field> &order, bool failed)
{
    FUZZ_CHECK(failed ? board.writes.size() < order.size() : board.writes.size() == order.size());
    for (std::size_t i = 0; i < board.writes.size(); ++i)
        FUZZ_CHECK(board.writes[i].first == order[i]);
}

void checkRateStep(const MemoryBoard &board, int leg, std::string_view separator)
{
    const auto bid = textToDouble(board.text(Field::bid(leg)), separator);
    const auto spread = textToWhole(board.text(Field::spread(leg)), separator);
    const auto ask = textToSingle(board.text(Field::ask(leg)), separator);
    FUZZ_CHECK(bid.ok() && spread.ok() && ask.ok());
    const double pips = bid.value * 10000.0;
    FUZZ_CHECK(std::fabs(pips - std::nearbyint(pips)) < 1e-6 && std::fabs(pips) <= 32768.0);
    const double expected = bid.value + spread.value / 10000.0;
    FUZZ_CHECK(std::fabs(ask.value - expected) <=
               2e-7 * std::fabs(bid.value) + 1e-6 * std::fabs(expected) + 1e-12);
    for (const Measure measure : {Measure::BuySide, Measure::SellSide}) {
        const std::string text = board.text(Field::measureOf(measure));
        FUZZ_CHECK(textToDouble(text, separator).ok() && text.front() != '+');
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::string separator = in.ConsumeBool() ? "," : ".";
    const Field buy = Field::measureOf(Measure::BuySide), sell = Field::measureOf(Measure::SellSide);
    MemoryBoard board;
    while (in.remaining_bytes() > 0) {
        const int op = in.ConsumeIntegralInRange(0, 3);
        const int leg = in.ConsumeIntegralInRange(1, 3);
        const Direction direction = in.ConsumeBool() ? Direction::Up : Direction::Down;
        board.writes.clear();
        if (op == 0) {
            const Field typed[] = {Field::bid(leg), Field::ask(leg), Field::spread(leg), buy, sell};
            board.type(typed[in.ConsumeIntegralInRange(0, 4)], in.ConsumeRandomLengthString(40));
        } else if (op == 3) {
            checkWrites(board, {Field::spread(leg)},
                        spreadStep(board, leg, direction, separator).has_value());
        } else if (const auto failure = rateStep(board, leg, direction, separator)) {
            checkWrites(board, {Field::bid(leg), Field::ask(leg), buy, sell}, true);
        } else {
            checkWrites(board, {Field::bid(leg), Field::ask(leg), buy, sell}, false);
            checkRateStep(board, leg, separator);
        }
    }
    return 0;
}
