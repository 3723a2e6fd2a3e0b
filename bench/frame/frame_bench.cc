// What a worker pays to reach the controls: a property write and a log
// append from a worker thread, each handed to the UI thread and waited for,
// against the same call made on the UI thread itself (the anchor) and an
// empty hand-off. A download makes several such calls per picture.
#include <benchmark/benchmark.h>

#include <future>
#include <thread>

#include "frame/frame.h"
#include "frame/ui_headless.h"
#include "frame/window_templates.h"

namespace {

namespace mw = frame::main_window;

// A headless frame whose UI thread runs its loop on a thread of its own, so
// the benchmark's thread is a worker.
class UiThread {
 public:
  UiThread() {
    std::promise<frame::Frame*> ready;
    thread_ = std::thread([&] {
      frame::HeadlessBackend backend;
      frame::Frame frame(backend);
      frame.LoadStartWindow(frame::MainWindowTemplate());
      ready.set_value(&frame);
      frame.Run();
    });
    frame_ = ready.get_future().get();
  }
  ~UiThread() {
    frame_->Post([f = frame_] { f->CloseWindow(mw::kId); });
    thread_.join();
  }
  frame::Frame& frame() { return *frame_; }

 private:
  std::thread thread_;
  frame::Frame* frame_ = nullptr;
};

void BM_PropertyWriteOnUiThread(benchmark::State& state) {
  frame::HeadlessBackend backend;
  frame::Frame frame(backend);
  frame.LoadStartWindow(frame::MainWindowTemplate());
  int i = 0;
  for (auto _ : state) frame.SetProgressPosition(mw::进度条1, i++ & 63);
}
BENCHMARK(BM_PropertyWriteOnUiThread);

void BM_EmptyHandOffFromWorker(benchmark::State& state) {
  UiThread ui;
  for (auto _ : state) ui.frame().OnUi([] {});
}
BENCHMARK(BM_EmptyHandOffFromWorker)->UseRealTime();

void BM_PropertyWriteFromWorker(benchmark::State& state) {
  UiThread ui;
  int i = 0;
  for (auto _ : state) ui.frame().SetProgressPosition(mw::进度条1, i++ & 63);
}
BENCHMARK(BM_PropertyWriteFromWorker)->UseRealTime();

void BM_LogAppendFromWorker(benchmark::State& state) {
  UiThread ui;
  const std::string line = "正在下载第 12 张：1234567890.jpg\r\n";
  int n = 0;
  for (auto _ : state) {
    ui.frame().AppendEditText(mw::编辑框_操作记录, {line});
    if (++n % 20000 == 0) {  // keep the log at a download's usual size
      state.PauseTiming();
      ui.frame().SetText(mw::编辑框_操作记录, "");
      state.ResumeTiming();
    }
  }
}
BENCHMARK(BM_LogAppendFromWorker)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
