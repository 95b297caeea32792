// Conversions between field texts and numbers.
//
// Every quote, spread and measure lives in the window as text; these rules are the only way
// the program turns such text into numbers and back. They never consult the C library's
// locale: the number format is always passed in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace orbisk {

enum class NumberError { None, Conversion, Overflow };

template <typename T> struct Converted {
    T value{};
    NumberError error = NumberError::None;

    [[nodiscard]] bool ok() const { return error == NumberError::None; }
};

using PipCount = std::int16_t;

// A blank around a number, or around a settings value: space or tab.
constexpr bool isBlank(int c)
{
    return c == ' ' || c == '\t';
}

// How the user's locale writes numbers: its decimal separator ("." is read as well), no digit
// grouping. Made from the separator alone.
struct NumberFormat {
    std::string decimalSeparator = ".";

    NumberFormat() = default;
    template <typename Text,
              typename = std::enable_if_t<std::is_convertible_v<const Text &, std::string_view>>>
    NumberFormat(const Text &separator) // NOLINT(google-explicit-constructor): a separator is a format
        : decimalSeparator(std::string_view(separator))
    {
    }
};

// A pip is 0.0001 of a quote for every leg; the factor is held in single precision.
constexpr float pipsPerUnit = 10000.0F;

// Reads an optional sign, decimal digits with at most one decimal separator (the format's
// or "."; at least one digit) and an optional exponent (E or e, optional sign, digits), with
// blanks (space, tab) allowed around it. Anything else, the empty text included, is a
// Conversion error; no grouping, hex, "inf" or "nan". The value is rounded once, straight
// from the decimal text, to the nearest float; a magnitude that rounds past FLT_MAX is an
// Overflow error, one too small for a subnormal gives a zero of the text's sign.
Converted<float> textToSingle(std::string_view text, const NumberFormat &format);

// As textToSingle, to the nearest double.
Converted<double> textToDouble(std::string_view text, const NumberFormat &format);

// Reads the text as textToDouble, then rounds to the nearest whole number, exact halves to
// the even neighbour. A result outside -32768..32767 is an Overflow error.
Converted<PipCount> textToWhole(std::string_view text, const NumberFormat &format);

// Rounds to the nearest whole number, exact halves to the even neighbour, independent of the
// floating-point rounding mode. Outside -32768..32767 (or not finite): Overflow error.
Converted<PipCount> pipRound(double value);

// The C library's "%.7G" of the value, with the format's separator and zero always "0".
// Non-finite values, which no rule produces, are written "INF", "-INF" or "NAN".
std::string singleToText(float value, const NumberFormat &format);

// The C library's "%.15G" of the value, with the format's separator and zero always "0".
std::string doubleToText(double value, const NumberFormat &format);

// Plain decimal digits, "-" before a negative value.
std::string wholeToText(PipCount value);

} // namespace orbisk
