// A write with a 10 MiB scripts text through ConfigWriter (subject), against the very bytes it
// writes replaced directly by the same mechanism (floor). Real time: most of a write is waiting
// for the disk, which CPU time would not see.

#include "write_fixtures.h"

#include <benchmark/benchmark.h>

#include <exception>

namespace quorvel::bench {
namespace {

void writeLargeScripts(benchmark::State& state, bool floor) {
    try {
        const BotSettings settings = largeScriptsSettings(QStringLiteral("large"));
        ConfigWriter writer;
        IgnoreProgress progress;
        writer.writeConfig(settings, progress);
        QFile written(settings.outputFileName);
        if (!written.open(QIODevice::ReadOnly))
            throw std::runtime_error("cannot read back the written file");
        const QByteArray bytes = written.readAll();
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

BENCHMARK_CAPTURE(writeLargeScripts, subject, false)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(writeLargeScripts, floor, true)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
} // namespace quorvel::bench

BENCHMARK_MAIN();
