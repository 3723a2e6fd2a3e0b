// Conversions between variants, the logic's values and texts: the bridge's
// counterpart of the platform's variant type changes, limited to the kinds
// the program meets.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "automation/automation.h"
#include "platform/codepage.h"
#include "runtime/conversion_commands.h"

namespace rt {
namespace {

std::u16string Ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::u16string NumberText(double d) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15G", d);
  return Ascii(buffer);
}

// The object's default value, or false when it has none.
bool DefaultOf(const ObjectRef& object, Variant* out) {
  return object && object->DefaultValue(out) && !std::holds_alternative<ObjectRef>(*out);
}

// GBK to UTF-16 goes through a table of every double-byte character, filled
// once from the code-page converter: pages run to hundreds of kilobytes and
// the converter costs several nanoseconds a byte. Units are read as the
// converter reads them (a lead byte 81..FE takes the next byte when that is a
// trail 40..7E or 80..FE; any other byte stands alone), so the result is the
// converter's, unit for unit.
class GbkTable {
 public:
  GbkTable() {
    std::string pairs;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail == 0x7F) continue;
        pairs.push_back(static_cast<char>(lead));
        pairs.push_back(static_cast<char>(trail));
      }
    }
    std::u16string wide = platform::MultiByteToWide(platform::CodePage::kGbk, pairs);
    bool aligned = wide.size() * 2 == pairs.size();
    for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
      std::u16string one = aligned ? wide.substr(i / 2, 1)
                                   : platform::MultiByteToWide(platform::CodePage::kGbk,
                                                               std::string_view(pairs).substr(i, 2));
      pair_[Index(pairs[i], pairs[i + 1])] = one.size() == 1 ? one[0] : u'\uFFFD';
    }
    for (int b = 0x80; b <= 0xFF; ++b) {
      std::u16string one =
          platform::MultiByteToWide(platform::CodePage::kGbk, std::string(1, static_cast<char>(b)));
      single_[b - 0x80] = one.size() == 1 ? one[0] : u'\uFFFD';
    }
  }
  static bool IsTrail(unsigned char t) { return (t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFE); }
  char16_t Pair(char lead, char trail) const { return pair_[Index(lead, trail)]; }
  char16_t Single(unsigned char b) const { return single_[b - 0x80]; }

 private:
  static size_t Index(char lead, char trail) {
    return (static_cast<unsigned char>(lead) - 0x81) * 0xBF + (static_cast<unsigned char>(trail) - 0x40);
  }
  char16_t pair_[0x7E * 0xBF] = {};
  char16_t single_[0x80] = {};
};

const GbkTable& Gbk() {
  static const GbkTable* table = new GbkTable;
  return *table;
}

}  // namespace

std::u16string TextToWide(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  const GbkTable& gbk = Gbk();
  std::u16string out(text.size(), u'\0');
  size_t used = 0;
  const char* data = text.data();
  char16_t* dst = out.data();
  for (size_t i = 0; i < text.size();) {
    // Eight ASCII bytes at a time while there are any.
    uint64_t eight;
    while (i + 8 <= text.size() &&
           (std::memcpy(&eight, data + i, 8), (eight & 0x8080808080808080ull) == 0)) {
      for (int k = 0; k < 8; ++k) dst[used + k] = static_cast<unsigned char>(data[i + k]);
      used += 8;
      i += 8;
    }
    if (i >= text.size()) break;
    auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out[used++] = c;
      ++i;
    } else if (c >= 0x81 && c <= 0xFE && i + 1 < text.size() &&
               GbkTable::IsTrail(static_cast<unsigned char>(text[i + 1]))) {
      out[used++] = gbk.Pair(text[i], text[i + 1]);
      i += 2;
    } else {
      out[used++] = gbk.Single(c);
      ++i;
    }
  }
  out.resize(used);
  return out;
}

// Narrows ASCII directly and hands only the runs of other characters to the
// converter (a surrogate pair never straddles a run's end).
Text WideToText(std::u16string_view wide) {
  wide = wide.substr(0, wide.find(u'\0'));
  Text out;
  out.reserve(wide.size());
  size_t i = 0;
  while (i < wide.size()) {
    if (wide[i] < 0x80) {
      out.push_back(static_cast<char>(wide[i++]));
      continue;
    }
    size_t run = i;
    while (run < wide.size() && wide[run] >= 0x80) ++run;
    out += platform::WideToMultiByte(platform::CodePage::kGbk, wide.substr(i, run - i));
    i = run;
  }
  return out;
}

