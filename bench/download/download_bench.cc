// What tiepic-cli costs per picture on the cursor-paged (thread) path: 100
// and 500 pictures of 100 KB from the stand-in through the whole program,
// against the floor of fetching the same picture addresses with one reused
// libcurl handle and writing the same files into the same folder, in the
// same run. Everything is pinned to one CPU (the program inherits the pin),
// so the stand-in's work is inside both figures. The per-picture figure is
// the difference between the 500- and the 100-picture runs, which leaves
// out what a run costs once (starting the program, finding the thread).
// The program's peak memory (wait4) is compared between the two sizes.
//
// A third side, for diagnosis only, runs the same program with glibc's heap
// trim threshold raised in its environment: the heap then keeps the memory a
// freed picture body leaves at its top instead of handing it back to the
// system and faulting it in again for the next picture.
//
// The files go under the temporary folder (TMPDIR). On a disk the figures
// move with what else the file system is doing; TMPDIR=/dev/shm gives
// steadier ones.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "pin_cpu.h"
#include "run_cli.h"
#include "stand-in/pages.h"
#include "stand-in/server.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kPictureSize = 100 * 1024;
constexpr int kSizes[] = {100, 500};

standin::StandIn* g_service = nullptr;
fs::path g_folder;  // the save folders and the program's home, under one root

// What every run of one benchmark showed; the least disturbed run counts.
struct Figures {
  double real = 0;  // seconds
  double cpu = 0;   // seconds, this process (stand-in, floor) + the program
  long max_rss_kb = 0;
};
std::map<std::string, Figures> g_figures;

void Keep(const std::string& name, double real, double cpu, long max_rss_kb) {
  Figures& f = g_figures[name];
  f.real = f.real == 0 ? real : std::min(f.real, real);
  f.cpu = f.cpu == 0 ? cpu : std::min(f.cpu, cpu);
  f.max_rss_kb = std::max(f.max_rss_kb, max_rss_kb);
}

double Seconds(const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }
double SelfCpu() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

const standin::Thread& ThreadOf(int pictures) {
  for (const standin::Thread& t : g_service->data().threads) {
    if (static_cast<int>(t.pictures.size()) == pictures) return t;
  }
  std::abort();
}

// Returns true iff `folder` holds `count` files of kPictureSize bytes.
bool AllSaved(const fs::path& folder, int count) {
  int found = 0;
  if (!fs::exists(folder)) return false;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (!e.is_regular_file()) continue;
    if (e.file_size() != kPictureSize) return false;
    ++found;
  }
  return found == count;
}

// A save folder and a home of their own for each run. Nothing is deleted
// until the end: a file system that keeps inodes deleted a moment ago out of
// reuse (ext4 without a journal does) would otherwise make every file the
// next run creates pay for a search past them.
fs::path g_save, g_home;
void NextFolders() {
  static int run = 0;
  g_save = g_folder / ("save-" + std::to_string(++run));
  g_home = g_folder / ("home-" + std::to_string(run));
}

// Runs tiepic-cli on the thread; returns its exit status (-1: not run) with
// its resource use. `keep_heap`: with the heap's trim threshold raised.
int RunProgram(const standin::Thread& thread, bool keep_heap, rusage* usage) {
  const std::string host = "127.0.0.1:" + std::to_string(g_service->port());
  return bench::RunCli({"-o", g_save.string(), "--home", g_home.string(), "--web-host", host,
                        "--picture-host", host, "--all-pictures",
                        g_service->ThreadUrl(thread.tid)},
                       keep_heap ? "GLIBC_TUNABLES=glibc.malloc.trim_threshold=67108864" : "",
                       usage);
}

