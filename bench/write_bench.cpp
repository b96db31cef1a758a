// A write with a 10 MiB scripts text through ConfigWriter (subject), against the same bytes
// replaced directly by the same mechanism (floor). Real time: most of a write is waiting for the
// disk, which CPU time would not see.

#include "write_fixtures.h"

#include <benchmark/benchmark.h>

#include <exception>

namespace quorvel::bench {
namespace {

void writeLargeScripts(benchmark::State& state, bool floor) {
    try {
        const BotSettings settings = largeScriptsSettings(QStringLiteral("large"));
        const QByteArray bytes = floor ? writtenBytes(settings) : QByteArray();
        ConfigWriter writer;
        IgnoreProgress progress;
        for (auto _ : state) {
            if (floor)
                safeReplace(settings.outputFileName + QStringLiteral("-floor"), bytes);
            else
                writer.writeConfig(settings, progress);
        }
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

BENCHMARK_CAPTURE(writeLargeScripts, subject, false)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);
BENCHMARK_CAPTURE(writeLargeScripts, floor, true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);

} // namespace
} // namespace quorvel::bench

BENCHMARK_MAIN();
