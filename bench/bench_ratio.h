// Shared main for the benchmark programs: runs the registered benchmarks and
// then prints, for each declared pair, the speed of ours relative to its
// baseline measured in the same run, as one machine-readable line:
//   RATIO|<measurement>|<ratio>|<target>|met|missed
// ratio = baseline time per iteration / our time per iteration, so 2.0 means
// twice the baseline's rate. Both benchmarks of a pair must do the same work
// per iteration. scripts/bench collects these lines into one table.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

// A ratio the benchmark measured itself, against a baseline timed inside the
// same benchmark, and published as a user counter.
struct BenchCounterRatio
{
    const char* measurement;
    const char* benchmark; // benchmark name as printed
    const char* counter;   // counter holding the ratio
    double target;         // 0 = report only
    bool atMost;           // met when the ratio is at most the target (a cost)
};

struct BenchRatio
{
    const char* measurement; // what is compared, in words
    const char* ours;        // benchmark name (as printed, e.g. "BM_PackRead/64")
    const char* baseline;    // benchmark name of the same-run baseline
    double target;           // minimum ratio that meets the goal; 0 = report only
};

class BenchRatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
            {
                m_timePerIteration[run.benchmark_name()] = run.GetAdjustedRealTime();
                for (const auto& counter : run.counters)
                    m_counters[run.benchmark_name() + "|" + counter.first] = counter.second.value;
            }
        ConsoleReporter::ReportRuns(runs);
    }

    // Returns the number of missed targets.
    int PrintRatios(const std::vector<BenchRatio>& ratios) const
    {
        int missed = 0;
        for (const BenchRatio& r : ratios)
        {
            auto ours = m_timePerIteration.find(r.ours);
            auto base = m_timePerIteration.find(r.baseline);
            if (ours == m_timePerIteration.end() || base == m_timePerIteration.end() ||
                ours->second <= 0)
            {
                std::printf("RATIO|%s|n/a|>= %.2f|missed\n", r.measurement, r.target);
                ++missed;
                continue;
            }
            double ratio = base->second / ours->second;
            bool met = ratio >= r.target;
            missed += met ? 0 : 1;
            if (r.target == 0)
                std::printf("RATIO|%s|%.2f|-|report\n", r.measurement, ratio);
            else
                std::printf("RATIO|%s|%.2f|>= %.2f|%s\n", r.measurement, ratio, r.target,
                            met ? "met" : "missed");
        }
        std::fflush(stdout);
        return missed;
    }

    int PrintCounterRatios(const std::vector<BenchCounterRatio>& ratios) const
    {
        int missed = 0;
        for (const BenchCounterRatio& r : ratios)
        {
            auto it = m_counters.find(std::string(r.benchmark) + "|" + r.counter);
            const char* op = r.atMost ? "<=" : ">=";
            if (it == m_counters.end())
            {
                std::printf("RATIO|%s|n/a|%s %.2f|missed\n", r.measurement, op, r.target);
                ++missed;
                continue;
            }
            bool met =
                r.target == 0 || (r.atMost ? it->second <= r.target : it->second >= r.target);
            missed += met ? 0 : 1;
            if (r.target == 0)
                std::printf("RATIO|%s|%.2f|-|report\n", r.measurement, it->second);
            else
                std::printf("RATIO|%s|%.2f|%s %.2f|%s\n", r.measurement, it->second, op, r.target,
                            met ? "met" : "missed");
        }
        std::fflush(stdout);
        return missed;
    }

private:
    std::map<std::string, double> m_timePerIteration;
    std::map<std::string, double> m_counters;
};

inline int RunBenchmarksWithRatios(int argc, char** argv, const std::vector<BenchRatio>& ratios,
                                   const std::vector<BenchCounterRatio>& counterRatios = {})
{
    benchmark::Initialize(&argc, argv);
    BenchRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    reporter.PrintRatios(ratios);
    reporter.PrintCounterRatios(counterRatios);
    return 0;
}
