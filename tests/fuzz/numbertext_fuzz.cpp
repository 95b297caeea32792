// Every text-to-number rule against the C library, which reads the same grammar correctly
// rounded, and every number-to-text rule against the C library's general format.
#include "engine/numbertext.h"
#include "fuzz/fuzzcheck.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

using namespace orbisk;

namespace {

// The text as the C library reads it ("C" locale): blanks trimmed, the separator made ".".
std::string cText(std::string_view text, std::string_view separator)
{
    std::string c(text);
    c.erase(0, c.find_first_not_of(" \t"));
    c.erase(c.find_last_not_of(" \t") + 1);
    if (const auto at = c.find(separator); separator != "." && at != std::string::npos)
        c.replace(at, separator.size(), ".");
    return c;
}

template <typename T> std::string cFormat(T value, int precision, std::string_view separator)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*G", precision, static_cast<double>(value));
    std::string text = std::strcmp(buffer, "-0") == 0 ? std::string("0") : std::string(buffer);
    if (const auto at = text.find('.'); at != std::string::npos)
        text.replace(at, 1, separator);
    return text;
}

template <typename T>
void checkAgainstC(const Converted<T> &ours, const std::string &c, T (*reference)(const char *, char **))
{
    char *end = nullptr;
    errno = 0;
    const T expected = reference(c.c_str(), &end);
    FUZZ_CHECK(*end == '\0');
    if (ours.ok())
        FUZZ_CHECK(std::memcmp(&ours.value, &expected, sizeof expected) == 0);
    else
        FUZZ_CHECK(std::isinf(expected));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    static constexpr std::string_view separators[] = {".", ",", "\xD9\xAB"};
    const std::string_view separator = separators[data[0] % 3];
    const std::string_view text(reinterpret_cast<const char *>(data + 1), size - 1);

    const auto single = textToSingle(text, separator);
    const auto dbl = textToDouble(text, separator);
    FUZZ_CHECK((single.error == NumberError::Conversion) == (dbl.error == NumberError::Conversion));
    if (dbl.error == NumberError::Conversion)
        return 0;

    const std::string c = cText(text, separator);
    checkAgainstC<float>(single, c, std::strtof);
    checkAgainstC<double>(dbl, c, std::strtod);

    const auto whole = textToWhole(text, separator);
    if (dbl.ok()) {
        const double rounded = std::nearbyint(dbl.value); // default mode: halves to even
        FUZZ_CHECK(whole.ok() == (rounded >= -32768.0 && rounded <= 32767.0));
        if (whole.ok())
            FUZZ_CHECK(whole.value == rounded);
        FUZZ_CHECK(cFormat(dbl.value, 15, separator) == doubleToText(dbl.value, separator));
        FUZZ_CHECK(textToDouble(doubleToText(dbl.value, separator), separator).ok());
    }
    if (single.ok()) {
        const std::string written = singleToText(single.value, separator);
        FUZZ_CHECK(cFormat(single.value, 7, separator) == written);
        FUZZ_CHECK(textToSingle(written, separator).ok());
    }
    return 0;
}
