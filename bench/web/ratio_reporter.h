// A console reporter that remembers each benchmark's time per iteration, so
// a program can print its figures as ratios against an anchor measured in
// the same run.
#ifndef TIEPIC_BENCH_WEB_RATIO_REPORTER_H_
#define TIEPIC_BENCH_WEB_RATIO_REPORTER_H_

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace web_bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Keeps, per benchmark, the lowest real and CPU time per iteration over
  // its repetitions: the least disturbed run on a shared machine.
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations == 0 || run.error_occurred) continue;
      const auto& name = run.run_name;
      Times& t = times_[name.args.empty() ? name.function_name
                                          : name.function_name + "/" + name.args];
      double real = run.real_accumulated_time / run.iterations;
      double cpu = run.cpu_accumulated_time / run.iterations;
      t.real = t.real == 0 ? real : std::min(t.real, real);
      t.cpu = t.cpu == 0 ? cpu : std::min(t.cpu, cpu);
    }
    ConsoleReporter::ReportRuns(runs);
  }
  // Prints name's times as ratios to anchor's; both are function names,
  // followed by "/" and the arguments for a benchmark that takes any.
  void PrintRatio(const std::string& name, const std::string& anchor) const {
    auto a = times_.find(anchor), n = times_.find(name);
    if (a == times_.end() || n == times_.end() || a->second.real <= 0 || a->second.cpu <= 0) {
      return;
    }
    std::printf("%-36s real %8.1f us = %.2fx   cpu %8.1f us = %.2fx   (anchor %s)\n",
                name.c_str(), n->second.real * 1e6, n->second.real / a->second.real,
                n->second.cpu * 1e6, n->second.cpu / a->second.cpu, anchor.c_str());
  }

 private:
  struct Times {
    double real = 0;
    double cpu = 0;
  };
  std::map<std::string, Times> times_;
};

}  // namespace web_bench

#endif  // TIEPIC_BENCH_WEB_RATIO_REPORTER_H_
