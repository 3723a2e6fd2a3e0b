// Number, conversion and byte-array commands.
#include "runtime/conversion_commands.h"

#include <time.h>

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "runtime/fatal.h"
#include "runtime/gbk.h"

namespace rt {
namespace {

template <typename... Fs>
struct Overloaded : Fs... {
  using Fs::operator()...;
};
template <typename... Fs>
Overloaded(Fs...) -> Overloaded<Fs...>;

// Truncation of a double through a 64-bit integer, as the x87 conversion
// does it: out of range (and NaN) gives the "integer indefinite" value, whose
// low 32 bits are 0.
int32_t TruncateLow32(double x) {
  if (!(std::fabs(x) < 9223372036854775808.0)) return 0;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(x)));
}

// Full-width characters to half-width, then a decimal integer in the C
// manner: blanks, an optional sign, digits; saturated at the int range.
int32_t TextToInteger(std::string_view text) {
  std::string folded;
  folded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80 || i + 1 >= text.size()) {
      folded.push_back(static_cast<char>(c));
      continue;
    }
    unsigned char t = static_cast<unsigned char>(text[++i]);
    if (c == 0xA3 && t >= 0xA1 && t <= 0xFE) {
      folded.push_back(static_cast<char>(t - 0x80));
    } else if (c == 0xA1 && t == 0xA1) {
      folded.push_back(' ');
    } else if (c == 0xA1 && t == 0xAB) {
      folded.push_back('~');
    } else if (c == 0xA1 && (t == 0xEE || t == 0xEF)) {
      folded.push_back('*');
    } else {
      folded.push_back(static_cast<char>(c));
      folded.push_back(static_cast<char>(t));
    }
  }
  size_t i = 0;
  auto is_blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (i < folded.size() && is_blank(folded[i])) ++i;
  bool negative = false;
  if (i < folded.size() && (folded[i] == '+' || folded[i] == '-')) negative = folded[i++] == '-';
  int64_t magnitude = 0;
  for (; i < folded.size() && folded[i] >= '0' && folded[i] <= '9'; ++i) {
    magnitude = std::min<int64_t>(magnitude * 10 + (folded[i] - '0'), int64_t{1} << 32);
  }
  int64_t v = negative ? -magnitude : magnitude;
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

// printf's %.<precision>g, always with a '.' whatever the process locale
// (a GUI toolkit may switch it), and the exponent written with at least three
// digits.
Text FormatG(int precision, double x) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, x,
                                 std::chars_format::general, precision);
  Text out(buffer, ec == std::errc() ? end : buffer);
  size_t e = out.find('e');
  if (e != Text::npos && e + 2 < out.size()) {
    size_t digits = out.size() - (e + 2);
    if (digits < 3) out.insert(e + 2, 3 - digits, '0');
  }
  return out;
}

// Civil date from a day count relative to 1970-01-01 (proleptic Gregorian).
void CivilFromDays(int64_t z, int* year, int* month, int* day) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = static_cast<int>(yoe + era * 400 + (*month <= 2));
}

Text DateTimeToText(DateTime value) {
  // The whole part is the day (toward zero), the fraction's magnitude the
  // time of day, rounded to the second.
  double days = value.days();
  double whole = std::trunc(days);
  int64_t seconds = std::llround(std::fabs(days - whole) * 86400.0);
  int64_t day_number = static_cast<int64_t>(whole);
  if (seconds >= 86400) {
    seconds -= 86400;
    ++day_number;
  }
  int year, month, day;
  CivilFromDays(day_number - 25569, &year, &month, &day);
  int hour = static_cast<int>(seconds / 3600);
  int minute = static_cast<int>(seconds / 60 % 60);
  int second = static_cast<int>(seconds % 60);
  char buffer[96];
  int n = std::snprintf(buffer, sizeof buffer, "%d年%d月%d日", year, month, day);
  if (second != 0) {
    std::snprintf(buffer + n, sizeof buffer - n, "%d时%d分%d秒", hour, minute, second);
  } else if (minute != 0) {
    std::snprintf(buffer + n, sizeof buffer - n, "%d时%d分", hour, minute);
  } else if (hour != 0) {
    std::snprintf(buffer + n, sizeof buffer - n, "%d时", hour);
  }
  return FromUtf8(buffer);
}

