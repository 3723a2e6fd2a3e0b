// Reading and printing of JSON numbers. Reading is independent of the
// process locale (a GUI may switch it): doubles go through strtod_l in the
// "C" locale, integers through a reader of our own.
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <limits>
#include <string>

#include "json/json_document.h"

namespace json::json_internal {
namespace {

locale_t CLocale() {
  static const locale_t c_locale =
      newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return c_locale;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads an optional sign and the decimal digits after it, stopping at the
// first other character (so "1E3" reads as 1). A value beyond the 64-bit
// range is held at the nearer bound. Returns false when there is no digit.
bool ReadInteger(std::string_view t, int64_t* value) {
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
  if (i >= t.size() || !IsDigit(t[i])) return false;
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  uint64_t v = 0;
  for (; i < t.size() && IsDigit(t[i]); ++i) {
    unsigned d = t[i] - '0';
    if (v > (limit - d) / 10) {
      v = limit;
      while (i < t.size() && IsDigit(t[i])) ++i;
      break;
    }
    v = v * 10 + d;
  }
  *value = negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
  return true;
}

// Reads the longest prefix of `t` that is a decimal floating-point number.
bool ReadDouble(std::string_view t, double* value) {
  char small[64];
  std::string large;
  const char* z;
  if (t.size() < sizeof small) {
    t.copy(small, t.size());
    small[t.size()] = '\0';
    z = small;
  } else {
    large.assign(t);
    z = large.c_str();
  }
  char* end = nullptr;
  locale_t c_locale = CLocale();
  *value = c_locale ? strtod_l(z, &end, c_locale) : std::strtod(z, &end);
  return end != z;
}

}  // namespace

// A number is read as a double when it holds "." or a lowercase "e";
// otherwise as a 64-bit integer, kept as an int when it lies in
// 0..2147483646 and as an int64 otherwise (negative values included).
bool ParseNumberToken(std::string_view token, Node* out) {
  if (token.find_first_of(".e") != std::string_view::npos) {
    double d;
    if (!ReadDouble(token, &d)) return false;
    out->kind = JsonKind::kDouble;
    out->real = d;
    return true;
  }
  int64_t v;
  if (!ReadInteger(token, &v)) return false;
  if (v >= 0 && v <= 2147483646) {
    out->kind = JsonKind::kInt;
    out->int32 = static_cast<int32_t>(v);
  } else {
    out->kind = JsonKind::kInt64;
    out->int64 = v;
  }
  return true;
}

// Doubles print as "%lf" in the "C" locale: fixed, six decimals.
void PrintDouble(double d, std::string& out) {
  char buffer[400];
  auto result =
      std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::fixed, 6);
  out.append(buffer, result.ptr);
}

void PrintInteger(int64_t v, std::string& out) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
  out.append(buffer, result.ptr);
}

}  // namespace json::json_internal
