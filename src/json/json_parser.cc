// The JSON parser: one pass of recursive descent over GBK text, building the
// values of one document in its arena. Recursion is bounded by the nesting
// limit, so hostile input cannot exhaust the stack.
#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/codepage.h"
#include "json/json_document.h"

namespace json::json_internal {

namespace {

constexpr int kMaxDepth = 30;
constexpr size_t kMaxCount = 0x7FFFFFFF;

constexpr bool IsLead(unsigned char c) { return platform::IsGbkLeadByte(static_cast<char>(c)); }
bool IsTrail(unsigned char c) { return platform::IsGbkTrailByte(static_cast<char>(c)); }

// The width of the character at p: a lead byte and a trail byte after it
// form one double-byte character. A lead byte without a trail byte (as in
// UTF-8 text, or at the end of a string) stands alone, so that it never
// swallows the closing quote.
size_t CharWidth(const char* p, const char* end) {
  return IsLead(static_cast<unsigned char>(p[0])) && end - p >= 2 &&
                 IsTrail(static_cast<unsigned char>(p[1]))
             ? 2
             : 1;
}

// Bytes that end a run of plain string content: the quote (bit 0 for the
// double quote, bit 1 for the single quote), the backslash and lead bytes
// (both bits).
constexpr std::array<uint8_t, 256> kStringStops = [] {
  std::array<uint8_t, 256> t{};
  t['"'] = 1;
  t['\''] = 2;
  t['\\'] = 3;
  for (int c = 0; c < 256; ++c) {
    if (IsLead(static_cast<unsigned char>(c))) t[c] = 3;
  }
  return t;
}();

constexpr std::array<bool, 256> kNumberChars = [] {
  std::array<bool, 256> t{};
  for (char c : std::string_view("0123456789.+-eE"))
    t[static_cast<unsigned char>(c)] = true;
  return t;
}();

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads the four hexadecimal digits at p. Returns -1 unless all four are
// there before `end`.
int32_t ReadHex4(const char* p, const char* end) {
  if (end - p < 4) return -1;
  int32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    int h = HexValue(p[i]);
    if (h < 0) return -1;
    v = v << 4 | h;
  }
  return v;
}

// Skips whole blocks of 16 bytes that hold neither `quote`, a backslash nor
// a byte from 0x80 up; the byte loop after it finds the exact stop.
const char* SkipPlainBytes(const char* s, const char* end, char quote) {
#ifdef __SSE2__
  const __m128i quotes = _mm_set1_epi8(quote);
  const __m128i backslashes = _mm_set1_epi8('\\');
  while (end - s >= 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    __m128i stops =
        _mm_or_si128(_mm_cmpeq_epi8(v, quotes), _mm_cmpeq_epi8(v, backslashes));
    if (_mm_movemask_epi8(_mm_or_si128(stops, v)) != 0) break;
    s += 16;
  }
#else
  (void)end;
  (void)quote;
#endif
  return s;
}

// A hash over every byte of a key, eight at a time, so that keys differing
// only in the middle do not all collide.
uint64_t KeyHash(std::string_view k) {
  uint64_t h = k.size() * 0x9E3779B97F4A7C15ull;
  size_t i = 0;
  for (; i + 8 <= k.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, k.data() + i, 8);
    h = (h ^ w) * 0xC2B2AE3D27D4EB4Full;
    h ^= h >> 31;
  }
  uint64_t tail = 0;
  if (i < k.size()) std::memcpy(&tail, k.data() + i, k.size() - i);
  h = (h ^ tail) * 0x9E3779B97F4A7C15ull;
  return h ^ (h >> 29);
}

class Parser {
 public:
  Parser(std::string_view text, Document* document)
      : p_(text.data()), end_(text.data() + text.size()), arena_(document->arena) {}

  bool ParseValue(Node* out, int depth);

 private:
  void SkipSpace();
  bool ParseString(char quote, const char** chars, uint32_t* length);
  bool DecodeEscapes(const char* begin, const char* end, char* out, size_t* length);
  bool ParseArray(Node* out, int depth);
  bool ParseObject(Node* out, int depth);
  bool ParseKey(Member* member);
  bool FinishObject(Node* out, size_t base);
  bool ParseLiteral(std::string_view word);
  bool ParseNumber(Node* out);
  bool ParseDate(Node* out);
  bool ParseBinary(Node* out);

