// Random sequences of typed texts and button presses on the engine's quote board, with the
// board's invariants checked after every step.
#include "engine/numbertext.h"
#include "engine/stepping.h"
#include "fuzz/fuzzcheck.h"
#include "support/memoryboard.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cmath>
#include <cstdint>

using namespace orbisk;

namespace {

const std::array<Field, 11> allFields = {Field::bid(1),
                                         Field::bid(2),
                                         Field::bid(3),
                                         Field::ask(1),
                                         Field::ask(2),
                                         Field::ask(3),
                                         Field::spread(1),
                                         Field::spread(2),
                                         Field::spread(3),
                                         Field::measureOf(Measure::BuySide),
                                         Field::measureOf(Measure::SellSide)};

const char *const interesting[] = {"",       " ",       "0",       "-0",    "1.6364", "0.0001", "3.2767",
                                   "3.2768", "-3.2768", "0.09375", "1e39",  "3e38",   "nan",    "inf",
                                   "1,5",    " 1.5 ",   "1..5",    "32767", "-32768", "2.5",    "1E-05",
                                   "110.25", "0x10",    "+-1",     "abc",   "1e-50"};

using Texts = std::array<std::string, 11>;

Texts snapshot(const MemoryBoard &board)
{
    Texts texts;
    for (std::size_t i = 0; i < allFields.size(); ++i)
        texts[i] = board.text(allFields[i]);
    return texts;
}

// Fields whose text differs between the snapshots may only be among the allowed ones.
void checkChangedOnly(const Texts &before, const Texts &after, std::initializer_list<Field> allowed)
{
    for (std::size_t i = 0; i < allFields.size(); ++i) {
        if (before[i] == after[i])
            continue;
        bool permitted = false;
        for (const Field &field : allowed)
            permitted = permitted || field == allFields[i];
        FUZZ_CHECK(permitted);
    }
}

void checkRateStep(const MemoryBoard &board, const Texts &before, int leg,
                   const std::optional<Failure> &failure, std::string_view separator)
{
    const Texts after = snapshot(board);
    const Field bid = Field::bid(leg), ask = Field::ask(leg);
    const Field buy = Field::measureOf(Measure::BuySide), sell = Field::measureOf(Measure::SellSide);
    if (failure) {
        switch (failure->action) {
        case Failure::Action::RateStep:
            if (failure->field.kind == Field::Kind::Spread)
                checkChangedOnly(before, after, {bid});
            else
                checkChangedOnly(before, after, {});
            return;
        case Failure::Action::ComputeMeasure:
            if (failure->measure == Measure::BuySide)
                checkChangedOnly(before, after, {bid, ask});
            else
                checkChangedOnly(before, after, {bid, ask, buy});
            return;
        case Failure::Action::SpreadStep:
            FUZZ_CHECK(false);
        }
    }
    checkChangedOnly(before, after, {bid, ask, buy, sell});

    const auto newBid = textToDouble(board.text(bid), separator);
    FUZZ_CHECK(newBid.ok());
    const double pips = newBid.value * 10000.0;
    FUZZ_CHECK(std::fabs(pips - std::nearbyint(pips)) < 1e-6 && std::fabs(pips) <= 32768.0);

    const auto spread = textToWhole(board.text(Field::spread(leg)), separator);
    const auto newAsk = textToSingle(board.text(ask), separator);
    FUZZ_CHECK(spread.ok() && newAsk.ok());
    const double expected = newBid.value + spread.value / 10000.0;
    const double tolerance = 2e-7 * std::fabs(newBid.value) + 1e-6 * std::fabs(expected) + 1e-12;
    FUZZ_CHECK(std::fabs(newAsk.value - expected) <= tolerance);

    for (const Field &measure : {buy, sell}) {
        const std::string text = board.text(measure);
        FUZZ_CHECK(textToSingle(text, separator).ok() && textToDouble(text, separator).ok());
        FUZZ_CHECK(text.front() != '+');
    }
}

void checkSpreadStep(const MemoryBoard &board, const Texts &before, int leg, Direction direction,
                     const std::optional<Failure> &failure, std::string_view separator)
{
    const Texts after = snapshot(board);
    if (failure) {
        checkChangedOnly(before, after, {});
        return;
    }
    checkChangedOnly(before, after, {Field::spread(leg)});
    const auto old = textToWhole(before[6 + static_cast<std::size_t>(leg - 1)], separator);
    const auto now = textToWhole(board.text(Field::spread(leg)), separator);
    FUZZ_CHECK(old.ok() && now.ok() && now.value == old.value + signOf(direction));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::string separator = in.ConsumeBool() ? "," : ".";
    MemoryBoard board;
    while (in.remaining_bytes() > 0) {
        const int op = in.ConsumeIntegralInRange(0, 3);
        if (op == 0) {
            const Field field = allFields[in.ConsumeIntegralInRange<std::size_t>(0, allFields.size() - 1)];
            const std::string text = in.ConsumeBool() ? in.ConsumeRandomLengthString(40)
                                                      : std::string(in.PickValueInArray(interesting));
            board.type(field, text);
            continue;
        }
        const int leg = in.ConsumeIntegralInRange(1, 3);
        const Direction direction = in.ConsumeBool() ? Direction::Up : Direction::Down;
        const Texts before = snapshot(board);
        if (op == 3) {
            checkSpreadStep(board, before, leg, direction, spreadStep(board, leg, direction, separator),
                            separator);
        } else {
            checkRateStep(board, before, leg, rateStep(board, leg, direction, separator), separator);
        }
    }
    return 0;
}
