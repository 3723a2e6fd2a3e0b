// Picture requests, the image check and the picture's file.
#include "download/picture_io.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>

#include "download/naming.h"
#include "download/page_requests.h"
#include "platform/file_system.h"
#include "runtime/file_commands.h"
#include "runtime/gbk.h"
#include "web/refusal.h"
#include "web/request_helpers.h"
#include "web/requests.h"

namespace download {

using rt::operator""_gbk;

rt::Text RefererPage(std::string_view web_host, std::string_view id) {
  const bool number = !id.empty() && std::all_of(id.begin(), id.end(), [](char c) {
    return c >= '0' && c <= '9';
  });
  if (!number) return "https://" + rt::Text(web_host) + "/";
  return "http://" + rt::Text(web_host) + "/p/" + rt::Text(id);
}

PictureAnswer RequestPicture(const rt::Text& address, const rt::Text& referer) {
  PictureAnswer answer;
  rt::Text headers = "Referer: " + referer;
  web::RequestOptions options;
  options.status = &answer.status;
  options.extra_headers = &headers;
  options.returned_headers = &answer.headers;
  options.final_address = &answer.final_address;
  options.failure = &answer.failure;
  answer.body = web::WinHttpObjectRequest(address, options);
  return answer;
}

PictureFetcher AlbumFetcher(RunContext& run, std::string_view album_id) {
  return PictureFetcher(
      run.snapshot.parallel, &run.gate,
      [referer = RefererPage(run.snapshot.web_host, album_id)](const rt::Text& address) {
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

namespace {

int64_t BigEndian(std::string_view bytes, size_t at, int length) {
  int64_t value = 0;
  for (int i = 0; i < length; ++i) value = value * 256 + static_cast<unsigned char>(bytes[at + i]);
  return value;
}

int64_t LittleEndian(std::string_view bytes, size_t at, int length) {
  int64_t value = 0;
  for (int i = length - 1; i >= 0; --i) value = value * 256 + static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// A JPEG's size stands in its frame header (SOF0..SOF15 but DHT, JPG and
// DAC), after the segments before it.
std::optional<std::pair<int64_t, int64_t>> JpegSize(std::string_view bytes) {
  size_t at = 2;
  while (at + 4 <= bytes.size()) {
    if (static_cast<unsigned char>(bytes[at]) != 0xFF) return std::nullopt;
    const auto marker = static_cast<unsigned char>(bytes[at + 1]);
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    const int64_t length = BigEndian(bytes, at + 2, 2);
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      if (at + 9 > bytes.size()) return std::nullopt;
      return std::pair{BigEndian(bytes, at + 7, 2), BigEndian(bytes, at + 5, 2)};
    }
    if (marker == 0xD9 || marker == 0xDA || length < 2) return std::nullopt;
    at += 2 + static_cast<size_t>(length);
  }
  return std::nullopt;
}

bool Refused(const PictureAnswer& answer) {
  return web::RecognizeRefusal(
             {answer.status, answer.headers, answer.final_address,
              std::string_view(reinterpret_cast<const char*>(answer.body.data()),
                               answer.body.size())}) != web::Refusal::kNone;
}

}  // namespace

std::optional<std::pair<int64_t, int64_t>> ImageSize(const rt::Bytes& body) {
  const std::string_view bytes(reinterpret_cast<const char*>(body.data()), body.size());
  const std::string_view format = ImageExtension(body);
  if (format == ".jpg") return JpegSize(bytes);
  if (format == ".png") return std::pair{BigEndian(bytes, 16, 4), BigEndian(bytes, 20, 4)};
  if (format == ".gif") return std::pair{LittleEndian(bytes, 6, 2), LittleEndian(bytes, 8, 2)};
  if (format == ".bmp") return std::pair{LittleEndian(bytes, 18, 4), LittleEndian(bytes, 22, 4)};
  if (format == ".webp" && bytes.size() >= 30) {
    if (bytes.substr(12, 4) == "VP8X")
      return std::pair{LittleEndian(bytes, 24, 3) + 1, LittleEndian(bytes, 27, 3) + 1};
    if (bytes.substr(12, 4) == "VP8 ")
      return std::pair{LittleEndian(bytes, 26, 2) & 0x3FFF, LittleEndian(bytes, 28, 2) & 0x3FFF};
    if (bytes.substr(12, 4) == "VP8L") {
      const int64_t bits = LittleEndian(bytes, 21, 4);
      return std::pair{(bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1};
    }
  }
  return std::nullopt;
}

bool IsPlaceholder(const rt::Bytes& body, int64_t width, int64_t height) {
  if (width <= 0 || height <= 0) return false;
  const auto size = ImageSize(body);
  if (!size || *size == std::pair{width, height}) return false;
  return *size == std::pair<int64_t, int64_t>{200, 200} ||
         *size == std::pair<int64_t, int64_t>{238, 238};
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
  if (fetcher.parallel() > 1 && Refused(*first)) first.reset();
  int status = 0;
  web::RequestFailure failure = web::RequestFailure::kNone;
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
        if (options.failure) *options.failure = answer.failure;
        failure = answer.failure;
        return std::move(answer.body);
      },
      &refused);
  run.gate.SafePoint();
  if (!web::IsHttpAddress(address)) {
    *why = "不是网址"_gbk;
  } else if (refused) {
    *why = "服务器拒绝"_gbk;
  } else if (status == 0 && failure == web::RequestFailure::kCertificate) {
    *why = "证书校验失败"_gbk;
  } else if (status == 0 && failure == web::RequestFailure::kSecureChannel) {
    *why = "无法建立https加密连接"_gbk;
  } else if (status == 0 && failure == web::RequestFailure::kTooLarge) {
    *why = "图片过大"_gbk;
  } else if (status == 0 && failure == web::RequestFailure::kTooSlow) {
    *why = "传输过慢"_gbk;
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

namespace {

// Returns true iff the file at `path` (UTF-8) holds exactly `body`.
bool Holds(const std::string& path, const rt::Bytes& body) {
  std::error_code ec;
  if (std::filesystem::file_size(path, ec) != body.size() || ec) return false;
  const std::optional<std::string> bytes = platform::ReadWholeFile(path);
  return bytes && bytes->size() == body.size() &&
         std::equal(bytes->begin(), bytes->end(), body.begin(),
                    [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; });
}

// The most names tried for one picture: "(n)", then "(n)_2" ... "(n)_99".
constexpr int kMostNames = 99;

// Returns true iff the file `name` at `path`, whose name is taken, is the
// claimed picture saved before.
bool IsClaimed(const PictureClaim& claim, std::string_view name, const std::string& path,
               const rt::Bytes& body) {
  const ManifestLine* line = claim.manifest ? claim.manifest->LineFor(name) : nullptr;
  if (line != nullptr && (line->id != claim.id || line->sha256 != claim.sha256)) return false;
  // Unchanged since it was saved, or, where the manifest cannot say, the
  // same bytes.
  return Holds(path, body);
}

}  // namespace

SavedFile SaveUnder(const rt::Text& folder, std::string_view stem, std::string_view extension,
                    const rt::Bytes& body, const PictureClaim& claim) {
  const std::string_view view(reinterpret_cast<const char*>(body.data()), body.size());
  for (int k = 1; k <= kMostNames; ++k) {
    const rt::Text suffix = k == 1 ? rt::Text() : "_" + std::to_string(k);
    // The suffix takes its room from the stem's end, never the name's.
    const rt::Text name =
        FitUtf8(stem, kNameLimit - static_cast<int>(rt::ToUtf8(suffix + rt::Text(extension)).size())) +
        suffix + rt::Text(extension);
    const std::string path = rt::ToUtf8(folder + name);
    switch (platform::CreateNewFile(path, {view})) {
      case platform::NewFileResult::kCreated:
        return {name, true};
      case platform::NewFileResult::kNameTaken:
        if (IsClaimed(claim, name, path, body)) return {name, false};  // saved before
        break;  // another's, or changed since: kept, and the next name is tried
      case platform::NewFileResult::kFailed:
        return {};
    }
  }
  return {};
}

SavedFile WritePicture(const rt::Text& folder, int64_t number, std::string_view name_part,
                       std::string_view extension, const rt::Bytes& body,
                       const PictureClaim& claim) {
  const rt::Text stem = "(" + std::to_string(number) + ")";
  if (!name_part.empty()) {
    SavedFile saved = SaveUnder(folder, stem + rt::Text(name_part), extension, body, claim);
    if (!saved.name.empty()) return saved;
  }
  return SaveUnder(folder, stem, extension, body, claim);
}

}  // namespace download
