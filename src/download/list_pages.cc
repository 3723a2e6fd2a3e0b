// The page-numbered list of a board album's pictures: pages of up to 200
// entries, each picture fetched from the picture host by its id.
#include <algorithm>
#include <cstdint>
#include <string>

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

class ListStrategy : public PagingStrategy {
 public:
  ListStrategy(RunContext& run, const SelectionItem& album, const rt::Text& safe_id)
      : run_(run),
        profile_(run.snapshot.profile),
        album_(album),
        safe_id_(safe_id),
        page_size_(profile_.list_page_size) {}

  AlbumStyle Style() const override {
    return {.record_line_breaks = 2,
            .announce_folder = true,
            .progress_first = true,
            .wait_after_fetch_ms = run_.pauses.after_list_picture_ms >= 0
                                       ? run_.pauses.after_list_picture_ms
                                       : profile_.wait_after_picture_ms};
  }

  AlbumFacts Begin() override {
    rt::Text count = album_.count;
    if (rt::ToInteger(count) == 0) count = FetchTotal();
    total_ = rt::ToInteger(count);
    maximum_ = static_cast<int>(std::clamp<int64_t>(total_, 0, kBarLimit));
    pages_ = std::clamp<int64_t>(total_, 0, kMostPicturesPerAlbum) / page_size_ + 1;
    return ListAlbumFacts(run_, album_, safe_id_, total_);
  }

  // Pages go on to the page total; three readable pages in a row that list
  // nothing end the album early (a count the service gave too high), and so
  // do five unread pages in a row.
  std::optional<PicturePage> Next() override {
    if (page_number_ >= pages_ || empty_in_a_row_ >= 3 ||
        unread_in_a_row_ >= kMostUnreadPagesInARow) {
      return std::nullopt;
    }
    const int p = ++page_number_;
    const rt::Text address =
        run_.snapshot.source.list_base_address +
        shell::FillIn(profile_.list_query, {{"page_size", std::to_string(page_size_)},
                                            {"tid", album_.id},
                                            {"page", std::to_string(p)},
                                            {"random", web::RandomText()}});
    json::JsonHandle json;
    PicturePage page{.number = p};
    page.readable = ReadListPage(FetchListPage(run_, address, AsTheListAsks(&web::WinHttpObjectRequest)),
                                 profile_.list_pictures, &json);
    const json::JsonHandle list = json::JsonGetPath(json, profile_.list_pictures);
    const int entries = json::JsonArrayLength(list);
    for (int j = 1; j <= entries; ++j) {
      const json::JsonHandle item = json::JsonGetItem(list, j - 1);
      PictureEntry entry{
          .number = int64_t{p - 1} * page_size_ + j,
          .id = json::JsonPathText(item, profile_.list_id),
          .description = json::JsonPathText(item, profile_.list_description),
          .width = rt::ToInteger(
              json::JsonPathText(item, profile_.list_width)),
          .height = rt::ToInteger(
              json::JsonPathText(item, profile_.list_height))};
      if (IsPictureId(entry.id)) {
        entry.address = PictureItemAddress(run_.snapshot, entry.id);
      }
      page.entries.push_back(std::move(entry));
    }
    // Entries none of which names a picture are not what the profile reads
    // (the service changed its answer): the page is unread, and told.
    if (!NamesAPicture(page)) page = PicturePage{.number = p};
    unread_in_a_row_ = page.readable ? 0 : unread_in_a_row_ + 1;
    empty_in_a_row_ = page.readable && entries == 0 ? empty_in_a_row_ + 1 : 0;
    // The pictures an unread page would have listed: its share of the total.
    if (!page.readable) {
      not_asked_ += Share(p);
      ++pages_lost_;
    }
    return page;
  }

  // The pictures of the pages never asked for count too, when unread pages
  // ended the album early.
  int64_t NotAsked() const override {
    int64_t not_asked = not_asked_;
    if (unread_in_a_row_ >= kMostUnreadPagesInARow) {
      for (int64_t p = page_number_ + 1; p <= pages_; ++p) not_asked += Share(p);
    }
    return not_asked;
  }

  int64_t PagesLost() const override { return pages_lost_; }

  // The bar holds its position within its range; the labels show what it
  // holds, while the file is named by the ordinal, which is never shared.
  Progress ProgressOf(const PictureEntry& entry) const override {
    const int position = static_cast<int>(std::min<int64_t>(entry.number, maximum_));
    return {position, PercentText(position, maximum_),
            "第["_gbk + std::to_string(position) + "]个图片"_gbk};
  }

 private:
  // The album's picture total, asked for one picture per page: the page total
  // is then the picture total.
  rt::Text FetchTotal() {
    const rt::Text address = run_.snapshot.source.list_base_address +
                             shell::FillIn(profile_.list_total_query,
                                           {{"tid", album_.id}, {"random", web::RandomText()}});
    const PageRequest request = AsTheListAsks(&web::InetRequest);
    const rt::Text text =
        web::BodyText(FetchRefusable(run_, "图片总数"_gbk, [&](const web::RequestOptions& options) {
          return request(address, options);
        }));
    run_.gate.SafePoint();
    // The total may come as a number or as a decimal string.
    return WithoutAll(shell::FindMarked(text, profile_.list_total), "\"");
  }

  // `operation` with the list's User-Agent: the program's own, or a current
  // browser's where the profile says the service wants one.
  PageRequest AsTheListAsks(rt::Bytes (*operation)(std::string_view, const web::RequestOptions&)) const {
    return [this, operation](std::string_view at, const web::RequestOptions& options) {
      if (profile_.list_agent != "current") return operation(at, options);
      web::RequestOptions with_agent = options;
      with_agent.agent = profile_.agent_current;
      return operation(at, with_agent);
    };
  }

  // The pictures of the total that page `p` lists.
  int64_t Share(int64_t p) const {
    return std::clamp<int64_t>(
        std::min<int64_t>(total_, kMostPicturesPerAlbum) - (p - 1) * page_size_, 0, page_size_);
  }

  RunContext& run_;
  const shell::ServiceProfile& profile_;
  const SelectionItem& album_;
  const rt::Text safe_id_;
  const int page_size_;
  int64_t not_asked_ = 0;
  int64_t pages_lost_ = 0;
  int unread_in_a_row_ = 0;
  int empty_in_a_row_ = 0;
  int64_t total_ = 0;
  int maximum_ = 0;
  int64_t pages_ = 1;
  int page_number_ = 0;
};

}  // namespace

std::unique_ptr<PagingStrategy> ListPages(RunContext& run, const SelectionItem& album,
                                          const rt::Text& safe_id) {
  return std::make_unique<ListStrategy>(run, album, safe_id);
}

}  // namespace download
