// The page-numbered download of an album's pictures: pages of up to 200
// entries, each picture fetched from the picture host by its id.
#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "download/album_downloads.h"
#include "download/repeat_record.h"
#include "frame/window_templates.h"
#include "json/json_value.h"
#include "platform/file_system.h"
#include "runtime/conversion_commands.h"
#include "runtime/gbk.h"
#include "runtime/text_commands.h"
#include "shell/settings.h"
#include "web/request_helpers.h"
#include "web/requests.h"

namespace download {
namespace {

namespace mw = rt::main_window;
using rt::operator""_gbk;

constexpr int kPageSize = 200;
constexpr int kBarLimit = 32767;

rt::Text WithoutQuotes(std::string_view text) {
  return rt::ReplaceText(text, "\"", "", {}, {}, true);
}

rt::Text PictureId(const rt::JsonHandle& item) {
  return WithoutQuotes(rt::JsonToText(rt::JsonGetMember(item, "pic_id")));
}

bool IsPictureId(const rt::Text& id) { return !id.empty() && id != "NULL" && id != "null"; }

rt::Text PictureAddress(const RunContext& run, const rt::Text& id) {
  return "http://" + run.picture_host + "/forum/pic/item/" + id + ".jpg";
}

// The album's picture total, asked for one picture per page: the page total
// is then the picture total.
rt::Text FetchTotal(RunContext& run, const rt::Text& thread_id) {
  const rt::Text address = run.source.list_base_address + "&alt=jview&rn=1&tid=" + thread_id +
                           "&pn=1&ps=0&pe=1&wall_type=v&_=" + web::RandomText();
  const rt::Text text = web::BodyText(FetchRefusable(
      run, "图片总数"_gbk,
      [&](const web::RequestOptions& options) { return web::InetRequest(address, options); }));
  run.frame.ProcessEvents();
  return web::TextBetween(text, "\"total_page\":", ",");
}

}  // namespace

void DownloadListPictures(RunContext& run, const rt::Text& count_text, const rt::Text& thread_id,
                          rt::Text& album_title) {
  rt::Frame& frame = run.frame;
  const rt::Text safe_id = PathPiece(thread_id);
  run.album = album_title;
  run.album_id = thread_id;
  RepeatRecord record(frame, safe_id, 2);
  frame.SetCaption(mw::标签_进度条比例, "");
  frame.SetProgressPosition(mw::进度条1, 0);

  rt::Text count = count_text;
  if (rt::ToInteger(count) == 0) count = FetchTotal(run, thread_id);
  const int total = rt::ToInteger(count);
  const int maximum = std::clamp(total, 0, kBarLimit);
  frame.SetProgressMaximum(mw::进度条1, total);
  frame.AppendEditText(mw::编辑框_操作记录, {"下载载相册:"_gbk, album_title, "\r\n\r\n"});
  // Album titles repeat on a board: the album's id keeps each one's folder
  // its own, so no album's pictures replace another's.
  const rt::Text suffix = "_" + safe_id;
  album_title = PathPiece(album_title, static_cast<int>(rt::ToUtf8(suffix).size()));
  const int pages = std::max(total, 0) / kPageSize + 1;

  rt::Text folder =
      SaveRoot(frame) + "/" + PathPiece(run.source.board_title) + "/" + album_title + suffix + "/";
  if (!platform::IsDirectory(rt::ToUtf8(folder))) {
    rt::Text created = folder;
    if (shell::EnsureFolder(created)) {
      frame.AppendEditText(mw::编辑框_操作记录, {folder, "创建成功\r\n\r\n"_gbk});
    } else {
      frame.AppendEditText(mw::编辑框_操作记录, {folder, "创建失败，会再次执行一次\r\n\r\n"_gbk});
      shell::EnsureFolder(created);
    }
  }

  std::unordered_set<rt::Text> planned;  // ids fetched ahead in this album
  PictureFetcher fetcher = AlbumFetcher(run, thread_id);
  for (int p = 1; p <= pages; ++p) {
    const rt::Text address = run.source.list_base_address + "&alt=jview&rn=200&tid=" + thread_id +
                             "&pn=" + std::to_string(p) + "&ps=1&pe=200&wall_type=v&_=" +
                             web::RandomText();
    rt::JsonHandle page;
    ParseListPage(run, p, FetchListPage(run, address, &web::WinHttpObjectRequest), &page);
    const rt::JsonHandle list = rt::JsonGetMember(rt::JsonGetMember(page, "data"), "pic_list");
    const int entries = rt::JsonArrayLength(list);
    size_t first = 0;  // the page's first picture in the fetcher's plan
    if (fetcher.parallel() > 1) {
      // Ahead go the pictures that will be fetched as things stand now; a
      // guess proved wrong at a picture's turn only costs a fetch.
      const bool prevent_repeat = ReadPictureOptions(frame).prevent_repeat;
      std::vector<rt::Text> plan;
      for (int j = 1; j <= entries; ++j) {
        const rt::Text id = PictureId(rt::JsonGetItem(list, j - 1));
        bool fetch = IsPictureId(id) && !record.Skip(id, prevent_repeat);
        // With the record on, a picture listed again is skipped at its turn
        // once its first listing is saved.
        if (fetch && prevent_repeat) fetch = planned.insert(id).second;
        plan.push_back(fetch ? PictureAddress(run, id) : rt::Text());
      }
      first = fetcher.Add(std::move(plan));
    }
    for (int j = 1; j <= entries; ++j) {
      const int64_t ordinal = int64_t{p - 1} * kPageSize + j;
      // The bar holds its position within its range; the labels show what it
      // holds, while the file is named by the ordinal, which is never shared.
      const int position = static_cast<int>(std::min<int64_t>({ordinal, maximum}));
      ShowProgress(frame, position, PercentText(position, maximum),
                   "第["_gbk + std::to_string(position) + "]个图片"_gbk);

      const rt::JsonHandle item = rt::JsonGetItem(list, j - 1);
      const rt::Text id = PictureId(item);
      const PictureOptions options = ReadPictureOptions(frame);
      if (record.Skip(id, options.prevent_repeat)) {
        run.tally.skipped.fetch_add(1);
      } else if (IsPictureId(id)) {
        rt::Bytes body;
        rt::Text extension;  // as the bytes say
        rt::Text why;
        const bool fetched =
            FetchPicture(run, fetcher, first + static_cast<size_t>(j - 1), ordinal,
                         PictureAddress(run, id), &body, &extension, &why);
        web::WaitResponsive(run.pauses.after_list_picture_ms);
        if (!fetched) {
          LogPictureFailed(run, ordinal, id, why);
        } else {
          const rt::Text name_part =
              options.describe_names
                  ? DescriptionName(
                        WithoutQuotes(rt::JsonToText(rt::JsonGetMember(item, "descr"))),
                        ordinal, extension)
                  : rt::Text();
          if (WritePicture(folder, ordinal, name_part, extension, body)) {
            CountSaved(run, id, body.size());
            record.Record(id);
          } else {
            LogPictureFailed(run, ordinal, id, "无法写入文件"_gbk);
          }
        }
      }
      frame.ProcessEvents();
    }
  }
  frame.AppendEditText(mw::编辑框_操作记录, {"---完成相册《"_gbk, album_title, "》下载\r\n\r\n"_gbk});
  frame.SetCaption(mw::标签_第多少张照片, "");
}

}  // namespace download
