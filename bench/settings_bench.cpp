// What start-up does with the settings file (read it, and for a file not read whole, find where
// its bytes would be kept), and what closing the Settings window does (save over it): the usual
// 75-byte file, and a hostile 2 GB one ("a" in quotes, then 2 GB that is never a line end;
// sparse, so it costs no disk), which must be answered as fast as any other.
#include "settings/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

const QByteArray usualBytes =
    "GBP/USD\r\nEUR/GBP\r\nEUR/USD\r\n1.6364\r\n0.7225\r\n1.1826\r\n1.6369\r\n0.7230\r\n1.1831\r\n";

bool makeFile(const QString &path, const QByteArray &start, qint64 size)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(start) == start.size() &&
           file.resize(size);
}

void readFile(benchmark::State &state, const QByteArray &start, qint64 size)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("orbisk.set"));
    if (!makeFile(path, start, size))
        state.SkipWithError("cannot make the file");
    for (auto _ : state)
        benchmark::DoNotOptimize(orbisk::SettingsStore({{path}, path}).values());
}

// A start and a save, the file made anew each time (untimed) and its kept copies removed.
void saveOver(benchmark::State &state, const QByteArray &start, qint64 size)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("orbisk.set"));
    for (auto _ : state) {
        state.PauseTiming();
        for (const QString &name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(dir.filePath(name));
        if (!makeFile(path, start, size))
            state.SkipWithError("cannot make the file");
        state.ResumeTiming();
        orbisk::SettingsStore store({{path}, path});
        if (store.save(store.values()))
            state.SkipWithError("the save failed");
    }
}

void usualFile(benchmark::State &state)
{
    readFile(state, usualBytes, usualBytes.size());
}

void hostile2GBFile(benchmark::State &state)
{
    readFile(state, "\"a\"", qint64(2) << 30);
}

void saveOverUsualFile(benchmark::State &state)
{
    saveOver(state, usualBytes, usualBytes.size());
}

void saveOver2GBFile(benchmark::State &state)
{
    saveOver(state, "\"a\"", qint64(2) << 30);
}

} // namespace

BENCHMARK(usualFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(hostile2GBFile)->Unit(benchmark::kMillisecond);
BENCHMARK(saveOverUsualFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(saveOver2GBFile)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
