// A benchmark program whose report ends with each case's median as a ratio of another
// case's: the name with one part replaced (PostgreSQL against SQLite, through the server
// against in-process), both measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace orv::bench {

// The console report, and the medians it showed.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& Reports) override {
        ConsoleReporter::ReportRuns(Reports);
        for (const Run& R : Reports)
            if (R.run_type == Run::RT_Aggregate && R.aggregate_name == "median")
                Medians[R.run_name.str()] = R.GetAdjustedRealTime();
    }
    std::map<std::string, double> Medians;
};

// Runs the benchmarks the command line selects, then prints under Title, for every case
// whose name holds Measured, its median and the ratio to the case named with Baseline in
// its place.
inline int RunWithRatios(int argc, char** argv, const char* Title, const std::string& Measured,
                         const std::string& Baseline) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TRatioReporter Reporter;
    benchmark::RunSpecifiedBenchmarks(&Reporter);
    std::printf("\n%s\n", Title);
    for (const auto& [Name, Median] : Reporter.Medians) {
        const std::size_t At = Name.find(Measured);
        if (At == std::string::npos) continue;
        std::string BaseName = Name;
        BaseName.replace(At, Measured.size(), Baseline);
        const auto Base = Reporter.Medians.find(BaseName);
        if (Base != Reporter.Medians.end() && Base->second > 0)
            std::printf("  %-64s %10.2f ms  %5.2fx\n", Name.c_str(), Median, Median / Base->second);
    }
    benchmark::Shutdown();
    return 0;
}

} // namespace orv::bench
