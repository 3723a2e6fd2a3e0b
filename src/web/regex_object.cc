// The regex object over the bridge: every engine access goes by member name,
// as with any automation object.
#include "web/regex_object.h"

#include "automation/automation_classes.h"
#include "runtime/gbk.h"
#include "runtime/text_commands.h"

namespace web {
namespace {

using rt::operator""_gbk;

std::u16string WideOf(const rt::Bytes& bytes) {
  std::u16string wide(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }
  return wide;
}

rt::Bytes BytesOf(std::u16string_view wide) {
  rt::Bytes bytes(wide.size() * 2);
  for (size_t i = 0; i < wide.size(); ++i) {
    bytes[2 * i] = static_cast<unsigned char>(wide[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<unsigned char>(wide[i] >> 8);
  }
  return bytes;
}

}  // namespace

RegexObject::RegexObject() { subject_.value = int32_t{0}; }

RegexObject::RegexObject(const RegexObject& other) {
  automation::AssignObject(&engine_, other.engine_);
  automation::AssignObject(&matches_, other.matches_);
  automation::CopyVariant(&subject_, other.subject_);
}

RegexObject::~RegexObject() {
  automation::ReleaseObject(&engine_);
  automation::ReleaseObject(&matches_);
  automation::ClearVariant(&subject_);
  automation::AutomationUninitialize();
}

bool RegexObject::Search(std::string_view pattern, std::string_view subject,
                         std::optional<bool> case_sensitive, std::optional<bool> multiline,
                         std::optional<bool> global, bool quote_marks) {
  bool ignore_case = !case_sensitive.value_or(false);
  automation::ReleaseObject(&engine_);
  automation::ReleaseObject(&matches_);
  if (!automation::CreateObject(&engine_, automation::kRegExpProgId)) return false;
  automation::SetProperty(engine_, "IgnoreCase", {ignore_case});
  automation::SetProperty(engine_, "Multiline", {multiline.value_or(true)});
  automation::SetProperty(engine_, "Global", {global.value_or(true)});
  // The engine has no such switch: the request fails and "." keeps not
  // matching a line break.
  automation::SetProperty(engine_, "Singleline", {true});
  rt::Text used(pattern);
  if (quote_marks) used = rt::ReplaceText(used, "#引号"_gbk, "\"", {}, {}, true);
  automation::SetProperty(engine_, "Pattern", {used});
  // The subject goes in as the bytes of its UTF-16 form, without a
  // terminating zero character (which would stop "$" from matching at the
  // end of the text).
  automation::SetVariant(&subject_, automation::AutomationArg(rt::Value(BytesOf(automation::TextToWide(subject)))));
  matches_ = automation::CallMethodObject(engine_, "Execute", {subject_});
  return !automation::IsObjectEmpty(matches_);
}

int RegexObject::MatchCount() const {
  if (automation::IsObjectEmpty(matches_)) return 0;
  return static_cast<int>(automation::GetPropertyNumber(matches_, "Count"));
}

int RegexObject::PositionOf(const automation::ObjectSlot& item, const rt::Text& found) const {
  std::u16string subject = WideOf(automation::VariantToBytes(subject_));
  rt::Text gbk = automation::WideToText(subject);
  // An empty text is found at once: 0, or -2 in an empty subject.
  if (found.empty()) return rt::FindText(gbk, found) - 1;
  size_t first = static_cast<size_t>(automation::GetPropertyNumber(item, "FirstIndex"));
  // The byte where the match begins: the GBK length of the units before it.
  int start = static_cast<int>(automation::WideToText(std::u16string_view(subject).substr(
                                   0, std::min(first, subject.size())))
                                   .size()) + 1;
  return rt::FindText(gbk, found, start) - 1;
}

rt::Text RegexObject::MatchText(int match, int* position) const {
  automation::ObjectSlot item = automation::GetPropertyObject(matches_, "Item", {match - 1});
  automation::VariantSlot value = automation::GetPropertyVariant(item, "Value");
  rt::Text text = automation::WideToText(WideOf(automation::VariantToBytes(value)));
  if (position) *position = PositionOf(item, text);
  return text;
}

rt::Text RegexObject::SubMatchText(int match, int group, int* position) const {
  automation::ObjectSlot item = automation::GetPropertyObject(matches_, "Item", {match - 1});
  automation::ObjectSlot groups = automation::GetPropertyObject(item, "SubMatches");
  automation::VariantSlot value = automation::GetPropertyVariant(groups, "Item", {group - 1});
  rt::Text text = automation::VariantToText(value);
  if (position) *position = PositionOf(item, text);
  return text;
}

int RegexObject::SubMatchCount() const {
  automation::ObjectSlot item = automation::GetPropertyObject(matches_, "Item", {0});
  automation::ObjectSlot groups = automation::GetPropertyObject(item, "SubMatches");
  return static_cast<int>(automation::GetPropertyNumber(groups, "Count"));
}

rt::Text RegexObject::GetPattern() const {
  if (automation::IsObjectEmpty(engine_)) return {};
  return automation::GetPropertyText(engine_, "Pattern");
}

rt::Text RegexObject::ReplaceMatches(std::string_view replacement) const {
  return automation::CallMethodText(engine_, "Replace", {subject_, rt::Text(replacement)});
}

}  // namespace web
