// The runtime frame: loads windows from their templates, keeps every
// control's state, dispatches events to the logic's handlers, runs the
// message loop until the last window closes, and reports fatal errors.
//
// The thread that constructs the frame is its UI thread. Property reads and
// writes, list-view methods and AppendEditText may be called from any thread:
// off the UI thread each call is queued for the UI thread and the caller
// waits until it has run, so a worker sees its write done when the call
// returns and calls of one thread land in order. The UI thread never waits
// for a worker. Once the program has begun to end (the last window has
// closed), calls from workers are dropped (reads give empty values) instead
// of waiting for a loop that no longer runs or reaching closed windows.
//
// Thread safety: as above; everything not named there belongs to the UI
// thread.
#ifndef TIEPIC_FRAME_FRAME_H_
#define TIEPIC_FRAME_FRAME_H_

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>

#include "frame/ui_backend.h"
#include "frame/window_model.h"
#include "runtime/value.h"

namespace frame {

using rt::Text;
using rt::Value;

struct Event {
  ControlRef source;
  EventKey key = EventKey::kClicked;
  int argument = 0;
};
using EventHandler = std::function<void(const Event&)>;

class Frame {
 public:
  // Takes the calling thread as the UI thread and installs the frame's
  // fatal-error report (a message box through `backend`).
  explicit Frame(UiBackend& backend);
  // The same, with the program folder (UTF-8) taken as `run_directory`
  // instead of the executable's folder: the settings file and the record
  // folder are then kept there.
  Frame(UiBackend& backend, const std::string& run_directory);
  ~Frame();
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;

  // The frame of the process, or nullptr.
  static Frame* Current();

  // --- Start and end (UI thread; loading and closing from any thread) ---
  // The routine runs once when the program ends normally; a fatal error
  // forgets it.
  void RegisterCleanup(std::function<void()> routine);
  // Loads the start window; failure is fatal ("载入启动窗口失败").
  void LoadStartWindow(const WindowTemplate& tmpl);
  // A loaded window is only brought to the front. Otherwise the window is
  // built from its template, its created event is raised and it is shown.
  // Returns true iff the window was loaded or could be created.
  bool LoadWindow(const WindowTemplate& tmpl);
  bool IsLoaded(uint32_t window_id);
  // Closes a window as the user would; closing the start window closes the
  // others with it. The loop ends when no window remains.
  void CloseWindow(uint32_t window_id);
  // Runs the message loop while a window is open, then ends normally: the
  // cleanup routine runs and the remaining windows are destroyed. Returns the
  // exit code, 0.
  int Run();
  // Run, then ends the process with its exit code. Worker threads may still
  // be running: the process must not unwind the objects they use.
  [[noreturn]] void RunThenExit();
  // Ends the program with `code` (normal-end steps, then process exit).
  // From a worker the UI thread does the steps.
  [[noreturn]] void EndProgram(int code);
  bool ending() const { return ending_.load(); }

  // --- Events (UI thread) ---
  // A handler for an event of a control, or with control 0 of the window.
  void SetHandler(ControlRef source, EventKey key, EventHandler handler);
  // Routes an event to its handler. Fatal for an unknown window or control
  // and for a control kind that raises no events; ignored while suspended.
  void DispatchEvent(ControlRef source, EventKey key, int argument = 0);
  ControlRef current_event_source() const { return current_source_; }
  int suspension() const { return suspension_.load(); }

  // --- Properties (any thread) ---
  // Fatal when the window is not loaded, except once the last window has
  // closed: then the call is dropped (reads give empty values). An index the
  // control's kind does not have reads as an empty value and ignores writes.
  Value ReadProperty(ControlRef ref, int index, int array_index = -1);
  void WriteProperty(ControlRef ref, int index, const Value& value, int array_index = -1);

  Text GetText(ControlRef ref);
  void SetText(ControlRef ref, std::string_view gbk);
  void SetCaption(ControlRef ref, std::string_view gbk) { SetText(ref, gbk); }
  bool IsChecked(ControlRef ref);
  void SetChecked(ControlRef ref, bool checked);
  void SetVisible(ControlRef ref, bool visible);
  void SetCurrentPage(ControlRef ref, int page);
  void SetProgressMaximum(ControlRef ref, int maximum);  // clamped to 0 .. 32767
  void SetProgressPosition(ControlRef ref, int position);
  void SetSelectedRow(ControlRef ref, int row);

  // --- List view (any thread); rows and columns count from 0 ---
  void ListDeleteAll(ControlRef ref);
  int ListAppendRow(ControlRef ref);  // index of the new row
  void ListSetCell(ControlRef ref, int row, int column, std::string_view gbk);
  Text ListGetCell(ControlRef ref, int row, int column);
  // kTicked, kUnticked; any other state removes the tick box.
  void ListSetTick(ControlRef ref, int row, int state);
  int ListGetTick(ControlRef ref, int row);  // kTickNone for no row or no tick box
  int ListRowCount(ControlRef ref);
  void ListScrollIntoView(ControlRef ref, int row);
  void ListSetColumnWidth(ControlRef ref, int column, int width);

