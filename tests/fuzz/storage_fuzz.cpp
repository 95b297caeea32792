// The storage property for long runs: the fuzzer's bytes choose the steps of the hostile world,
// and a broken law is a crash that prints the shrunk sequence, the law last, so that a log's tail
// shows both.
#include "fuzz/fuzzcheck.h"
#include "property/storagemodel.h"
#include "support/permissions.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FUZZ_CHECK(dropPermissionOverrides());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    storagemodel::Choices choices(data, size);
    const int length = 1 + int(choices.below(40));
    if (const auto broken = storagemodel::check(storagemodel::drawSequence(choices, length))) {
        const QStringList lines = broken->split(u'\n');
        std::fprintf(stderr, "%s\n%s\n", qPrintable(lines.mid(1).join(u'\n')), qPrintable(lines.first()));
        FUZZ_CHECK(!"a law of the storage holds");
    }
    return 0;
}
