// Time of a write through ConfigWriter against the same bytes replaced directly by the same
// mechanism, the two timed in alternation.

#include "bench_support.h"
#include "write_fixtures.h"

#include <exception>

namespace quorvel::bench {
namespace {

// The benchmark's own time is that of one write of each kind; the figures are in the counters.
void writerAgainstDirect(benchmark::State& state, const BotSettings& settings) {
    try {
        // The bytes come from a file of another name so that each side replaces a file of
        // its own.
        BotSettings probe = settings;
        probe.outputFileName += QStringLiteral("-bytes");
        const QByteArray bytes = writtenBytes(probe);
        const QString directPath = settings.outputFileName + QStringLiteral("-direct");

        ConfigWriter writer;
        IgnoreProgress progress;
        PairedTimes times;
        for (auto _ : state) {
            times.run([&] { writer.writeConfig(settings, progress); },
                      [&] { safeReplace(directPath, bytes); });
        }
        times.report(state);
        state.counters["file_bytes"] = static_cast<double>(bytes.size());
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

void defaultFile(benchmark::State& state) {
    writerAgainstDirect(state, defaultSettings(QStringLiteral("default")));
}

void largeScripts(benchmark::State& state) {
    BotSettings settings = defaultSettings(QStringLiteral("large"));
    settings.scripts = largeScriptsText(largeScriptsBytes);
    writerAgainstDirect(state, settings);
}

// Real time: most of a write is waiting for the disk, which CPU time would not see.
BENCHMARK(defaultFile)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(largeScripts)->UseRealTime()->Unit(benchmark::kMillisecond);

std::vector<SummaryRow> summary(const CollectingReporter& results) {
    // The goals are on real time, which includes waiting for the disk; CPU time shows what the
    // writer itself adds.
    return {
        pairedRow(results, "default file: writer / direct safe replace", "defaultFile", 1.2),
        pairedRow(results, "default file: the same in CPU time", "defaultFile", std::nullopt,
                  Clock::Cpu),
        pairedRow(results, "10 MiB scripts: writer / direct safe replace", "largeScripts", 1.5),
        pairedRow(results, "10 MiB scripts: the same in CPU time", "largeScripts", std::nullopt,
                  Clock::Cpu),
    };
}

} // namespace
} // namespace quorvel::bench

int main(int argc, char** argv) {
    return quorvel::bench::runWithSummary(argc, argv, "Writing (medians of this run)",
                                          quorvel::bench::summary);
}
