// Exhaustive and large-sample checks of the number-text rules against the C library, which
// formats and reads correctly rounded in the "C" locale. Not part of the test suite: it takes
// minutes. Usage: exhaustive_check [texts-to-read]   (default 50000000)
#include "engine/numbertext.h"

#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace orbisk;

namespace {

std::atomic<std::uint64_t> failures{0};

void report(const std::string &what)
{
    if (failures.fetch_add(1) < 20)
        std::fprintf(stderr, "MISMATCH %s\n", what.c_str());
}

// singleToText against "%.7G" for every bit pattern in [first, last).
std::uint64_t formatRange(std::uint64_t first, std::uint64_t last)
{
    std::uint64_t checked = 0;
    char expected[64];
    for (std::uint64_t bits = first; bits < last; ++bits) {
        const auto value = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
        if (!std::isfinite(value))
            continue;
        std::snprintf(expected, sizeof expected, "%.7G", static_cast<double>(value));
        const std::string ours = singleToText(value, ".");
        const bool zero = value == 0.0F;
        if (zero ? ours != "0" : ours != expected)
            report("format " + std::to_string(bits) + ": " + ours + " vs " + expected);
        ++checked;
    }
    return checked;
}

// A random text the grammar accepts, often near the interesting places of the float range.
std::string randomText(std::mt19937_64 &random, bool comma)
{
    std::uniform_int_distribution<int> pick(0, 99);
    const char *separator = comma ? "," : ".";
    char buffer[128];
    const int kind = pick(random);
    if (kind < 30) {
        // A halfway point between two neighbouring floats, exactly or a hair either side.
        const auto f = std::bit_cast<float>(static_cast<std::uint32_t>(random() % 0x7F7FFFFFu));
        const double middle = (static_cast<double>(f) + static_cast<double>(std::nextafter(f, INFINITY))) / 2;
        std::snprintf(buffer, sizeof buffer, "%.40e", middle); // exact: a double has a finite expansion
        std::string text = buffer;
        const auto e = text.find('e');
        const int nudge = pick(random) % 3;
        if (nudge == 1)
            text.insert(e, "0000000001");
        else if (nudge == 2) {
            // just below: lower the last non-zero digit of the mantissa and pad with nines
            auto last = text.find_last_not_of('0', e - 1);
            if (text[last] != '.' && text[last] > '0') {
                text[last] = static_cast<char>(text[last] - 1);
                text.insert(e, "9999999999");
            }
        }
        text.replace(text.find('.'), 1, separator);
        return (pick(random) < 50 ? "-" : "") + text;
    }
    if (kind < 40) {
        // Near the largest float and the smallest subnormal.
        const double edges[] = {3.4028234663852886e38, 3.4028235677973366e38, 1.401298464324817e-45,
                                7.006492321624085e-46, 1.1754943508222875e-38};
        const double edge = edges[random() % 5] * (1 + (static_cast<double>(pick(random)) - 50) * 1e-9);
        std::snprintf(buffer, sizeof buffer, "%.*e", pick(random) % 20, edge);
        std::string text = buffer;
        if (const auto at = text.find('.'); at != std::string::npos)
            text.replace(at, 1, separator);
        return text;
    }
    // Random digits, separator, exponent and sign.
    std::string text;
    if (pick(random) < 20)
        text += pick(random) < 50 ? '-' : '+';
    const int digits = 1 + pick(random) % 25;
    const int point = pick(random) % (digits + 2) - 1;
    for (int i = 0; i < digits; ++i) {
        if (i == point)
            text += separator;
        text += static_cast<char>('0' + pick(random) % 10);
    }
    if (pick(random) < 50) {
        text += pick(random) < 50 ? 'e' : 'E';
        text += std::to_string(pick(random) % 100 - 55);
    }
    return text;
}

std::uint64_t readSample(std::uint64_t count, std::uint64_t seed)
{
    std::mt19937_64 random(seed);
    for (std::uint64_t i = 0; i < count; ++i) {
        const bool comma = (i & 1) != 0;
        const std::string text = randomText(random, comma);
        std::string c = text;
        if (const auto at = c.find(','); at != std::string::npos)
            c[at] = '.';
        errno = 0;
        char *end = nullptr;
        const float expected = std::strtof(c.c_str(), &end);
        const auto ours = textToSingle(text, comma ? "," : ".");
        const bool agree =
            ours.ok() ? std::bit_cast<std::uint32_t>(ours.value) == std::bit_cast<std::uint32_t>(expected)
                      : ours.error == NumberError::Overflow && std::isinf(expected);
        if (*end != '\0' || !agree)
            report("read \"" + text + "\"");
    }
    return count;
}

template <typename Work> std::uint64_t onAllCores(Work work)
{
    const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
    std::vector<std::thread> threads;
    std::vector<std::uint64_t> counts(cores);
    for (unsigned i = 0; i < cores; ++i)
        threads.emplace_back([&, i] { counts[i] = work(i, cores); });
    for (auto &thread : threads)
        thread.join();
    std::uint64_t total = 0;
    for (const auto count : counts)
        total += count;
    return total;
}

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main(int argc, char *argv[])
{
    const std::uint64_t texts = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 50'000'000;

    auto start = std::chrono::steady_clock::now();
    const std::uint64_t formatted = onAllCores([](unsigned part, unsigned parts) {
        const std::uint64_t span = (std::uint64_t{1} << 32) / parts;
        return formatRange(part * span, part + 1 == parts ? std::uint64_t{1} << 32 : (part + 1) * span);
    });
    std::printf("single to text: %llu finite floats checked in %.0f s\n",
                static_cast<unsigned long long>(formatted), seconds(start));

    start = std::chrono::steady_clock::now();
    const std::uint64_t read = onAllCores(
        [texts](unsigned part, unsigned parts) { return readSample(texts / parts, 0x5EED + part); });
    std::printf("text to single: %llu texts checked in %.0f s\n", static_cast<unsigned long long>(read),
                seconds(start));

    std::printf("%llu mismatches\n", static_cast<unsigned long long>(failures.load()));
    return failures.load() == 0 ? 0 : 1;
}
