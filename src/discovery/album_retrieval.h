// Album retrieval: the find button's handler and the routine it starts on a
// worker thread, which recognises the pasted address (a board or a thread),
// asks the service for the board's albums or the thread's picture count, and
// fills the album list with one ticked row per album. It leaves the entered
// address, the list base address and the board title for the download run.
//
// One retrieval runs at a time: a press of the find button while one runs is
// refused with a message instead of starting a second that would fill the
// same list.
//
// A retrieval tells the requests that brought nothing to read (no answer,
// an error status, an empty answer) in the log, one line each, and closes
// with a line and a message naming the trouble, so that a service that
// could not be reached is not taken for a board without albums.
//
// Thread safety: the handler, the constructor and the destructor run on the
// frame's UI thread; Source() and running() may be called from any thread.
#ifndef TIEPIC_DISCOVERY_ALBUM_RETRIEVAL_H_
#define TIEPIC_DISCOVERY_ALBUM_RETRIEVAL_H_

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "discovery/retrieval_trouble.h"
#include "frame/frame.h"
#include "shell/program_state.h"
#include "web/refusal.h"
#include "web/regex_object.h"

namespace discovery {

// What the last retrieval left for the download run (GBK texts).
struct AlbumSource {
  rt::Text entered_address;    // the address without blanks at both ends
  rt::Text list_base_address;  // the download's list address prefix; "" until recognised
  rt::Text board_title;        // the board page's title; set by a board address only
  bool guide = false;          // the base is the picture guide's, paged by cursor
  rt::Text guide_base_address;  // the guide's address prefix; "": the list base's
  rt::Text board_name;          // the board's name; "" when no answer named it
  rt::Text forum_id;            // the board's forum id; "" when not asked
};

// How the last retrieval read the address.
enum class AddressKind { kNone, kBoard, kThread, kUnrecognised };

// The pauses the service asks of its clients. Tests may shorten them.
struct RetrievalPauses {
  // After each album-list or thread-page request; negative: the service
  // profile's wait.
  int after_list_request_ms = -1;
  int refusal_first_wait_ms = 10000;  // before asking again after a refusal, then doubled
  int empty_page_retry_ms = 2000;     // before asking again for a guide that brought nothing
};

class RetrievalRequests;

class AlbumRetrieval {
 public:
  // `state` gives the service's web host; it outlives this object.
  AlbumRetrieval(frame::Frame& frame, const shell::ProgramState& state,
                 RetrievalPauses pauses = {});
  // Waits for a running retrieval, serving its calls meanwhile.
  ~AlbumRetrieval();
  AlbumRetrieval(const AlbumRetrieval&) = delete;
  AlbumRetrieval& operator=(const AlbumRetrieval&) = delete;

  // The find button's handler (UI thread).
  void FindPressed();

  // Runs on the UI thread after each retrieval's closing steps.
  void SetOnFinished(std::function<void()> routine) { on_finished_ = std::move(routine); }

  bool running() const { return running_.load(); }
  AlbumSource Source() const;
  AddressKind last_kind() const { return last_kind_.load(); }
  // Refusals of the last retrieval that persisted through their tries: its
  // list may lack albums the service would show a signed-in visitor.
  int persisted_refusals() const { return persisted_refusals_.load(); }
  // The last retrieval's requests that brought nothing to read.
  RetrievalTrouble trouble() const;

 private:
  void Retrieve();
  void BoardPath(const rt::Text& address, const shell::ServiceProfile& profile,
                 web::RegexObject& regex, RetrievalRequests& requests);
  // The board's album list, page by page, and the board page's album tab;
  // each returns true iff it was answered as such a list (one without
  // albums included).
  bool AlbumListPages(const rt::Text& address, const shell::ServiceProfile& profile,
                      web::RegexObject& regex, RetrievalRequests& requests, int pause);
  bool AlbumTab(const rt::Text& address, const shell::ServiceProfile& profile,
                web::RegexObject& regex, RetrievalRequests& requests, int pause);
  // A row for each match of `pattern` (groups: count, id, name) in `page`.
  void AppendAlbums(web::RegexObject& regex, const rt::Text& pattern, const rt::Text& page);
  // "https://" once the address or an answer went there, else "http://".
  rt::Text Scheme(const RetrievalRequests& requests) const;
  // `address` over https where Scheme says so.
  rt::Text Upgraded(const rt::Text& address, const RetrievalRequests& requests) const;
  // Returns true iff the thread's picture count was read.
  bool ThreadPath(const rt::Text& address, const shell::ServiceProfile& profile,
                  RetrievalRequests& requests);
  int PauseAfterPage(const shell::ServiceProfile& profile) const;
  void AppendAlbumRow(std::string_view name, std::string_view count, std::string_view id,
                      bool ticked);
  void ShowUnrecognised();
  void ClosingSteps(const RetrievalTrouble& trouble);
  void SetListBase(rt::Text base, bool guide = false);

  frame::Frame& frame_;
  const shell::ProgramState& state_;
  const RetrievalPauses pauses_;
  std::function<void()> on_finished_;

  mutable std::mutex mu_;
  AlbumSource source_;  // guarded by mu_
  RetrievalTrouble trouble_;  // guarded by mu_

  bool https_ = false;  // the worker's: the address was pasted with https
  std::atomic<bool> running_{false};
  std::atomic<AddressKind> last_kind_{AddressKind::kNone};
  std::atomic<int> persisted_refusals_{0};
  std::jthread worker_;
};

// How the log names interface `name` of the profile's [order], GBK.
rt::Text InterfaceShown(std::string_view name);

// The messages and lines of the retrieval, GBK.
rt::Text UnrecognisedAddressMessage(std::string_view web_host);
const rt::Text& RetrievalBusyMessage();

}  // namespace discovery

#endif  // TIEPIC_DISCOVERY_ALBUM_RETRIEVAL_H_
