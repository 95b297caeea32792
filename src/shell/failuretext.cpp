#include "shell/failuretext.h"

#include "engine/numbertext.h"

#include <limits>

namespace orbisk {
namespace {

template <typename... Ts> struct Overloaded : Ts... {
    using Ts::operator()...;
};
// Clang deduces an aggregate's template arguments only from version 17 on.
template <typename... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;

constexpr PipCount lowestPips = std::numeric_limits<PipCount>::min();
constexpr PipCount highestPips = std::numeric_limits<PipCount>::max();

// A pasted megabyte must not become a megabyte-wide message box.
QString quoted(const std::string &text)
{
    constexpr std::size_t shown = 40;
    if (text.size() <= shown)
        return u'"' + QString::fromStdString(text) + u'"';
    std::size_t cut = shown;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut; // never split a UTF-8 sequence
    return FailureText::tr("\"%1...\" (%2 bytes)")
        .arg(QString::fromStdString(text.substr(0, cut)))
        .arg(text.size());
}

QString fieldName(Field field)
{
    switch (field.kind) {
    case Field::Kind::Bid:
        return FailureText::tr("the bid of leg %1").arg(field.leg);
    case Field::Kind::Ask:
        return FailureText::tr("the ask of leg %1").arg(field.leg);
    case Field::Kind::Spread:
        return FailureText::tr("the spread of leg %1").arg(field.leg);
    case Field::Kind::Measure:
        break; // no failure names a measure field
    }
    return {};
}

QString reason(const UnreadableText &bad)
{
    const QString name = fieldName(bad.field);
    const bool spread = bad.field.kind == Field::Kind::Spread;
    if (bad.problem == UnreadableText::Problem::TooLarge) {
        if (spread)
            return FailureText::tr("%1, %2, lies outside %3 to %4 pips.")
                .arg(name, quoted(bad.text))
                .arg(lowestPips)
                .arg(highestPips);
        return FailureText::tr("%1, %2, is too large for a quote.").arg(name, quoted(bad.text));
    }
    if (bad.text.find_first_not_of(" \t") == std::string::npos)
        return FailureText::tr("%1 is empty.").arg(name);
    return (spread ? FailureText::tr("%1, %2, is not a whole number of pips.")
                   : FailureText::tr("%1, %2, is not a number."))
        .arg(name, quoted(bad.text));
}

QString reason(const BidNotSteppable &bad, int leg, const NumberFormat &format)
{
    const auto quote = [&](PipCount pips) {
        return QString::fromStdString(doubleToText(pips / static_cast<double>(pipsPerUnit), format));
    };
    return FailureText::tr("%1, %2, would leave the range of %3 to %4 in which a bid can be stepped.")
        .arg(fieldName(Field::bid(leg)), quoted(bad.bidText), quote(lowestPips), quote(highestPips));
}

QString reason(const SpreadAtLimit &limit, Direction direction)
{
    return (direction == Direction::Down ? FailureText::tr("it is already %1 pips, the narrowest it can be.")
                                         : FailureText::tr("it is already %1 pips, the widest it can be."))
        .arg(limit.spread);
}

QString describeRate(const RateStepFailure &f, const NumberFormat &format)
{
    const QString head = f.direction == Direction::Down ? FailureText::tr("Leg %1 cannot be stepped down: %2")
                                                        : FailureText::tr("Leg %1 cannot be stepped up: %2");
    return head.arg(f.leg).arg(
        std::visit(Overloaded{[](const UnreadableText &bad) { return reason(bad); },
                              [&](const BidNotSteppable &bad) { return reason(bad, f.leg, format); }},
                   f.cause));
}

QString describeSpread(const SpreadStepFailure &f)
{
    const QString head = f.direction == Direction::Down
                             ? FailureText::tr("The spread of leg %1 cannot be narrowed: %2")
                             : FailureText::tr("The spread of leg %1 cannot be widened: %2");
    return head.arg(f.leg).arg(
        std::visit(Overloaded{[](const UnreadableText &bad) { return reason(bad); },
                              [&](const SpreadAtLimit &limit) { return reason(limit, f.direction); }},
                   f.cause));
}

QString describeMeasure(const MeasureFailure &f)
{
    const bool buySide = f.measure == Measure::BuySide;
    const QString head = buySide ? FailureText::tr("The buy-side measure cannot be computed: %1")
                                 : FailureText::tr("The sell-side measure cannot be computed: %1");
    const QString cause = std::visit(
        Overloaded{[](const UnreadableText &bad) { return reason(bad); },
                   [](const ResultTooLarge &) {
                       return FailureText::tr(
                           "the quotes give a result beyond the range of single-precision numbers.");
                   }},
        f.cause);
    // The step wrote the new quotes, and the buy-side measure before the sell-side one.
    const QString kept =
        buySide ? FailureText::tr("The new bid and ask of leg %1 stay as written.")
                : FailureText::tr("The new bid and ask of leg %1 and the buy-side measure stay as written.");
    return head.arg(cause) + u' ' + kept.arg(f.leg);
}

} // namespace

QString FailureText::describe(const Failure &failure, const NumberFormat &format)
{
    return std::visit(Overloaded{[&](const RateStepFailure &f) { return describeRate(f, format); },
                                 [](const SpreadStepFailure &f) { return describeSpread(f); },
                                 [](const MeasureFailure &f) { return describeMeasure(f); }},
                      failure);
}

} // namespace orbisk
