#include "benchratio.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <vector>

namespace dbench {

namespace {

struct Pair {
    std::string engine;
    std::string baseline;
    Goal goal;
    double target;
    std::string label;
};

struct Figure {
    std::string label;
    double value;
    std::string unit;
    std::string target;
};

std::vector<Pair>& pairs()
{
    static std::vector<Pair> list;
    return list;
}

std::vector<Figure>& figures()
{
    static std::vector<Figure> list;
    return list;
}

// Keeps the console output and remembers the mean real time of every run.
class RecordingReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(std::vector<Run> const& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (Run const& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            mTimes[run.benchmark_name()] = run.GetAdjustedRealTime() * 1e9
                / benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
    }

    std::map<std::string, double> mTimes;  // nanoseconds per iteration
};

} // namespace

void pair(std::string const& engine, std::string const& baseline, Goal goal, double target,
          std::string const& label)
{
    pairs().push_back({engine, baseline, goal, target, label.empty() ? engine : label});
}

void figure(std::string const& label, double value, std::string const& unit, std::string const& target)
{
    figures().push_back({label, value, unit, target});
}

int runAndReport(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\n%-46s %14s %14s %8s %10s  %s\n", "operation", "engine ns", "baseline ns", "ratio",
                "target", "result");
    for (Pair const& p : pairs()) {
        auto e = reporter.mTimes.find(p.engine);
        auto b = reporter.mTimes.find(p.baseline);
        if (e == reporter.mTimes.end() || b == reporter.mTimes.end())
            continue;
        const bool atMost = p.goal == Goal::AtMost;
        const double ratio = atMost ? e->second / b->second : b->second / e->second;
        const bool ok = atMost ? ratio <= p.target : ratio >= p.target;
        std::printf("RATIO %-40s %14.0f %14.0f %7.2fx %s%8.2fx  %s\n", p.label.c_str(), e->second, b->second, ratio,
                    atMost ? "<=" : ">=", p.target, ok ? "ok" : "MISSED");
    }
    for (Figure const& f : figures())
        std::printf("FIGURE %-39s %14.2f %s%s%s\n", f.label.c_str(), f.value, f.unit.c_str(),
                    f.target.empty() ? "" : "  target ", f.target.c_str());
    std::fflush(stdout);
    benchmark::Shutdown();
    return 0;
}

} // namespace dbench
