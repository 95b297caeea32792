#include "measures.h"

#include <array>
#include <cmath>

namespace orbisk {
namespace {

constexpr float pipsPerUnit = 10000.0F;

Converted<float> toSingle(double value)
{
    const auto rounded = static_cast<float>(value);
    if (!std::isfinite(rounded))
        return {0.0F, NumberError::Overflow};
    return {rounded, NumberError::None};
}

Converted<float> inPips(Converted<float> difference)
{
    if (!difference.ok())
        return difference;
    return toSingle(static_cast<double>(difference.value) * pipsPerUnit);
}

struct Quotes {
    std::array<float, 3> values{};
    std::optional<Failure> failure;
};

Quotes readQuotes(const QuoteBoard &board, const std::array<Field, 3> &fields, Failure::Action action,
                  int leg, std::string_view separator)
{
    Quotes quotes;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::string text = board.text(fields[i]);
        const auto read = textToSingle(text, separator);
        if (!read.ok()) {
            const auto problem = read.error == NumberError::Overflow ? Failure::Problem::TooLarge
                                                                     : Failure::Problem::NotANumber;
            quotes.failure = Failure{action, problem, fields[i], text, leg, 0};
            return quotes;
        }
        quotes.values[i] = read.value;
    }
    return quotes;
}

MeasureText finish(Converted<float> value, Failure::Action action, Field field, int leg,
                   std::string_view separator)
{
    if (!value.ok())
        return {{}, Failure{action, Failure::Problem::ResultTooLarge, field, {}, leg, 0}};
    return {measureText(value.value, separator), std::nullopt};
}

} // namespace

Converted<float> buySideValue(float ask1, float ask2, float bid3)
{
    // The product of two floats is exact in double; only the difference is rounded.
    const double product = static_cast<double>(ask2) * static_cast<double>(ask1);
    return inPips(toSingle(static_cast<double>(bid3) - product));
}

Converted<float> sellSideValue(float bid1, float bid2, float ask3)
{
    const auto product = toSingle(static_cast<double>(bid2) * static_cast<double>(bid1));
    if (!product.ok())
        return product;
    return inPips(toSingle(static_cast<double>(product.value) - static_cast<double>(ask3)));
}

std::string measureText(float value, std::string_view separator)
{
    if (value > 0.0F)
        return singleToText(value, separator);
    std::string text = singleToText(-value, separator);
    text.insert(text.begin(), '-');
    return text;
}

MeasureText get_crossBid(const QuoteBoard &board, int leg, std::string_view separator)
{
    const auto action = Failure::Action::BuySideMeasure;
    const auto q = readQuotes(board, {Field::ask(2), Field::ask(1), Field::bid(3)}, action, leg, separator);
    if (q.failure)
        return {{}, q.failure};
    return finish(buySideValue(q.values[1], q.values[0], q.values[2]), action, Field::buySideMeasure(), leg,
                  separator);
}

MeasureText get_crossAsk(const QuoteBoard &board, int leg, std::string_view separator)
{
    const auto action = Failure::Action::SellSideMeasure;
    const auto q = readQuotes(board, {Field::bid(2), Field::bid(1), Field::ask(3)}, action, leg, separator);
    if (q.failure)
        return {{}, q.failure};
    return finish(sellSideValue(q.values[1], q.values[0], q.values[2]), action, Field::sellSideMeasure(), leg,
                  separator);
}

} // namespace orbisk
