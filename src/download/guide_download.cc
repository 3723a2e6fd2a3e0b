// The cursor-paged download of a thread's pictures: each request names the
// last picture handled (pic_id) and the answer lists the pictures around and
// after it, keyed "#1", "#2", ... by their place in the thread.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "download/album_downloads.h"
#include "download/repeat_record.h"
#include "frame/window_templates.h"
#include "json/json_value.h"
#include "runtime/conversion_commands.h"
#include "runtime/gbk.h"
#include "runtime/text_commands.h"
#include "web/refusal.h"
#include "web/request_helpers.h"
#include "web/requests.h"

namespace download {
namespace {

namespace mw = rt::main_window;
using rt::operator""_gbk;

constexpr int kAskedAfterCursor = 50;
constexpr int kNewPerPage = kAskedAfterCursor - 1;  // the cursor's own picture comes again
// Pages asked for beyond the page total while they still bring new pictures.
constexpr int kMostExtraPages = 1000;

rt::Text Without(std::string_view text, std::string_view removed) {
  return rt::ReplaceText(text, removed, "", {}, {}, true);
}

rt::Text ExtensionOf(std::string_view format) {
  if (format == "2") return ".gif";
  if (format == "4") return ".png";
  return ".jpg";
}

struct Picture {
  rt::Text id;
  rt::Text address;
  rt::Text description;
  rt::Text extension;
};

Picture ReadPicture(const rt::JsonHandle& entry) {
  const rt::JsonHandle img = rt::JsonGetMember(entry, "img");
  const rt::JsonHandle screen = rt::JsonGetMember(img, "screen");
  return {Without(rt::JsonToText(rt::JsonGetMember(screen, "id")), "\""),
          Without(Without(rt::JsonToText(rt::JsonGetMember(screen, "waterurl")), "\\"), "\""),
          Without(rt::JsonToText(rt::JsonGetMember(entry, "descr")), "\""),
          ExtensionOf(rt::JsonToText(rt::JsonGetMember(img, "format")))};
}

struct Numbered {
  int64_t number;  // the picture's place in the thread, its file's number
  Picture picture;
};

// One guide page, read: its pictures numbered by their place in the thread.
struct GuidePage {
  bool readable = false;  // the answer held a JSON object
  std::vector<Numbered> pictures;
  size_t first = 0;  // the first picture's index in the fetcher's plan
};

// Where the walk through the guide stands: the cursor (the last picture
// shown, around which the next page is asked for), the number the next
// page's keys count from, and the pictures seen so far.
struct GuideWalk {
  rt::Text cursor;
  int64_t counter = 0;
  Numbered last{0, {}};  // the last page's last picture
  std::unordered_set<rt::Text> seen;
  bool page_brought_new = true;

