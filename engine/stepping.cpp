#include "stepping.h"

#include "measures.h"
#include "numbertext.h"

namespace orbisk {
namespace {

constexpr double pipsPerUnit = 10000.0;

Failure::Problem problemOf(NumberError error)
{
    return error == NumberError::Overflow ? Failure::Problem::TooLarge : Failure::Problem::NotANumber;
}

} // namespace

std::optional<Failure> rateStep(QuoteBoard &board, int leg, int direction, std::string_view separator)
{
    const auto action = Failure::Action::RateStep;
    const Field bidField = Field::bid(leg);
    const Field spreadField = Field::spread(leg);

    const std::string bidText = board.text(bidField);
    const auto bid = textToSingle(bidText, separator);
    if (!bid.ok())
        return Failure{action, problemOf(bid.error), bidField, bidText, leg, direction};
    // Exact in double: a float times 10000 needs at most 38 significant bits.
    const auto pips = pipRound(static_cast<double>(bid.value) * pipsPerUnit + direction);
    if (!pips.ok())
        return Failure{action, Failure::Problem::BidNotSteppable, bidField, bidText, leg, direction};
    board.setText(bidField, doubleToText(pips.value / pipsPerUnit, separator));

    // The ask follows the bid text as written, not the pip count.
    const std::string spreadText = board.text(spreadField);
    const std::string newBidText = board.text(bidField);
    const auto newBid = textToSingle(newBidText, separator);
    if (!newBid.ok())
        return Failure{action, problemOf(newBid.error), bidField, newBidText, leg, direction};
    const auto bidPips = static_cast<float>(static_cast<double>(newBid.value) * pipsPerUnit);
    const auto spread = textToWhole(spreadText, separator);
    if (!spread.ok())
        return Failure{action, problemOf(spread.error), spreadField, spreadText, leg, direction};
    const auto ask = static_cast<float>((static_cast<double>(bidPips) + spread.value) / pipsPerUnit);
    board.setText(Field::ask(leg), singleToText(ask, separator));

    const auto buySide = get_crossBid(board, leg, separator);
    if (!buySide.ok())
        return buySide.failure;
    board.setText(Field::buySideMeasure(), buySide.text);

    const auto sellSide = get_crossAsk(board, leg, separator);
    if (!sellSide.ok())
        return sellSide.failure;
    board.setText(Field::sellSideMeasure(), sellSide.text);
    return std::nullopt;
}

std::optional<Failure> spreadStep(QuoteBoard &board, int leg, int direction, std::string_view separator)
{
    const auto action = Failure::Action::SpreadStep;
    const Field field = Field::spread(leg);
    const std::string text = board.text(field);
    const auto spread = textToWhole(text, separator);
    if (!spread.ok())
        return Failure{action, problemOf(spread.error), field, text, leg, direction};
    const auto stepped = pipRound(static_cast<double>(spread.value) + direction);
    if (!stepped.ok())
        return Failure{action,   Failure::Problem::SpreadAtLimit, field, wholeToText(spread.value), leg,
                       direction};
    board.setText(field, wholeToText(stepped.value));
    return std::nullopt;
}

} // namespace orbisk
