// The settings reader on arbitrary bytes: always nine values, and whatever values it gives, once
// the writer accepts them, are written and read back whole and unchanged.
#include "fuzz/fuzzcheck.h"
#include "settings/settingsformat.h"

#include <QBuffer>

#include <cstdint>

using namespace orbisk;

namespace {

SettingsRead read(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return readSettings(buffer);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const SettingsRead first =
        read(QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
    FUZZ_CHECK(first.values.size() == settingsValueCount);
    const EncodedSettings encoded = encodeSettings(first.values);
    if (!encoded.problem.isEmpty())
        return 0;
    const SettingsRead again = read(encoded.bytes);
    FUZZ_CHECK(again.whole());
    FUZZ_CHECK(again.values == first.values);
    return 0;
}
