// Writers of the minimal picture files laid out in picture_files.h. Filler
// comes from one fixed pseudo-random block read from a per-picture starting
// point, so a body costs little more than a copy; the PNG filler chunk's
// CRC-32 depends only on (starting point, length) and is cached.
#include "stand-in/picture_files.h"

#include <array>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "stand-in/texts.h"

namespace standin {
namespace {

constexpr size_t kBlockSize = 1 << 16;
constexpr uint32_t kPhases = 64;  // distinct starting points in the block

const std::string& FillerBlock() {
  static const std::string block = [] {
    std::string b(kBlockSize, '\0');
    uint64_t state = 0x7469657069630001ULL;
    for (size_t i = 0; i < kBlockSize; i += 8) {
      state += 0x9E3779B97F4A7C15ULL;  // splitmix64
      uint64_t z = state;
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
      z ^= z >> 31;
      std::memcpy(&b[i], &z, 8);
    }
    return b;
  }();
  return block;
}

uint32_t PhaseOf(std::string_view id, uint64_t seed) {
  uint64_t h = 1469598103934665603ULL ^ seed;  // FNV-1a over the id
  for (char c : id) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  return static_cast<uint32_t>(h % kPhases) * 1021;
}

// Reads the payload of comment data: the comment text, then filler.
class PayloadStream {
 public:
  PayloadStream(std::string text, uint32_t phase)
      : text_(std::move(text)), phase_(phase) {}
  void Append(std::string* out, size_t n) {
    while (n > 0 && at_ < text_.size()) {
      size_t take = std::min(n, text_.size() - at_);
      out->append(text_, at_, take);
      at_ += take;
      n -= take;
    }
    const std::string& block = FillerBlock();
    while (n > 0) {
      size_t from = (phase_ + filler_at_) % kBlockSize;
      size_t take = std::min(n, kBlockSize - from);
      out->append(block, from, take);
      filler_at_ += take;
      n -= take;
    }
  }

