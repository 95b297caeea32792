// The quote board as the engine sees it: named field texts, nothing else.
//
// The window's fields are the only state, so the engine works on texts through this interface
// and the shell adapts real controls to it.
#pragma once

#include <string>

namespace orbisk {

constexpr int legCount = 3; // legs are numbered 1..legCount

// Which way a stepping button moves its figure, by one pip.
enum class Direction { Down = -1, Up = +1 };

constexpr int signOf(Direction direction)
{
    return static_cast<int>(direction);
}

// The buy-side measure gains from buying legs 1 and 2 and selling leg 3; the sell-side measure
// from the opposite trade.
enum class Measure { BuySide, SellSide };

struct Field {
    enum class Kind { Bid, Ask, Spread, Measure };

    Kind kind;
    int leg = 0;                                // 1..legCount for Bid, Ask and Spread; 0 otherwise
    orbisk::Measure measure = Measure::BuySide; // for Kind::Measure only

    static constexpr Field bid(int leg) { return {Kind::Bid, leg}; }
    static constexpr Field ask(int leg) { return {Kind::Ask, leg}; }
    static constexpr Field spread(int leg) { return {Kind::Spread, leg}; }
    static constexpr Field measureOf(orbisk::Measure which) { return {Kind::Measure, 0, which}; }

    friend bool operator==(const Field &, const Field &) = default;
};

class QuoteBoard {
public:
    virtual ~QuoteBoard() = default;

    // UTF-8 text of the field.
    [[nodiscard]] virtual std::string text(Field field) const = 0;
    // Writes the field at once; a measure field's write runs the indicator before it returns.
    virtual void setText(Field field, const std::string &text) = 0;

protected:
    QuoteBoard() = default;
    QuoteBoard(const QuoteBoard &) = default;
    QuoteBoard &operator=(const QuoteBoard &) = default;
};

} // namespace orbisk
