// What fetching pictures ahead buys: tiepic-cli saves a thread of 200
// pictures of 100 KB from the stand-in with --jobs 1 and --jobs 4, once with
// 50 ms added before every picture answer (a distant picture host) and once
// without. The figures are whole runs, program start included, and each is
// reported against --jobs 1 under the same conditions in the same run:
// with the latency the target is at most a third, without it no slower.
//
// The files go under the temporary folder (TMPDIR).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "run_cli.h"
#include "stand-in/server.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kPictureSize = 100 * 1024;
constexpr int kPictures = 200;
constexpr int kLatencyMs = 50;

standin::StandIn* g_service = nullptr;
fs::path g_folder;
std::map<std::string, double> g_best;  // least disturbed run per side, seconds

standin::DataSet OneThread() {
  standin::DataSet data;
  data.board = "纸飞机";
  standin::Thread thread{"4718600000", "基准", false, "null", {}};
  for (int i = 0; i < kPictures; ++i) {
    char id[41];
    std::snprintf(id, sizeof id, "%020d%020lld", i, 4718600000LL);
    thread.pictures.push_back(standin::Picture{id, standin::PictureFormat::kJpeg, kPictureSize,
                                               "", true, standin::AddressKind::kNormal});
  }
  data.threads.push_back(std::move(thread));
  return data;
}

// Returns the number of whole pictures under `folder`.
int SavedPictures(const fs::path& folder) {
  int found = 0;
  if (!fs::exists(folder)) return 0;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (e.is_regular_file() && e.file_size() == kPictureSize) ++found;
  }
  return found;
}

// Runs tiepic-cli on the thread into folders of its own; returns its exit
// status (-1: not run).
int RunProgram(int jobs, const fs::path& save, const fs::path& home) {
  const std::string host = "127.0.0.1:" + std::to_string(g_service->port());
  return bench::RunCli({"-o", save.string(), "--home", home.string(), "--web-host", host,
                        "--picture-host", host, "--all-pictures", "--jobs",
                        std::to_string(jobs),
                        g_service->ThreadUrl(g_service->data().threads[0].tid)});
}

// range(0): jobs; range(1): 1 with the added latency.
void BM_Program(benchmark::State& state) {
  const int jobs = static_cast<int>(state.range(0));
  const bool latency = state.range(1) != 0;
  const int fault =
      latency ? g_service->AddFault("picture:latency=" + std::to_string(kLatencyMs)) : -1;
  static int run = 0;
  for (auto _ : state) {
    ++run;
    const fs::path save = g_folder / ("save-" + std::to_string(run));
    const fs::path home = g_folder / ("home-" + std::to_string(run));
    const auto start = std::chrono::steady_clock::now();
    const int status = RunProgram(jobs, save, home);
    const double real =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(real);
    if (status != 0 || SavedPictures(save) != kPictures) {
      state.SkipWithError("the program did not save every picture");
      break;
    }
    const std::string side = std::string(latency ? "latency" : "local") + "/" +
                             std::to_string(jobs);
    double& best = g_best[side];
    best = best == 0 ? real : std::min(best, real);
    fs::remove_all(save);
    fs::remove_all(home);
  }
  if (fault >= 0) g_service->faults().Remove(fault);
}

// One run per repetition; the sides interleaved, so that warm-up and drift
// favour none.
#define PARALLEL_BENCHMARK(jobs, latency) \
  BENCHMARK(BM_Program)                   \
      ->Args({jobs, latency})             \
      ->Iterations(1)                     \
      ->Repetitions(3)                    \
      ->UseManualTime()                   \
      ->Unit(benchmark::kMillisecond)
PARALLEL_BENCHMARK(1, 1);
PARALLEL_BENCHMARK(4, 1);
PARALLEL_BENCHMARK(1, 0);
PARALLEL_BENCHMARK(4, 0);
PARALLEL_BENCHMARK(4, 1);
PARALLEL_BENCHMARK(1, 1);
PARALLEL_BENCHMARK(4, 0);
PARALLEL_BENCHMARK(1, 0);

void PrintFigures() {
  for (const char* side : {"latency/1", "latency/4", "local/1", "local/4"}) {
    if (g_best[side] == 0) {
      std::printf("\n%s failed: no figures.\n", side);
      return;
    }
  }
  std::printf("\n%d pictures of %u KB through the whole program, best run of each side:\n",
              kPictures, kPictureSize / 1024);
  std::printf("  %d ms before each picture answer: --jobs 1 %7.1f ms, --jobs 4 %7.1f ms"
              " = %.2fx (target: at most 0.33x)\n",
              kLatencyMs, g_best["latency/1"] * 1e3, g_best["latency/4"] * 1e3,
              g_best["latency/4"] / g_best["latency/1"]);
  std::printf("  no added latency:              --jobs 1 %7.1f ms, --jobs 4 %7.1f ms"
              " = %.2fx (target: at most 1.00x)\n",
              g_best["local/1"] * 1e3, g_best["local/4"] * 1e3,
              g_best["local/4"] / g_best["local/1"]);
}

}  // namespace

int main(int argc, char** argv) {
  g_folder =
      fs::temp_directory_path() / ("tiepic-parallel-bench-" + std::to_string(getpid()));
  fs::create_directories(g_folder);
  standin::StandInOptions options;
  options.log_capacity = 4000;
  standin::StandIn service(OneThread(), options);
  if (!service.Start()) return 1;
  g_service = &service;

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  PrintFigures();

  service.Stop();
  fs::remove_all(g_folder);
  return 0;
}