 private:
  std::string text_;
  size_t at_ = 0;
  uint32_t phase_;
  size_t filler_at_ = 0;
};

void PutU16Be(std::string* out, uint32_t v) {
  out->push_back(static_cast<char>(v >> 8));
  out->push_back(static_cast<char>(v));
}
void PutU32Be(std::string* out, uint32_t v) {
  PutU16Be(out, v >> 16);
  PutU16Be(out, v & 0xFFFF);
}
void PutBytes(std::string* out, std::initializer_list<unsigned char> bytes) {
  for (unsigned char b : bytes) out->push_back(static_cast<char>(b));
}

uint32_t Crc32(uint32_t crc, const char* data, size_t n) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (size_t i = 0; i < n; ++i)
    crc = table[(crc ^ static_cast<unsigned char>(data[i])) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

// Segment plan for comment data: k segments of `overhead` bytes each plus
// `payload` bytes in all, filling exactly `room` bytes.
struct Plan {
  size_t segments;
  size_t payload;
};
Plan PlanSegments(size_t room, size_t text, size_t max_payload, size_t overhead) {
  size_t minimum_segments = std::max<size_t>(1, (text + max_payload - 1) / max_payload);
  size_t minimum_room = text + overhead * minimum_segments;
  if (room < minimum_room) return {minimum_segments, text};
  size_t k = (room + max_payload + overhead - 1) / (max_payload + overhead);
  return {k, room - overhead * k};
}

// Writes `plan` as segments; `header` writes one segment's overhead given
// its payload size.
template <typename Header>
void WriteSegments(std::string* out, const Plan& plan, PayloadStream* stream,
                   Header header) {
  size_t q = plan.payload / plan.segments, r = plan.payload % plan.segments;
  for (size_t i = 0; i < plan.segments; ++i) {
    size_t n = q + (i < r ? 1 : 0);
    header(out, n);
    stream->Append(out, n);
  }
}

constexpr size_t kJpegFixed = 2 + 18 + 69 + 13 + 40 + 10 + 1 + 2;
constexpr size_t kJpegMaxComment = 65533;
constexpr size_t kGifFixed = 13 + 6 + 2 + 1 + 10 + 5 + 1;
constexpr size_t kPngFixed = 8 + 25 + 12 + 8 + 25 + 12;

std::string EncodeJpeg(const std::string& comment, uint32_t phase, size_t size) {
  std::string out;
  out.reserve(size);
  PutBytes(&out, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',
                  0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00});
  Plan plan =
      PlanSegments(size - std::min(size, kJpegFixed), comment.size(), kJpegMaxComment, 4);
  PayloadStream stream(comment, phase);
  WriteSegments(&out, plan, &stream, [](std::string* o, size_t n) {
    PutBytes(o, {0xFF, 0xFE});
    PutU16Be(o, static_cast<uint32_t>(n + 2));
  });
  PutBytes(&out, {0xFF, 0xDB, 0x00, 0x43, 0x00});
  out.append(64, '\x01');
  PutBytes(&out, {0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x01, 0x00, 0x01, 0x01, 0x01, 0x11,
                  0x00});
  PutBytes(&out, {0xFF, 0xC4, 0x00, 0x26, 0x00});  // DC table 0: one code of length 1
  out.append(std::string("\x01", 1) + std::string(15, '\0') + std::string(1, '\0'));
  PutBytes(&out, {0x10});  // AC table 0: one code of length 1, end of block
  out.append(std::string("\x01", 1) + std::string(15, '\0') + std::string(1, '\0'));
  PutBytes(&out, {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
  PutBytes(&out, {0x3F, 0xFF, 0xD9});
  return out;
}

std::string EncodeGif(const std::string& comment, uint32_t phase, size_t size) {
  std::string out;
  out.reserve(size);
  out += "GIF89a";
  PutBytes(&out, {0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00});
  PutBytes(&out, {0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x21, 0xFE});
  Plan plan = PlanSegments(size - std::min(size, kGifFixed), comment.size(), 255, 1);
  PayloadStream stream(comment, phase);
  WriteSegments(&out, plan, &stream,
                [](std::string* o, size_t n) { o->push_back(static_cast<char>(n)); });
  PutBytes(&out, {0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00});
  PutBytes(&out, {0x02, 0x02, 0x44, 0x01, 0x00, 0x3B});
  return out;
}

void PutChunk(std::string* out, const char* type, std::string_view data) {
  PutU32Be(out, static_cast<uint32_t>(data.size()));
  size_t start = out->size();
  out->append(type, 4);
  out->append(data);
  PutU32Be(out, Crc32(0, out->data() + start, out->size() - start));
}

// The CRC of the filler chunk (type and data), cached per phase and length.
uint32_t FillerChunkCrc(uint32_t phase, size_t n, std::string_view chunk) {
  static std::mutex mutex;
  static std::unordered_map<uint64_t, uint32_t> cache;
  uint64_t key = (static_cast<uint64_t>(n) << 20) | phase;
  {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
  }
  uint32_t crc = Crc32(0, chunk.data(), chunk.size());
  std::lock_guard<std::mutex> lock(mutex);
  if (cache.size() > 4096) cache.clear();
  cache[key] = crc;
  return crc;
}

std::string EncodePng(const std::string& comment, uint32_t phase, size_t size) {
  std::string out;
  out.reserve(size);
  PutBytes(&out, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A});
  PutChunk(&out, "IHDR", std::string("\0\0\0\1\0\0\0\1\x08\0\0\0\0", 13));
  size_t room = size - std::min(size, kPngFixed + comment.size());
  std::string text = std::string("Comment", 8) + comment;
  if (room > 0 && room < 12) text.append(room, ' ');
  PutChunk(&out, "tEXt", text);
  if (room >= 12) {
    size_t n = room - 12;
    PutU32Be(&out, static_cast<uint32_t>(n));
    size_t start = out.size();
    out += "tiEp";
    PayloadStream filler("", phase);
    filler.Append(&out, n);
    PutU32Be(&out, FillerChunkCrc(phase, n, std::string_view(out).substr(start)));
  }
  PutChunk(&out, "IDAT",
           std::string("\x78\x01\x01\x02\x00\xFD\xFF\x00\x80\x00\x82\x00\x81", 13));
  PutChunk(&out, "IEND", "");
  return out;
}

}  // namespace

std::string PictureComment(std::string_view id) {
  return "tiepic-stand-in picture " + Printable(id);
}

uint32_t MinimumPictureSize(PictureFormat format, std::string_view id) {
  size_t text = PictureComment(id).size();
  switch (format) {
    case PictureFormat::kGif: {
      Plan plan = PlanSegments(0, text, 255, 1);
      return static_cast<uint32_t>(kGifFixed + plan.payload + plan.segments);
    }
    case PictureFormat::kPng:
      return static_cast<uint32_t>(kPngFixed + text);
    case PictureFormat::kJpeg:
    default: {
      Plan plan = PlanSegments(0, text, kJpegMaxComment, 4);
      return static_cast<uint32_t>(kJpegFixed + plan.payload + 4 * plan.segments);
    }
  }
}

std::string EncodePicture(PictureFormat format, std::string_view id, uint64_t seed,
                          uint32_t size) {
  std::string comment = PictureComment(id);
  uint32_t phase = PhaseOf(id, seed);
  size_t wanted = PictureFileSize(format, id, size);
  switch (format) {
    case PictureFormat::kGif:
      return EncodeGif(comment, phase, wanted);
    case PictureFormat::kPng:
      return EncodePng(comment, phase, wanted);
    case PictureFormat::kJpeg:
    default:
      return EncodeJpeg(comment, phase, wanted);
  }
}

std::string EncodeGreyJpeg(int width, int height, std::string_view comment, size_t size) {
  const size_t blocks = static_cast<size_t>((width + 7) / 8) * ((height + 7) / 8);
  const size_t entropy = (2 * blocks + 7) / 8;  // "0" (DC difference 0) and "0" (EOB) each
  const size_t fixed = kJpegFixed - 1 + entropy + 4;
  const size_t payload = std::max(size, fixed + comment.size()) - fixed;
  std::string out;
  out.reserve(fixed + payload);
  PutBytes(&out, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',
                  0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00});
  PutBytes(&out, {0xFF, 0xFE});
  PutU16Be(&out, static_cast<uint32_t>(std::min<size_t>(payload, kJpegMaxComment) + 2));
  PayloadStream(std::string(comment), 0).Append(&out, std::min<size_t>(payload, kJpegMaxComment));
  PutBytes(&out, {0xFF, 0xDB, 0x00, 0x43, 0x00});
  out.append(64, '\x01');
  PutBytes(&out, {0xFF, 0xC0, 0x00, 0x0B, 0x08});
  PutU16Be(&out, static_cast<uint32_t>(height));
  PutU16Be(&out, static_cast<uint32_t>(width));
  PutBytes(&out, {0x01, 0x01, 0x11, 0x00});
  PutBytes(&out, {0xFF, 0xC4, 0x00, 0x26, 0x00});
  out.append(std::string("\x01", 1) + std::string(15, '\0') + std::string(1, '\0'));
  PutBytes(&out, {0x10});
  out.append(std::string("\x01", 1) + std::string(15, '\0') + std::string(1, '\0'));
  PutBytes(&out, {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
  out.append(entropy, '\0');
  if (const size_t bits = 2 * blocks % 8; bits != 0)
    out.back() = static_cast<char>(0xFF >> bits);  // padded with one bits
  PutBytes(&out, {0xFF, 0xD9});
  return out;
}

bool PictureDimensions(std::string_view body, int* width, int* height) {
  auto u16 = [&body](size_t at) {
    return (static_cast<unsigned char>(body[at]) << 8) | static_cast<unsigned char>(body[at + 1]);
  };
  switch (SniffPictureFormat(body)) {
    case static_cast<int>(PictureFormat::kJpeg):
      for (size_t at = 2; at + 9 <= body.size() && body[at] == '\xFF';) {
        const auto marker = static_cast<unsigned char>(body[at + 1]);
        if (marker >= 0xC0 && marker <= 0xC2) {
          *height = u16(at + 5);
          *width = u16(at + 7);
          return true;
        }
        at += 2 + u16(at + 2);
      }
      return false;
    case static_cast<int>(PictureFormat::kPng):
      if (body.size() < 24) return false;
      *width = (u16(16) << 16) | u16(18);
      *height = (u16(20) << 16) | u16(22);
      return true;
    case static_cast<int>(PictureFormat::kGif):
      if (body.size() < 10) return false;
      *width = static_cast<unsigned char>(body[6]) | (static_cast<unsigned char>(body[7]) << 8);
      *height = static_cast<unsigned char>(body[8]) | (static_cast<unsigned char>(body[9]) << 8);
      return true;
    default:
      return false;
  }
}

int SniffPictureFormat(std::string_view body) {
  if (body.substr(0, 3) == "\xFF\xD8\xFF") return static_cast<int>(PictureFormat::kJpeg);
  if (body.substr(0, 6) == "GIF89a" || body.substr(0, 6) == "GIF87a") {
    return static_cast<int>(PictureFormat::kGif);
  }
  if (body.substr(0, 8) == "\x89PNG\r\n\x1a\n")
    return static_cast<int>(PictureFormat::kPng);
  return 0;
}

}  // namespace standin
