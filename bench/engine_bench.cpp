// The engine without widgets: every number-text rule, both measures, and whole steps on a
// board whose measure writes run the indicator, as the window's do.
#include "indicator.h"
#include "measures.h"
#include "numbertext.h"
#include "stepping.h"

#include <benchmark/benchmark.h>

#include <array>

using namespace orbisk;

namespace {

class BenchBoard final : public QuoteBoard {
public:
    BenchBoard()
    {
        const char *initial[] = {"1.6364", "0.7225", "1.1826", "1.6369", "0.7230", "1.1831",
                                 "5",      "5",      "5",      "",       ""};
        for (std::size_t i = 0; i < m_texts.size(); ++i)
            m_texts[i] = initial[i];
    }
    [[nodiscard]] std::string text(Field field) const override { return m_texts[slot(field)]; }
    void setText(Field field, const std::string &text) override
    {
        m_texts[slot(field)] = text;
        if (field.kind == Field::Kind::BuySideMeasure || field.kind == Field::Kind::SellSideMeasure) {
            const Measure changed =
                field.kind == Field::Kind::BuySideMeasure ? Measure::BuySide : Measure::SellSide;
            indication = evaluateIndicator(changed, m_texts[9], m_texts[10], ".");
        }
    }
    Indication indication;

private:
    static std::size_t slot(Field field)
    {
        switch (field.kind) {
        case Field::Kind::BuySideMeasure:
            return 9;
        case Field::Kind::SellSideMeasure:
            return 10;
        default:
            return static_cast<std::size_t>(field.kind) * 3 + static_cast<std::size_t>(field.leg - 1);
        }
    }
    std::array<std::string, 11> m_texts;
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
template <std::optional<Failure> (*Step)(QuoteBoard &, int, int, std::string_view)>
void stepInTurn(benchmark::State &state)
{
    BenchBoard board;
    int direction = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Step(board, 1, direction, "."));
        direction = -direction;
    }
}
// Bid, ask, both measures and both indicator evaluations.
BENCHMARK(stepInTurn<orbisk::rateStep>)->Name("rateStep");
BENCHMARK(stepInTurn<orbisk::spreadStep>)->Name("spreadStep");

} // namespace

BENCHMARK_MAIN();
