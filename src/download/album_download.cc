// Paths, picture fetches and writes, and progress texts of the album downloads.
#include "download/album_download.h"

#include <algorithm>
#include <optional>
#include <string>

#include "download/naming.h"
#include "platform/file_system.h"
#include "frame/window_templates.h"
#include "runtime/conversion_commands.h"
#include "runtime/file_commands.h"
#include "runtime/gbk.h"
#include "shell/settings.h"
#include "web/request_helpers.h"
#include "web/requests.h"

namespace download {
namespace {

namespace mw = rt::main_window;
using rt::operator""_gbk;

// The longest name most Linux file systems hold, in bytes.
constexpr int kNameLimit = 255;

int Utf8Length(std::string_view gbk) { return static_cast<int>(rt::ToUtf8(gbk).size()); }

}  // namespace

rt::Text SaveRoot(rt::Frame& frame) {
  rt::Text root = frame.GetText(mw::编辑框_保存位置);
  return root.empty() ? rt::RunDirectory() : root;
}

rt::Text FitUtf8(std::string_view gbk, int max_utf8) {
  if (Utf8Length(gbk) <= max_utf8) return rt::Text(gbk);
  rt::Text fitted;
  int used = 0;
  for (size_t i = 0; i < gbk.size();) {
    const size_t width =
        static_cast<unsigned char>(gbk[i]) >= 0x81 && i + 1 < gbk.size() ? 2 : 1;
    const std::string_view character = gbk.substr(i, width);
    const int length = Utf8Length(character);
    if (used + length > max_utf8) break;
    fitted.append(character);
    used += length;
    i += width;
  }
  return fitted;
}

rt::Text PathPiece(std::string_view text, int reserved) {
  rt::Text piece(text);
  SafeAlbumName(piece);
  // Control characters are no name's part (and NUL cannot be one at all);
  // none of them is ever the second byte of a double-byte character.
  std::erase_if(piece, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
  return FitUtf8(piece, kNameLimit - reserved);
}

bool MakeAlbumFolder(rt::Text& folder) {
  if (platform::IsDirectory(rt::ToUtf8(folder))) return true;
  return shell::EnsureFolder(folder) || shell::EnsureFolder(folder);
}

bool RunTally::AddFailure(FailedPicture failure) {
  std::lock_guard lock(failures_mutex_);
  for (FailedPicture& known : failures_) {
    if (known.album_id == failure.album_id && known.id == failure.id) {
      known.why = std::move(failure.why);
      return false;
    }
  }
  failures_.push_back(std::move(failure));
  return true;
}

bool RunTally::RemoveFailure(std::string_view album_id, std::string_view id) {
  std::lock_guard lock(failures_mutex_);
  return std::erase_if(failures_, [&](const FailedPicture& known) {
           return known.album_id == album_id && known.id == id;
         }) > 0;
}

std::vector<FailedPicture> RunTally::Failures() const {
  std::lock_guard lock(failures_mutex_);
  return failures_;
}

rt::Text PicturePage(const RunContext& run, std::string_view id) {
  const bool number = !id.empty() && std::all_of(id.begin(), id.end(), [](char c) {
    return c >= '0' && c <= '9';
  });
  return "http://" + run.web_host + "/" + (number ? "p/" + rt::Text(id) : rt::Text());
}

PictureAnswer RequestPicture(const rt::Text& address, const rt::Text& referer) {
  PictureAnswer answer;
  rt::Text headers = "Referer: " + referer;
  web::RequestOptions options;
  options.status = &answer.status;
  options.extra_headers = &headers;
  options.returned_headers = &answer.headers;
  options.final_address = &answer.final_address;
  answer.body = web::WinHttpObjectRequest(address, options);
  return answer;
}

PictureFetcher AlbumFetcher(const RunContext& run, std::string_view album_id) {
  return PictureFetcher(run.parallel, run.gate,
                        [referer = PicturePage(run, album_id)](const rt::Text& address) {
                          return RequestPicture(address, referer);
                        });
}

std::string_view ImageExtension(const rt::Bytes& body) {
  // Each format's signature and the header that must follow it: a body cut
  // within its header is no picture.
  const std::string_view bytes(reinterpret_cast<const char*>(body.data()), body.size());
  // SOI, then the first segment's marker and length.
  if (bytes.size() >= 6 && bytes.starts_with("\xFF\xD8\xFF")) return ".jpg";
  // The signature, then the IHDR chunk: length, type, 13 bytes and a CRC.
  if (bytes.size() >= 33 && bytes.starts_with("\x89PNG\r\n\x1A\n") &&
      bytes.substr(12, 4) == "IHDR") {
    return ".png";
  }
  // The signature, then the logical screen descriptor.
  if (bytes.size() >= 13 && (bytes.starts_with("GIF87a") || bytes.starts_with("GIF89a"))) {
    return ".gif";
  }
  // The RIFF header, then the first chunk's header (VP8, VP8L or VP8X).
  if (bytes.size() >= 20 && bytes.starts_with("RIFF") && bytes.substr(8, 7) == "WEBPVP8") {
    return ".webp";
  }
  // The file header, then at least the smallest info header's size field
  // and dimensions.
  if (bytes.size() >= 26 && bytes.starts_with("BM")) return ".bmp";
  return {};
}

bool FetchPicture(RunContext& run, PictureFetcher& fetcher, size_t index, int64_t number,
                  const rt::Text& address, rt::Bytes* body, rt::Text* extension, rt::Text* why) {
  // The first try is the answer fetched ahead (or now); a refused one is
  // asked again here, so that its waits, log lines and tries are those of a
  // run of one picture at a time, and pause and stop act during the waits.
  std::optional<PictureAnswer> first = fetcher.Take(index, address);
  // An answer fetched ahead that was refused may be old news: the refusal
  // may have ended by the picture's turn. The first try is then made now,
  // as it would be one picture at a time.
  if (fetcher.parallel() > 1 &&
      web::RecognizeRefusal({first->status, first->headers, first->final_address,
                             std::string_view(reinterpret_cast<const char*>(first->body.data()),
                                              first->body.size())}) != web::Refusal::kNone) {
    first.reset();
  }
  int status = 0;
  bool refused = false;
  *body = FetchRefusable(
      run, "图片("_gbk + std::to_string(number) + ")",
      [&](const web::RequestOptions& options) {
        PictureAnswer answer = first ? std::move(*first) : fetcher.Request(address);
        first.reset();
        status = answer.status;
        if (options.status) *options.status = answer.status;
        if (options.returned_headers) *options.returned_headers = std::move(answer.headers);
        if (options.final_address) *options.final_address = std::move(answer.final_address);
        return std::move(answer.body);
      },
      &refused);
  run.frame.ProcessEvents();  // a stop that aborted the transfer ends the run here
  if (!web::IsHttpAddress(address)) {
    *why = "不是网址"_gbk;
  } else if (refused) {
    *why = "服务器拒绝"_gbk;
  } else if (status == 0) {
    *why = "无法连接"_gbk;
  } else if (status < 200 || status > 299) {
    *why = "HTTP " + std::to_string(status);
  } else if (body->empty()) {
    *why = "内容为空"_gbk;
  } else if (const std::string_view found = ImageExtension(*body); found.empty()) {
    *why = "不是图片"_gbk;
  } else {
    *extension = rt::Text(found);
    return true;
  }
  return false;
}

bool WritePicture(const rt::Text& folder, int64_t number, std::string_view name_part,
                  std::string_view extension, const rt::Bytes& body) {
  const rt::Text stem = folder + "(" + std::to_string(number) + ")";
  if (!name_part.empty() &&
      rt::WriteBytesToFile(stem + rt::Text(name_part) + rt::Text(extension), {body})) {
    return true;
  }
  return rt::WriteBytesToFile(stem + rt::Text(extension), {body});
}

rt::Text DescriptionName(rt::Text description, int64_t number, std::string_view extension) {
  SafeDescription(description, kDescriptionLimit);
  const int reserved = Utf8Length("(" + std::to_string(number) + ")" + rt::Text(extension));
  return FitUtf8(description, kNameLimit - reserved);
}

rt::Bytes FetchRefusable(RunContext& run, std::string_view what,
                         const web::RefusalRetry::Try& request, bool* refused) {
  web::BackoffPolicy policy{.first_wait_ms = run.pauses.refusal_first_wait_ms};
  if (run.tally.refused.load() > 0) policy.tries = 1;
  rt::Frame& frame = run.frame;
  // On the download worker the wait passes the run gate's safe points, so
  // pause holds it and stop ends it.
  web::RefusalRetry retry(
      policy, [&frame](const rt::Text& line) { frame.AppendEditText(mw::编辑框_操作记录, {line}); },
      [](int64_t ms) { web::WaitResponsive(ms); });
  bool persisted = false;
  rt::Bytes body = retry.Fetch(what, request, &persisted);
  if (persisted) run.tally.refused.fetch_add(1);
  if (refused) *refused = persisted;
  return body;
}

rt::Text FetchListPage(RunContext& run, const rt::Text& address, PageRequest request) {
  constexpr int kAttempts = 10;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    bool refused = false;
    rt::Text page = web::BodyText(FetchRefusable(
        run, "图片列表页"_gbk,
        [&](const web::RequestOptions& options) { return request(address, options); }, &refused));
    if (refused) return {};
    if (!page.empty()) return page;
    web::WaitResponsive(run.pauses.empty_page_retry_ms);
  }
  return {};
}

bool ReadListPage(std::string_view text, rt::JsonHandle* page) {
  // The lenient reader takes "<...>" for binary data: an HTML error page
  // parses, but only an object is a picture list.
  return rt::JsonParse(*page, text) && page->kind() == rt::JsonKind::kObject;
}

void LogUnreadPage(RunContext& run, int page_number) {
  run.tally.unread_pages.fetch_add(1);
  run.frame.AppendEditText(mw::编辑框_操作记录, {"图片列表第"_gbk, std::to_string(page_number),
                                                "页未能读取\r\n"_gbk});
}

void ParseListPage(RunContext& run, int page_number, std::string_view text,
                   rt::JsonHandle* page) {
  if (!ReadListPage(text, page)) LogUnreadPage(run, page_number);
}

void CountSaved(RunContext& run, std::string_view picture_id, size_t bytes) {
  run.tally.saved.fetch_add(1);
  run.tally.bytes.fetch_add(static_cast<int64_t>(bytes));
  if (run.tally.RemoveFailure(run.album_id, picture_id)) run.tally.failed.fetch_sub(1);
}

void LogPictureFailed(RunContext& run, int64_t number, std::string_view picture_id,
                      std::string_view why) {
  if (run.tally.AddFailure({run.album, run.album_id, rt::Text(picture_id), rt::Text(why)})) {
    run.tally.failed.fetch_add(1);
  }
  run.frame.AppendEditText(mw::编辑框_操作记录,
                           {"图片("_gbk, std::to_string(number), ")未能保存["_gbk, why,
                            "]："_gbk, picture_id, "，下次下载时再试\r\n"_gbk});
}

PictureOptions ReadPictureOptions(rt::Frame& frame) {
  return frame.OnUi([&] {
    return PictureOptions{frame.IsChecked(mw::选择框_下载记录),
                          frame.IsChecked(mw::选择框_文件名)};
  });
}

void ShowProgress(rt::Frame& frame, int position, const rt::Text& percent,
                  const rt::Text& label) {
  frame.OnUi([&] {
    frame.SetProgressPosition(mw::进度条1, position);
    frame.SetCaption(mw::标签_进度条比例, percent);
    frame.SetCaption(mw::标签_第多少张照片, label);
  });
}

rt::Text PercentText(int position, int maximum) {
  if (maximum <= 0) return {};
  const double percent = static_cast<double>(position) / maximum * 100;
  return std::to_string(rt::IntegerPart(percent)) + "%";
}

}  // namespace download