  const char* p_;
  const char* const end_;
  Arena& arena_;
  std::vector<Node> items_;      // entries of the open arrays, innermost last
  std::vector<Member> members_;  // members of the open objects, innermost last
};

void Parser::SkipSpace() {
  while (p_ < end_) {
    char c = *p_;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++p_;
    } else if (c == '/' && end_ - p_ >= 2 && p_[1] == '*') {
      const char* close = nullptr;
      for (const char* q = p_ + 2; end_ - q >= 2; ++q) {
        q = static_cast<const char*>(std::memchr(q, '*', end_ - q - 1));
        if (q == nullptr) break;
        if (q[1] == '/') {
          close = q;
          break;
        }
      }
      p_ = close ? close + 2 : end_;
    } else if (c == '/' && end_ - p_ >= 2 && p_[1] == '/') {
      p_ += 2;
      while (p_ < end_ && *p_ != '\n' && *p_ != '\r') ++p_;
    } else {
      return;
    }
  }
}

bool Parser::ParseValue(Node* out, int depth) {
  SkipSpace();
  if (p_ >= end_) return false;
  switch (*p_) {
    case '"':
    case '\'':
      out->kind = JsonKind::kString;
      return ParseString(*p_, &out->chars, &out->count);
    case '{':
      return ParseObject(out, depth);
    case '[':
      return ParseArray(out, depth);
    case 't':
    case 'T':
      out->kind = JsonKind::kBoolean;
      out->boolean = true;
      return ParseLiteral("true");
    case 'f':
    case 'F':
      out->kind = JsonKind::kBoolean;
      out->boolean = false;
      return ParseLiteral("false");
    case 'n':
    case 'N':
      out->kind = JsonKind::kNull;
      return ParseLiteral("null");
    case '#':
      return ParseDate(out);
    case '<':
      return ParseBinary(out);
    default:
      if (*p_ == '-' || (*p_ >= '0' && *p_ <= '9')) return ParseNumber(out);
      return false;
  }
}

bool Parser::ParseLiteral(std::string_view word) {
  if (static_cast<size_t>(end_ - p_) < word.size()) return false;
  for (char w : word) {
    char c = *p_++;
    if (c != w && c != w - ('a' - 'A')) return false;
  }
  return true;
}

// Finds the closing quote first (stepping over escaped characters and over
// double-byte characters, whose trail byte may equal a quote or a
// backslash), then copies the content, undoing escapes only when there are
// any.
bool Parser::ParseString(char quote, const char** chars, uint32_t* length) {
  const uint8_t stop_bit = quote == '"' ? 1 : 2;
  const char* begin = ++p_;
  const char* s = begin;
  bool escaped = false;
  for (;;) {
    s = SkipPlainBytes(s, end_, quote);
    while (s < end_ && !(kStringStops[static_cast<unsigned char>(*s)] & stop_bit)) ++s;
    if (s >= end_) return false;
    if (*s == quote) break;
    if (*s == '\\') {
      escaped = true;
      // A backslash before a lead byte stays and the character is read as usual.
      s += (s + 1 < end_ && IsLead(static_cast<unsigned char>(s[1]))) ? 1 : 2;
    } else {
      s += CharWidth(s, end_);
    }
  }
  size_t n = s - begin;
  if (n > kMaxCount) return false;
  p_ = s + 1;
  if (n == 0) {
    *chars = nullptr;
    *length = 0;
    return true;
  }
  if (!escaped) {
    *chars = arena_.CopyBytes(begin, n);
    *length = static_cast<uint32_t>(n);
    return true;
  }
  // Undoing escapes never lengthens the text, so `n` bytes are enough.
  char* buffer = static_cast<char*>(arena_.Allocate(n));
  size_t used = 0;
  if (!DecodeEscapes(begin, s, buffer, &used)) return false;
  arena_.Shrink(buffer, n, used);
  *chars = used ? buffer : nullptr;
  *length = static_cast<uint32_t>(used);
  return true;
}

