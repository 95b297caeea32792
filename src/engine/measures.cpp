#include "engine/measures.h"

#include <cmath>

namespace orbisk {
namespace {

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

// Reads quotes one after the other and keeps the first failure; once one has failed, later
// reads give zero and the measure is never formed.
class QuoteReader {
public:
    QuoteReader(const QuoteBoard &board, Measure measure, int leg, const NumberFormat &format)
        : m_board(board)
        , m_measure(measure)
        , m_leg(leg)
        , m_format(format)
    {
    }

    float read(Field field)
    {
        if (m_failure)
            return 0.0F;
        std::string text = m_board.text(field);
        const auto quote = textToSingle(text, m_format);
        if (!quote.ok())
            m_failure = MeasureFailure{m_measure, m_leg,
                                       UnreadableText{field, std::move(text), problemOf(quote.error)}};
        return quote.value;
    }

    MeasureText finish(Converted<float> value) const
    {
        if (m_failure)
            return {{}, m_failure};
        if (!value.ok())
            return {{}, MeasureFailure{m_measure, m_leg, ResultTooLarge{}}};
        return {measureText(value.value, m_format), std::nullopt};
    }

private:
    const QuoteBoard &m_board;
    Measure m_measure;
    int m_leg;
    const NumberFormat &m_format;
    std::optional<MeasureFailure> m_failure;
};

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

std::string measureText(float value, const NumberFormat &format)
{
    if (value > 0.0F)
        return singleToText(value, format);
    std::string text = singleToText(-value, format);
    text.insert(text.begin(), '-');
    return text;
}

MeasureText get_crossBid(const QuoteBoard &board, int leg, const NumberFormat &format)
{
    QuoteReader quotes(board, Measure::BuySide, leg, format);
    const float ask2 = quotes.read(Field::ask(2));
    const float ask1 = quotes.read(Field::ask(1));
    const float bid3 = quotes.read(Field::bid(3));
    return quotes.finish(buySideValue(ask1, ask2, bid3));
}

MeasureText get_crossAsk(const QuoteBoard &board, int leg, const NumberFormat &format)
{
    QuoteReader quotes(board, Measure::SellSide, leg, format);
    const float bid2 = quotes.read(Field::bid(2));
    const float bid1 = quotes.read(Field::bid(1));
    const float ask3 = quotes.read(Field::ask(3));
    return quotes.finish(sellSideValue(bid1, bid2, ask3));
}

} // namespace orbisk
