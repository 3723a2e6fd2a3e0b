// One address through the desktop program's handlers, headless.
#include "app/cli_run.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#include "discovery/discovery.h"
#include "download/download_run.h"
#include "download/service_check.h"
#include "frame/frame.h"
#include "frame/ui_headless.h"
#include "frame/window_templates.h"
#include "runtime/file_commands.h"
#include "runtime/gbk.h"
#include "runtime/text_commands.h"
#include "shell/main_window.h"
#include "shell/settings.h"

namespace cli {
namespace {

namespace mw = frame::main_window;
using Clock = std::chrono::steady_clock;

sigset_t WatchedSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

// A cell as one field of a tab-separated line: control characters (a tab or
// line break in a hostile album name) become '?'.
std::string Field(std::string_view gbk) { return rt::ToUtf8(rt::OneLine(gbk)); }

void PrintRows(frame::Frame& frame) {
  const frame::ControlRef list = mw::超级列表框1;
  const int rows = frame.ListRowCount(list);
  for (int row = 0; row < rows; ++row) {
    const std::string line = Field(frame.ListGetCell(list, row, mw::kColumnNumber)) + "\t" +
                             (frame.ListGetTick(list, row) == frame::kTicked ? "1" : "0") + "\t" +
                             Field(frame.ListGetCell(list, row, mw::kColumnCount)) + "\t" +
                             Field(frame.ListGetCell(list, row, mw::kColumnId)) + "\t" +
                             Field(frame.ListGetCell(list, row, mw::kColumnName)) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  std::fflush(stdout);
}

// Ticks exactly the rows whose number is in `albums`.
void TickRows(frame::Frame& frame, const std::set<int>& albums) {
  const frame::ControlRef list = mw::超级列表框1;
  for (int row = 0; row < frame.ListRowCount(list); ++row) {
    const int number = std::atoi(frame.ListGetCell(list, row, mw::kColumnNumber).c_str());
    frame.ListSetTick(list, row, albums.contains(number) ? frame::kTicked : frame::kUnticked);
  }
}

// The operation log's lines, as they are appended, on the console.
frame::Observer LogObserver(Console& console) {
  return {.text_appended = [&console](const frame::ControlState& c, std::string_view gbk) {
    if (c.window == mw::kId && c.tmpl->id == mw::编辑框_操作记录.control) console.Log(gbk);
  }};
}

// The button a user pressing Enter takes: the first one.
frame::DialogButton FirstButton(int style) {
  switch (style & 0xF) {
    case frame::kButtonsAbortRetryIgnore:
      return frame::DialogButton::kAbort;
    case frame::kButtonsYesNoCancel:
    case frame::kButtonsYesNo:
      return frame::DialogButton::kYes;
    case frame::kButtonsRetryCancel:
      return frame::DialogButton::kRetry;
    default:
      return frame::DialogButton::kOk;
  }
}

Counts CountsOf(const download::RunFigures& figures) {
  return {figures.saved,     figures.skipped,      figures.failed, figures.bytes,
          figures.not_asked, figures.unread_pages, figures.added};
}

// The numbers in `albums` that no row of the list has.
std::set<int> MissingRows(frame::Frame& frame, const std::set<int>& albums) {
  std::set<int> missing = albums;
  const frame::ControlRef list = mw::超级列表框1;
  for (int row = 0; row < frame.ListRowCount(list); ++row) {
    missing.erase(std::atoi(frame.ListGetCell(list, row, mw::kColumnNumber).c_str()));
  }
  return missing;
}

// The stderr line of a quiet run for a retrieval in trouble.
std::string TroubleLine(const discovery::RetrievalTrouble& trouble) {
  std::string cause = "the service answered nothing";
  if (trouble.kind == discovery::AnswerKind::kNoAnswer) {
    switch (trouble.failure) {
      case web::RequestFailure::kCertificate:
        cause = "the service's certificate failed the checks";
        break;
      case web::RequestFailure::kSecureChannel:
        cause = "no https connection to the service came about";
        break;
      case web::RequestFailure::kTooLarge:
        cause = "the service's answers were too large";
        break;
      case web::RequestFailure::kTooSlow:
        cause = "the service answered too slowly";
        break;
      default:
        cause = "could not reach the service";
    }
  }
  if (trouble.kind == discovery::AnswerKind::kErrorStatus) {
    cause = "the service answered with errors (HTTP " + std::to_string(trouble.status) + ")";
  }
  return "tiepic-cli: " + cause +
         (trouble.nothing_found ? "; no albums found"
                                : "; some pages could not be read, albums may be missing");
}

// The albums of a run, as the progress bar names them.
std::vector<AlbumRow> AlbumRows(const std::vector<download::SelectionItem>& selection) {
  std::vector<AlbumRow> albums;
  for (const download::SelectionItem& item : selection) {
    albums.push_back({Field(item.name), std::atoll(item.count.c_str())});
  }
  return albums;
}

// Sets the service hosts, save folder and option boxes the command line gives.
void ApplyOptions(frame::Frame& frame, shell::Shell& shell, const Options& options,
                  Console& console) {
  shell::ServiceAddresses& service = shell.state().service;
  if (!options.web_host.empty()) service.web_host = options.web_host;
  if (!options.picture_host.empty()) service.picture_host = options.picture_host;
  if (!options.client_address.empty()) service.client_address = options.client_address;
  if (options.jobs) shell.state().parallel_fetches = *options.jobs;
  if (options.manifest) shell.state().manifest = *options.manifest;
  if (!options.cookie_file.empty()) service.cookie_file = rt::FromUtf8(options.cookie_file);
  if (!options.profile_file.empty()) service.profile_file = rt::FromUtf8(options.profile_file);
  // Loaded once the hosts are final: only their cookies are taken.
  shell::LoadServiceCookies(frame, shell.state());
  std::string refused;
  if (!shell::LoadServiceProfile(frame, shell.state(), &refused) && console.quiet()) {
    console.Error("tiepic-cli: profile " + refused + "; the built-in profile is used");
  }
  if (!options.save_folder.empty()) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(options.save_folder, ec);
    frame.SetText(mw::编辑框_保存位置,
                  rt::FromUtf8(ec ? options.save_folder : absolute.lexically_normal().string()));
  }
  const std::pair<const std::optional<bool>&, frame::ControlRef> boxes[] = {
      {options.prevent_repeat, mw::选择框_下载记录},
      {options.describe_names, mw::选择框_文件名},
      {options.all_pictures, mw::选择框_下载帖子全部图片},
  };
  for (const auto& [choice, box] : boxes) {
    if (choice) frame.SetChecked(box, *choice);  // for this run: not written back
  }
}

}  // namespace

Interrupts::Interrupts() {
  const sigset_t signals = WatchedSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal_fd_ = signalfd(-1, &signals, SFD_CLOEXEC);
  end_fd_ = eventfd(0, EFD_CLOEXEC);
  watcher_ = std::jthread([this] { Watch(); });
}

Interrupts::~Interrupts() {
  const uint64_t one = 1;
  if (end_fd_ >= 0 && ::write(end_fd_, &one, sizeof one) < 0) {
    // Nothing more to do: the watcher ends with the process.
  }
  if (watcher_.joinable()) watcher_.join();
  for (int fd : {signal_fd_, end_fd_}) {
    if (fd >= 0) ::close(fd);
  }
}

void Interrupts::Watch() {
  if (signal_fd_ < 0 || end_fd_ < 0) return;
  while (true) {
    pollfd fds[] = {{signal_fd_, POLLIN, 0}, {end_fd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    signalfd_siginfo info;
    if (::read(signal_fd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) continue;
    {
      // Under the lock, so that the routine's run cannot outlive SetRoutine.
      std::lock_guard<std::mutex> lock(mutex_);
      interrupted_.store(true);
      if (routine_) routine_();
    }
    signalled_.notify_all();
  }
}

void Interrupts::SetRoutine(std::function<void()> routine) {
  std::lock_guard<std::mutex> lock(mutex_);
  routine_ = std::move(routine);
}

bool Interrupts::Wait(std::chrono::seconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  return signalled_.wait_for(lock, limit, [this] { return interrupted_.load(); });
}

namespace {

// The frame and the handlers of one run, and what the run has come to.
class HeadlessRun {
 public:
  HeadlessRun(const Options& options, Console& console, Interrupts& interrupts)
      : options_(options),
        console_(console),
        interrupts_(interrupts),
        frame_(backend_),
        shell_(frame_),
        discovery_(frame_, shell_,
                   {.refusal_first_wait_ms = RefusalWait(), .empty_page_retry_ms = RetryWait()}),
        downloads_(frame_, shell_.state(), discovery_.retrieval(),
                   {.empty_page_retry_ms = RetryWait(), .refusal_first_wait_ms = RefusalWait()}) {
    download::WireDownloadButtons(shell_.hooks(), downloads_);
    ShowOnConsole();
    shell_.set_load_cookies_at_start(false);  // ApplyOptions loads them
    shell_.Start();
    ApplyOptions(frame_, shell_, options_, console_);
    result_.save_folder = rt::ToUtf8(download::SaveRootOf(frame_.GetText(mw::编辑框_保存位置)));
  }

  RunResult Go();

 private:
  static int RefusalWait() {
    return shell::ReadRefusalWaitMs(rt::SettingsDirectory() + "/" + shell::IniFileName());
  }
  static int RetryWait() {
    return shell::ReadRetryWaitMs(rt::SettingsDirectory() + "/" + shell::IniFileName());
  }
  void ShowOnConsole();
  void AlbumsFound();
  void Interrupted();
  void Follow(const download::RunEvent& event);

  const Options& options_;
  Console& console_;
  Interrupts& interrupts_;
  RunResult result_;  // before the frame: outlives its queued calls
  download::RunFigures figures_;
  bool manifest_ = false;  // the run's album folders kept manifests
  frame::HeadlessBackend backend_;
  frame::Frame frame_;
  shell::Shell shell_;
  discovery::Discovery discovery_;
  download::DownloadControl downloads_;
};

// The log and the message boxes.
void HeadlessRun::ShowOnConsole() {
  Console& console = console_;
  backend_.SetResponder({.message_box = [&console](const frame::MessageBoxRequest& box) {
    console.MessageBox(box.caption, box.text);
    return FirstButton(box.style);
  }});
  backend_.SetObserver(LogObserver(console));
}

// The retrieval has ended: list the rows, or tick them and download. A
// retrieval that found nothing, rows that do not exist and a thread without
// pictures end the run before the download.
void HeadlessRun::AlbumsFound() {
  const discovery::AlbumRetrieval& retrieval = discovery_.retrieval();
  const bool listing = options_.action == Action::kList;
  result_.rows = frame_.ListRowCount(mw::超级列表框1);
  if (listing || retrieval.last_kind() == discovery::AddressKind::kUnrecognised ||
      retrieval.trouble().nothing_found) {
    if (listing) PrintRows(frame_);
    frame_.CloseWindow(mw::kId);
    return;
  }
  if (options_.albums) {
    result_.missing_rows = MissingRows(frame_, *options_.albums);
    if (!result_.missing_rows.empty()) {
      result_.end = RunResult::End::kNoSuchRows;
      frame_.CloseWindow(mw::kId);
      return;
    }
    TickRows(frame_, *options_.albums);
  }
  // A thread's row counting 0 is left unticked, and a download of nothing
  // would say no album was chosen: the run says the thread has no pictures.
  if (retrieval.last_kind() == discovery::AddressKind::kThread &&
      frame_.ListGetCell(mw::超级列表框1, 0, mw::kColumnCount) == "0") {
    result_.end = RunResult::End::kNoPictures;
    result_.albums = 1;
    frame_.CloseWindow(mw::kId);
    return;
  }
  frame_.DispatchEvent(mw::按钮_下载选中, frame::EventKey::kClicked);
}

// The run's events, after the main window has shown them: the bar, the
// result, and the end.
void HeadlessRun::Follow(const download::RunEvent& event) {
  if (const auto* started = std::get_if<download::RunStarted>(&event)) {
    result_.save_folder = rt::ToUtf8(started->save_root);
    console_.BeginProgress(AlbumRows(started->albums), [this] { return CountsOf(figures_); });
  } else if (const auto* album = std::get_if<download::AlbumStarted>(&event)) {
    result_.albums = album->number;
    console_.Album(album->number);
  } else if (const auto* picture = std::get_if<download::PictureDone>(&event)) {
    figures_ = picture->figures;
    console_.Progress();
  } else if (const auto* finished = std::get_if<download::RunFinished>(&event)) {
    figures_ = finished->figures;
    for (const download::FailedPicture& failure : finished->failures) {
      result_.failures.push_back(Field(failure.album) + "\t" + Field(failure.id) + "\t" +
                                 Field(failure.why));
    }
    for (const download::AlbumNotAsked& album : finished->not_asked) {
      result_.not_asked.push_back(Field(album.album) + "\t" + std::to_string(album.pictures));
    }
    if (finished->stopped) result_.end = RunResult::End::kStopped;
    manifest_ = finished->manifest;
    frame_.CloseWindow(mw::kId);
  }
}

// On the UI thread: the stop button during a download, else the end.
void HeadlessRun::Interrupted() {
  if (!frame_.IsLoaded(mw::kId)) return;  // the run has ended already
  if (downloads_.running()) {
    frame_.DispatchEvent(mw::按钮_结束下载, frame::EventKey::kClicked);
  } else if (discovery_.retrieval().running()) {
    // A retrieval holds no file or record, but its request may wait a minute
    // for a silent service: the program ends now instead of waiting for it.
    console_.EndProgress();
    frame_.EndProgram(kExitStopped);
  } else {
    result_.end = RunResult::End::kStopped;
    frame_.CloseWindow(mw::kId);
  }
}

RunResult HeadlessRun::Go() {
  const Clock::time_point started = Clock::now();
  downloads_.SetObserver([this](const download::RunEvent& event) { Follow(event); });
  discovery_.retrieval().SetOnFinished([this] { AlbumsFound(); });
  interrupts_.SetRoutine([this] { frame_.Post([this] { Interrupted(); }); });
  // On a terminal the bar's rate and time left move with the clock too, not
  // only with the run's events; the clock ends with the run at once.
  std::jthread clock;
  if (console_.drawing()) {
    clock = std::jthread([this](std::stop_token stop) {
      std::mutex mutex;
      std::condition_variable_any wake;
      std::unique_lock<std::mutex> lock(mutex);
      while (!wake.wait_for(lock, stop, std::chrono::milliseconds(250), [] { return false; })) {
        if (stop.stop_requested()) break;
        frame_.Post([this] { console_.Progress(); });
      }
    });
  }

  frame_.SetText(mw::编辑框_号码, rt::FromUtf8(options_.address));
  frame_.DispatchEvent(mw::按钮_获取相册封面, frame::EventKey::kClicked);
  if (interrupts_.interrupted()) {
    result_.end = RunResult::End::kStopped;
  } else if (!discovery_.retrieval().running()) {
    result_.end = RunResult::End::kNotStarted;  // the find button has said why
  } else {
    frame_.Run();
  }
  if (clock.joinable()) {
    clock.request_stop();
    clock.join();
  }
  interrupts_.SetRoutine(nullptr);
  console_.EndProgress();

  if (discovery_.retrieval().last_kind() == discovery::AddressKind::kUnrecognised) {
    result_.end = RunResult::End::kUnrecognised;
  }
  result_.counts = CountsOf(figures_);
  if (!manifest_) result_.counts.added = -1;
  result_.record_failures = figures_.record_failures;
  result_.trouble = discovery_.retrieval().trouble();
  result_.refused =
      discovery_.retrieval().persisted_refusals() + static_cast<int>(figures_.refused);
  result_.seconds = std::chrono::duration<double>(Clock::now() - started).count();
  return result_;
}

}  // namespace

int CheckService(const Options& options, Console& console) {
  frame::HeadlessBackend backend;
  frame::Frame frame(backend);
  shell::Shell shell(frame);
  // The log shows where the settings and the profile came from.
  backend.SetObserver(LogObserver(console));
  shell.set_load_cookies_at_start(false);  // ApplyOptions loads them
  shell.Start();
  ApplyOptions(frame, shell, options, console);
  const shell::ProgramState& state = shell.state();
  const rt::Text address = options.address.empty() ? download::ExampleBoardAddress(state.service.web_host)
                                                   : rt::TrimText(rt::FromUtf8(options.address));
  if (!download::IsServiceAddress(address, state.service.web_host)) {
    console.Error("tiepic-cli: " +
                  rt::ToUtf8(discovery::UnrecognisedAddressMessage(state.service.web_host)));
    return kExitUnrecognised;
  }
  std::atomic<bool> done = false;
  download::CheckTally tally;
  std::jthread worker([&] {
    download::CheckService(state, address, [&](const download::InterfaceCheck& check) {
      const std::string line = download::CheckLine(check);
      // An interface not asked (nothing to ask with) is told, not counted.
      const bool fit = check.fit == download::Fit::kFits || check.fit == download::Fit::kNotAsked;
      frame.Post([&console, &tally, check, line, fit] {
        tally.Add(check);
        // A quiet check still tells what does not fit.
        if (!fit && console.quiet()) console.Error("tiepic-cli: " + line);
        console.Print(line);
      });
    });
    frame.Post([&done] { done.store(true); });
  });
  frame.ServeUntil([&] { return done.load(); });
  worker.join();
  // Answers that do not fit the profile come first; a service that refused
  // or could not be reached says nothing about the profile.
  if (tally.unfit > 0) return kExitServiceChanged;
  if (tally.refused > 0) return kExitRefused;
  if (tally.unreachable > 0) return kExitListUnread;
  return kExitOk;
}

RunResult RunAddress(const Options& options, Console& console, Interrupts& interrupts) {
  HeadlessRun run(options, console, interrupts);
  return run.Go();
}

int ExitStatus(const RunResult& result, const Options& options, Console& console) {
  switch (result.end) {
    case RunResult::End::kUnrecognised:
      if (console.quiet())
        console.Error("tiepic-cli: not a board or thread address: " + options.address);
      return kExitUnrecognised;
    case RunResult::End::kStopped:
      return kExitStopped;
    case RunResult::End::kNotStarted:
      return kExitUsage;
    case RunResult::End::kNoSuchRows:
      console.Error("tiepic-cli: --albums names rows the list does not have: " +
                    PrintAlbumList(result.missing_rows) + " (it has " +
                    std::to_string(result.rows) + (result.rows == 1 ? " row" : " rows") +
                    "; --list shows them)");
      return kExitUsage;
    case RunResult::End::kDone:
    case RunResult::End::kNoPictures:
      break;
  }
  if (result.refused > 0 && result.trouble.browser_check) {
    if (console.quiet()) {
      console.Error(
          "tiepic-cli: the album list could not be read: the service asked for a browser "
          "check (a signed-in cookie file, --cookies FILE, may get past it)");
    }
    return kExitRefused;
  }
  if (result.refused > 0) {
    if (console.quiet()) {
      console.Error(
          "tiepic-cli: the service kept refusing requests; albums or pictures may "
          "be missing (a signed-in cookie file or a later run may help)");
    }
    return kExitRefused;
  }
  if (result.trouble.any()) {
    if (console.quiet()) console.Error(TroubleLine(result.trouble));
    return kExitListUnread;
  }
  const Counts& counts = result.counts;
  const bool not_asked = counts.not_asked > 0 || counts.unread_pages > 0;
  if (console.quiet() && counts.failed > 0) {
    console.Error("tiepic-cli: " + std::to_string(counts.failed) +
                  (counts.failed == 1 ? " picture" : " pictures") + " could not be saved");
    for (const std::string& line : result.failures) console.Error("  " + line);
  }
  if (console.quiet() && not_asked) {
    console.Error(PrintNotAsked(counts, "tiepic-cli: "));
    for (const std::string& line : result.not_asked) console.Error("  " + line);
  }
  if (console.quiet() && result.record_failures > 0) {
    console.Error("tiepic-cli: the repeat-download record of " +
                  std::to_string(result.record_failures) +
                  (result.record_failures == 1 ? " album" : " albums") +
                  " could not be written; downloaded without prevent-repeat");
  }
  if (counts.failed > 0 || not_asked || result.record_failures > 0) return kExitSomeFailed;
  return kExitOk;
}

}  // namespace cli
