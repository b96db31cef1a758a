#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>

namespace quorvel::bench {

template <typename F> double realSeconds(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// CPU time of the calling thread only: what load on the machine does not stretch.
template <typename F> double threadCpuSeconds(F&& f) {
    const auto now = [] {
        timespec t{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    };
    const double start = now();
    f();
    return now() - start;
}

// A figure and its floor, one of each per iteration with the side going first alternating, so
// that whatever else the machine does hits both alike. Each side measures itself and returns
// its seconds.
class PairedRatio {
public:
    template <typename Subject, typename Floor> void run(Subject&& subject, Floor&& floor) {
        if (subjectFirst_) {
            subject_ += subject();
            floor_ += floor();
        } else {
            floor_ += floor();
            subject_ += subject();
        }
        subjectFirst_ = !subjectFirst_;
    }

    // Counters subject_ms and floor_ms (per iteration), their ratio, and the ratio's goal.
    void report(benchmark::State& state, double goal) const;

private:
    double subject_ = 0;
    double floor_ = 0;
    bool subjectFirst_ = true;
};

// Runs the benchmarks chosen on the command line with Google Benchmark's console output, then
// says for each benchmark with a "goal" counter whether its "ratio" met it: the median of the
// repetitions when there are several. A missed goal is printed, never an error.
int runBenchmarks(int argc, char** argv);

} // namespace quorvel::bench