void RunPrograms(benchmark::State& state, bool keep_heap, const std::string& name) {
  const int count = static_cast<int>(state.range(0));
  const standin::Thread& thread = ThreadOf(count);
  for (auto _ : state) {
    NextFolders();
    rusage usage{};
    const double cpu_before = SelfCpu();
    const auto start = std::chrono::steady_clock::now();
    const int status = RunProgram(thread, keep_heap, &usage);
    const double real =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu =
        SelfCpu() - cpu_before + Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    state.SetIterationTime(real);
    if (status != 0 || !AllSaved(g_save, count)) {
      state.SkipWithError("the program did not save every picture");
      break;
    }
    Keep(name + "/" + std::to_string(count), real, cpu, usage.ru_maxrss);
    state.counters["max_rss_kb"] = static_cast<double>(usage.ru_maxrss);
  }
}

void BM_Program(benchmark::State& state) { RunPrograms(state, false, "BM_Program"); }
void BM_ProgramHeapKept(benchmark::State& state) {
  RunPrograms(state, true, "BM_ProgramHeapKept");
}

size_t WriteToFile(char* data, size_t size, size_t count, void* file) {
  return std::fwrite(data, size, count, static_cast<FILE*>(file)) * size;
}

// The floor: the same addresses the guide gives the program, one reused
// handle, each body streamed into its file.
void BM_Floor(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const standin::Thread& thread = ThreadOf(count);
  std::vector<std::string> urls;
  for (const standin::Picture& p : thread.pictures) {
    urls.push_back(standin::ScreenUrl(g_service->hosts(), p.id));
  }
  for (auto _ : state) {
    NextFolders();
    const double cpu_before = SelfCpu();
    const auto start = std::chrono::steady_clock::now();
    const fs::path folder = g_save / "floor";
    fs::create_directories(folder);
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteToFile);
    bool ok = true;
    for (int i = 0; i < count; ++i) {
      char file_name[32];
      std::snprintf(file_name, sizeof file_name, "(%d).jpg", i + 1);
      const std::string name = (folder / file_name).string();
      FILE* file = std::fopen(name.c_str(), "wb");
      if (file == nullptr) {
        ok = false;
        break;
      }
      curl_easy_setopt(easy, CURLOPT_URL, urls[i].c_str());
      curl_easy_setopt(easy, CURLOPT_WRITEDATA, file);
      long code = 0;
      ok &= curl_easy_perform(easy) == CURLE_OK;
      curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
      ok &= code == 200;
      ok &= std::fclose(file) == 0;
    }
    curl_easy_cleanup(easy);
    const double real =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = SelfCpu() - cpu_before;
    state.SetIterationTime(real);
    if (!ok || !AllSaved(g_save, count)) {
      state.SkipWithError("the floor did not save every picture");
      break;
    }
    Keep("BM_Floor/" + std::to_string(count), real, cpu, 0);
  }
}

