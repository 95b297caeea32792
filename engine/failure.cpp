#include "failure.h"

#include "numbertext.h"

namespace orbisk {
namespace {

std::string subject(const Field &field)
{
    const std::string leg = std::to_string(field.leg);
    switch (field.kind) {
    case Field::Kind::Bid:
        return "the bid of leg " + leg;
    case Field::Kind::Ask:
        return "the ask of leg " + leg;
    case Field::Kind::Spread:
        return "the spread of leg " + leg;
    case Field::Kind::BuySideMeasure:
        return "the buy-side measure";
    case Field::Kind::SellSideMeasure:
        return "the sell-side measure";
    }
    return {};
}

// A pasted megabyte must not become a megabyte-wide message box.
std::string quoted(const std::string &text)
{
    constexpr std::size_t shown = 40;
    if (text.size() <= shown)
        return '"' + text + '"';
    std::size_t cut = shown;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut; // never split a UTF-8 sequence
    return '"' + text.substr(0, cut) + "...\" (" + std::to_string(text.size()) + " bytes)";
}

std::string head(const Failure &f)
{
    const std::string leg = std::to_string(f.leg);
    switch (f.action) {
    case Failure::Action::RateStep:
        return "Leg " + leg + " cannot be stepped " + (f.direction < 0 ? "down" : "up") + ": ";
    case Failure::Action::SpreadStep:
        return "The spread of leg " + leg + " cannot be " + (f.direction < 0 ? "narrowed" : "widened") + ": ";
    case Failure::Action::BuySideMeasure:
        return "The buy-side measure cannot be computed: ";
    case Failure::Action::SellSideMeasure:
        return "The sell-side measure cannot be computed: ";
    }
    return {};
}

std::string reason(const Failure &f, std::string_view separator)
{
    const bool spread = f.field.kind == Field::Kind::Spread;
    switch (f.problem) {
    case Failure::Problem::NotANumber:
        if (f.text.find_first_not_of(" \t") == std::string::npos)
            return subject(f.field) + " is empty.";
        return subject(f.field) + ", " + quoted(f.text) + ", is not " +
               (spread ? "a whole number of pips." : "a number.");
    case Failure::Problem::TooLarge:
        return subject(f.field) + ", " + quoted(f.text) + ", " +
               (spread ? "lies outside -32768 to 32767 pips." : "is too large for a quote.");
    case Failure::Problem::BidNotSteppable:
        return subject(f.field) + ", " + quoted(f.text) + ", would leave the range of " +
               doubleToText(-3.2768, separator) + " to " + doubleToText(3.2767, separator) +
               " in which a bid can be stepped.";
    case Failure::Problem::SpreadAtLimit:
        return "it is already " + f.text + " pips, the " + (f.direction < 0 ? "narrowest" : "widest") +
               " it can be.";
    case Failure::Problem::ResultTooLarge:
        return "the quotes give a result beyond the range of single-precision numbers.";
    }
    return {};
}

std::string aftermath(const Failure &f)
{
    const std::string kept = " The new bid and ask of leg " + std::to_string(f.leg);
    switch (f.action) {
    case Failure::Action::BuySideMeasure:
        return kept + " stay as written.";
    case Failure::Action::SellSideMeasure:
        return kept + " and the buy-side measure stay as written.";
    case Failure::Action::RateStep:
    case Failure::Action::SpreadStep:
        break;
    }
    return {};
}

} // namespace

std::string describe(const Failure &failure, std::string_view separator)
{
    return head(failure) + reason(failure, separator) + aftermath(failure);
}

} // namespace orbisk
