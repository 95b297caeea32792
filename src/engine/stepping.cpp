#include "engine/stepping.h"

#include "engine/measures.h"
#include "engine/numbertext.h"

namespace orbisk {

std::optional<Failure> rateStep(QuoteBoard &board, int leg, Direction direction, const NumberFormat &format)
{
    const auto unreadable = [&](Field field, std::string text, NumberError error) {
        return RateStepFailure{leg, direction, UnreadableText{field, std::move(text), problemOf(error)}};
    };
    const Field bidField = Field::bid(leg);
    const Field spreadField = Field::spread(leg);

    const std::string bidText = board.text(bidField);
    const auto bid = textToSingle(bidText, format);
    if (!bid.ok())
        return unreadable(bidField, bidText, bid.error);
    // Exact in double: a float times 10000 needs at most 38 significant bits.
    const auto pips = pipRound(static_cast<double>(bid.value) * pipsPerUnit + signOf(direction));
    if (!pips.ok())
        return RateStepFailure{leg, direction, BidNotSteppable{bidText}};
    board.setText(bidField, doubleToText(pips.value / static_cast<double>(pipsPerUnit), format));

    // The ask follows the bid text as written, not the pip count.
    const std::string spreadText = board.text(spreadField);
    const std::string newBidText = board.text(bidField);
    const auto newBid = textToSingle(newBidText, format);
    if (!newBid.ok())
        return unreadable(bidField, newBidText, newBid.error);
    const auto bidPips = static_cast<float>(static_cast<double>(newBid.value) * pipsPerUnit);
    const auto spread = textToWhole(spreadText, format);
    if (!spread.ok())
        return unreadable(spreadField, spreadText, spread.error);
    const auto ask = static_cast<float>((static_cast<double>(bidPips) + spread.value) / pipsPerUnit);
    board.setText(Field::ask(leg), singleToText(ask, format));

    const MeasureText buySide = get_crossBid(board, leg, format);
    if (!buySide.ok())
        return *buySide.failure;
    board.setText(Field::measureOf(Measure::BuySide), buySide.text);

    const MeasureText sellSide = get_crossAsk(board, leg, format);
    if (!sellSide.ok())
        return *sellSide.failure;
    board.setText(Field::measureOf(Measure::SellSide), sellSide.text);
    return std::nullopt;
}

std::optional<Failure> spreadStep(QuoteBoard &board, int leg, Direction direction, const NumberFormat &format)
{
    const Field field = Field::spread(leg);
    const std::string text = board.text(field);
    const auto spread = textToWhole(text, format);
    if (!spread.ok())
        return SpreadStepFailure{leg, direction, UnreadableText{field, text, problemOf(spread.error)}};
    const auto stepped = pipRound(static_cast<double>(spread.value) + signOf(direction));
    if (!stepped.ok())
        return SpreadStepFailure{leg, direction, SpreadAtLimit{spread.value}};
    board.setText(field, wholeToText(stepped.value));
    return std::nullopt;
}

} // namespace orbisk
