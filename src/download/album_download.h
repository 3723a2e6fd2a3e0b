// What the two album downloads share: the run's context (the retrieval's list
// address and board title, the picture host, the waits, the tally), the save
// root, path pieces that cannot leave the save folder and fit the file
// system's 255-byte names, fetching a picture, writing it whole and logging a
// picture that could not be saved.
//
// Thread safety: used by the download worker; the tally's counters may be
// read from any thread.
#ifndef TIEPIC_DOWNLOAD_ALBUM_DOWNLOAD_H_
#define TIEPIC_DOWNLOAD_ALBUM_DOWNLOAD_H_

#include <atomic>
#include <mutex>
#include <vector>
#include <cstdint>
#include <string_view>

#include "discovery/album_retrieval.h"
#include "download/picture_fetcher.h"
#include "frame/frame.h"
#include "json/json_value.h"
#include "web/refusal.h"
#include "web/requests.h"

namespace download {

// The waits the service asks of its clients. Tests may shorten them.
struct DownloadPauses {
  int empty_page_retry_ms = 2000;  // after each empty picture-list answer
  int after_list_picture_ms = 100;  // after each picture of the page-numbered list
  int refusal_first_wait_ms = 10000;  // before asking again after a refusal, then doubled
};

// A picture a run could not save: its album (as its row names it, and its
// id, which tells albums of one title apart), its id and why, GBK.
struct FailedPicture {
  rt::Text album;
  rt::Text album_id;
  rt::Text id;
  rt::Text why;
};

// What a run has done so far.
struct RunTally {
  std::atomic<int64_t> saved{0};    // pictures written
  std::atomic<int64_t> skipped{0};  // already recorded, not fetched
  std::atomic<int64_t> failed{0};   // fetched or written without success
  std::atomic<int64_t> bytes{0};    // bytes of the pictures written
  std::atomic<int64_t> unread_pages{0};  // picture-list pages empty or not JSON
  std::atomic<int64_t> refused{0};  // requests whose refusal persisted through their tries

  // Returns true iff the picture was not among the failures yet; a repeat
  // takes the latest reason.
  bool AddFailure(FailedPicture failure);
  // Returns true iff the picture was among the failures.
  bool RemoveFailure(std::string_view album_id, std::string_view id);
  std::vector<FailedPicture> Failures() const;

