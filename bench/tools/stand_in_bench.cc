// Whether the stand-in could be what a download benchmark measures: 1,000
// sequential 100 KB picture fetches (1,000 different pictures, bodies made
// per request) from the stand-in, against the same fetches from a minimal
// cpp-httplib server returning one fixed buffer, in the same run, through
// one reused libcurl handle. The process pins itself to one CPU (as
// taskset -c N would), so server and client share it. Both figures hold the
// server's work as well as the client's: real time, and the CPU time of the
// whole process (the steadier one on a machine shared with other work).
#include <curl/curl.h>
#include <httplib.h>
#include <sched.h>

#include <thread>

#include "pin_cpu.h"
#include "stand-in/server.h"
#include "web/ratio_reporter.h"

namespace {

constexpr int kFetches = 1000;
constexpr uint32_t kBodySize = 100 * 1024;

std::string g_floor_url;
std::vector<std::string> g_stand_in_urls;

size_t Append(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

void Fetch(benchmark::State& state, const std::vector<std::string>& urls) {
  CURL* easy = curl_easy_init();
  std::string body;
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Append);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
  size_t i = 0;
  for (auto _ : state) {
    body.clear();
    curl_easy_setopt(easy, CURLOPT_URL, urls[i++ % urls.size()].c_str());
    long status = 0;
    curl_easy_perform(easy);
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200 || body.size() != kBodySize) state.SkipWithError("wrong answer");
  }
  curl_easy_cleanup(easy);
}

void BM_FixedBufferServer(benchmark::State& state) { Fetch(state, {g_floor_url}); }
void BM_StandIn(benchmark::State& state) { Fetch(state, g_stand_in_urls); }

// Each benchmark makes 1,000 fetches per repetition; the lowest repetition
// counts. Both run twice, interleaved, so that warm-up and drift favour
// neither.
#define STAND_IN_BENCHMARK(name) \
  BENCHMARK(name)                \
      ->Name(#name)              \
      ->Iterations(kFetches)     \
      ->Repetitions(5)           \
      ->MeasureProcessCPUTime()  \
      ->UseRealTime()            \
      ->Unit(benchmark::kMicrosecond)
STAND_IN_BENCHMARK(BM_FixedBufferServer);
STAND_IN_BENCHMARK(BM_StandIn);
STAND_IN_BENCHMARK(BM_FixedBufferServer);
STAND_IN_BENCHMARK(BM_StandIn);

standin::DataSet Pictures() {
  standin::DataSet data;
  data.board = "纸飞机";
  standin::Thread album{"4718203956", "基准", true, "0", {}};
  for (int i = 0; i < kFetches; ++i) {
    char id[41];
    std::snprintf(id, sizeof id, "%040x", 0x5813133f + i);
    album.pictures.push_back(standin::Picture{id, standin::PictureFormat::kJpeg,
                                              kBodySize, "", true,
                                              standin::AddressKind::kNormal});
  }
  data.threads.push_back(std::move(album));
  return data;
}

}  // namespace

int main(int argc, char** argv) {
  int cpu = PinToOneCpu();  // before any thread exists, so that all inherit it
  curl_global_init(CURL_GLOBAL_DEFAULT);

  httplib::Server floor;
  std::string buffer =
      standin::PictureBody(Pictures(), Pictures().threads[0].pictures[0]);
  floor.Get("/picture", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(buffer, "image/jpeg");
  });
  floor.new_task_queue = [] { return new httplib::ThreadPool(16); };  // as the stand-in
  floor.set_keep_alive_max_count(100000);
  floor.set_keep_alive_timeout(1);
  floor.set_tcp_nodelay(true);
  int floor_port = floor.bind_to_any_port("127.0.0.1");
  std::thread floor_thread([&] { floor.listen_after_bind(); });
  g_floor_url = "http://127.0.0.1:" + std::to_string(floor_port) + "/picture";

  standin::StandInOptions options;
  options.log_capacity = 2000;
  standin::StandIn service(Pictures(), options);
  if (!service.Start()) return 1;
  for (const standin::Picture& p : service.data().threads[0].pictures) {
    g_stand_in_urls.push_back(standin::OriginalUrl(service.hosts(), p.id));
  }
  while (!floor.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  benchmark::Initialize(&argc, argv);
  web_bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf(
      "\nPinned to CPU %d. Per fetch, against the fixed-buffer server "
      "(target: within 1.20x):\n",
      cpu);
  reporter.PrintRatio("BM_StandIn", "BM_FixedBufferServer");

  service.Stop();
  floor.stop();
  floor_thread.join();
  curl_global_cleanup();
  return 0;
}
