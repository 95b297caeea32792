// Single to text against the C library ("%.7G", correctly rounded in the "C" locale) for every
// finite float. Not part of the test suite: it takes minutes. Reading is fuzzed against the C
// library instead (tests/fuzz/numbertext_fuzz.cpp).
#include "engine/numbertext.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

int main()
{
    std::uint64_t checked = 0, mismatches = 0;
    char expected[64];
    for (std::uint64_t bits = 0; bits < (std::uint64_t{1} << 32); ++bits) {
        const auto value = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
        if (!std::isfinite(value))
            continue;
        std::snprintf(expected, sizeof expected, "%.7G", static_cast<double>(value));
        const std::string ours = orbisk::singleToText(value, ".");
        if (value == 0.0F ? ours != "0" : ours != expected) {
            if (++mismatches <= 20)
                std::fprintf(stderr, "MISMATCH %llu: %s vs %s\n", static_cast<unsigned long long>(bits),
                             ours.c_str(), expected);
        }
        ++checked;
    }
    std::printf("single to text: %llu finite floats checked, %llu mismatches\n",
                static_cast<unsigned long long>(checked), static_cast<unsigned long long>(mismatches));
    return mismatches == 0 ? 0 : 1;
}
