// The storage property for long runs: the fuzzer's bytes choose the steps of the hostile world,
// and a broken law is a crash that prints the sequence.
#include "fuzz/fuzzcheck.h"
#include "property/storagemodel.h"
#include "support/permissions.h"

#include <cstdint>
#include <cstdio>

namespace {

class ByteChoices final : public storagemodel::Choices {
public:
    ByteChoices(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    // Zero once the bytes run out, which draws the plainest choice.
    quint32 below(quint32 bound) override
    {
        quint32 value = 0;
        for (quint64 range = 1; range < bound && m_next < m_size; range <<= 8)
            value = value << 8 | m_data[m_next++];
        return value % bound;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_next = 0;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FUZZ_CHECK(dropPermissionOverrides());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ByteChoices choices(data, size);
    const int length = 1 + int(choices.below(40));
    const storagemodel::Sequence sequence = storagemodel::drawSequence(choices, length);
    if (const auto broken = storagemodel::run(sequence)) {
        // Shrunk, with the broken law last, so that a log's tail shows both.
        const storagemodel::Sequence shortest = storagemodel::shrink(sequence, *broken);
        const auto again = storagemodel::run(shortest).value_or(*broken);
        std::fprintf(stderr, "%s\nlaw %d broken at step %d: %s\n",
                     qPrintable(storagemodel::describe(shortest)), again.law, again.step + 1,
                     qPrintable(again.detail));
        FUZZ_CHECK(!"a law of the storage holds");
    }
    return 0;
}
