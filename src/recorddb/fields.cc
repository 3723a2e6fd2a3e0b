// Field widths, the name rule for fields and aliases, and the creation time
// stamp shared by the three kinds of file.
#include <time.h>

#include "recorddb/main_file.h"

namespace recorddb {
namespace {

bool IsAsciiLetter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
bool IsAsciiDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// Full-width letters and digits lie in row 0xA3 of GBK.
bool IsWideLetter(unsigned char lead, unsigned char trail) {
  return lead == 0xA3 && ((trail >= 0xC1 && trail <= 0xDA) || (trail >= 0xE1 && trail <= 0xFA));
}
bool IsWideDigit(unsigned char lead, unsigned char trail) {
  return lead == 0xA3 && trail >= 0xB0 && trail <= 0xB9;
}

// The Chinese character areas of GBK: GB2312 level 1 and 2, GBK/3, GBK/4.
bool IsChinese(unsigned char lead, unsigned char trail) {
  if (trail == 0x7F) return false;
  if (lead >= 0xB0 && lead <= 0xF7) return trail >= 0xA1 && trail <= 0xFE;
  if (lead >= 0x81 && lead <= 0xA0) return trail >= 0x40 && trail <= 0xFE;
  if (lead >= 0xAA && lead <= 0xFE) return trail >= 0x40 && trail <= 0xA0;
  return false;
}

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

int32_t FieldWidth(int32_t type, int32_t declared) {
  switch (type) {
    case kTypeByte:
    case kTypeBool:
      return 1;
    case kTypeShort:
      return 2;
    case kTypeInt:
    case kTypeFloat:
    case kTypeReference:
    case kTypeBytes:
    case kTypeMemo:
      return 4;
    case kTypeLong:
    case kTypeDouble:
    case kTypeDateTime:
      return 8;
    case kTypeText:
      return declared;
    default:
      return 0;
  }
}

// "_" is accepted after the first character: without it the repeat-download
// record's own field name, photo_id, could never be created.
bool IsValidName(const rt::Text& name) {
  if (name.empty() || name.size() > kMaxNameBytes) return false;
  for (size_t i = 0; i < name.size();) {
    const auto c = static_cast<unsigned char>(name[i]);
    const bool first = i == 0;
    if (c < 0x80) {
      if (!(IsAsciiLetter(c) || (!first && (IsAsciiDigit(c) || c == '_')))) return false;
      ++i;
      continue;
    }
    if (i + 1 >= name.size()) return false;
    const auto t = static_cast<unsigned char>(name[i + 1]);
    if (!(IsWideLetter(c, t) || IsChinese(c, t) || (!first && IsWideDigit(c, t)))) {
      return false;
    }
    i += 2;
  }
  return true;
}

double OleNow() {
  time_t now = ::time(nullptr);
  struct tm local;
  if (::localtime_r(&now, &local) == nullptr) return 0;
  const int64_t days = DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) -
                       DaysFromCivil(1899, 12, 30);
  const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
  return static_cast<double>(days) + seconds / 86400.0;
}

}  // namespace recorddb
