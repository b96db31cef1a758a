// The most memory a write with a 10 MiB scripts text adds, beyond what was in use before it,
// measured by Google Benchmark's memory run. The caller's copy of the text (a QString, 20 MiB as
// UTF-16) exists before the write and is not counted.

#include "write_fixtures.h"

#include <benchmark/benchmark.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <malloc.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace quorvel::bench {
namespace {

// Anonymous memory of this process in bytes, from a walk of its page tables (exact, unlike the
// kernel's running resident counters); -1 when unreadable. Reads without allocating.
std::int64_t anonymousBytes() {
    const int fd = ::open("/proc/self/smaps_rollup", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    char text[4096];
    const ssize_t size = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (size <= 0)
        return -1;
    text[size] = '\0';
    const char* line = std::strstr(text, "\nAnonymous:");
    long long kib = -1;
    if (line == nullptr || std::sscanf(line, "\nAnonymous: %lld", &kib) != 1)
        return -1;
    return static_cast<std::int64_t>(kib) * 1024;
}

#ifdef QUORVEL_BENCHMARK_STOP_BY_POINTER
// Before Google Benchmark 1.8, Stop took a pointer.
struct MemoryManagerBase : benchmark::MemoryManager {
    void Stop(Result& result) override = 0;
    void Stop(Result* result) override { Stop(*result); }
};
#else
using MemoryManagerBase = benchmark::MemoryManager;
#endif

// main sets the allocator to take everything from its heap and never hand memory back, so
// during a run the process's anonymous memory only grows, and its growth is the most the run
// had in use at once (in touched pages). Start first hands back the free pages, so that
// memory freed before the run counts again when the run reuses it.
class ResidentPeak : public MemoryManagerBase {
public:
    void Start() override {
        ::malloc_trim(0);
        startBytes_ = anonymousBytes();
        startInUse_ = static_cast<std::int64_t>(::mallinfo2().uordblks);
    }

    void Stop(Result& result) override {
        const std::int64_t end = anonymousBytes();
        result.max_bytes_used = startBytes_ < 0 || end < 0 ? -1 : end - startBytes_;
        result.net_heap_growth = static_cast<std::int64_t>(::mallinfo2().uordblks) - startInUse_;
        peak = result.max_bytes_used;
    }

    std::int64_t peak = -1; // of the last memory run (there is one); -1: not measured

private:
    std::int64_t startBytes_ = 0;
    std::int64_t startInUse_ = 0;
};

// Everything the loop uses exists before the memory run starts: the text is built by the timed
// run that precedes it.
void writeLargeScriptsMemory(benchmark::State& state) {
    try {
        static const BotSettings settings = largeScriptsSettings(QStringLiteral("memory"));
        ConfigWriter writer;
        IgnoreProgress progress;
        for (auto _ : state)
            writer.writeConfig(settings, progress);
        state.counters["file_MB"] =
            static_cast<double>(QFileInfo(settings.outputFileName).size()) / 1e6;
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

// The memory run writes as often as the timed run, and the peak is that of all those writes.
// One repetition: up to 1.9.1 Google Benchmark keeps the memory results of earlier repetitions
// behind pointers that its vector's growth leaves dangling (its issue 1939).
BENCHMARK(writeLargeScriptsMemory)->Iterations(5)->Repetitions(1)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace quorvel::bench

int main(int argc, char** argv) {
    // No memory mapped per allocation and none handed back by free, so that the resident size
    // only grows during a run; no transparent huge pages, which would count 2 MiB for one byte.
    ::mallopt(M_MMAP_MAX, 0);
    ::mallopt(M_TRIM_THRESHOLD, INT_MAX);
    ::prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0);

    quorvel::bench::ResidentPeak memory;
    benchmark::RegisterMemoryManager(&memory);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    benchmark::RegisterMemoryManager(nullptr);
    // The console shows no memory results; the figure is also max_bytes_used in the JSON.
    if (memory.peak >= 0)
        std::printf("Peak extra memory during a write: %lld KiB\n",
                    static_cast<long long>(memory.peak / 1024));
    return 0;
}
