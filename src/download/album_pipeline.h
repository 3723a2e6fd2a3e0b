// The album pipeline: a paging strategy per interface of the service yields
// an album's pictures page by page, and one picture step takes every picture
// through: skip by the record -> fetch (the fetch-ahead plan) -> check the
// image -> name -> write -> record -> events.
//
//   DownloadAlbum
//     RepeatRecord (prepare)         PagingStrategy::Style, Begin
//     album folder                   PagingStrategy::Next / Ahead -> PicturePage
//     for each page: plan it, then for each entry: the picture step
//
// What differs between the interfaces -- log texts, the folder rule, the
// waits, where progress shows -- are facts a strategy hands in (AlbumStyle,
// AlbumFacts, ProgressOf); the step never asks which interface it is on.
//
// Thread safety: download worker only.
#ifndef TIEPIC_DOWNLOAD_ALBUM_PIPELINE_H_
#define TIEPIC_DOWNLOAD_ALBUM_PIPELINE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

#include "download/run_context.h"

namespace download {

// One picture as a strategy lists it.
struct PictureEntry {
  int64_t number = 0;      // its place in the album: its file's number
  rt::Text id{};           // as listed; "", "null" or "NULL": listed, not fetched
  rt::Text address{};      // where its file is fetched from
  rt::Text description{};  // as listed, not yet cleaned
  // The picture's size as the answer declares it; 0: not declared. A file
  // of another size in a placeholder's is the service's stand-in picture.
  int64_t width = 0;
  int64_t height = 0;
};

// Whether a thread's pictures are asked of every poster: the option says so,
// or the album is a board album, whose list holds every poster's pictures
// (an interface that stands in for the list asks for what it would list).
bool EveryPoster(const RunSnapshot& snapshot);

// Returns true iff `id` names a picture that can be fetched.
bool IsPictureId(std::string_view id);

// The picture host's address of picture `id`, where an entry names none.
rt::Text PictureItemAddress(const RunSnapshot& snapshot, std::string_view id);

// `text` with every `removed` taken out (the quotes around a member's text).
rt::Text WithoutAll(std::string_view text, std::string_view removed);

struct PicturePage {
  int number = 0;         // from 1
  bool readable = false;  // the answer held a JSON object
  std::vector<PictureEntry> entries{};
  size_t first = 0;  // the pipeline's: the first entry's index in the fetch-ahead plan
};

// Returns true iff `page` lists no entry, or one entry at least that names a
// picture: a page of entries without ids does not fit what is read.
bool NamesAPicture(const PicturePage& page);

// How an interface's albums are shown and paced, known before any request.
struct AlbumStyle {
  int record_line_breaks = 1;       // CR LF pairs after the record's creation line
  bool announce_folder = false;     // the folder's creation gets a log line
  bool progress_first = false;      // a picture's progress shows before it is fetched
  int64_t wait_after_fetch_ms = 0;  // after each picture request
};

// What a strategy knows once it has begun the album (asked for its total).
struct AlbumFacts {
  rt::Text folder{};        // where its files go, with a trailing '/'
  rt::Text folder_name{};   // named by the closing line
  rt::Text opening_line{};  // logged once the bar is reset
  int64_t bar_maximum = 0;
};

class PagingStrategy {
 public:
  virtual ~PagingStrategy() = default;
  virtual AlbumStyle Style() const = 0;
  // Called once, after the record is prepared: asks what it must first.
  virtual AlbumFacts Begin() = 0;
  // The next page at its turn, with the retries, waits and log lines of the
  // interface; nullopt once the album has no more pages.
  virtual std::optional<PicturePage> Next() = 0;
  // The next page before its turn (the run fetches ahead), by one request
  // without retry or log line; nullopt when the strategy does not ask ahead
  // or the answer was not usable, which Next then asks again at its turn.
  virtual std::optional<PicturePage> Ahead() { return std::nullopt; }
  // Where `entry` stands on the album's bar and labels.
  virtual Progress ProgressOf(const PictureEntry& entry) const = 0;
  // Once the album's pages are done: how many of its pictures were never
  // asked for because a page that would have listed them stayed unread.
  virtual int64_t NotAsked() const = 0;
  // Once the album's pages are done: how many pages stayed unread for good
  // (a page read on a later try, as the guide's walk does around the same
  // cursor, is not one).
  virtual int64_t PagesLost() const = 0;
};

// The bounds of paging, whatever counts the service gives: the most pictures
// an album is taken to hold, and the unread pages in a row after which an
// album's paging gives up (its pictures not asked for are counted).
inline constexpr int64_t kMostPicturesPerAlbum = 1000000;
inline constexpr int kMostUnreadPagesInARow = 5;

// The text of `标签_进度条比例`: the whole percentage of `position` in
// `maximum`, or empty when the maximum is 0.
rt::Text PercentText(int position, int maximum);

// The progress bar's range ends here; the labels show what it cannot.
inline constexpr int kBarLimit = 32767;

// How the interfaces of a thread's pictures (the guide, the client's page)
// show album `album` of `count` pictures: its folder, names and bar.
AlbumFacts ThreadAlbumFacts(const RunContext& run, const SelectionItem& album,
                            const rt::Text& safe_id, int64_t count);

// What the two cursor-paged interfaces of a thread's pictures (the guide,
// the client's page) share: each page is asked around the last picture
// seen, so only a walk that ended on unread pages lost one (the page it
// could not get past) and the pictures not seen by then.
class CursorPages : public PagingStrategy {
 public:
  CursorPages(RunContext& run, const SelectionItem& album, const rt::Text& safe_id);
  AlbumStyle Style() const override { return {.record_line_breaks = 1}; }
  AlbumFacts Begin() override { return ThreadAlbumFacts(run_, album_, safe_id_, count_); }
  int64_t NotAsked() const override;
  int64_t PagesLost() const override { return unread_in_a_row_ > 0 ? 1 : 0; }
  Progress ProgressOf(const PictureEntry& entry) const override;