  // --- Commands ---
  // Adds each text at the end of an edit box and scrolls it into view, also
  // when the user has scrolled elsewhere. Any thread.
  void AppendEditText(ControlRef ref, std::initializer_list<std::string_view> texts);
  // Shows a message box: the message as text (numbers, bools and dates as
  // ToText gives them), caption "信息：" when none is given. Returns OK 0,
  // Cancel 1, Abort 2, Retry 3, Ignore 4, Yes 5, No 6. Any thread.
  int ShowMessageBox(const Value& message, int buttons = 0,
                     std::optional<std::string_view> caption = {});
  // On the UI thread: runs every event and queued call already waiting. On
  // a worker: nothing (a worker's own events are the calls it queues).
  void ProcessEvents();
  // The folder dialog; "" when cancelled. Any thread. A folder whose name GBK
  // text cannot hold also gives "" (it would name another folder); then
  // *unfit, when given, is set to true.
  Text BrowseForFolder(std::string_view title, std::string_view initial_folder,
                       bool* unfit = nullptr);
  // Opens `file` with the desktop's program, read as the shell reads it: a
  // web address as it is, any other text as a file or folder relative to
  // `directory`, or to the working folder when none is given
  // (desktop_address.h). Returns true iff the desktop was asked; a file or
  // folder that is not there is not opened. Any thread.
  bool OpenExternal(std::string_view file, std::string_view directory = {});

  // --- For back ends: the user's own changes (UI thread) ---
  void UserEditedText(ControlRef ref, Text gbk);
  void UserSetChecked(ControlRef ref, bool checked);  // then raise kClicked yourself
  void UserSetPage(ControlRef ref, int page);
  void UserSetTick(ControlRef ref, int row, bool ticked);
  void UserSelectedRow(ControlRef ref, int row);
  void UserClosedWindow(uint32_t window_id) { CloseWindow(window_id); }
  // The state of a loaded window, or nullptr (UI thread).
  const WindowState* Window(uint32_t window_id) const;
  const ControlState* Control(ControlRef ref) const;

  // --- The UI thread's queue ---
  bool OnUiThread() const { return std::this_thread::get_id() == ui_thread_; }
  // Queues `task` for the UI thread without waiting. Any thread.
  void Post(std::function<void()> task);
  // Runs the queued calls that are waiting now (UI thread).
  void DrainTasks();
  // Waits until a call is queued, then runs the waiting ones (UI thread; the
  // headless loop).
  void WaitAndDrainTasks();
  // Runs queued calls until `done()` holds (UI thread): how the UI thread
  // waits for a worker's end, which may be waiting for a call of its own to
  // run. A worker that ends should queue a call last (an empty one will do),
  // so that the wait notices at once.
  void ServeUntil(const std::function<bool()>& done);

  // Runs `fn` on the UI thread and returns its result; from a worker, waits
  // for it. After the end has begun a worker gets a value-initialised result.
  template <class F>
  std::invoke_result_t<F> OnUi(F&& fn) {
    using R = std::invoke_result_t<F>;
    if (OnUiThread()) return fn();
    if constexpr (std::is_void_v<R>) {
      RunOnUiAndWait([&] { fn(); });
    } else {
      R result{};
      RunOnUiAndWait([&] { result = fn(); });
      return result;
    }
  }

  // Shows the fatal report (any thread). Used by the installed reporter.
  void ReportFatal(const std::string& gbk_report);
  // Serves the queue until the process ends (UI thread): what the UI thread
  // does when its own fatal error meets another thread's report, which may
  // be waiting in the queue to be shown.
  [[noreturn]] void ServeQueueForever();

 private:
  struct Task {
    std::function<void()> run;
    bool* done = nullptr;  // the waiting worker's flag, for synchronous calls
  };

  void RunOnUiAndWait(const std::function<void()>& fn);
  bool LoadOnUi(const WindowTemplate& tmpl);
  void CloseOnUi(uint32_t window_id);
  void CancelQueuedTasks();
  void EndSteps();
  // The control `ref` names. Fatal when its window is not loaded or does not
  // hold it, except that once the end has begun a closed window's controls
  // give nullptr (the call is dropped).
  ControlState* LiveControl(ControlRef ref);
  ControlState* FindControl(ControlRef ref);
  Value ReadOwn(const ControlState& c, int own_index) const;
  void WriteOwn(ControlState& c, int own_index, const Value& value);
  template <class F>
  auto WithList(ControlRef ref, F&& fn);

  UiBackend& backend_;
  const std::thread::id ui_thread_;
  std::map<uint32_t, WindowState> windows_;
  uint32_t start_window_ = 0;
  std::map<std::pair<uint64_t, EventKey>, EventHandler> handlers_;
  ControlRef current_source_;
  std::function<void()> cleanup_;
  std::atomic<int> suspension_{0};
  std::atomic<bool> ending_{false};
  bool end_begun_ = false;  // the last window has closed (UI thread)

  std::mutex mu_;
  std::condition_variable tasks_cv_;  // a task was queued
  std::condition_variable done_cv_;   // a synchronous task has finished
  std::deque<Task> tasks_;
  bool wake_pending_ = false;
  bool accepting_ = true;
};

}  // namespace frame

#endif  // TIEPIC_FRAME_FRAME_H_
