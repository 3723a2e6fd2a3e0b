// The two kinds the service never sends but the dialect carries: dates in
// the HTTP form (RFC 1123, "Sun, 06 Nov 1994 08:49:37 GMT") and byte blocks
// in Base64. Reading is lenient about the weekday, the zone name and line
// breaks; printing is the one canonical form.
#include <algorithm>
#include <cstdio>
#include <string>

#include "json/json_document.h"

namespace json::json_internal {
namespace {

constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr char kBase64[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// 0 = Sunday (Sakamoto's method).
int Weekday(int y, int m, int d) {
  static constexpr int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (m < 3) --y;
  return (y + y / 4 - y / 100 + y / 400 + kOffsets[m - 1] + d) % 7;
}

// A cursor over the date text.
struct Cursor {
  std::string_view t;
  size_t i = 0;
  void SkipSpaces() {
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
  }
  // Reads 1 to `max_digits` digits.
  bool Number(int max_digits, int* v) {
    size_t start = i;
    *v = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9' && i - start < size_t(max_digits)) {
      *v = *v * 10 + (t[i++] - '0');
    }
    return i > start;
  }
  bool Letters(std::string_view* word) {
    size_t start = i;
    while (i < t.size() && ((t[i] >= 'A' && t[i] <= 'Z') || (t[i] >= 'a' && t[i] <= 'z')))
      ++i;
    *word = t.substr(start, i - start);
    return i > start;
  }
  bool Char(char c) {
    if (i < t.size() && t[i] == c) {
      ++i;
      return true;
    }
    return false;
  }
};

int MonthFromName(std::string_view name) {
  if (name.size() < 3) return 0;
  for (int m = 0; m < 12; ++m) {
    if (Lower(name[0]) == Lower(kMonths[m][0]) && Lower(name[1]) == kMonths[m][1] &&
        Lower(name[2]) == kMonths[m][2]) {
      return m + 1;
    }
  }
  return 0;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

// "[Wdy,] DD Mon YYYY HH:MM:SS [GMT|UTC]"; the weekday, when given, is not
// checked: the stored weekday is always the one of the date.
bool ReadHttpDate(std::string_view text, JsonDate* date) {
  Cursor c{text};
  std::string_view word;
  int day, year, hour, minute, second;
  c.SkipSpaces();
  size_t mark = c.i;
  if (c.Letters(&word) && c.Char(',')) {
    c.SkipSpaces();
  } else {
    c.i = mark;
  }
  if (!c.Number(2, &day)) return false;
  c.SkipSpaces();
  if (!c.Letters(&word)) return false;
  int month = MonthFromName(word);
  c.SkipSpaces();
  if (month == 0 || !c.Number(4, &year)) return false;
  c.SkipSpaces();
  if (!c.Number(2, &hour) || !c.Char(':') || !c.Number(2, &minute) || !c.Char(':') ||
      !c.Number(2, &second)) {
    return false;
  }
  c.SkipSpaces();
  if (c.Letters(&word) && word != "GMT" && word != "UTC") return false;
  c.SkipSpaces();
  if (c.i != text.size()) return false;
  if (year < 1601 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 59) {
    return false;
  }
  date->year = static_cast<int16_t>(year);
  date->month = static_cast<uint8_t>(month);
  date->day = static_cast<uint8_t>(day);
  date->weekday = static_cast<uint8_t>(Weekday(year, month, day));
  date->hour = static_cast<uint8_t>(hour);
  date->minute = static_cast<uint8_t>(minute);
  date->second = static_cast<uint8_t>(second);
  date->millisecond = 0;
  return true;
}

void PrintHttpDate(const JsonDate& d, std::string& out) {
  char buffer[64];
  int n = std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d GMT",
                        kWeekdays[d.weekday % 7], d.day, kMonths[(d.month + 11) % 12],
                        d.year, d.hour, d.minute, d.second);
  if (n > 0) out.append(buffer, std::min<size_t>(n, sizeof buffer - 1));
}

// Skips white space; "=" padding may end the text; a final group of two or
// three characters is accepted without padding.
bool DecodeBase64(std::string_view text, std::string* bytes) {
  uint32_t bits = 0;
  int count = 0;
  size_t padding = 0;
  for (char ch : text) {
    if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n') continue;
    if (ch == '=') {
      ++padding;
      continue;
    }
    int v = Base64Value(ch);
    if (v < 0 || padding > 0) return false;
    bits = bits << 6 | v;
    if (++count == 4) {
      bytes->push_back(static_cast<char>(bits >> 16));
      bytes->push_back(static_cast<char>(bits >> 8));
      bytes->push_back(static_cast<char>(bits));
      bits = 0;
      count = 0;
    }
  }
  if (count == 1 || padding > 2) return false;
  if (count == 2) bytes->push_back(static_cast<char>(bits >> 4));
  if (count == 3) {
    bytes->push_back(static_cast<char>(bits >> 10));
    bytes->push_back(static_cast<char>(bits >> 2));
  }
  return true;
}

// A line break (CR LF) follows every 72nd character of the Base64 text.
void PrintBase64(const unsigned char* b, size_t n, std::string& out) {
  size_t column = 0;
  auto put = [&](char c) {
    out.push_back(c);
    if (++column == 72) {
      out.append("\r\n");
      column = 0;
    }
  };
  for (size_t i = 0; i < n; i += 3) {
    uint32_t v = uint32_t{b[i]} << 16;
    if (i + 1 < n) v |= uint32_t{b[i + 1]} << 8;
    if (i + 2 < n) v |= b[i + 2];
    put(kBase64[v >> 18 & 63]);
    put(kBase64[v >> 12 & 63]);
    put(i + 1 < n ? kBase64[v >> 6 & 63] : '=');
    put(i + 2 < n ? kBase64[v & 63] : '=');
  }
}

}  // namespace json::json_internal
