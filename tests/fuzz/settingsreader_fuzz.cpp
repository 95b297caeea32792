// The settings reader on arbitrary bytes: never more than nine values, a problem exactly when
// fewer were read, and whatever it reads whole is written and read back unchanged.
#include "fuzz/fuzzcheck.h"
#include "settings/settingsfile.h"

#include <QBuffer>

#include <cstdint>

using namespace orbisk;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const SettingsRead read = readSettings(buffer);
    FUZZ_CHECK(read.values.size() <= settingsValueCount);
    FUZZ_CHECK((read.values.size() == settingsValueCount) == read.problem.isEmpty());
    if (read.values.size() < settingsValueCount)
        return 0;

    EncodedSettings encoded = encodeSettings(read.values);
    FUZZ_CHECK(encoded.problem.isEmpty());
    QBuffer again(&encoded.bytes);
    again.open(QIODevice::ReadOnly);
    const SettingsRead reread = readSettings(again);
    FUZZ_CHECK(reread.problem.isEmpty());
    FUZZ_CHECK(reread.values == read.values);
    return 0;
}
