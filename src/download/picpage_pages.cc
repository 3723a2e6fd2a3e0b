// The mobile client's picture page of a thread: each request is a signed
// POST naming a cursor picture (pic_id), and the answer lists a window of
// pictures that begins with the cursor's own, each with its place in the
// thread. The next window is asked around the last picture of this one, so
// that picture comes twice and is taken once.
#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_set>

#include "discovery/newer_interfaces.h"
#include "download/album_pipeline.h"
#include "download/naming.h"
#include "download/page_requests.h"
#include "json/json_value.h"
#include "runtime/conversion_commands.h"
#include "runtime/gbk.h"
#include "runtime/text_commands.h"
#include "shell/service_profile.h"
#include "web/request_helpers.h"
#include "web/requests.h"

namespace download {
namespace {

using rt::operator""_gbk;

// Windows asked for beyond those the count calls for while they bring new
// pictures (a count the service gave too low).
constexpr int kMostExtraWindows = 1000;

class PicpageStrategy : public CursorPages {
 public:
  PicpageStrategy(RunContext& run, const SelectionItem& album, const rt::Text& safe_id)
      : CursorPages(run, album, safe_id), every_poster_(EveryPoster(run.snapshot)) {}

  AlbumFacts Begin() override {
    // The board's forum id goes with each request where the board is known.
    const discovery::AlbumSource& source = run_.snapshot.source;
    forum_id_ = source.forum_id;
    if (forum_id_.empty() && !source.board_name.empty()) {
      forum_id_ = discovery::AskForumId(profile_, "http://" + run_.snapshot.web_host,
                                        source.board_name);
    }
    return CursorPages::Begin();
  }

  std::optional<PicturePage> Next() override {
    if (!Wanted()) return std::nullopt;
    return Read(Ask());
  }

 private:
  // Windows go on while they bring new pictures and the thread may hold
  // more, and end after five unread ones in a row.
  bool Wanted() const {
    if (!brought_new_ || unread_in_a_row_ >= kMostUnreadPagesInARow) return false;
    if (windows_ == 0) return true;
    if (count_ > 0 && static_cast<int64_t>(seen_.size()) >= count_) return false;
    const int64_t per_window = std::max(profile_.picpage_next - 1, 1);
    return windows_ < count_ / per_window + 1 + kMostExtraWindows;
  }

  // The window around the cursor, asked again while the service refuses it
  // (its rate-limit code is a refusal too); "" when none came.
  rt::Text Ask() {
    const discovery::AlbumSource& source = run_.snapshot.source;
    const discovery::PicpageWindow window{.forum_id = forum_id_,
                                          .board_name = source.board_name,
                                          .tid = album_.id,
                                          .cursor = cursor_,
                                          .cursor_index = cursor_index_,
                                          .every_poster = every_poster_};
    rt::Text text;
    FetchRefusable(run_, "客户端图片页"_gbk, [&](const web::RequestOptions& options) {
      text = discovery::AskPicpage(profile_, run_.snapshot.client_address, window, options);
      return rt::Bytes(text.begin(), text.end());
    }, &refused_);
    run_.gate.SafePoint();
    if (refused_) text.clear();
    return text;
  }

  PicturePage Read(const rt::Text& text) {
    ++windows_;
    PicturePage page{.number = static_cast<int>(windows_)};
    json::JsonHandle json;
    const bool answered = json::JsonParse(json, text) && json.kind() == json::JsonKind::kObject;
    const rt::Text error = answered ? json::JsonPathText(json, profile_.picpage_error) : rt::Text();
    const json::JsonHandle list = json::JsonGetPath(json, profile_.picpage_pictures);
    // An error code, or an answer without its list, is an unread window.
    page.readable = answered && (error == "null" || rt::ToInteger(error) == 0) &&
                    list.kind() == json::JsonKind::kArray;
    if (!page.readable) {
      ++unread_in_a_row_;
      return page;
    }
    unread_in_a_row_ = 0;
    if (count_ == 0) count_ = rt::ToInteger(json::JsonPathText(json, profile_.picpage_amount));
    brought_new_ = false;
    const int entries = json::JsonArrayLength(list);
    for (int j = 0; j < entries; ++j) {
      const json::JsonHandle item = json::JsonGetItem(list, j);
      PictureEntry entry{.id = json::JsonPathText(item, profile_.picpage_id),
                         .address = WithoutAll(json::JsonPathText(item, profile_.picpage_address), "\\")};
      const int64_t index = rt::ToInteger(json::JsonPathText(item, profile_.picpage_index));
      // A window's places go on from the last one seen where the answer
      // names none.
      entry.number = index > 0 ? index : last_number_ + 1;
      entry.width = rt::ToInteger(json::JsonPathText(item, profile_.picpage_width));
      entry.height = rt::ToInteger(json::JsonPathText(item, profile_.picpage_height));
      if (!IsPictureId(entry.id)) continue;
      if (entry.address.empty() || entry.address == "null")
        entry.address = PictureItemAddress(run_.snapshot, entry.id);
      last_number_ = entry.number;
      cursor_ = entry.id;
      cursor_index_ = entry.number;
      // The window's first picture is the cursor, taken already.
      if (!seen_.insert(entry.id).second) continue;
      brought_new_ = true;
      page.entries.push_back(std::move(entry));
    }
    return page;
  }

  const bool every_poster_;
  rt::Text forum_id_;
  bool refused_ = false;
  rt::Text cursor_;  // the last picture seen; "" asks from the first
  int64_t cursor_index_ = 0;
  int64_t last_number_ = 0;
  int64_t windows_ = 0;
  bool brought_new_ = true;
};

}  // namespace

std::unique_ptr<PagingStrategy> PicpagePages(RunContext& run, const SelectionItem& album,
                                             const rt::Text& safe_id) {
  return std::make_unique<PicpageStrategy>(run, album, safe_id);
}

}  // namespace download
