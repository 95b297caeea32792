// Runs a fuzz target in the default suite: over its seed corpus, then over inputs mutated from
// each seed with a fixed seed, so that what the fuzzer checks is checked on every run, in
// seconds. Usage: replay CORPUS [mutations per seed]
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

std::string current; // the input under way, told when a check aborts

void tell(int)
{
    std::fputs("input:", stderr);
    for (const unsigned char c : current)
        std::fprintf(stderr, " %02x", c);
    std::fputs("\n", stderr);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2)
        return 2;
    std::signal(SIGABRT, tell);
    const int mutations = argc > 2 ? std::atoi(argv[2]) : 20000;
    std::mt19937 random(7);
    static const char bytes[] = "0123456789.,eE+- \t\xD9\xAB\xFF";
    int runs = 0;
    for (const auto &entry : std::filesystem::directory_iterator(argv[1])) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string seed{std::istreambuf_iterator<char>(file), {}};
        for (int i = 0; i <= mutations; ++i, ++runs) {
            current = seed;
            // A byte replaced, inserted or removed, up to three times; the first run is the seed.
            for (int change = i == 0 ? 0 : 1 + int(random() % 3); change > 0 && current.size() > 1;
                 --change) {
                const std::size_t at = 1 + random() % (current.size() - 1);
                const char byte = bytes[random() % (sizeof bytes - 1)];
                if (random() % 3 == 0)
                    current.erase(at, 1);
                else if (random() % 2 == 0)
                    current.insert(at, 1, byte);
                else
                    current[at] = byte;
            }
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(current.data()), current.size());
        }
    }
    std::printf("%d inputs, none breaking a check\n", runs);
    return runs > 0 ? 0 : 1;
}