// One run per repetition; the sizes and the two sides interleaved, twice,
// so that warm-up and drift favour neither.
#define DOWNLOAD_BENCHMARK(name, count) \
  BENCHMARK(name)                       \
      ->Name(#name)                     \
      ->Arg(count)                      \
      ->Iterations(1)                   \
      ->Repetitions(3)                  \
      ->UseManualTime()                 \
      ->Unit(benchmark::kMillisecond)
DOWNLOAD_BENCHMARK(BM_Floor, 500);
DOWNLOAD_BENCHMARK(BM_Program, 500);
DOWNLOAD_BENCHMARK(BM_ProgramHeapKept, 500);
DOWNLOAD_BENCHMARK(BM_Floor, 100);
DOWNLOAD_BENCHMARK(BM_Program, 100);
DOWNLOAD_BENCHMARK(BM_ProgramHeapKept, 100);
DOWNLOAD_BENCHMARK(BM_ProgramHeapKept, 500);
DOWNLOAD_BENCHMARK(BM_Program, 500);
DOWNLOAD_BENCHMARK(BM_Floor, 500);
DOWNLOAD_BENCHMARK(BM_ProgramHeapKept, 100);
DOWNLOAD_BENCHMARK(BM_Program, 100);
DOWNLOAD_BENCHMARK(BM_Floor, 100);

// A board with two threads whose pictures come through the guide.
standin::DataSet Threads() {
  standin::DataSet data;
  data.board = "纸飞机";
  uint64_t tid = 4718500000;
  for (int count : kSizes) {
    standin::Thread thread{std::to_string(tid++), "基准", false, "null", {}};
    for (int i = 0; i < count; ++i) {
      char id[41];
      std::snprintf(id, sizeof id, "%020d%020llu", i,
                    static_cast<unsigned long long>(tid));
      thread.pictures.push_back(standin::Picture{id, standin::PictureFormat::kJpeg,
                                                 kPictureSize, "", true,
                                                 standin::AddressKind::kNormal});
    }
    data.threads.push_back(std::move(thread));
  }
  return data;
}

// Per picture: the 500-picture run less the 100-picture run, over 400.
struct PerPicture {
  double real = 0, cpu = 0;
};
PerPicture Marginal(const std::string& name) {
  const Figures small = g_figures[name + "/100"], large = g_figures[name + "/500"];
  const double extra = kSizes[1] - kSizes[0];
  return {(large.real - small.real) / extra, (large.cpu - small.cpu) / extra};
}

void PrintFigures(int cpu) {
  for (const char* name : {"BM_Floor", "BM_Program", "BM_ProgramHeapKept"}) {
    for (int size : kSizes) {
      if (g_figures[std::string(name) + "/" + std::to_string(size)].real == 0) {
        std::printf("\n%s/%d failed: no figures.\n", name, size);
        return;
      }
    }
  }
  const PerPicture floor = Marginal("BM_Floor");
  std::printf(
      "\nPinned to CPU %d. Per 100 KB picture (the 500-picture run less the 100-picture "
      "run, over 400), against the floor (target: within 1.50x):\n",
      cpu);
  std::printf("  %-20s real %7.1f us            cpu %7.1f us\n", "floor",
              floor.real * 1e6, floor.cpu * 1e6);
  for (const char* name : {"BM_Program", "BM_ProgramHeapKept"}) {
    const PerPicture p = Marginal(name);
    std::printf("  %-20s real %7.1f us = %.2fx   cpu %7.1f us = %.2fx\n", name,
                p.real * 1e6, p.real / floor.real, p.cpu * 1e6, p.cpu / floor.cpu);
  }
  const Figures p1 = g_figures["BM_Program/100"], p5 = g_figures["BM_Program/500"];
  const Figures k1 = g_figures["BM_ProgramHeapKept/100"],
                k5 = g_figures["BM_ProgramHeapKept/500"];
  const Figures f5 = g_figures["BM_Floor/500"];
  std::printf("Whole runs of 500 pictures (program start and thread lookup included):\n");
  std::printf("  real  program %7.1f ms   floor %7.1f ms   = %.2fx\n", p5.real * 1e3,
              f5.real * 1e3, p5.real / f5.real);
  std::printf("Program's peak memory (target: flat with the number of pictures):\n");
  std::printf("  %-20s 100 pictures %ld KB, 500 pictures %ld KB = %.2fx\n", "BM_Program",
              p1.max_rss_kb, p5.max_rss_kb,
              static_cast<double>(p5.max_rss_kb) / p1.max_rss_kb);
  std::printf("  %-20s 100 pictures %ld KB, 500 pictures %ld KB = %.2fx\n",
              "BM_ProgramHeapKept", k1.max_rss_kb, k5.max_rss_kb,
              static_cast<double>(k5.max_rss_kb) / k1.max_rss_kb);
}

}  // namespace

int main(int argc, char** argv) {
  const int cpu = PinToOneCpu();  // before any thread exists, so that all inherit it
  curl_global_init(CURL_GLOBAL_DEFAULT);
  g_folder =
      fs::temp_directory_path() / ("tiepic-download-bench-" + std::to_string(getpid()));
  fs::create_directories(g_folder);

  standin::StandInOptions options;
  options.log_capacity = 2000;
  standin::StandIn service(Threads(), options);
  if (!service.Start()) return 1;
  g_service = &service;

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  PrintFigures(cpu);

  service.Stop();
  fs::remove_all(g_folder);
  curl_global_cleanup();
  return 0;
}
