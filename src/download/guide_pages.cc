// The cursor-paged guide of a thread's pictures: each request names the last
// picture shown (pic_id) and the answer lists the pictures around and after
// it, keyed "#1", "#2", ... by their place in the thread.
#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_set>

#include "download/album_pipeline.h"
#include "download/naming.h"
#include "download/page_requests.h"
#include "json/json_value.h"
#include "runtime/conversion_commands.h"
#include "runtime/gbk.h"
#include "runtime/text_commands.h"
#include "shell/service_profile.h"
#include "web/refusal.h"
#include "web/request_helpers.h"
#include "web/requests.h"

namespace download {
namespace {

using rt::operator""_gbk;

// Pages asked for beyond the page total while they still bring new pictures.
constexpr int kMostExtraPages = 1000;

// The pages the album's count calls for when `next` are asked for after the
// cursor: each brings the cursor's picture again and next - 1 new ones, so
// ceil((count - 1) / (next - 1)); none for a count of 0 or 1.
int64_t PageTotal(int64_t count, int next) {
  const int64_t new_per_page = std::max(next - 1, 1);
  return count <= 1 ? 0 : (count - 1 + new_per_page - 1) / new_per_page;
}

class GuideStrategy : public CursorPages {
 public:
  GuideStrategy(RunContext& run, const SelectionItem& album, const rt::Text& safe_id)
      : CursorPages(run, album, safe_id),
        page_total_(PageTotal(count_, profile_.guide_next)),
        see_lz_(EveryPoster(run.snapshot) ? "0" : "1") {}

  std::optional<PicturePage> Next() override {
    if (!Wanted()) return std::nullopt;
    json::JsonHandle json;
    const bool readable = ReadListPage(FetchListPage(run_, PageAddress(), &web::InetRequest),
                                       profile_.guide_pictures, &json);
    return Read(json, readable);
  }

  // One request; only a readable answer that is neither a refusal nor the
  // service's own trouble (a 5xx, which Next asks again) is taken.
  std::optional<PicturePage> Ahead() override {
    if (!Wanted()) return std::nullopt;
    rt::Text headers;
    web::RequestOptions options;
    options.returned_headers = &headers;
    const rt::Text text = web::BodyText(web::InetRequest(PageAddress(), options));
    json::JsonHandle json;
    if (text.empty() || web::StatusOfHeaders(headers) >= 500 ||
        web::RecognizeRefusal({0, headers, {}, text}) != web::Refusal::kNone ||
        !ReadListPage(text, profile_.guide_pictures, &json)) {
      return std::nullopt;
    }
    return Read(json, true);
  }

 private:
  // Pages go on to the page total, and past it while the album may still
  // hold pictures the guide has not shown (it answered fewer than asked), as
  // long as answers bring new ones. A readable page that brings nothing new
  // ends the walk (the guide shows the same window again), and so do five
  // unread pages in a row.
  bool Wanted() const {
    const int64_t page = pages_read_ + 1;
    if (!page_brought_new_ || unread_in_a_row_ >= kMostUnreadPagesInARow) return false;
    return page <= page_total_ ||
           (static_cast<int64_t>(seen_.size()) < count_ && page <= page_total_ + kMostExtraPages);
  }

  rt::Text PageAddress() const {
    const discovery::AlbumSource& source = run_.snapshot.source;
    const rt::Text& base =
        source.guide_base_address.empty() ? source.list_base_address : source.guide_base_address;
    return shell::JoinQuery(base, shell::FillIn(profile_.guide_query, {{"tid", album_.id},
                                                {"see_lz", see_lz_},
                                                {"next", std::to_string(profile_.guide_next)},
                                                {"cursor", cursor_},
                                                {"random", web::RandomText()}}));
  }

  // Reads the page's pictures, numbered by their keys. The keys go on from
  // the page before: the next page is asked for around this page's last
  // picture and shows it again first, under the same key.
  PicturePage Read(const json::JsonHandle& json, bool readable) {
    PicturePage page{.number = static_cast<int>(++pages_read_), .readable = readable};
    // An unread page tells nothing of the album: the walk goes on around the
    // same cursor, from the same key.
    unread_in_a_row_ = readable ? 0 : unread_in_a_row_ + 1;
    if (!readable) return page;
    const json::JsonHandle list = json::JsonGetPath(json, profile_.guide_pictures);
    page_brought_new_ = false;
    int64_t key = first_key_;
    for (;; ++key) {
      const json::JsonHandle entry = json::JsonGetMember(
          list, shell::FillIn(profile_.guide_key, {{"n", std::to_string(key)}}));
      if (entry.empty()) break;
      PictureEntry picture = ReadEntry(entry, key);
      // An entry without an id is passed over; its number stays unused.
      if (picture.id == "null" || picture.id.empty()) continue;
      cursor_ = picture.id;
      page_brought_new_ |= seen_.insert(picture.id).second;
      page.entries.push_back(std::move(picture));
    }
    // Keys none of which names a picture are not what the profile reads (the
    // service changed its answer): the page is unread, and told.
    if (key > first_key_ && page.entries.empty()) {
      ++unread_in_a_row_;
      page_brought_new_ = true;
      return PicturePage{.number = page.number, .readable = false};
    }
    // A page that held no key at all leaves the keys where they were, so
    // that the next answer, around the same cursor, is read from the same key.
    const int64_t last_key = key - 1;
    if (last_key >= first_key_) first_key_ = last_key;
    return page;
  }

  PictureEntry ReadEntry(const json::JsonHandle& entry, int64_t key) const {
    const auto text = [&entry](const std::string& path) { return json::JsonPathText(entry, path); };
    PictureEntry picture{.number = key,
                         .id = text(profile_.guide_id),
                         .address = WithoutAll(text(profile_.guide_address), "\\"),
                         .description = text(profile_.guide_description),
                         .width = rt::ToInteger(text(profile_.guide_width)),
                         .height = rt::ToInteger(text(profile_.guide_height))};
    // An entry that names no address of its own is fetched from the picture
    // host by its id.
    if (picture.address.empty() || picture.address == "null") {
      picture.address = PictureItemAddress(run_.snapshot, picture.id);
    }
    return picture;
  }

  const int64_t page_total_;
  const rt::Text see_lz_;  // "0": every poster's pictures; "1": the starter's
  rt::Text cursor_;        // the last picture shown: the next page is asked around it
  int64_t first_key_ = 1;  // the key the next page's pictures count from
  int64_t pages_read_ = 0;
  bool page_brought_new_ = true;
};

}  // namespace

std::unique_ptr<PagingStrategy> GuidePages(RunContext& run, const SelectionItem& album,
                                           const rt::Text& safe_id) {
  return std::make_unique<GuideStrategy>(run, album, safe_id);
}

}  // namespace download
