// The console reporter of the benchmarks that print a summary against their
// goals: it keeps the wall and the CPU time of every iteration run, in the
// run's own unit.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <initializer_list>
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

// A benchmark's figure and its goal in milliseconds (0: shown without one).
struct CpuGoal {
  const char* name;  // the benchmark's
  const char* what;  // what the table says it measures
  double goal_ms;
};

// Prints the CPU and wall time of each benchmark beside its goal, judged on
// the CPU time, which the load of a shared machine does not change; true
// when every goal of a benchmark that ran is met.
inline bool print_cpu_goals(const GoalReporter& reporter, std::initializer_list<CpuGoal> goals) {
  std::printf("\n%-40s %10s %10s %10s %8s\n", "operation", "CPU ms", "wall ms", "goal ms", "ratio");
  bool all_met = true;
  for (const CpuGoal& g : goals) {
    const auto cpu = reporter.cpu_ms.find(g.name);
    const auto wall = reporter.ms.find(g.name);
    if (cpu == reporter.cpu_ms.end() || wall == reporter.ms.end()) continue;
    if (g.goal_ms <= 0) {
      std::printf("%-40s %10.2f %10.2f %10s\n", g.what, cpu->second, wall->second, "-");
      continue;
    }
    const bool met = cpu->second < g.goal_ms;
    all_met = all_met && met;
    std::printf("%-40s %10.2f %10.2f %10.1f %8.2f %s\n", g.what, cpu->second, wall->second, g.goal_ms,
                cpu->second / g.goal_ms, met ? "met" : "MISSED");
  }
  return all_met;
}

}  // namespace stellacq
