// Key order and value conversion of the record database.
#include "recorddb/key.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "recorddb/coding.h"
#include "recorddb/main_file.h"

namespace recorddb {
namespace {

template <typename T>
int Order(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

int OrderFloat(double a, double b) {
  const bool na = std::isnan(a), nb = std::isnan(b);
  if (na || nb) return na == nb ? 0 : (na ? 1 : -1);
  return Order(a, b);
}

int CompareText(const uint8_t* a, const uint8_t* b, int32_t width) {
  for (int32_t i = 0; i < width; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    if (a[i] == 0) return 0;
  }
  return 0;
}

// The next character of a text at `*i` as one number (a double-byte
// character as lead * 256 + trail, so the order of the raw bytes is kept),
// spaces skipped and letters folded to lower case as `flags` ask; 0 at the
// end of the text.
uint32_t NextUnit(const uint8_t* p, int32_t width, int32_t flags, int32_t* i) {
  while (*i < width && p[*i] == ' ' && (flags & kKeyIgnoreSpaces)) ++*i;
  if (*i >= width || p[*i] == 0) return 0;
  const uint8_t c = p[(*i)++];
  if (c >= 0x80) {
    const uint8_t trail = *i < width ? p[*i] : 0;
    if (trail != 0) ++*i;
    return uint32_t{c} << 8 | trail;
  }
  if ((flags & kKeyIgnoreCase) && c >= 'A' && c <= 'Z') return c + 32u;
  return c;
}

int CompareFoldedText(const uint8_t* a, const uint8_t* b, int32_t width, int32_t flags) {
  int32_t i = 0, j = 0;
  for (;;) {
    const uint32_t x = NextUnit(a, width, flags, &i);
    const uint32_t y = NextUnit(b, width, flags, &j);
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

int ComparePart(const KeyPart& part, const uint8_t* a, const uint8_t* b, int32_t flags) {
  switch (part.type) {
    case kTypeByte:
      return Order(a[0], b[0]);
    case kTypeBool:
      return Order(a[0] != 0, b[0] != 0);
    case kTypeShort:
      return Order(static_cast<int16_t>(GetU16(a)), static_cast<int16_t>(GetU16(b)));
    case kTypeInt:
      return Order(GetI32(a), GetI32(b));
    case kTypeReference:
      return Order(GetU32(a), GetU32(b));
    case kTypeLong:
      return Order(static_cast<int64_t>(GetU64(a)), static_cast<int64_t>(GetU64(b)));
    case kTypeFloat:
      return OrderFloat(GetF32(a), GetF32(b));
    case kTypeDouble:
    case kTypeDateTime:
      return OrderFloat(GetF64(a), GetF64(b));
    case kTypeText:
      return flags == 0 ? CompareText(a, b, part.width)
                        : CompareFoldedText(a, b, part.width, flags);
    default:
      return std::memcmp(a, b, static_cast<size_t>(part.width));
  }
}

// A numeric value of any kind as a double and, when integral, exactly.
bool NumericOf(const rt::Value& v, double* d, int64_t* i, bool* integral) {
  return std::visit(
      [&](const auto& x) -> bool {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, uint8_t> || std::is_same_v<T, int16_t> ||
                      std::is_same_v<T, int32_t> || std::is_same_v<T, int64_t>) {
          *i = x;
          *d = static_cast<double>(x);
          *integral = true;
          return true;
        } else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>) {
          *d = x;
          *integral = false;
          return true;
        } else {
          return false;
        }
      },
      v);
}

// A double carried to an integer of the field's width: truncated toward
// zero and held within the type's range (NaN becomes 0).
template <typename T>
T Saturate(double d) {
  if (std::isnan(d)) return 0;
  if (d <= static_cast<double>(std::numeric_limits<T>::min())) {
    return std::numeric_limits<T>::min();
  }
  if (d >= static_cast<double>(std::numeric_limits<T>::max())) {
    return std::numeric_limits<T>::max();
  }
  return static_cast<T>(d);
}

template <typename T>
T ToInteger(double d, int64_t i, bool integral) {
  if (!integral) return Saturate<T>(d);
  if (i < static_cast<int64_t>(std::numeric_limits<T>::min())) {
    return std::numeric_limits<T>::min();
  }
  if (i > static_cast<int64_t>(std::numeric_limits<T>::max())) {
    return std::numeric_limits<T>::max();
  }
  return static_cast<T>(i);
}

bool EncodeNumber(const rt::Value& value, int32_t type, uint8_t* out) {
  double d = 0;
  int64_t i = 0;
  bool integral = false;
  if (!NumericOf(value, &d, &i, &integral)) return false;
  switch (type) {
    case kTypeByte:
      out[0] = ToInteger<uint8_t>(d, i, integral);
      return true;
    case kTypeShort:
      PutU16(out, static_cast<uint16_t>(ToInteger<int16_t>(d, i, integral)));
      return true;
    case kTypeInt:
      PutI32(out, ToInteger<int32_t>(d, i, integral));
      return true;
    case kTypeReference:
      PutU32(out, ToInteger<uint32_t>(d, i, integral));
      return true;
    case kTypeLong:
      PutU64(out, static_cast<uint64_t>(integral ? i : Saturate<int64_t>(d)));
      return true;
    case kTypeFloat:
      PutF32(out, static_cast<float>(integral ? static_cast<double>(i) : d));
      return true;
    case kTypeDouble:
      PutF64(out, integral ? static_cast<double>(i) : d);
      return true;
    default:
      return false;
  }
}

}  // namespace

KeyFormat::KeyFormat(std::vector<KeyPart> parts, int32_t flags)
    : parts_(std::move(parts)), flags_(flags & (kKeyIgnoreCase | kKeyIgnoreSpaces)) {
  for (const KeyPart& p : parts_) size_ += p.width;
  single_text_ = parts_.size() == 1 && parts_[0].type == kTypeText && flags_ == 0;
}

int KeyFormat::Compare(const uint8_t* a, const uint8_t* b) const {
  if (single_text_) return CompareText(a, b, size_);
  for (const KeyPart& part : parts_) {
    if (int c = ComparePart(part, a + part.offset, b + part.offset, flags_); c != 0) {
      return c;
    }
  }
  return 0;
}

void KeyFormat::Extract(const uint8_t* record, uint8_t* key) const {
  for (const KeyPart& part : parts_) {
    std::memcpy(key + part.offset, record + part.record_offset,
                static_cast<size_t>(part.width));
  }
}

bool EncodeFieldValue(const rt::Value& value, int32_t type, int32_t width, uint8_t* out) {
  std::memset(out, 0, static_cast<size_t>(width));
  switch (type) {
    case kTypeText: {
      const auto* text = std::get_if<rt::Text>(&value);
      if (text == nullptr) return false;
      std::memcpy(out, text->data(), std::min<size_t>(text->size(), width));
      return true;
    }
    case kTypeBool: {
      const auto* b = std::get_if<bool>(&value);
      if (b == nullptr) return false;
      out[0] = *b ? 1 : 0;
      return true;
    }
    case kTypeDateTime: {
      const auto* t = std::get_if<rt::DateTime>(&value);
      if (t == nullptr) return false;
      PutF64(out, t->days());
      return true;
    }
    case kTypeReference:
      if (const auto* r = std::get_if<rt::SubroutineRef>(&value)) {
        PutI32(out, r->address);
        return true;
      }
      return EncodeNumber(value, type, out);
    default:
      return EncodeNumber(value, type, out);
  }
}

}  // namespace recorddb