  // Takes in a page as ReadListPage left it.
  GuidePage Read(const rt::JsonHandle& page, bool readable) {
    GuidePage result;
    result.readable = readable;
    const rt::JsonHandle list = rt::JsonGetMember(rt::JsonGetMember(page, "data"), "pic_list");
    page_brought_new = false;
    const int64_t counter_before = counter;
    while (true) {
      ++counter;
      const rt::JsonHandle entry = rt::JsonGetMember(list, "#" + std::to_string(counter));
      if (entry.empty()) break;
      Picture picture = ReadPicture(entry);
      // An entry without an id is passed over; its number stays unused.
      if (picture.id == "null" || picture.id.empty()) continue;
      cursor = picture.id;
      page_brought_new |= seen.insert(picture.id).second;
      result.pictures.push_back({counter, std::move(picture)});
    }
    if (!result.pictures.empty()) last = result.pictures.back();
    // The next page is asked for around the last picture: it begins with it.
    // A page that held no picture at all leaves the count where it was, so
    // that the next answer, around the same cursor, is read from the same key.
    counter = counter == counter_before + 1 ? counter_before : counter - 2;
    return result;
  }
};

rt::Text PictureAddress(const RunContext& run, const Picture& picture) {
  return picture.address.empty()
             ? "http://" + run.picture_host + "/forum/pic/item/" + picture.id + ".jpg"
             : picture.address;
}


}  // namespace

void DownloadGuidePictures(RunContext& run, const rt::Text& count_text, const rt::Text& album_id,
                           rt::Text& album_name) {
  rt::Frame& frame = run.frame;
  const rt::Text safe_id = PathPiece(album_id);
  run.album = album_name;
  run.album_id = album_id;
  RepeatRecord record(frame, safe_id, 1);
  const int count = rt::ToInteger(count_text);
  const int maximum = std::clamp(count, 0, 32767);
  frame.SetCaption(mw::标签_进度条比例, "");
  frame.SetProgressPosition(mw::进度条1, 0);
  frame.SetProgressMaximum(mw::进度条1, count);
  frame.AppendEditText(mw::编辑框_操作记录, {"准备下载相册："_gbk, album_name, "\r\n\r\n"});

  const rt::Text suffix = "相册"_gbk + "_" + safe_id;
  album_name = PathPiece(album_name, static_cast<int>(rt::ToUtf8(suffix).size())) + "相册"_gbk;
  const int page_total = count <= 1 ? 0 : (count - 1 + kNewPerPage - 1) / kNewPerPage;
  rt::Text folder = SaveRoot(frame) + "/" + album_name + "_" + safe_id + "/";
  MakeAlbumFolder(folder);

  const rt::Text see_lz = frame.IsChecked(mw::选择框_下载帖子全部图片) ? "0" : "1";
  PictureFetcher fetcher = AlbumFetcher(run, album_id);
  const bool ahead = fetcher.parallel() > 1;
  GuideWalk walk;
  std::unordered_set<rt::Text> planned;  // ids fetched ahead in this album
  auto page_address = [&] {
    return run.source.list_base_address + "&ie=utf-8&fp=1&tid=" + album_id +
           "&see_lz=" + see_lz + "&from_page=0&alt=jview&next=" +
           std::to_string(kAskedAfterCursor) + "&prev=1&pic_id=" + walk.cursor +
           "&_=" + web::RandomText();
  };
  // Takes a page into the walk and, when fetching ahead, adds its pictures
  // to the fetcher's plan: those that will be fetched as things stand now (a
  // guess proved wrong at a picture's turn only costs a fetch).
  auto take_in = [&](const rt::JsonHandle& json, bool readable) {
    const Numbered previous_last = walk.last;
    GuidePage page = walk.Read(json, readable);
    if (ahead) {
      const bool prevent_repeat = ReadPictureOptions(frame).prevent_repeat;
      std::vector<rt::Text> plan;
      for (const auto& [number, picture] : page.pictures) {
        const bool again =
            picture.id == previous_last.picture.id && number == previous_last.number;
        bool fetch = !again && !record.Skip(picture.id, prevent_repeat);
        // With the record on, a picture listed again is skipped at its turn
        // once its first listing is saved.
        if (fetch && prevent_repeat) fetch = planned.insert(picture.id).second;
        plan.push_back(fetch ? PictureAddress(run, picture) : rt::Text());
      }
      page.first = fetcher.Add(std::move(plan));
    }
    return page;
  };
  // The next page at its turn, with the retries, waits and log lines of
  // FetchListPage.
  auto ask = [&] {
    rt::JsonHandle json;
    const bool readable =
        ReadListPage(FetchListPage(run, page_address(), &web::InetRequest), &json);
    return take_in(json, readable);
  };
  // The next page before its turn, by one request without retry, wait or
  // log line. Only a readable answer that is no refusal is taken; anything
  // else is asked for again at the page's turn, so that the log and the
  // waits stay those of a run of one picture at a time.
  auto ask_ahead = [&]() -> std::optional<GuidePage> {
    rt::Text headers;
    web::RequestOptions options;
    options.returned_headers = &headers;
    const rt::Text text = web::BodyText(web::InetRequest(page_address(), options));
    rt::JsonHandle json;
    if (text.empty() || web::RecognizeRefusal({0, headers, {}, text}) != web::Refusal::kNone ||
        !ReadListPage(text, &json)) {
      return std::nullopt;
    }
    return take_in(json, true);
  };
  // Past the page total the album may still hold pictures the guide has not
  // shown (it answered fewer than asked): ask on while answers bring new ones.
  auto wanted = [&](int p) {
    return p <= page_total || (static_cast<int>(walk.seen.size()) < count &&
                               walk.page_brought_new && p <= page_total + kMostExtraPages);
  };

  rt::Text last_done_id;  // the picture saved or skipped last, and its number
  int64_t last_done_number = 0;
  std::optional<GuidePage> next;
  if (wanted(1)) next = ask();
  for (int p = 1; next; ++p) {
    GuidePage page = std::move(*next);
    next.reset();
    // Fetching ahead, the next page is asked for now, so that its pictures
    // join the window while this page's arrive; what the walk asks for does
    // not depend on how this page's pictures fare.
    if (ahead && wanted(p + 1)) next = ask_ahead();
    if (!page.readable) LogUnreadPage(run, p);
    for (size_t i = 0; i < page.pictures.size(); ++i) {
      const auto& [number, picture] = page.pictures[i];
      if (picture.id == last_done_id && number == last_done_number) {
        // The page's first picture is the previous page's last, done just now.
      } else if (const PictureOptions options = ReadPictureOptions(frame);
                 record.Skip(picture.id, options.prevent_repeat)) {
        run.tally.skipped.fetch_add(1);
        last_done_id = picture.id;
        last_done_number = number;
      } else {
        rt::Bytes body;
        rt::Text extension;  // as the bytes say, whatever the entry said
        rt::Text why;
        if (FetchPicture(run, fetcher, page.first + i, number, PictureAddress(run, picture),
                         &body, &extension, &why)) {
          const rt::Text name_part =
              options.describe_names
                  ? DescriptionName(picture.description, number, extension)
                  : rt::Text();
          if (WritePicture(folder, number, name_part, extension, body)) {
            CountSaved(run, picture.id, body.size());
            record.Record(picture.id);
            last_done_id = picture.id;
            last_done_number = number;
          } else {
            LogPictureFailed(run, number, picture.id, "无法写入文件"_gbk);
          }
        } else {
          LogPictureFailed(run, number, picture.id, why);
        }
      }
      ShowProgress(
          frame, static_cast<int>(std::min<int64_t>(number, 32767)),
          PercentText(static_cast<int>(std::min<int64_t>(number, INT32_MAX)), maximum),
          count_text + "/" + std::to_string(number));
      frame.ProcessEvents();
    }
    frame.ProcessEvents();
    if (!next && wanted(p + 1)) next = ask();
  }
  frame.AppendEditText(mw::编辑框_操作记录, {"---完成相册《"_gbk, album_name, "》下载\r\n\r\n"_gbk});
  frame.SetCaption(mw::标签_第多少张照片, "");
}

}  // namespace download
