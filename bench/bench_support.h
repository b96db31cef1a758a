#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::bench {

// The median of a benchmark's repetitions (or its only run), as the summary needs it.
struct Measurement {
    double realSeconds = 0;
    std::map<std::string, double> counters;
};

// Shows the usual console output and keeps each benchmark's result, so that the ratios can be
// computed from the very runs that were shown.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    CollectingReporter();
    void ReportRuns(const std::vector<Run>& runs) override;

    // Empty when the benchmark did not run or reported an error.
    std::optional<Measurement> find(const std::string& name) const;
    std::string errorOf(const std::string& name) const;

private:
    std::map<std::string, Measurement> medians_;
    std::map<std::string, Measurement> singles_;
    std::map<std::string, std::string> errors_;
};

// One line of the summary: a figure, what it is compared with, and its goal.
struct SummaryRow {
    std::string figure;
    std::string measured; // the figure in its own unit
    std::string floor;    // what it is compared with, or "-" for an absolute goal
    std::optional<double> value;
    std::optional<double> goal; // none for a figure shown only for reference
    std::string unit;           // "x" for a ratio, " s" for a time
};

// Runs the benchmarks selected on the command line, then prints the summary that makeRows
// builds from their results. Repetitions and random interleaving are on unless the command
// line says otherwise, so that a load change during the run hits both sides of a ratio alike.
int runWithSummary(
    int argc, char** argv, const std::string& title,
    const std::function<std::vector<SummaryRow>(const CollectingReporter&)>& makeRows);

std::string formatSeconds(double seconds);
std::string formatBytes(double bytes);

// Two ways of doing the same thing, timed in alternation inside one benchmark so that both meet
// the same load and the same disk; separately run benchmarks drift apart with whatever else the
// machine does in between. Each call to run times one of each, the side going first alternating.
// Real time and this thread's CPU time are both kept: a write waits for the disk, which only real
// time sees, while on a busy machine the real time of CPU-bound work grows with the time spent
// waiting for a processor, longer work more than shorter.
class PairedTimes {
public:
    // `between` runs untimed after each side.
    template <typename Measured, typename Floor, typename Between>
    void run(Measured&& measured, Floor&& floor, Between&& between) {
        if (measuredFirst_) {
            measured_.add(measured);
            between();
            floor_.add(floor);
        } else {
            floor_.add(floor);
            between();
            measured_.add(measured);
        }
        between();
        measuredFirst_ = !measuredFirst_;
    }
    template <typename Measured, typename Floor> void run(Measured&& measured, Floor&& floor) {
        run(measured, floor, [] {});
    }

    // Sets the counters measured_s, floor_s and ratio (medians of single runs in real time,
    // in seconds, and their quotient), and the same for CPU time: measured_cpu_s, floor_cpu_s
    // and cpu_ratio.
    void report(benchmark::State& state) const;

private:
    struct Samples {
        std::vector<double> real;
        std::vector<double> cpu;
        template <typename F> void add(F& f) {
            const double cpuStart = threadCpuSeconds();
            const auto start = std::chrono::steady_clock::now();
            f();
            real.push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            cpu.push_back(threadCpuSeconds() - cpuStart);
        }
    };
    static double threadCpuSeconds();

    Samples measured_;
    Samples floor_;
    bool measuredFirst_ = true;
};

double median(std::vector<double> values);

enum class Clock { Real, Cpu };

// The summary row of a benchmark that used PairedTimes.
SummaryRow pairedRow(const CollectingReporter& results, const std::string& figure,
                     const std::string& benchmark, std::optional<double> goal,
                     Clock clock = Clock::Real);

} // namespace quorvel::bench
