#include "bench_support.h"

#include <cstdio>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace quorvel::bench {

void PairedRatio::report(benchmark::State& state, double goal) const {
    using benchmark::Counter;
    state.counters["subject_ms"] = Counter(subject_ * 1e3, Counter::kAvgIterations);
    state.counters["floor_ms"] = Counter(floor_ * 1e3, Counter::kAvgIterations);
    state.counters["ratio"] = floor_ > 0 ? subject_ / floor_ : 0;
    state.counters["goal"] = goal;
}

namespace {

class GoalReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, so that CI logs stay readable.
    GoalReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median)
                continue;
            // Every benchmark here sets counters; a run without any failed, and stays "not
            // measured" unless another repetition of it succeeded.
            Verdict& verdict = verdicts_[run.run_name.function_name];
            if (run.counters.empty())
                continue;
            const auto ratio = run.counters.find("ratio");
            const auto goal = run.counters.find("goal");
            if (ratio == run.counters.end() || goal == run.counters.end())
                verdict.hasGoal = false;
            else if (median || !verdict.ratio)
                verdict = {ratio->second.value, goal->second.value, median, true};
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::ostream& out = GetOutputStream();
        bool first = true;
        for (const auto& [name, v] : verdicts_) {
            if (!v.hasGoal)
                continue;
            out << (first ? "\nGoals:\n" : "");
            first = false;
            char line[200];
            if (v.ratio)
                std::snprintf(line, sizeof line, "  %-24s ratio %.2f (%s), goal at most %.2f: %s\n",
                              name.c_str(), *v.ratio, v.median ? "median" : "one run", v.goal,
                              *v.ratio <= v.goal ? "met" : "MISSED");
            else
                std::snprintf(line, sizeof line, "  %-24s not measured\n", name.c_str());
            out << line;
        }
        out.flush();
    }

private:
    struct Verdict {
        std::optional<double> ratio;
        double goal = 0;
        bool median = false;
        bool hasGoal = true;
    };
    std::map<std::string, Verdict> verdicts_;
};

} // namespace

int runBenchmarks(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

} // namespace quorvel::bench