// REQUIRES: [q, end) is a whole string's content as ParseString delimited it.
bool Parser::DecodeEscapes(const char* q, const char* end, char* out, size_t* length) {
  char* o = out;
  while (q < end) {
    const char* run = q;
    while (q < end && *q != '\\' && !IsLead(static_cast<unsigned char>(*q))) ++q;
    std::memcpy(o, run, q - run);
    o += q - run;
    if (q >= end) break;
    if (*q != '\\') {  // a lead byte, with its trail byte when there is one
      size_t w = CharWidth(q, end);
      std::memcpy(o, q, w);
      o += w;
      q += w;
      continue;
    }
    char e = q[1];  // the scan guarantees a byte after every backslash
    switch (e) {
      case '"':
      case '\'':
      case '/':
      case '\\':
        *o++ = e;
        q += 2;
        break;
      case 'b':
        *o++ = '\b';
        q += 2;
        break;
      case 'f':
        *o++ = '\f';
        q += 2;
        break;
      case 'n':
        *o++ = '\n';
        q += 2;
        break;
      case 'r':
        *o++ = '\r';
        q += 2;
        break;
      case 't':
        *o++ = '\t';
        q += 2;
        break;
      case 'u': {
        int32_t unit = ReadHex4(q + 2, end);
        if (unit < 0) return false;
        q += 6;
        uint32_t code = static_cast<uint32_t>(unit);
        if (unit >= 0xD800 && unit <= 0xDBFF) {
          int32_t low =
              (end - q >= 6 && q[0] == '\\' && q[1] == 'u') ? ReadHex4(q + 2, end) : -1;
          if (low >= 0xDC00 && low <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            q += 6;
          } else {
            // A high surrogate without its partner stands for the
            // replacement character, in this text's own code page.
            code = 0xFFFD;
          }
        }
        o += WriteGb18030(code, o);
        break;
      }
      default:  // the backslash stays; the next character is read as usual
        *o++ = '\\';
        ++q;
        break;
    }
  }
  *length = o - out;
  return true;
}

bool Parser::ParseArray(Node* out, int depth) {
  if (depth >= kMaxDepth) return false;
  ++p_;
  const size_t base = items_.size();
  SkipSpace();
  if (p_ < end_ && *p_ == ']') {
    ++p_;
  } else {
    for (;;) {
      Node item;
      if (!ParseValue(&item, depth + 1)) return false;
      items_.push_back(item);
      SkipSpace();
      if (p_ >= end_) return false;
      if (*p_ == ']') {
        ++p_;
        break;
      }
      if (*p_++ != ',') return false;
    }
  }
  size_t n = items_.size() - base;
  if (n > kMaxCount) return false;
  out->kind = JsonKind::kArray;
  out->count = static_cast<uint32_t>(n);
  out->items = nullptr;
  if (n > 0) {
    Node* items = static_cast<Node*>(arena_.Allocate(n * sizeof(Node)));
    std::uninitialized_copy(items_.begin() + base, items_.end(), items);
    out->items = items;
  }
  items_.resize(base);
  return true;
}

bool Parser::ParseObject(Node* out, int depth) {
  if (depth >= kMaxDepth) return false;
  ++p_;
  const size_t base = members_.size();
  SkipSpace();
  if (p_ < end_ && *p_ == '}') {
    ++p_;
  } else {
    for (;;) {
      Member member;
      if (!ParseKey(&member)) return false;
      if (!ParseValue(&member.value, depth + 1)) return false;
      members_.push_back(member);
      SkipSpace();
      if (p_ >= end_) return false;
      if (*p_ == '}') {
        ++p_;
        break;
      }
      if (*p_++ != ',') return false;
    }
  }
  return FinishObject(out, base);
}

// A key in either quote, or without quotes every character up to the colon.
// Leaves p_ after the colon.
bool Parser::ParseKey(Member* member) {
  SkipSpace();
  if (p_ >= end_) return false;
  if (*p_ == '"' || *p_ == '\'') {
    if (!ParseString(*p_, &member->key, &member->key_length)) return false;
    SkipSpace();
    if (p_ >= end_ || *p_ != ':') return false;
  } else {
    const char* colon = p_;
    while (colon < end_ && *colon != ':') colon += CharWidth(colon, end_);
    if (colon >= end_) return false;
    size_t n = colon - p_;
    if (n > kMaxCount) return false;
    member->key = arena_.CopyBytes(p_, n);
    member->key_length = static_cast<uint32_t>(n);
    p_ = colon;
  }
  ++p_;
  return true;
}

