#include "engine/numbertext.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace orbisk {
namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// A number text checked against the grammar and rewritten for std::from_chars, which knows
// only "." and no leading "+".
struct Normalized {
    std::string text;
    bool negative = false;
    // Rough decimal exponent of the leading non-zero digit; enough to tell an underflow from
    // an overflow, which lie hundreds of decades apart.
    long long magnitude = 0;
};

bool normalize(std::string_view text, std::string_view separator, Normalized &out)
{
    text = trimBlanks(text);
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        out.negative = text[i] == '-';
        if (out.negative)
            out.text += '-';
        ++i;
    }

    long long integerDigits = 0;
    long long leadingZeros = 0; // zeros before the first non-zero digit, after the separator
    bool seenNonZero = false;
    bool seenPoint = false;
    std::size_t digits = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (isDigit(c)) {
            out.text += c;
            ++digits;
            if (c != '0')
                seenNonZero = true;
            if (!seenPoint && seenNonZero)
                ++integerDigits;
            else if (seenPoint && !seenNonZero)
                ++leadingZeros;
            ++i;
        } else if (!seenPoint && !separator.empty() && text.substr(i).starts_with(separator)) {
            out.text += '.';
            seenPoint = true;
            i += separator.size();
        } else if (!seenPoint && c == '.') {
            out.text += '.';
            seenPoint = true;
            ++i;
        } else {
            break;
        }
    }
    if (digits == 0)
        return false;

    long long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        out.text += 'e';
        ++i;
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            negativeExponent = text[i] == '-';
            if (negativeExponent)
                out.text += '-';
            ++i;
        }
        const std::size_t start = i;
        constexpr long long saturation = 1'000'000'000;
        while (i < text.size() && isDigit(text[i])) {
            out.text += text[i];
            if (exponent < saturation)
                exponent = exponent * 10 + (text[i] - '0');
            ++i;
        }
        if (i == start)
            return false;
        if (negativeExponent)
            exponent = -exponent;
    }
    if (i != text.size())
        return false;

    out.magnitude = exponent + (integerDigits > 0 ? integerDigits - 1 : -leadingZeros - 1);
    return true;
}

template <typename T> Converted<T> textToFloating(std::string_view text, std::string_view separator)
{
    Normalized n;
    if (!normalize(text, separator, n))
        return {T{}, NumberError::Conversion};
    T value{};
    const char *first = n.text.data();
    const char *last = first + n.text.size();
    const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // from_chars reports a value that rounds to zero the same way as one that rounds past
        // the largest finite value; only the latter is out of range for us.
        if (n.magnitude < 0)
            return {n.negative ? -T{} : T{}, NumberError::None};
        return {T{}, NumberError::Overflow};
    }
    if (ec != std::errc{} || end != last)
        return {T{}, NumberError::Conversion};
    return {value, NumberError::None};
}

template <typename T> std::string formatGeneral(T value, int precision, std::string_view separator)
{
    if (value == T{})
        return "0";
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::general, precision);
    std::string text;
    for (const char *p = buffer.data(); p != result.ptr; ++p) {
        if (*p == '.')
            text += separator;
        else
            text += static_cast<char>(*p >= 'a' && *p <= 'z' ? *p - 'a' + 'A' : *p);
    }
    return text;
}

} // namespace

Converted<float> textToSingle(std::string_view text, const NumberFormat &format)
{
    return textToFloating<float>(text, format.decimalSeparator);
}

Converted<double> textToDouble(std::string_view text, const NumberFormat &format)
{
    return textToFloating<double>(text, format.decimalSeparator);
}

Converted<PipCount> textToWhole(std::string_view text, const NumberFormat &format)
{
    const auto read = textToDouble(text, format);
    if (!read.ok())
        return {0, read.error};
    return pipRound(read.value);
}

Converted<PipCount> pipRound(double value)
{
    if (!std::isfinite(value))
        return {0, NumberError::Overflow};
    double whole = std::floor(value);
    const double fraction = value - whole; // exact for every double
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0))
        whole += 1.0;
    if (whole < std::numeric_limits<PipCount>::min() || whole > std::numeric_limits<PipCount>::max())
        return {0, NumberError::Overflow};
    return {static_cast<PipCount>(whole), NumberError::None};
}

std::string singleToText(float value, const NumberFormat &format)
{
    return formatGeneral(value, 7, format.decimalSeparator);
}

std::string doubleToText(double value, const NumberFormat &format)
{
    return formatGeneral(value, 15, format.decimalSeparator);
}

std::string wholeToText(PipCount value)
{
    return std::to_string(value);
}

} // namespace orbisk
