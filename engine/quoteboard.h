// The quote board as the engine sees it: named field texts, nothing else.
//
// The window's fields are the only state, so the engine works on texts through this interface
// and the shell adapts real controls to it. Tests use an in-memory board.
#pragma once

#include <string>

namespace orbisk {

constexpr int legCount = 3;

struct Field {
    enum class Kind { Bid, Ask, Spread, BuySideMeasure, SellSideMeasure };

    Kind kind;
    int leg = 0; // 1..3 for Bid, Ask and Spread; 0 for the two measure fields

    static Field bid(int leg) { return {Kind::Bid, leg}; }
    static Field ask(int leg) { return {Kind::Ask, leg}; }
    static Field spread(int leg) { return {Kind::Spread, leg}; }
    static Field buySideMeasure() { return {Kind::BuySideMeasure, 0}; }
    static Field sellSideMeasure() { return {Kind::SellSideMeasure, 0}; }

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
