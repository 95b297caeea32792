// What start-up does with the settings file (read it, and for a file not read whole, find where
// its bytes would be kept): the usual 75-byte file, and a hostile 2 GB one ("a" in quotes, then
// 2 GB that is never a line end; sparse, so it costs no disk), which must be answered as fast as
// any other.
#include "settings/settingsstore.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

void readFile(benchmark::State &state, const QByteArray &start, qint64 size)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("orbisk.set"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(start) != start.size() || !file.resize(size))
        state.SkipWithError("cannot make the file");
    file.close();
    for (auto _ : state)
        benchmark::DoNotOptimize(orbisk::SettingsStore({{path}, path}).values());
}

void usualFile(benchmark::State &state)
{
    const QByteArray bytes =
        "GBP/USD\r\nEUR/GBP\r\nEUR/USD\r\n1.6364\r\n0.7225\r\n1.1826\r\n1.6369\r\n0.7230\r\n1.1831\r\n";
    readFile(state, bytes, bytes.size());
}

void hostile2GBFile(benchmark::State &state)
{
    readFile(state, "\"a\"", qint64(2) << 30);
}

} // namespace

BENCHMARK(usualFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(hostile2GBFile)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