// Stores the members parsed since `base`. A key seen again replaces the
// earlier member and moves to the end, so each key keeps its last value at
// the place of its last occurrence.
bool Parser::FinishObject(Node* out, size_t base) {
  const size_t n = members_.size() - base;
  if (n > kMaxCount) return false;
  out->kind = JsonKind::kObject;
  out->count = 0;
  out->members = nullptr;
  if (n == 0) return true;
  Member* first = members_.data() + base;
  std::vector<bool> dropped;
  if (n > 1) {
    // Open addressing over (hash, index + 1); walking from the last member
    // back, a key already present marks the earlier member as dropped.
    size_t slots = 16;
    while (slots < 2 * n) slots <<= 1;
    using Slot = std::pair<uint32_t, uint32_t>;
    Slot small[64];
    std::vector<Slot> large;
    Slot* table = small;
    if (slots > std::size(small)) {
      large.resize(slots);
      table = large.data();
    } else {
      std::fill_n(small, slots, Slot{0, 0});
    }
    for (size_t i = n; i-- > 0;) {
      std::string_view key = first[i].key_view();
      uint64_t h = KeyHash(key);
      uint32_t tag = static_cast<uint32_t>(h >> 32);
      for (size_t s = h & (slots - 1);; s = (s + 1) & (slots - 1)) {
        if (table[s].second == 0) {
          table[s] = {tag, static_cast<uint32_t>(i + 1)};
          break;
        }
        if (table[s].first == tag && first[table[s].second - 1].key_view() == key) {
          if (dropped.empty()) dropped.resize(n);
          dropped[i] = true;
          break;
        }
      }
    }
  }
  Member* members = static_cast<Member*>(arena_.Allocate(n * sizeof(Member)));
  uint32_t kept = 0;
  for (size_t i = 0; i < n; ++i) {
    if (dropped.empty() || !dropped[i]) new (&members[kept++]) Member(first[i]);
  }
  arena_.Shrink(members, n * sizeof(Member), kept * sizeof(Member));
  out->count = kept;
  out->members = members;
  members_.resize(base);
  return true;
}

bool Parser::ParseNumber(Node* out) {
  const char* begin = p_;
  // Most numbers are short runs of digits: those are read here at once.
  const char* digits = begin + (*begin == '-');
  const char* q = digits;
  int64_t value = 0;
  while (q < end_ && *q >= '0' && *q <= '9' && q - digits < 18)
    value = value * 10 + (*q++ - '0');
  if (q > digits && (q >= end_ || !kNumberChars[static_cast<unsigned char>(*q)])) {
    p_ = q;
    if (*begin == '-') value = -value;
    if (value >= 0 && value <= 2147483646) {
      out->kind = JsonKind::kInt;
      out->int32 = static_cast<int32_t>(value);
    } else {
      out->kind = JsonKind::kInt64;
      out->int64 = value;
    }
    return true;
  }
  while (p_ < end_ && kNumberChars[static_cast<unsigned char>(*p_)]) ++p_;
  return ParseNumberToken(std::string_view(begin, p_ - begin), out);
}

bool Parser::ParseDate(Node* out) {
  const char* close = static_cast<const char*>(std::memchr(p_ + 1, '#', end_ - p_ - 1));
  if (close == nullptr) return false;
  JsonDate date;
  if (!ReadHttpDate(std::string_view(p_ + 1, close - p_ - 1), &date)) return false;
  auto* stored = static_cast<JsonDate*>(arena_.Allocate(sizeof(JsonDate)));
  *stored = date;
  out->kind = JsonKind::kDate;
  out->date = stored;
  p_ = close + 1;
  return true;
}

bool Parser::ParseBinary(Node* out) {
  const char* close = static_cast<const char*>(std::memchr(p_ + 1, '>', end_ - p_ - 1));
  if (close == nullptr) return false;
  std::string bytes;
  if (!DecodeBase64(std::string_view(p_ + 1, close - p_ - 1), &bytes)) return false;
  if (bytes.size() > kMaxCount) return false;
  out->kind = JsonKind::kBinary;
  out->count = static_cast<uint32_t>(bytes.size());
  out->bytes = reinterpret_cast<const unsigned char*>(
      arena_.CopyBytes(bytes.data(), bytes.size()));
  p_ = close + 1;
  return true;
}

}  // namespace

std::unique_ptr<Document> ParseDocument(std::string_view text) {
  if (const void* nul = std::memchr(text.data(), '\0', text.size())) {
    text = text.substr(0, static_cast<const char*>(nul) - text.data());
  }
  auto document = std::make_unique<Document>();
  Parser parser(text, document.get());
  if (!parser.ParseValue(&document->root, 0)) return nullptr;
  return document;
}

}  // namespace json::json_internal
