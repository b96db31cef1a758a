#include "bench_support.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <ctime>
#include <string_view>
#include <unistd.h>

namespace quorvel::bench {

// Colours only on a terminal, so that CI logs stay readable.
CollectingReporter::CollectingReporter()
    : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

void CollectingReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        const std::string& name = run.run_name.function_name;
        if (run.error_occurred) {
            errors_[name] = run.error_message;
            continue;
        }
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        if (run.run_type == Run::RT_Aggregate && !median)
            continue;
        Measurement m;
        m.realSeconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        for (const auto& [counterName, counter] : run.counters)
            m.counters[counterName] = counter.value;
        (median ? medians_ : singles_)[name] = m;
    }
}

std::optional<Measurement> CollectingReporter::find(const std::string& name) const {
    if (errors_.contains(name))
        return std::nullopt;
    if (auto it = medians_.find(name); it != medians_.end())
        return it->second;
    // Without repetitions there is no median, only the single run.
    if (auto it = singles_.find(name); it != singles_.end())
        return it->second;
    return std::nullopt;
}

std::string CollectingReporter::errorOf(const std::string& name) const {
    auto it = errors_.find(name);
    return it == errors_.end() ? std::string("not run") : it->second;
}

std::string formatSeconds(double seconds) {
    char text[32];
    if (seconds >= 1)
        std::snprintf(text, sizeof text, "%.2f s", seconds);
    else if (seconds >= 1e-3)
        std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
    else
        std::snprintf(text, sizeof text, "%.1f us", seconds * 1e6);
    return text;
}

std::string formatBytes(double bytes) {
    char text[32];
    if (bytes >= 1024.0 * 1024.0)
        std::snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024.0));
    else
        std::snprintf(text, sizeof text, "%.0f KiB", bytes / 1024.0);
    return text;
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    if (values.size() % 2 == 1)
        return *middle;
    return (*middle + *std::max_element(values.begin(), middle)) / 2;
}

double PairedTimes::threadCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void PairedTimes::report(benchmark::State& state) const {
    const auto put = [&](const char* prefix, const std::vector<double>& measuredTimes,
                         const std::vector<double>& floorTimes) {
        const double measured = median(measuredTimes);
        const double floor = median(floorTimes);
        const std::string p(prefix);
        state.counters["measured" + p + "_s"] = measured;
        state.counters["floor" + p + "_s"] = floor;
        state.counters[(p.empty() ? std::string() : p.substr(1) + "_") + "ratio"] =
            floor > 0 ? measured / floor : 0;
    };
    put("", measured_.real, floor_.real);
    put("_cpu", measured_.cpu, floor_.cpu);
}

SummaryRow pairedRow(const CollectingReporter& results, const std::string& figure,
                     const std::string& benchmark, std::optional<double> goal, Clock clock) {
    SummaryRow row{figure, "missing", "missing", std::nullopt, goal, "x"};
    const bool cpu = clock == Clock::Cpu;
    if (const auto m = results.find(benchmark)) {
        row.measured = formatSeconds(m->counters.at(cpu ? "measured_cpu_s" : "measured_s"));
        row.floor = formatSeconds(m->counters.at(cpu ? "floor_cpu_s" : "floor_s"));
        row.value = m->counters.at(cpu ? "cpu_ratio" : "ratio");
    }
    return row;
}

namespace {

bool hasFlag(int argc, char** argv, std::string_view flag) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]).starts_with(flag))
            return true;
    }
    return false;
}

void printSummary(const std::string& title, const std::vector<SummaryRow>& rows) {
    std::printf("\n%s\n", title.c_str());
    std::printf("%-54s %12s %16s %8s %9s  %s\n", "figure", "measured", "floor", "ratio", "goal",
                "result");
    for (const SummaryRow& row : rows) {
        char value[32] = "-";
        char goal[32] = "-";
        if (row.value && row.unit == "x")
            std::snprintf(value, sizeof value, "%.2fx", *row.value);
        else if (row.value)
            std::snprintf(value, sizeof value, "%s", formatSeconds(*row.value).c_str());
        if (row.goal) {
            std::snprintf(goal, sizeof goal, "%s%g%s", row.unit == "x" ? "<=" : "<", *row.goal,
                          row.unit.c_str());
        }
        const char* result = "reference";
        if (!row.value)
            result = "not measured";
        else if (row.goal)
            result = (row.unit == "x" ? *row.value <= *row.goal : *row.value < *row.goal)
                         ? "goal met"
                         : "goal missed";
        std::printf("%-54s %12s %16s %8s %9s  %s\n", row.figure.c_str(), row.measured.c_str(),
                    row.floor.c_str(), value, goal, result);
    }
    std::fflush(stdout);
}

} // namespace

int runWithSummary(
    int argc, char** argv, const std::string& title,
    const std::function<std::vector<SummaryRow>(const CollectingReporter&)>& makeRows) {
    std::vector<std::string> defaults;
    if (!hasFlag(argc, argv, "--benchmark_repetitions"))
        defaults.emplace_back("--benchmark_repetitions=9");
    if (!hasFlag(argc, argv, "--benchmark_enable_random_interleaving"))
        defaults.emplace_back("--benchmark_enable_random_interleaving=true");
    if (!hasFlag(argc, argv, "--benchmark_display_aggregates_only"))
        defaults.emplace_back("--benchmark_display_aggregates_only=true");

    std::vector<char*> args(argv, argv + argc);
    for (std::string& flag : defaults)
        args.push_back(flag.data());
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);

    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 2;
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printSummary(title, makeRows(reporter));
    benchmark::Shutdown();
    return 0;
}

} // namespace quorvel::bench
