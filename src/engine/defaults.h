// The legs and quotes the program starts with when no settings say otherwise.
#pragma once

#include <array>
#include <string_view>

namespace orbisk {

struct LegDefaults {
    std::string_view name;
    std::string_view bid;
    std::string_view ask;
};

// Leg 3 is the cross of legs 1 and 2.
constexpr std::array<LegDefaults, 3> defaultLegs = {{
    {"GBP/USD", "1.6364", "1.6369"},
    {"EUR/GBP", "0.7225", "0.7230"},
    {"EUR/USD", "1.1826", "1.1831"},
}};

// Every start begins with this spread on each leg; spreads are never stored.
constexpr std::string_view defaultSpread = "5";

} // namespace orbisk
