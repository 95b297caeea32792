// The engine without widgets: every number-text rule, both measures, and whole steps on a
// board whose measure writes run the indicator, as the window's do.
#include "engine/indicator.h"
#include "engine/measures.h"
#include "engine/numbertext.h"
#include "engine/stepping.h"
#include "support/memoryboard.h"

#include <benchmark/benchmark.h>

#include <array>

using namespace orbisk;

namespace {

// The in-memory board with the window's indicator evaluation after each measure write, and no
// growing log.
struct BenchBoard : MemoryBoard {
    BenchBoard()
    {
        afterWrite = [this](Field field) {
            writes.clear();
            if (field.kind == Field::Kind::Measure)
                indication = evaluateIndicator(field.measure, text(Field::measureOf(Measure::BuySide)),
                                               text(Field::measureOf(Measure::SellSide)), ".");
        };
    }
    Indication indication = Indication::Wait;
};

void textToSingle(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(orbisk::textToSingle("1.6364", "."));
}
BENCHMARK(textToSingle);

void textToDouble(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(orbisk::textToDouble("-8.786247", "."));
}
BENCHMARK(textToDouble);

void textToWhole(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(orbisk::textToWhole("-32768", "."));
}
BENCHMARK(textToWhole);

void pipRound(benchmark::State &state)
{
    double value = 16364.5;
    for (auto _ : state) {
        benchmark::DoNotOptimize(value);
        benchmark::DoNotOptimize(orbisk::pipRound(value));
    }
}
BENCHMARK(pipRound);

void singleToText(benchmark::State &state)
{
    float value = -8.786247F;
    for (auto _ : state) {
        benchmark::DoNotOptimize(value);
        benchmark::DoNotOptimize(orbisk::singleToText(value, "."));
    }
}
BENCHMARK(singleToText);

void doubleToText(benchmark::State &state)
{
    double value = 16365 / 10000.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(value);
        benchmark::DoNotOptimize(orbisk::doubleToText(value, "."));
    }
}
BENCHMARK(doubleToText);

void wholeToText(benchmark::State &state)
{
    PipCount value = -32768;
    for (auto _ : state) {
        benchmark::DoNotOptimize(value);
        benchmark::DoNotOptimize(orbisk::wholeToText(value));
    }
}
BENCHMARK(wholeToText);

void buySideMeasure(benchmark::State &state)
{
    const BenchBoard board;
    for (auto _ : state)
        benchmark::DoNotOptimize(get_crossBid(board, 1, "."));
}
BENCHMARK(buySideMeasure);

void sellSideMeasure(benchmark::State &state)
{
    const BenchBoard board;
    for (auto _ : state)
        benchmark::DoNotOptimize(get_crossAsk(board, 1, "."));
}
BENCHMARK(sellSideMeasure);

// Steps up and down in turn, so that the board stays where it started.
template <std::optional<Failure> (*Step)(QuoteBoard &, int, Direction, const NumberFormat &)>
void stepInTurn(benchmark::State &state)
{
    BenchBoard board;
    Direction direction = Direction::Up;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Step(board, 1, direction, "."));
        direction = direction == Direction::Up ? Direction::Down : Direction::Up;
    }
}
// Bid, ask, both measures and both indicator evaluations.
BENCHMARK(stepInTurn<orbisk::rateStep>)->Name("rateStep");
BENCHMARK(stepInTurn<orbisk::spreadStep>)->Name("spreadStep");

} // namespace

BENCHMARK_MAIN();
