// Shared main for the benchmark programs: runs the registered benchmarks and
// then prints, for each declared pair, the speed of ours relative to its
// baseline measured in the same run, as one machine-readable line:
//   RATIO|<measurement>|<ratio>|<target>|met|missed|<spread>|<repetitions>
// ratio = baseline time per iteration / our time per iteration, so 2.0 means
// twice the baseline's rate. Both benchmarks of a pair must do the same work
// per iteration. scripts/bench collects these lines into one table.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
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

// Every ratio is computed per repetition (ours and its baseline from the same
// repetition) and printed as the median with its min-max spread:
//   RATIO|<measurement>|<median>|<target>|<met/missed>|<min>-<max>|<repetitions>
class BenchRatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
            {
                std::string name = BaseName(run);
                m_timePerIteration[name].push_back(run.GetAdjustedRealTime());
                for (const auto& counter : run.counters)
                    m_counters[name + "|" + counter.first].push_back(counter.second.value);
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
            std::vector<double> values;
            if (ours != m_timePerIteration.end() && base != m_timePerIteration.end())
                for (size_t i = 0; i < ours->second.size() && i < base->second.size(); ++i)
                    if (ours->second[i] > 0) values.push_back(base->second[i] / ours->second[i]);
            missed += Print(r.measurement, values, r.target, false);
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
            std::vector<double> values;
            if (it != m_counters.end()) values = it->second;
            missed += Print(r.measurement, values, r.target, r.atMost);
        }
        std::fflush(stdout);
        return missed;
    }

private:
    // The benchmark's name without the repetition count, so the rows name
    // the same thing however many repetitions ran.
    static std::string BaseName(const Run& run)
    {
        std::string name = run.benchmark_name();
        size_t at = name.find("/repeats:");
        if (at != std::string::npos)
        {
            size_t end = name.find('/', at + 1);
            name.erase(at, end == std::string::npos ? std::string::npos : end - at);
        }
        return name;
    }

    static int Print(const char* measurement, std::vector<double> values, double target,
                     bool atMost)
    {
        const char* op = atMost ? "<=" : ">=";
        if (values.empty())
        {
            std::printf("RATIO|%s|n/a|%s %.2f|missed|-|0\n", measurement, op, target);
            return 1;
        }
        std::sort(values.begin(), values.end());
        size_t n = values.size();
        double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
        char spread[64];
        std::snprintf(spread, sizeof(spread), "%.2f-%.2f", values.front(), values.back());
        if (target == 0)
        {
            std::printf("RATIO|%s|%.2f|-|report|%s|%zu\n", measurement, median, spread, n);
            return 0;
        }
        bool met = atMost ? median <= target : median >= target;
        std::printf("RATIO|%s|%.2f|%s %.2f|%s|%s|%zu\n", measurement, median, op, target,
                    met ? "met" : "missed", spread, n);
        return met ? 0 : 1;
    }

    std::map<std::string, std::vector<double>> m_timePerIteration;
    std::map<std::string, std::vector<double>> m_counters;
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
