// Why a step stopped, in terms the user can act on.
#pragma once

#include "quoteboard.h"

#include <string>
#include <string_view>

namespace orbisk {

struct Failure {
    enum class Action { RateStep, SpreadStep, BuySideMeasure, SellSideMeasure };
    enum class Problem {
        NotANumber,      // the field's text is not a number
        TooLarge,        // the field's number is beyond what its field can hold
        BidNotSteppable, // the stepped bid has no 16-bit pip count
        SpreadAtLimit,   // the stepped spread leaves the 16-bit range
        ResultTooLarge,  // the measure's arithmetic leaves the single-precision range
    };

    Action action;
    Problem problem;
    Field field;
    std::string text;  // the offending field text, as found
    int leg = 0;       // the leg whose button was pressed
    int direction = 0; // -1 or +1
};

// One or two plain sentences naming the leg, the field and the offending text or the allowed
// range (written with the given separator); for a failed measure it adds that the new quotes
// stay written.
std::string describe(const Failure &failure, std::string_view separator);

} // namespace orbisk
