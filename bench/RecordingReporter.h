// A console reporter that also keeps every run's CPU time per iteration (in the run's time
// unit) and its counters, so that a benchmark's main can print ratios of runs measured side
// by side.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace tarvo {

class RecordingReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations <= 0)
                continue;
            times[run.benchmark_name()] = run.GetAdjustedCPUTime();
            for (const auto &[name, counter] : run.counters)
                counters[run.benchmark_name() + ":" + name] = counter.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> times;
    std::map<std::string, double> counters;  // "run name:counter name"
};

} // namespace tarvo
