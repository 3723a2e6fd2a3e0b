// 1,000 sequential 100 KB fetches from a loopback server, each written to a
// file as a download would, through InetRequest and WinHttpObjectRequest (a
// new object each time), against a bare libcurl loop on one reused handle.
// Run pinned to one CPU for stable figures: taskset -c 1 web_request_bench
#include <curl/curl.h>
#include <httplib.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "ratio_reporter.h"
#include "runtime/file_commands.h"
#include "web/requests.h"

namespace {

constexpr int kFetches = 1000;
constexpr size_t kBodySize = 100 * 1024;

httplib::Server* g_server = nullptr;
std::string g_url;
std::string g_dir;

size_t Append(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<std::vector<unsigned char>*>(user);
  body->insert(body->end(), data, data + size * count);
  return size * count;
}

void Save(int i, const std::vector<unsigned char>& body) {
  rt::WriteBytesToFile(g_dir + "/" + std::to_string(i % 50) + ".jpg", {body});
}

void BM_BareCurlReusedHandle(benchmark::State& state) {
  CURL* easy = curl_easy_init();
  std::vector<unsigned char> body;
  curl_easy_setopt(easy, CURLOPT_URL, g_url.c_str());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Append);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
  int i = 0;
  for (auto _ : state) {
    body.clear();
    curl_easy_perform(easy);
    if (body.size() != kBodySize) state.SkipWithError("short body");
    Save(i++, body);
  }
  curl_easy_cleanup(easy);
}

void BM_InetRequest(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) {
    rt::Bytes body = web::InetRequest(g_url);
    if (body.size() != kBodySize) state.SkipWithError("short body");
    Save(i++, body);
  }
}

void BM_WinHttpObjectRequest(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) {
    rt::Bytes body = web::WinHttpObjectRequest(g_url);
    if (body.size() != kBodySize) state.SkipWithError("short body");
    Save(i++, body);
  }
}

// Each benchmark makes 1,000 fetches per repetition; the lowest of its
// repetitions is compared. CPU time (the client thread's) is the steadier
// figure on a shared machine; real time includes the server's turn on the
// same CPU and whatever else runs there.
BENCHMARK(BM_BareCurlReusedHandle)->Iterations(kFetches)->Repetitions(3)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InetRequest)->Iterations(kFetches)->Repetitions(3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WinHttpObjectRequest)->Iterations(kFetches)->Repetitions(3)
    ->Unit(benchmark::kMicrosecond);
// The floor again at the end, under the same name, so that warm-up and drift
// do not favour either side.
BENCHMARK(BM_BareCurlReusedHandle)->Name("BM_BareCurlReusedHandle")->Iterations(kFetches)
    ->Repetitions(3)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  httplib::Server server;
  std::string body(kBodySize, 'p');
  server.Get("/picture", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(body, "image/jpeg");
  });
  server.set_keep_alive_max_count(1 << 30);
  int port = server.bind_to_any_port("127.0.0.1");
  std::thread thread([&] { server.listen_after_bind(); });
  g_server = &server;
  g_url = "http://127.0.0.1:" + std::to_string(port) + "/picture";
  g_dir = (std::filesystem::temp_directory_path() / ("tiepic-bench-" + std::to_string(getpid())))
              .string();
  std::filesystem::create_directories(g_dir);

  benchmark::Initialize(&argc, argv);
  web_bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nPer fetch, against the bare libcurl floor (target: within 1.25x):\n");
  reporter.PrintRatio("BM_InetRequest", "BM_BareCurlReusedHandle");
  reporter.PrintRatio("BM_WinHttpObjectRequest", "BM_BareCurlReusedHandle");

  server.stop();
  thread.join();
  std::filesystem::remove_all(g_dir);
  return 0;
}
