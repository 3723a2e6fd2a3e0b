// The program's entry sequence and the wiring of both windows: which routine
// each control's event runs. The toolbar, the settings handlers, the outside
// links and the opening of the find window are here; the routines of album
// retrieval, the download run, list handling and the update check are hooks
// that their own modules set.
//
// Thread safety: a Shell lives on the UI thread; its hooks run there, except
// the update check, which gets a thread of its own.
#ifndef TIEPIC_SHELL_MAIN_WINDOW_H_
#define TIEPIC_SHELL_MAIN_WINDOW_H_

#include <atomic>
#include <functional>
#include <thread>

#include "frame/frame.h"
#include "shell/program_state.h"

namespace shell {

// Routines that other modules provide. An empty hook leaves its event
// without effect.
struct Hooks {
  std::function<void()> find_albums;        // 按钮_获取相册封面
  std::function<void()> start_download;     // 按钮_下载选中
  std::function<void()> pause_download;     // 按钮_暂停线程
  std::function<void()> continue_download;  // 按钮_继续下载
  std::function<void()> stop_download;      // 按钮_结束下载
  std::function<void()> open_save_folder;   // 按钮_打开目录
  std::function<void()> select_all;         // 选择框_全选
  std::function<void()> invert_ticks;       // 选择框_反选
  std::function<void()> update_check;       // 按钮_检测更新, and the first help-page visit;
                                            // the shell's own check unless replaced
  std::function<void()> check_service;      // 按钮_检查服务
  std::function<void()> find_from_top;      // find window: 按钮_查找
  std::function<void()> find_next;          // find window: 按钮_查找下一个
  std::function<void()> find_previous;      // find window: 按钮_查找上一个
  // True while a download run goes on or is paused; empty: never.
  std::function<bool()> download_running;
  // Runs in the cleanup routine when the program ends normally.
  std::function<void()> cleanup;
};

class Shell {
 public:
  // Wires both windows' events on `frame` to this shell.
  explicit Shell(frame::Frame& frame);
  ~Shell();

  // The entry sequence: registers the cleanup routine, loads the main window
  // (whose created handler reads the settings) and runs the message loop
  // until the last window closes. Returns the exit code, 0.
  int Run();
  // The entry sequence up to the loop: the main window is loaded and waits;
  // then the settings' cookie file is loaded (see LoadServiceCookies) unless
  // the caller loads it itself after changing the service's settings.
  void Start();
  void set_load_cookies_at_start(bool load) { load_cookies_at_start_ = load; }

  ProgramState& state() { return state_; }
  Hooks& hooks() { return hooks_; }

  // The toolbar's handler, given the index of the clicked button.
  void ToolbarClicked(int button);

  // The user asks to close a window. The main window, while a run goes on,
  // first asks the stop question: OK stops the run and waits until it has
  // let go of its files and record; Cancel keeps it running and the window
  // open. Returns true iff the window may close.
  bool MayCloseWindow(uint32_t window_id);

 private:
  void Wire();
  void WireFindWindow();
  // Runs the update check on a thread of its own, unless one is running.
  void StartUpdateCheck();
  void OnHook(frame::ControlRef source, frame::EventKey key, std::function<void()> Hooks::*hook);
  // True while a run's buttons show: started and not yet ended or stopped.
  bool RunShowing();
  // Empties the bar and the labels a finished run left, so that a new
  // retrieval or run does not start under the last one's 100 %.
  void ClearLastRunProgress();
  void Cleanup();

  frame::Frame& frame_;
  ProgramState state_;
  Hooks hooks_;
  bool load_cookies_at_start_ = true;
  std::atomic<bool> update_check_running_{false};
  std::jthread update_check_thread_;
};

}  // namespace shell

#endif  // TIEPIC_SHELL_MAIN_WINDOW_H_
