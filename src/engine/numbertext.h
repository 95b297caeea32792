// Conversions between field texts and numbers.
//
// Every quote, spread and measure lives in the window as text; these rules are the only way
// the program turns such text into numbers and back. They never consult the C library's
// locale: the decimal separator is always passed in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orbisk {

enum class NumberError { None, Conversion, Overflow };

template <typename T> struct Converted {
    T value{};
    NumberError error = NumberError::None;

    [[nodiscard]] bool ok() const { return error == NumberError::None; }
};

using PipCount = std::int16_t;

// A pip is 0.0001 of a quote for every leg; the factor is held in single precision.
constexpr float pipsPerUnit = 10000.0F;

// Reads an optional sign, decimal digits with at most one decimal separator (the given one
// or "."; at least one digit) and an optional exponent (E or e, optional sign, digits), with
// blanks (space, tab) allowed around it. Anything else, the empty text included, is a
// Conversion error; no grouping, hex, "inf" or "nan". The value is rounded once, straight
// from the decimal text, to the nearest float; a magnitude that rounds past FLT_MAX is an
// Overflow error, one too small for a subnormal gives a zero of the text's sign.
Converted<float> textToSingle(std::string_view text, std::string_view separator);

// As textToSingle, to the nearest double.
Converted<double> textToDouble(std::string_view text, std::string_view separator);

// Reads the text as textToDouble, then rounds to the nearest whole number, exact halves to
// the even neighbour. A result outside -32768..32767 is an Overflow error.
Converted<PipCount> textToWhole(std::string_view text, std::string_view separator);

// Rounds to the nearest whole number, exact halves to the even neighbour, independent of the
// floating-point rounding mode. Outside -32768..32767 (or not finite): Overflow error.
Converted<PipCount> pipRound(double value);

// The C library's "%.7G" of the value, with the given separator and zero always "0".
// Non-finite values, which no rule produces, are written "INF", "-INF" or "NAN".
std::string singleToText(float value, std::string_view separator);

// The C library's "%.15G" of the value, with the given separator and zero always "0".
std::string doubleToText(double value, std::string_view separator);

// Plain decimal digits, "-" before a negative value.
std::string wholeToText(PipCount value);

} // namespace orbisk
