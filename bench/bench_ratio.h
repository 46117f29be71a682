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
                m_timePerIteration[run.benchmark_name()] = run.GetAdjustedRealTime();
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
                std::printf("RATIO|%s|n/a|%.2f|missed\n", r.measurement, r.target);
                ++missed;
                continue;
            }
            double ratio = base->second / ours->second;
            bool met = ratio >= r.target;
            missed += met ? 0 : 1;
            std::printf("RATIO|%s|%.2f|%.2f|%s\n", r.measurement, ratio, r.target,
                        met ? "met" : "missed");
        }
        std::fflush(stdout);
        return missed;
    }

private:
    std::map<std::string, double> m_timePerIteration;
};

inline int RunBenchmarksWithRatios(int argc, char** argv, const std::vector<BenchRatio>& ratios)
{
    benchmark::Initialize(&argc, argv);
    BenchRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    reporter.PrintRatios(ratios);
    return 0;
}
