#pragma once

#include <benchmark/benchmark.h>

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

// A row comparing two timed benchmarks; empty value when either is missing.
SummaryRow timeRatioRow(const CollectingReporter& results, const std::string& figure,
                        const std::string& measured, const std::string& floor,
                        std::optional<double> goal);

} // namespace quorvel::bench
