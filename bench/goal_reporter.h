// The console reporter of the benchmarks that print a summary against their
// goals: it keeps the wall and the CPU time of every iteration run, in the
// run's own unit.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace stellacq {

class GoalReporter final : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ms;      // wall time
  std::map<std::string, double> cpu_ms;  // CPU time of the process (user and system)
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration) {
        ms[run.benchmark_name()] = run.GetAdjustedRealTime();
        cpu_ms[run.benchmark_name()] = run.GetAdjustedCPUTime();
      }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace stellacq
