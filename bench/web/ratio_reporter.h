// A console reporter that remembers each benchmark's time per iteration, so
// a program can print its figures as ratios against an anchor measured in
// the same run.
#ifndef TIEPIC_BENCH_WEB_RATIO_REPORTER_H_
#define TIEPIC_BENCH_WEB_RATIO_REPORTER_H_

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace web_bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.iterations > 0) {
        seconds_[run.benchmark_name()] = run.real_accumulated_time / run.iterations;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  // Prints name's time as a ratio to anchor's; both are benchmark names.
  void PrintRatio(const std::string& name, const std::string& anchor) const {
    auto a = seconds_.find(anchor), n = seconds_.find(name);
    if (a == seconds_.end() || n == seconds_.end() || a->second <= 0) return;
    std::printf("%-45s %8.1f us  = %.2fx %s\n", name.c_str(), n->second * 1e6,
                n->second / a->second, anchor.c_str());
  }
  double Seconds(const std::string& name) const {
    auto it = seconds_.find(name);
    return it == seconds_.end() ? 0 : it->second;
  }

 private:
  std::map<std::string, double> seconds_;
};

}  // namespace web_bench

#endif  // TIEPIC_BENCH_WEB_RATIO_REPORTER_H_