template <typename T>
void AppendLittleEndian(Bytes* out, T value) {
  unsigned char raw[sizeof(T)];
  std::memcpy(raw, &value, sizeof(T));  // x86 and ARM Linux are little-endian
  out->insert(out->end(), raw, raw + sizeof(T));
}

// Per-thread generator state; 1 until the thread seeds it.
thread_local uint32_t random_state = 1;
std::atomic<uint32_t> seeding_counter{0};

uint32_t MillisecondsSinceStart() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint32_t>(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

int32_t NextRandom() {
  random_state = random_state * 214013u + 2531011u;
  return static_cast<int32_t>((random_state >> 16) & 0x7FFF);
}

}  // namespace

int32_t ToInteger(const Value& value) {
  return std::visit(
      Overloaded{
          [](std::monostate) -> int32_t { return 0; },
          [](uint8_t v) -> int32_t { return v; },
          [](int16_t v) -> int32_t { return v; },
          [](int32_t v) -> int32_t { return v; },
          [](int64_t v) -> int32_t { return static_cast<int32_t>(static_cast<uint32_t>(v)); },
          [](float v) -> int32_t { return TruncateLow32(v); },
          [](double v) -> int32_t { return TruncateLow32(v); },
          [](bool v) -> int32_t { return v ? 1 : 0; },
          [](DateTime) -> int32_t { return 0; },
          [](const Text& v) -> int32_t { return TextToInteger(v); },
          [](const Bytes&) -> int32_t { return 0; },
          [](SubroutineRef v) -> int32_t { return v.address; },
      },
      value);
}

int32_t IntegerPart(double x) {
  double whole;
  double fraction = std::modf(x, &whole);
  if (std::fabs(fraction) > 0.999999999999) x = x > 0 ? whole + 1 : whole - 1;
  double floor = std::floor(x);
  if (!(floor >= -2147483648.0 && floor <= 2147483647.0)) {
    return std::numeric_limits<int32_t>::min();  // the x87 "integer indefinite"
  }
  return static_cast<int32_t>(floor);
}

double Remainder(double x, std::initializer_list<double> divisors) {
  for (double d : divisors) {
    if (d == 0) FatalError("不能求余数于零"_gbk);
    x = std::fmod(x, d);
  }
  return x;
}

int32_t BitOr(std::initializer_list<int32_t> values) {
  int32_t out = 0;
  for (int32_t v : values) out |= v;
  return out;
}

Text ToText(double value) { return FormatG(13, value); }

Text ToText(const Value& value) {
  return std::visit(
      Overloaded{
          [](std::monostate) { return Text(); },
          [](uint8_t v) { return std::to_string(v); },
          [](int16_t v) { return std::to_string(v); },
          [](int32_t v) { return std::to_string(v); },
          [](int64_t v) { return std::to_string(v); },
          [](float v) { return FormatG(6, v); },
          [](double v) { return ToText(v); },
          [](bool v) { return v ? "真"_gbk : "假"_gbk; },
          [](DateTime v) { return DateTimeToText(v); },
          [](const Text& v) { return v; },
          [](const Bytes& v) {
            const unsigned char* zero =
                static_cast<const unsigned char*>(std::memchr(v.data(), 0, v.size()));
            size_t n = zero ? static_cast<size_t>(zero - v.data()) : v.size();
            return Text(reinterpret_cast<const char*>(v.data()), n);
          },
          [](SubroutineRef) { return Text(); },
      },
      value);
}

