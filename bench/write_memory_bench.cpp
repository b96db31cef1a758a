// Peak memory of a write with a large scripts text, against the size of that text in the file.
// A binary of its own because it replaces malloc for the whole process (heap_counter.cpp).

#include "bench_support.h"
#include "heap_counter.h"
#include "process_memory.h"
#include "write_fixtures.h"

#include <algorithm>
#include <exception>
#include <functional>

namespace quorvel::bench {
namespace {

// Only what the write adds counts: the caller's settings, and with them the scripts text (held
// as UTF-16, two bytes a character), exist before it starts. Two views of the peak: heap bytes
// allocated, and resident bytes, which leave out allocated pages that were never touched.
void measurePeak(benchmark::State& state, const BotSettings& settings,
                 const std::function<void()>& write) {
    try {
        long long heapPeak = 0;
        long long residentPeak = 0;
        bool residentKnown = true;
        for (auto _ : state) {
            state.PauseTiming();
            releaseFreeHeap();
            const long long heapBefore = heap::liveBytes();
            const long long residentBefore = residentBytes();
            residentKnown = resetPeakResident() && residentBefore >= 0 && residentKnown;
            heap::resetPeak();
            state.ResumeTiming();

            write();

            heapPeak = std::max(heapPeak, heap::peakBytes() - heapBefore);
            residentPeak = std::max(residentPeak, peakResidentBytes() - residentBefore);
        }
        state.counters["heap_peak_bytes"] = static_cast<double>(heapPeak);
        if (residentKnown)
            state.counters["resident_peak_bytes"] = static_cast<double>(residentPeak);
        state.counters["text_bytes"] = static_cast<double>(settings.scripts.toUtf8().size());
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

BotSettings largeScriptsSettings(const QString& fileName) {
    BotSettings settings = defaultSettings(fileName);
    settings.scripts = largeScriptsText(largeScriptsBytes);
    return settings;
}

void largeScriptsWriterMemory(benchmark::State& state) {
    const BotSettings settings = largeScriptsSettings(QStringLiteral("memory-writer"));
    ConfigWriter writer;
    IgnoreProgress progress;
    measurePeak(state, settings, [&] { writer.writeConfig(settings, progress); });
}

void largeScriptsDirectMemory(benchmark::State& state) {
    const BotSettings settings = largeScriptsSettings(QStringLiteral("memory-bytes"));
    const QByteArray bytes = writtenBytes(settings);
    const QString path = scratchDirectory() + QStringLiteral("/memory-direct");
    measurePeak(state, settings, [&] { safeReplace(path, bytes); });
}

// The peak hardly varies between writes, so a few writes and one repetition are enough.
BENCHMARK(largeScriptsWriterMemory)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(1);
BENCHMARK(largeScriptsDirectMemory)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(1);

SummaryRow memoryRow(const CollectingReporter& results, const char* benchmarkName,
                     const char* counter, std::string figure, std::optional<double> goal) {
    SummaryRow row{std::move(figure), "missing", "missing", std::nullopt, goal, "x"};
    const auto m = results.find(benchmarkName);
    if (!m || !m->counters.contains(counter))
        return row;
    const double peak = m->counters.at(counter);
    const double text = m->counters.at("text_bytes");
    row.measured = formatBytes(peak);
    row.floor = formatBytes(text) + " text";
    row.value = peak / text;
    return row;
}

std::vector<SummaryRow> summary(const CollectingReporter& results) {
    return {
        memoryRow(results, "largeScriptsWriterMemory", "heap_peak_bytes",
                  "10 MiB scripts: writer's peak heap allocated / text", 3.0),
        memoryRow(results, "largeScriptsWriterMemory", "resident_peak_bytes",
                  "10 MiB scripts: writer's peak resident growth / text", 3.0),
        memoryRow(results, "largeScriptsDirectMemory", "heap_peak_bytes",
                  "10 MiB scripts: direct replace's peak heap / text", std::nullopt),
        memoryRow(results, "largeScriptsDirectMemory", "resident_peak_bytes",
                  "10 MiB scripts: direct replace's peak resident / text", std::nullopt),
    };
}

} // namespace
} // namespace quorvel::bench

int main(int argc, char** argv) {
    return quorvel::bench::runWithSummary(argc, argv,
                                          "Memory during a write, beyond what was in use before it",
                                          quorvel::bench::summary);
}
