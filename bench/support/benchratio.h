#ifndef DORURIZAR_BENCHRATIO_H
#define DORURIZAR_BENCHRATIO_H

// Runs Google Benchmark and prints, after the usual output, each engine
// benchmark's time as a ratio of its bare twin's time from the same run.

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

namespace dbench {

enum class Goal {
    AtMost,   // ratio = engine / baseline must stay <= target (e.g. 1.05)
    AtLeast,  // ratio = baseline / engine must reach >= target (speed-up, e.g. 2.5)
};

// Declares that benchmark `engine` is judged against benchmark `baseline`.
// Names are the full benchmark names as Google Benchmark prints them. Every
// benchmark runs three times, the runs of all of them in random order, and
// its fastest run counts: on a machine shared with other work, the least
// disturbed one.
void pair(std::string const& engine, std::string const& baseline, Goal goal, double target,
          std::string const& label = std::string());

// Times an engine's call and its bare twin's in turn, in one benchmark:
//
//   dbench::Alternation turns(state);
//   for (auto _ : state) {
//       turns.engine([&] { ... });
//       turns.baseline([&] { ... });
//   }
//
// A spell of other work on the machine then falls on both sides alike. The
// two times per iteration are named NAME/engine and NAME/baseline for pair(),
// NAME being the benchmark's; of its repetitions, the least disturbed counts.
class Alternation
{
public:
    explicit Alternation(benchmark::State& state) : mState(state) {}
    ~Alternation();

    template <typename Call>
    void engine(Call call) { mEngineNs += timed(call); }
    template <typename Call>
    void baseline(Call call) { mBaselineNs += timed(call); }
    // For a cost measured otherwise (a child process's CPU time).
    void addEngine(double ns) { mEngineNs += ns; }
    void addBaseline(double ns) { mBaselineNs += ns; }

private:
    template <typename Call>
    static double timed(Call& call)
    {
        const auto start = std::chrono::steady_clock::now();
        call();
        return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    }

    benchmark::State& mState;
    double mEngineNs = 0, mBaselineNs = 0;
};

// Records a free-standing figure printed in the table (frames per second,
// allocations per frame, ...). A benchmark's repetitions record it again:
// the last value given under a label is the one printed.
void figure(std::string const& label, double value, std::string const& unit, std::string const& target = {});

// Initialises Google Benchmark, runs the benchmarks and prints this program's
// rows of the benchmark report, named after the program without "bench_":
//   <bench> <label> <engine ns> <baseline ns> <ratio> <target> <ok|MISSED>
//   <bench> <label> <value> <unit> <target or ->
// With --report_rows=PREFIX the two kinds of row are also written, without
// headers, to PREFIX.ratios and PREFIX.figures for the report to gather. Returns 0 (a missed target is reported, not fatal), or 1 when the
// rows could not be written.
int runAndReport(int argc, char** argv);

} // namespace dbench

#endif