bool VariantToString(const Variant& v, std::u16string* out) {
  if (const auto* s = std::get_if<std::u16string>(&v)) {
    *out = *s;
    return true;
  }
  if (std::holds_alternative<std::monostate>(v)) {
    out->clear();
    return true;
  }
  if (const auto* b = std::get_if<bool>(&v)) {
    *out = *b ? u"-1" : u"0";
    return true;
  }
  if (const auto* bytes = std::get_if<Bytes>(&v)) {
    out->resize(bytes->size() / 2);
    for (size_t i = 0; i < out->size(); ++i) {
      (*out)[i] = static_cast<char16_t>((*bytes)[2 * i] | (*bytes)[2 * i + 1] << 8);
    }
    return true;
  }
  if (const auto* date = std::get_if<DateTime>(&v)) {
    *out = TextToWide(ToText(Value(*date)));
    return true;
  }
  if (const auto* object = std::get_if<ObjectRef>(&v)) {
    Variant value;
    return DefaultOf(*object, &value) && VariantToString(value, out);
  }
  double d;
  if (!std::holds_alternative<MissingArgument>(v) && VariantToDouble(v, &d)) {
    *out = NumberText(d);
    return true;
  }
  return false;
}

bool VariantToDouble(const Variant& v, double* out) {
  return std::visit(
      [&](const auto& x) -> bool {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          *out = 0;
        } else if constexpr (std::is_same_v<T, bool>) {
          *out = x ? -1 : 0;
        } else if constexpr (std::is_arithmetic_v<T>) {
          *out = static_cast<double>(x);
        } else if constexpr (std::is_same_v<T, DateTime>) {
          *out = x.days();
        } else if constexpr (std::is_same_v<T, std::u16string>) {
          std::string ascii;
          for (char16_t c : x) {
            if (c > 0x7F) return false;
            ascii.push_back(static_cast<char>(c));
          }
          size_t first = ascii.find_first_not_of(' ');
          if (first == std::string::npos) return false;
          char* end = nullptr;
          *out = std::strtod(ascii.c_str() + first, &end);
          while (*end == ' ') ++end;
          return *end == '\0' && std::isfinite(*out);
        } else if constexpr (std::is_same_v<T, ObjectRef>) {
          Variant value;
          return DefaultOf(x, &value) && VariantToDouble(value, out);
        } else {
          return false;
        }
        return true;
      },
      v);
}

bool VariantToBool(const Variant& v, bool* out) {
  if (const auto* s = std::get_if<std::u16string>(&v)) {
    if (*s == u"True" || *s == u"true" || *s == u"TRUE") return *out = true, true;
    if (*s == u"False" || *s == u"false" || *s == u"FALSE") return *out = false, true;
  }
  double d;
  if (!VariantToDouble(v, &d)) return false;
  *out = d != 0;
  return true;
}

bool VariantToInt(const Variant& v, int32_t* out) {
  double d;
  if (!VariantToDouble(v, &d)) return false;
  d = std::nearbyint(d);
  if (d < -2147483648.0 || d > 2147483647.0) return false;
  *out = static_cast<int32_t>(d);
  return true;
}

Text VariantToText(const VariantSlot& slot, std::optional<int> element) {
  const Variant& v = slot.value;
  if (const auto* bytes = std::get_if<Bytes>(&v); bytes && element) {
    if (*element < 0 || *element >= static_cast<int>(bytes->size())) return {};
    return ToText(Value(int32_t{(*bytes)[*element]}));
  }
  std::u16string s;
  if (!VariantToString(v, &s)) return {};
  return WideToText(s);
}

Bytes VariantToBytes(const VariantSlot& slot, std::optional<int> /*element*/) {
  const Variant& v = slot.value;
  if (const auto* bytes = std::get_if<Bytes>(&v)) return *bytes;
  std::u16string s;
  if (const auto* str = std::get_if<std::u16string>(&v)) s = *str;
  else return {};
  Bytes out(s.size() * 2);
  for (size_t i = 0; i < s.size(); ++i) {
    out[2 * i] = static_cast<unsigned char>(s[i] & 0xFF);
    out[2 * i + 1] = static_cast<unsigned char>(s[i] >> 8);
  }
  return out;
}

bool SetVariant(VariantSlot* slot, const AutomationArg& value, std::optional<int> element) {
  if (!slot) return false;
  if (element) {
    auto* bytes = std::get_if<Bytes>(&slot->value);
    Variant item;
    double d;
    if (!bytes || *element < 0 || *element >= static_cast<int>(bytes->size()) ||
        value.ToVariant(&item) != kAutomationOk || !VariantToDouble(item, &d) || d < 0 ||
        d > 255) {
      return false;
    }
    (*bytes)[*element] = static_cast<unsigned char>(d);
    return true;
  }
  slot->value = std::monostate{};
  Variant v;
  if (value.omitted() || value.ToVariant(&v, /*allow_bytes=*/true) != kAutomationOk) return false;
  slot->value = std::move(v);
  return true;
}

}  // namespace rt
