// The same worker calls through Qt's event loop (offscreen), and start-up to
// the main window shown, against start-up on the headless back end.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QWidget>
#include <atomic>
#include <thread>

#include "frame/frame.h"
#include "frame/ui_headless.h"
#include "frame/window_templates.h"
#include "gui/ui_qt.h"
#include "platform/file_system.h"
#include "shell/main_window.h"

namespace {

namespace mw = frame::main_window;

void BM_StartUpHeadless(benchmark::State& state) {
  for (auto _ : state) {
    frame::HeadlessBackend backend;
    frame::Frame frame(backend);
    shell::Shell shell(frame);
    shell.Start();
    benchmark::DoNotOptimize(frame.Window(mw::kId));
  }
}
BENCHMARK(BM_StartUpHeadless)->Unit(benchmark::kMicrosecond);

void BM_StartUpToMainWindowShownQt(benchmark::State& state) {
  for (auto _ : state) {
    gui::QtBackend backend;
    frame::Frame frame(backend);
    shell::Shell shell(frame);
    shell.Start();
    QWidget* window = backend.Widget(mw::kWindow);
    while (!window->isVisible()) QApplication::processEvents();
    QApplication::processEvents();  // the first layout and paint requests
  }
}
BENCHMARK(BM_StartUpToMainWindowShownQt)->Unit(benchmark::kMicrosecond);

// Call `i` of a run: a log append or a progress write.
void OneCall(frame::Frame& frame, bool append, int i) {
  static const std::string line = "正在下载第 12 张：1234567890.jpg\r\n";
  if (append) {
    frame.AppendEditText(mw::编辑框_操作记录, {line});
  } else {
    frame.SetProgressPosition(mw::进度条1, i & 63);
  }
}

// The benchmark's thread is the UI thread here (Qt wants its own); a worker
// makes `calls` writes or appends while Qt's loop serves them.
void RunWorker(benchmark::State& state, bool append) {
  gui::QtBackend backend;
  frame::Frame frame(backend);
  frame.LoadStartWindow(frame::MainWindowTemplate());
  int64_t calls = 0;
  for (auto _ : state) {
    std::thread worker([&] {
      for (int i = 0; i < 1000; ++i) OneCall(frame, append, i);
      frame.Post([&backend] { backend.QuitLoop(); });
    });
    backend.RunLoop();
    worker.join();
    calls += 1000;
    state.PauseTiming();
    frame.SetText(mw::编辑框_操作记录, "");
    state.ResumeTiming();
  }
  state.SetItemsProcessed(calls);
}

// The widgets' own share: the same 1000 calls on the UI thread, each followed
// by the event processing that a hand-off would get.
void RunOnUi(benchmark::State& state, bool append) {
  gui::QtBackend backend;
  frame::Frame frame(backend);
  frame.LoadStartWindow(frame::MainWindowTemplate());
  int64_t calls = 0;
  for (auto _ : state) {
    for (int i = 0; i < 1000; ++i) {
      OneCall(frame, append, i);
      QApplication::processEvents();
    }
    calls += 1000;
    state.PauseTiming();
    frame.SetText(mw::编辑框_操作记录, "");
    state.ResumeTiming();
  }
  state.SetItemsProcessed(calls);
}

void BM_PropertyWriteOnUiThreadQt(benchmark::State& state) { RunOnUi(state, false); }
BENCHMARK(BM_PropertyWriteOnUiThreadQt)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LogAppendOnUiThreadQt(benchmark::State& state) { RunOnUi(state, true); }
BENCHMARK(BM_LogAppendOnUiThreadQt)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PropertyWriteFromWorkerQt(benchmark::State& state) { RunWorker(state, false); }
BENCHMARK(BM_PropertyWriteFromWorkerQt)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LogAppendFromWorkerQt(benchmark::State& state) { RunWorker(state, true); }
BENCHMARK(BM_LogAppendFromWorkerQt)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  platform::SetRunDirectory(QDir::tempPath().toStdString() + "/tiepic_bench");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
