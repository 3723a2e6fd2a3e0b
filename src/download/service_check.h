// The service check: each interface the program uses asked once, as the
// service profile asks it, and its answer read as the profile reads it, so
// that a user sees which interface no longer answers as expected and which
// key of the profile names what is missing.
//
// For a board address the check asks the board page, the album list, the
// first album's picture list, its picture total, its thread page, its guide
// and its first picture, and the version page; for a thread address it
// starts with the thread page and takes the board from it (or, where the
// page names none, from the guide asked by the thread alone). The newer
// interfaces are asked where the one they stand in for did not fit: the
// board page's album tab for the album list, the client's picture page
// (with the board's forum id) for the guide.
//
// Thread safety: CheckService makes blocking requests and touches no
// window; run it on a worker. The rest is pure.
#ifndef TIEPIC_DOWNLOAD_SERVICE_CHECK_H_
#define TIEPIC_DOWNLOAD_SERVICE_CHECK_H_

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <atomic>
#include <thread>

#include "frame/frame.h"
#include "runtime/value.h"
#include "shell/main_window.h"
#include "shell/program_state.h"

namespace download {

enum class Fit {
  kFits,         // answered, and everything read was there
  kMissing,      // answered, but a member, marker or pattern found nothing
  kOtherType,    // answered, but a member holds another kind of value
  kRefused,      // the service refused the request (a security check, 403, 429)
  kErrorStatus,  // answered with a status of 400 or above
  kUnreachable,  // no answer came
  kNotAsked,     // an interface before it gave nothing to ask with
};

enum class Interface {
  kBoardPage,
  kAlbumList,
  kPictureList,
  kPictureTotal,
  kThreadPage,
  kGuide,
  kPictureFile,
  kVersionPage,
  // Asked where the one they stand in for did not answer as expected.
  kAlbumTab,    // for the album list
  kForumId,     // with the client's picture page
  kPicpage,     // for the picture guide
};

// What of an answer a check read: a JSON member, a marker's text, the album
// pattern's matches, or the answer itself (a picture's bytes).
enum class Read { kMember, kMarker, kPattern, kAnswer };

// The kinds of JSON value a check tells apart.
enum class ValueKind { kNone, kText, kNumber, kArray, kObject, kOther };

struct InterfaceCheck {
  Interface interface;
  Fit fit = Fit::kFits;
  Read read = Read::kMember;
  std::string key;        // the profile key concerned, "[list] id"; "" for none
  std::string value;      // UTF-8: its value (the member path, marker or pattern)
  std::string detail;     // UTF-8: what was found (a count, a title), or why not asked
  std::string detail_zh;  // UTF-8: the same in Chinese where it is words
  ValueKind found = ValueKind::kNone;   // kOtherType: what the member holds
  ValueKind wanted = ValueKind::kNone;  // kOtherType: what the program reads there
  int status = 0;                       // kErrorStatus: the status
};

// Whether `address` is a board's or a thread's on `host`, as the find
// button reads addresses.
bool IsServiceAddress(const rt::Text& address, std::string_view host);

// The board the check asks when it is given no address.
rt::Text ExampleBoardAddress(std::string_view web_host);

// Asks every interface once for `address` (GBK; a board's or a thread's),
// with the profile's pause after each page, and calls `each` with each
// interface's result as it comes.
std::vector<InterfaceCheck> CheckService(const shell::ProgramState& state,
                                         const rt::Text& address,
                                         const std::function<void(const InterfaceCheck&)>& each);

// What a check came to, counted: interfaces that answered but not as the
// profile expects (a missing member, another kind, an error status), that
// refused, and that could not be reached. Interfaces not asked are not
// counted.
struct CheckTally {
  int unfit = 0;
  int refused = 0;
  int unreachable = 0;
  void Add(const InterfaceCheck& check);
  bool all_fit() const { return unfit == 0 && refused == 0 && unreachable == 0; }
};

// One line for `check`: English ("picture list: answered, but member pic_id
// ([list] id) is missing") for tiepic-cli, Chinese (GBK) for the log.
std::string CheckLine(const InterfaceCheck& check);
rt::Text CheckLogLine(const InterfaceCheck& check);

// The settings page's check button: the service profile loaded again (so
// that an edited one is checked), the check on a worker, each line in the
// operation log, the button disabled while it runs. The address is the one
// in the address box, else the example board (and the log says so when the
// box holds an address the program cannot read).
class ServiceCheckControl {
 public:
  // `busy` tells whether a retrieval or a download runs (the check waits
  // for them: it reloads the profile, which they read).
  ServiceCheckControl(frame::Frame& frame, shell::ProgramState& state,
                      std::function<bool()> busy = {});
  // Waits for a running check, serving its calls meanwhile.
  ~ServiceCheckControl();
  ServiceCheckControl(const ServiceCheckControl&) = delete;
  ServiceCheckControl& operator=(const ServiceCheckControl&) = delete;

  void Start();
  bool running() const { return running_.load(); }

 private:
  frame::Frame& frame_;
  shell::ProgramState& state_;
  const std::function<bool()> busy_;
  std::atomic<bool> running_ = false;
  std::jthread worker_;
};

void WireServiceCheck(shell::Hooks& hooks, ServiceCheckControl& control);

}  // namespace download

#endif  // TIEPIC_DOWNLOAD_SERVICE_CHECK_H_