 protected:
  RunContext& run_;
  const shell::ServiceProfile& profile_;
  const SelectionItem& album_;
  const rt::Text safe_id_;
  int64_t count_;                      // the thread's pictures, as known
  int unread_in_a_row_ = 0;
  std::unordered_set<rt::Text> seen_;  // the ids of the pictures listed so far
};
// How the list shows board album `album` of `total` pictures.
AlbumFacts ListAlbumFacts(const RunContext& run, const SelectionItem& album,
                          const rt::Text& safe_id, int64_t total);

// The strategies of the two interfaces of album `album`, whose id is
// already `safe_id` as a path piece.
// The cursor-paged guide of a thread's pictures (guide_pages.cc).
std::unique_ptr<PagingStrategy> GuidePages(RunContext& run, const SelectionItem& album,
                                           const rt::Text& safe_id);
// The page-numbered list of a board album's pictures (list_pages.cc).
std::unique_ptr<PagingStrategy> ListPages(RunContext& run, const SelectionItem& album,
                                          const rt::Text& safe_id);
// The mobile client's picture page of a thread, window by window
// (picpage_pages.cc).
std::unique_ptr<PagingStrategy> PicpagePages(RunContext& run, const SelectionItem& album,
                                             const rt::Text& safe_id);
// The interfaces the profile's order names for the album, first to last,
// each asked when the one before gives no readable first page
// (fallback_pages.cc).
std::unique_ptr<PagingStrategy> OrderedPages(RunContext& run, const SelectionItem& album,
                                             const rt::Text& safe_id);

// Downloads album `number` (from 1) of the run through the strategy `make`
// gives for it.
using StrategyMaker = std::unique_ptr<PagingStrategy> (*)(RunContext&, const SelectionItem&,
                                                          const rt::Text&);
void DownloadAlbum(RunContext& run, const SelectionItem& album, int number, StrategyMaker make);

}  // namespace download

#endif  // TIEPIC_DOWNLOAD_ALBUM_PIPELINE_H_
