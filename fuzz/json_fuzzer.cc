// Parses arbitrary bytes with the JSON object and prints what it read: no
// input may crash, hang or read out of bounds, the print must read back,
// and printing what was read back must give the same print again.
//
// Two kinds of value print in a form that does not read back, and are left
// out of the round trip: a double beyond the double range (printed "inf" or
// "nan", as "%lf" prints it) and a string holding a lone lead byte directly
// before a double quote (only a single-quoted string can hold one).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "json/json_document.h"
#include "json/json_value.h"

namespace {

using json::JsonKind;
using json::json_internal::Node;

void Check(bool ok) {
  if (!ok) std::abort();
}

bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsTrail(unsigned char c) {
  return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFE);
}

bool HasLoneLeadBeforeQuote(std::string_view s) {
  for (size_t i = 0; i + 1 < s.size(); ++i) {
    auto c = static_cast<unsigned char>(s[i]);
    if (!IsLead(c)) continue;
    if (IsTrail(static_cast<unsigned char>(s[i + 1]))) {
      ++i;
    } else if (s[i + 1] == '"') {
      return true;
    }
  }
  return false;
}

// Returns true iff the value prints in a form that reads back as itself.
bool PrintsFaithfully(const Node& node) {
  switch (node.kind) {
    case JsonKind::kDouble:
      return std::isfinite(node.real);
    case JsonKind::kString:
      return !HasLoneLeadBeforeQuote({node.chars, node.count});
    case JsonKind::kArray:
      for (uint32_t i = 0; i < node.count; ++i) {
        if (!PrintsFaithfully(node.items[i])) return false;
      }
      return true;
    case JsonKind::kObject:
      for (uint32_t i = 0; i < node.count; ++i) {
        if (HasLoneLeadBeforeQuote(node.members[i].key_view())) return false;
        if (!PrintsFaithfully(node.members[i].value)) return false;
      }
      return true;
    default:
      return true;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  json::JsonHandle handle;
  bool parsed = json::JsonParse(handle, text);
  Check(parsed == !handle.empty());
  if (!parsed) {
    Check(json::JsonToText(handle) == "null");
    return 0;
  }
  // Lookups of any kind on any value stay quiet.
  json::JsonHandle item = json::JsonGetItem(handle, 0);
  json::JsonHandle member = json::JsonGetMember(handle, text.substr(0, 4));
  Check(json::JsonArrayLength(handle) >= 0);

  std::string first = json::JsonToText(handle);
  std::unique_ptr<json::json_internal::Document> document =
      json::json_internal::ParseDocument(text);
  Check(document != nullptr);
  std::string direct;
  json::json_internal::PrintNode(document->root, direct);
  Check(direct == first);
  if (!PrintsFaithfully(document->root)) return 0;

  json::JsonHandle again;
  Check(json::JsonParse(again, first));
  Check(json::JsonToText(again) == first);
  json::JsonRelease(handle);
  Check(json::JsonToText(item).size() > 0 && json::JsonToText(member).size() > 0);
  return 0;
}