 private:
  mutable std::mutex failures_mutex_;
  std::vector<FailedPicture> failures_;
};

struct RunContext {
  rt::Frame& frame;
  discovery::AlbumSource source;  // as the retrieval left it when the run began
  rt::Text picture_host;
  rt::Text web_host;
  DownloadPauses pauses;
  RunTally& tally;
  int parallel = 1;         // picture fetches of an album in flight at once
  RunGate* gate = nullptr;  // holds fetches run ahead while the run is paused
  rt::Text album;           // the album being downloaded, as its row names it
  rt::Text album_id;        // and its id
};

// The save folder's text, or the program folder when it is empty.
rt::Text SaveRoot(rt::Frame& frame);

// `text` made fit to be one folder or file name: the marks SafeAlbumName
// removes and control characters go, and the text is cut at a whole
// character so that, with `reserved` more bytes of UTF-8 beside it, the name
// holds at most 255 bytes of UTF-8. A clean numeric id stays unchanged.
rt::Text PathPiece(std::string_view text, int reserved = 0);

// Cuts `gbk` at a whole character so that its UTF-8 form holds at most
// `max_utf8` bytes; a text that fits stays whole.
rt::Text FitUtf8(std::string_view gbk, int max_utf8);

// Creates the album folder (with its trailing '/'); a failure is tried once
// more. Returns true iff it exists.
bool MakeAlbumFolder(rt::Text& folder);

// The page a picture of album or thread `id` belongs to, sent with its
// request as Referer: the thread's address on the web host, or the web
// host's front page for an id that is not a number.
rt::Text PicturePage(const RunContext& run, std::string_view id);

// Sends one picture request with a request object of its own and `referer`
// as the page it comes from. Safe on any thread: it touches no window.
PictureAnswer RequestPicture(const rt::Text& address, const rt::Text& referer);

// The fetcher of an album's pictures: the run's parallel fetches and gate,
// each request with the album's page (PicturePage) as Referer.
PictureFetcher AlbumFetcher(const RunContext& run, std::string_view album_id);

// The extension the bytes of an image file call for: ".jpg", ".png",
// ".gif", ".webp" or ".bmp"; empty when the bytes begin no image.
std::string_view ImageExtension(const rt::Bytes& body);

// Takes the answer for picture `index` of the fetcher's plan (fetched ahead,
// or now) and, while the service refuses it, asks again as FetchRefusable
// does, here on the download worker; then passes a safe point. Returns true
// iff the answer is a 2xx status with the bytes of an image; *extension is
// then the one those bytes call for. Otherwise *why says what went wrong.
// `number` names the picture in a refusal's log line.
bool FetchPicture(RunContext& run, PictureFetcher& fetcher, size_t index, int64_t number,
                  const rt::Text& address, rt::Bytes* body, rt::Text* extension, rt::Text* why);

// Writes the picture to `folder` + "(" + number + ")" + name_part + extension,
// or, when that fails, without the name part. The file appears whole or not
// at all. Returns true iff one of the writes succeeded.
bool WritePicture(const rt::Text& folder, int64_t number, std::string_view name_part,
                  std::string_view extension, const rt::Bytes& body);

// The name part of a picture's file from its description: cleaned, at most
// 240 bytes, and short enough for "(" + number + ")" + it + extension to fit
// in 255 bytes of UTF-8.
rt::Text DescriptionName(rt::Text description, int64_t number, std::string_view extension);

// One answer through `request`, asked for again while the service refuses
// it (see web/refusal.h), with the run's refusal waits; the operation log
// gets a line per refusal. Returns empty with *refused set (when given) once
// the refusal has persisted, which the tally counts. After the run's first
// persisting refusal, a refusal is given up at once: the run goes on with
// what the service still answers instead of waiting again at every step.
rt::Bytes FetchRefusable(RunContext& run, std::string_view what,
                         const web::RefusalRetry::Try& request, bool* refused = nullptr);

// One picture-list answer through `request`, asked up to ten times while it
// comes back empty, with the service's wait after each empty one. A refused
// answer is asked for again as FetchRefusable does; a refusal that persists
// ends the page at once (empty), without the ten empty-answer rounds.
using PageRequest = rt::Bytes (*)(std::string_view, const web::RequestOptions&);
rt::Text FetchListPage(RunContext& run, const rt::Text& address, PageRequest request);

// Parses a picture-list page into `page`; a page that stayed empty or holds
// no JSON object is logged and counted, as its pictures may be missing.
void ParseListPage(RunContext& run, int page_number, std::string_view text,
                   rt::JsonHandle* page);
// ParseListPage in two steps, for a page read before its turn: returns
// false for a page that stayed empty or holds no JSON object, and the log
// line and count of such a page.
bool ReadListPage(std::string_view text, rt::JsonHandle* page);
void LogUnreadPage(RunContext& run, int page_number);

// Counts a picture of the run's album saved, `bytes` long; a failure of the
// same picture earlier in the run (the guide shows a page's last picture
// again first on the next page) is no longer one.
void CountSaved(RunContext& run, std::string_view picture_id, size_t bytes);

// Logs a picture of the run's album that was not saved, and keeps it for the
// run's closing account (once, however often it failed); a later run tries
// it again.
void LogPictureFailed(RunContext& run, int64_t number, std::string_view picture_id,
                      std::string_view why);

// The text of `标签_进度条比例`: the whole percentage of `position` in
// `maximum`, or empty when the maximum is 0.
rt::Text PercentText(int position, int maximum);

// The two options each picture consults: `选择框_下载记录` (skip what the
// record holds) and `选择框_文件名` (the description in the file name).
// A change of either takes effect from the next picture.
struct PictureOptions {
  bool prevent_repeat = false;
  bool describe_names = false;
};
// Reads both in one call on the UI thread, when a picture's turn comes.
PictureOptions ReadPictureOptions(rt::Frame& frame);

// Shows a picture's progress: `position` on `进度条1`, `percent` in
// `标签_进度条比例` and `label` in `标签_第多少张照片`, in this order. The
// three writes go to the UI thread as one call: every wait for that thread
// costs the worker two thread switches, and a picture should cost it few.
void ShowProgress(rt::Frame& frame, int position, const rt::Text& percent,
                  const rt::Text& label);

}  // namespace download

#endif  // TIEPIC_DOWNLOAD_ALBUM_DOWNLOAD_H_
