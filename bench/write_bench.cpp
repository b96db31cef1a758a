// A write with a 10 MiB scripts text through ConfigWriter, against the same bytes replaced
// directly by the same mechanism.

#include "bench_support.h"
#include "write_fixtures.h"

#include <exception>

namespace quorvel::bench {
namespace {

// Real time: most of a write is waiting for the disk, which CPU time would not see.
void writeLargeScripts(benchmark::State& state) {
    try {
        const BotSettings settings = largeScriptsSettings(QStringLiteral("large"));
        const QByteArray bytes = writtenBytes(settings);
        const QString floorPath = settings.outputFileName + QStringLiteral("-floor");
        ConfigWriter writer;
        IgnoreProgress progress;
        PairedRatio pair;
        for (auto _ : state) {
            pair.run([&] { return realSeconds([&] { writer.writeConfig(settings, progress); }); },
                     [&] { return realSeconds([&] { safeReplace(floorPath, bytes); }); });
        }
        pair.report(state, 1.10);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

BENCHMARK(writeLargeScripts)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);

} // namespace
} // namespace quorvel::bench

int main(int argc, char** argv) {
    return quorvel::bench::runBenchmarks(argc, argv);
}
