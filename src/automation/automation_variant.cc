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

namespace automation {

using rt::Bytes;
using rt::DateTime;
using rt::Text;
using rt::ToText;
using rt::Value;

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

}  // namespace

std::u16string TextToWide(std::string_view text) {
  return platform::MultiByteToWide(platform::CodePage::kGbk,
                                   text.substr(0, text.find('\0')));
}

Text WideToText(std::u16string_view wide) {
  return platform::WideToMultiByte(platform::CodePage::kGbk,
                                   wide.substr(0, wide.find(u'\0')));
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

}  // namespace automation
