// Why a step or a measure stopped: data for the shell to put into words.
#pragma once

#include "engine/numbertext.h"
#include "engine/quoteboard.h"

#include <string>

namespace orbisk {

struct Failure {
    enum class Action { RateStep, SpreadStep, ComputeMeasure };
    enum class Problem {
        NotANumber,      // the field's text is not a number
        TooLarge,        // the field's number is beyond what its field can hold
        BidNotSteppable, // the stepped bid has no 16-bit pip count
        SpreadAtLimit,   // the stepped spread leaves the 16-bit range
        ResultTooLarge,  // the measure's arithmetic leaves the single-precision range
    };

    Action action;
    Problem problem;
    Field field;                         // the field that holds the offending text
    std::string text;                    // that text as found; the spread's value for SpreadAtLimit
    int leg = 0;                         // the leg whose button was pressed
    Direction direction = Direction::Up; // the button's direction
    Measure measure = Measure::BuySide;  // for ComputeMeasure: which one
};

// The problem a failed conversion of a field's text is.
constexpr Failure::Problem problemOf(NumberError error)
{
    return error == NumberError::Overflow ? Failure::Problem::TooLarge : Failure::Problem::NotANumber;
}

} // namespace orbisk
