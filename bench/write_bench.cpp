// Time of a write through ConfigWriter against the same bytes replaced directly, in one run.

#include "bench_support.h"
#include "write_fixtures.h"

#include <exception>

namespace quorvel::bench {
namespace {

void writeThroughWriter(benchmark::State& state, const BotSettings& settings) {
    ConfigWriter writer;
    IgnoreProgress progress;
    try {
        for (auto _ : state)
            writer.writeConfig(settings, progress);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

void writeDirectly(benchmark::State& state, const BotSettings& settings, const QString& path) {
    try {
        const QByteArray bytes = writtenBytes(settings);
        for (auto _ : state)
            safeReplace(path, bytes);
        state.SetBytesProcessed(state.iterations() * bytes.size());
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

BotSettings withLargeScripts(BotSettings settings) {
    settings.scripts = largeScriptsText(largeScriptsBytes);
    return settings;
}

void defaultFileByWriter(benchmark::State& state) {
    writeThroughWriter(state, defaultSettings(QStringLiteral("default-writer")));
}

void defaultFileDirect(benchmark::State& state) {
    // The bytes come from a file of another name so that both sides replace a file of their own.
    writeDirectly(state, defaultSettings(QStringLiteral("default-bytes")),
                  scratchDirectory() + QStringLiteral("/default-direct"));
}

void largeScriptsByWriter(benchmark::State& state) {
    writeThroughWriter(state, withLargeScripts(defaultSettings(QStringLiteral("large-writer"))));
}

void largeScriptsDirect(benchmark::State& state) {
    writeDirectly(state, withLargeScripts(defaultSettings(QStringLiteral("large-bytes"))),
                  scratchDirectory() + QStringLiteral("/large-direct"));
}

// Real time: most of a write is waiting for the disk, which CPU time would not see.
BENCHMARK(defaultFileByWriter)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(defaultFileDirect)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(largeScriptsByWriter)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(largeScriptsDirect)->UseRealTime()->Unit(benchmark::kMillisecond);

std::vector<SummaryRow> summary(const CollectingReporter& results) {
    return {
        timeRatioRow(results, "default file: writer / direct safe replace", "defaultFileByWriter",
                     "defaultFileDirect", 1.2),
        timeRatioRow(results, "10 MiB scripts: writer / direct safe replace",
                     "largeScriptsByWriter", "largeScriptsDirect", 1.5),
    };
}

} // namespace
} // namespace quorvel::bench

int main(int argc, char** argv) {
    return quorvel::bench::runWithSummary(argc, argv, "Writing (medians of this run)",
                                          quorvel::bench::summary);
}
