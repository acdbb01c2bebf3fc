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

const char kEngineCounter[] = "engine_ns", kBaselineCounter[] = "baseline_ns";

// Keeps the console output and remembers the mean real time of every run;
// of a benchmark repeated, the least disturbed repetition's.
class RecordingReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(std::vector<Run> const& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (Run const& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            auto engine = run.counters.find(kEngineCounter), baseline = run.counters.find(kBaselineCounter);
            if (engine != run.counters.end() && baseline != run.counters.end()) {
                // An alternation: both its times come from the repetition
                // whose two together are least.
                const std::string name = run.benchmark_name();
                const double both = engine->second + baseline->second;
                auto best = mAlternationNs.find(name);
                if (best == mAlternationNs.end() || both < best->second) {
                    mAlternationNs[name] = both;
                    mTimes[name + "/engine"] = engine->second;
                    mTimes[name + "/baseline"] = baseline->second;
                }
            }
            const double ns = run.GetAdjustedRealTime() * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            auto known = mTimes.find(run.benchmark_name());
            if (known == mTimes.end() || ns < known->second)
                mTimes[run.benchmark_name()] = ns;
        }
    }

    std::map<std::string, double> mTimes;  // nanoseconds per iteration
    std::map<std::string, double> mAlternationNs;  // an alternation's best engine + baseline
};

// The report's columns; scripts/bench.sh prints the same headers.
const char kRatioRow[] = "%-12s %-46s %14.0f %14.0f %8.2fx %9s  %s\n";
const char kFigureRow[] = "%-12s %-46s %14.2f  %-12s %s\n";

std::string benchName(char const* program)
{
    std::string name = program;
    name = name.substr(name.find_last_of('/') + 1);
    return name.rfind("bench_", 0) == 0 ? name.substr(6) : name;
}

// Takes --report_rows=PREFIX out of the arguments Google Benchmark sees.
std::string takeRowsPrefix(int& argc, char** argv)
{
    const std::string flag = "--report_rows=";
    std::string prefix;
    int kept = 0;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && std::string(argv[i]).rfind(flag, 0) == 0)
            prefix = argv[i] + flag.size();
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    return prefix;
}

} // namespace

Alternation::~Alternation()
{
    // Per iteration, as Google Benchmark divides them before reporting.
    mState.counters[kEngineCounter] = benchmark::Counter(mEngineNs, benchmark::Counter::kAvgIterations);
    mState.counters[kBaselineCounter] = benchmark::Counter(mBaselineNs, benchmark::Counter::kAvgIterations);
}

void pair(std::string const& engine, std::string const& baseline, Goal goal, double target,
          std::string const& label)
{
    pairs().push_back({engine, baseline, goal, target, label.empty() ? engine : label});
}

void figure(std::string const& label, double value, std::string const& unit, std::string const& target)
{
    for (Figure& f : figures())
        if (f.label == label) {
            f = {label, value, unit, target};
            return;
        }
    figures().push_back({label, value, unit, target});
}

int runAndReport(int argc, char** argv)
{
    const std::string rowsPrefix = takeRowsPrefix(argc, argv);
    const std::string name = benchName(argv[0]);
    // Three repetitions of every benchmark, interleaved in random order, so
    // that a spell of other work on the machine falls on both sides of a
    // ratio; the command line may say otherwise (the last flag counts).
    std::vector<char*> args(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=3", interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, {repetitions, interleave});
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::string ratios;
    char row[512];
    for (Pair const& p : pairs()) {
        auto e = reporter.mTimes.find(p.engine);
        auto b = reporter.mTimes.find(p.baseline);
        if (e == reporter.mTimes.end() || b == reporter.mTimes.end())
            continue;
        const bool atMost = p.goal == Goal::AtMost;
        const double ratio = atMost ? e->second / b->second : b->second / e->second;
        const bool ok = atMost ? ratio <= p.target : ratio >= p.target;
        char target[32];
        std::snprintf(target, sizeof target, "%s%.2fx", atMost ? "<=" : ">=", p.target);
        std::snprintf(row, sizeof row, kRatioRow, name.c_str(), p.label.c_str(), e->second, b->second, ratio, target,
                      ok ? "ok" : "MISSED");
        ratios += row;
    }
    std::string figureRows;
    for (Figure const& f : figures()) {
        std::snprintf(row, sizeof row, kFigureRow, name.c_str(), f.label.c_str(), f.value, f.unit.c_str(),
                      f.target.empty() ? "-" : f.target.c_str());
        figureRows += row;
    }

    std::printf("\n%-12s %-46s %14s %14s %9s %9s  %s\n%s", "bench", "operation", "engine ns", "baseline ns", "ratio",
                "target", "result", ratios.c_str());
    if (!figureRows.empty())
        std::printf("\n%-12s %-46s %14s  %-12s %s\n%s", "bench", "figure", "value", "unit", "target",
                    figureRows.c_str());
    std::fflush(stdout);
    benchmark::Shutdown();

    if (rowsPrefix.empty())
        return 0;
    auto write = [&](char const* suffix, std::string const& rows) {
        const std::string path = rowsPrefix + suffix;
        std::FILE* out = std::fopen(path.c_str(), "w");
        bool ok = out && std::fputs(rows.c_str(), out) >= 0;
        if (out)
            ok = std::fclose(out) == 0 && ok;
        if (!ok)
            std::fprintf(stderr, "can't write %s\n", path.c_str());
        return ok;
    };
    const bool written = write(".ratios", ratios) && write(".figures", figureRows);
    return written ? 0 : 1;
}

} // namespace dbench