Bytes ToBytes(const Value& value) {
  Bytes out;
  std::visit(Overloaded{
                 [](std::monostate) {},
                 [&](const Text& v) { out.assign(v.begin(), v.end()); },
                 [&](const Bytes& v) { out = v; },
                 [&](bool v) { AppendLittleEndian<int32_t>(&out, v ? 1 : 0); },
                 [&](DateTime v) { AppendLittleEndian(&out, v.days()); },
                 [&](SubroutineRef v) { AppendLittleEndian(&out, v.address); },
                 [&](auto v) { AppendLittleEndian(&out, v); },
             },
             value);
  return out;
}

int BytesLength(const Bytes& bytes) { return static_cast<int>(bytes.size()); }

Bytes LeftBytes(const Bytes& bytes, int n) {
  size_t keep = n <= 0 ? 0 : std::min(bytes.size(), static_cast<size_t>(n));
  return Bytes(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(keep));
}

Bytes BlankBytes(int n) { return n <= 0 ? Bytes() : Bytes(static_cast<size_t>(n), 0); }

Value ReadBytesData(const Bytes& bytes, int kind, int* position) {
  static constexpr size_t kSizes[] = {0, 1, 2, 4, 8, 4, 8, 4, 8, 4};
  if (kind < 1 || kind > 10) FatalError("“欲取出数据的类型”参数值无效"_gbk);
  int pos = position ? *position : 1;
  size_t at = pos >= 1 ? static_cast<size_t>(pos - 1) : bytes.size();
  size_t used = 0;
  Value result;
  if (kind == 10) {
    Text text;
    if (pos >= 1 && at < bytes.size()) {
      const unsigned char* begin = bytes.data() + at;
      const void* zero = std::memchr(begin, 0, bytes.size() - at);
      size_t n = zero ? static_cast<size_t>(static_cast<const unsigned char*>(zero) - begin)
                      : bytes.size() - at;
      text.assign(reinterpret_cast<const char*>(begin), n);
      used = n + (zero ? 1 : 0);
    }
    result = std::move(text);
  } else {
    unsigned char raw[8] = {};  // missing high-order bytes stay zero
    if (pos >= 1 && at < bytes.size()) {
      used = kSizes[kind];
      std::memcpy(raw, bytes.data() + at, std::min(used, bytes.size() - at));
    }
    auto read = [&raw](auto zero) {
      std::memcpy(&zero, raw, sizeof zero);
      return zero;
    };
    switch (kind) {
      case 1: result = read(uint8_t{}); break;
      case 2: result = read(int16_t{}); break;
      case 3: result = read(int32_t{}); break;
      case 4: result = read(int64_t{}); break;
      case 5: result = read(float{}); break;
      case 6: result = read(double{}); break;
      case 7: result = read(int32_t{}) != 0; break;
      case 8: result = DateTime(read(double{})); break;
      case 9: result = SubroutineRef{read(int32_t{})}; break;
    }
  }
  if (position && pos >= 1) {
    // A read at or past the end moves the position to -1 as well.
    size_t next = at + used;
    *position = next >= bytes.size() ? -1 : static_cast<int>(next + 1);
  }
  return result;
}

void SeedRandom(std::optional<int32_t> seed) {
  if (seed) {
    random_state = static_cast<uint32_t>(*seed);
    return;
  }
  uint32_t k = seeding_counter.load(std::memory_order_relaxed);
  uint32_t t = MillisecondsSinceStart() + k;
  seeding_counter.fetch_add((t & 0xFF) + 100, std::memory_order_relaxed);
  random_state = t;
}

int32_t RandomNumber(std::optional<int32_t> low_arg, std::optional<int32_t> high_arg) {
  int64_t low = std::max<int32_t>(low_arg.value_or(0), 0);
  int64_t high = std::max<int32_t>(high_arg.value_or(std::numeric_limits<int32_t>::max()), 0);
  if (low > high) std::swap(low, high);
  if (low == high) return static_cast<int32_t>(low);
  int32_t output = NextRandom();
  int64_t range = std::min<int64_t>(high - low, 2147483646);
  return static_cast<int32_t>(low + output % (range + 1));
}

}  // namespace rt
