// Why a step or a measure stopped: data for the shell to put into words.
#pragma once

#include "engine/numbertext.h"
#include "engine/quoteboard.h"

#include <string>
#include <variant>

namespace orbisk {

// A field whose text could not be read as its rule requires, and that text as found.
struct UnreadableText {
    enum class Problem {
        NotANumber, // not a number under the rule (empty included)
        TooLarge,   // a number beyond the rule's range
    };

    Field field;
    std::string text;
    Problem problem;

    friend bool operator==(const UnreadableText &, const UnreadableText &) = default;
};

// The problem a failed conversion of a field's text is.
constexpr UnreadableText::Problem problemOf(NumberError error)
{
    return error == NumberError::Overflow ? UnreadableText::Problem::TooLarge
                                          : UnreadableText::Problem::NotANumber;
}

// The stepped bid has no 16-bit pip count.
struct BidNotSteppable {
    std::string bidText;

    friend bool operator==(const BidNotSteppable &, const BidNotSteppable &) = default;
};

// The stepped spread would leave the 16-bit range.
struct SpreadAtLimit {
    PipCount spread;

    friend bool operator==(const SpreadAtLimit &, const SpreadAtLimit &) = default;
};

// The measure's arithmetic leaves the single-precision range.
struct ResultTooLarge {
    friend bool operator==(const ResultTooLarge &, const ResultTooLarge &) = default;
};

// The leg's bid or spread could not be read, or the bid cannot be stepped.
struct RateStepFailure {
    int leg;
    Direction direction;
    std::variant<UnreadableText, BidNotSteppable> cause;

    friend bool operator==(const RateStepFailure &, const RateStepFailure &) = default;
};

struct SpreadStepFailure {
    int leg;
    Direction direction;
    std::variant<UnreadableText, SpreadAtLimit> cause;

    friend bool operator==(const SpreadStepFailure &, const SpreadStepFailure &) = default;
};

// A measure a rate step of the leg computes: a quote it reads, or its result.
struct MeasureFailure {
    Measure measure;
    int leg;
    std::variant<UnreadableText, ResultTooLarge> cause;

    friend bool operator==(const MeasureFailure &, const MeasureFailure &) = default;
};

using Failure = std::variant<RateStepFailure, SpreadStepFailure, MeasureFailure>;

} // namespace orbisk
