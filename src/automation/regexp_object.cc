// The regular-expression class of the automation bridge and its result
// objects (match collection, match, sub-matches), over the PCRE2 engine.
// A match collection shares one immutable record of the subject and the
// match spans; match and sub-match objects are made on demand from it.
#include <memory>
#include <string>
#include <vector>

#include "automation/automation_classes.h"
#include "platform/regex_pcre2.h"

namespace automation {
namespace {

struct MatchSet {
  std::u16string subject;
  std::vector<platform::RegexMatch> matches;
};
using MatchSetRef = std::shared_ptr<const MatchSet>;

std::u16string GroupText(const MatchSet& set, size_t match, size_t group) {
  const auto& span = set.matches[match].groups[group];
  if (span.start == std::string::npos) return {};
  return set.subject.substr(span.start, span.length);
}

bool IndexArg(std::span<Variant> args, size_t count, int32_t* index) {
  return !args.empty() && !std::holds_alternative<MissingArgument>(args[0]) &&
         VariantToInt(args[0], index) && *index >= 0 && static_cast<size_t>(*index) < count;
}

// ---- sub-matches of one match ----

class SubMatches : public AutomationObject {
 public:
  SubMatches(MatchSetRef set, size_t match) : set_(std::move(set)), match_(match) {}
  std::span<const AutomationMember> Members() const override;
  size_t count() const { return set_->matches[match_].groups.size() - 1; }

  MatchSetRef set_;
  size_t match_;
};

int SubCount(AutomationObject& o, std::span<Variant>, Variant* r) {
  *r = static_cast<int32_t>(static_cast<SubMatches&>(o).count());
  return kAutomationOk;
}

int SubItem(AutomationObject& o, std::span<Variant> args, Variant* r) {
  auto& self = static_cast<SubMatches&>(o);
  int32_t i = 0;
  if (!IndexArg(args, self.count(), &i)) return kMemberException;
  const auto& span = self.set_->matches[self.match_].groups[i + 1];
  if (span.start == std::string::npos) *r = std::monostate{};
  else *r = GroupText(*self.set_, self.match_, i + 1);
  return kAutomationOk;
}

constexpr AutomationMember kSubMatchesMembers[] = {
    {"Count", InvokeKind::kPropertyGet, 0, false, 0, SubCount},
    {"Item", InvokeKind::kPropertyGet, 1, false, 0, SubItem},
};
std::span<const AutomationMember> SubMatches::Members() const { return kSubMatchesMembers; }

// ---- one match ----

class Match : public AutomationObject {
 public:
  Match(MatchSetRef set, size_t match) : set_(std::move(set)), match_(match) {}
  std::span<const AutomationMember> Members() const override;
  bool DefaultValue(Variant* out) override {
    *out = GroupText(*set_, match_, 0);
    return true;
  }

  MatchSetRef set_;
  size_t match_;
};

Match& AsMatch(AutomationObject& o) { return static_cast<Match&>(o); }

int MatchFirstIndex(AutomationObject& o, std::span<Variant>, Variant* r) {
  *r = static_cast<int32_t>(AsMatch(o).set_->matches[AsMatch(o).match_].groups[0].start);
  return kAutomationOk;
}
int MatchLength(AutomationObject& o, std::span<Variant>, Variant* r) {
  *r = static_cast<int32_t>(AsMatch(o).set_->matches[AsMatch(o).match_].groups[0].length);
  return kAutomationOk;
}
int MatchValue(AutomationObject& o, std::span<Variant>, Variant* r) {
  return o.DefaultValue(r) ? kAutomationOk : kMemberException;
}
int MatchSubMatches(AutomationObject& o, std::span<Variant>, Variant* r) {
  *r = ObjectRef(std::make_shared<SubMatches>(AsMatch(o).set_, AsMatch(o).match_));
  return kAutomationOk;
}

constexpr AutomationMember kMatchMembers[] = {
    {"FirstIndex", InvokeKind::kPropertyGet, 0, false, 0, MatchFirstIndex},
    {"Length", InvokeKind::kPropertyGet, 0, false, 0, MatchLength},
    {"Value", InvokeKind::kPropertyGet, 0, false, 0, MatchValue},
    {"SubMatches", InvokeKind::kPropertyGet, 0, false, 0, MatchSubMatches},
};
std::span<const AutomationMember> Match::Members() const { return kMatchMembers; }

// ---- the match collection ----

class MatchCollection : public AutomationObject {
 public:
  explicit MatchCollection(MatchSetRef set) : set_(std::move(set)) {}
  std::span<const AutomationMember> Members() const override;
  MatchSetRef set_;
};

int CollectionCount(AutomationObject& o, std::span<Variant>, Variant* r) {
  *r = static_cast<int32_t>(static_cast<MatchCollection&>(o).set_->matches.size());
  return kAutomationOk;
}
int CollectionItem(AutomationObject& o, std::span<Variant> args, Variant* r) {
  const MatchSetRef& set = static_cast<MatchCollection&>(o).set_;
  int32_t i = 0;
  if (!IndexArg(args, set->matches.size(), &i)) return kMemberException;
  *r = ObjectRef(std::make_shared<Match>(set, i));
  return kAutomationOk;
}

constexpr AutomationMember kCollectionMembers[] = {
    {"Count", InvokeKind::kPropertyGet, 0, false, 0, CollectionCount},
    {"Item", InvokeKind::kPropertyGet, 1, false, 0, CollectionItem},
};
std::span<const AutomationMember> MatchCollection::Members() const { return kCollectionMembers; }

// ---- the expression object ----

class RegExp : public AutomationObject {
 public:
  std::span<const AutomationMember> Members() const override;

  // Returns true iff the pattern compiles with the current options; the
  // compiled engine is kept until the pattern or an option changes.
  bool Ready() {
    if (!dirty_) return engine_.compiled();
    dirty_ = false;
    return engine_.Compile(pattern_, ignore_case_, multiline_);
  }
  // Runs the expression over `source`; false when the pattern is invalid or
  // matching failed before it found anything. A failed attempt (runaway
  // backtracking) ends the search, and the matches before it are the result.
  bool Run(std::span<Variant> args, MatchSet* set) {
    if (args.empty() || std::holds_alternative<MissingArgument>(args[0])) return false;
    // The arguments are the bridge's own copies: a string can be taken over
    // rather than copied again (subjects run to hundreds of kilobytes).
    if (auto* given = std::get_if<std::u16string>(&args[0])) {
      set->subject = std::move(*given);
    } else if (!VariantToString(args[0], &set->subject)) {
      return false;
    }
    if (!Ready()) return false;
    return engine_.FindAll(set->subject, global_, &set->matches) || !set->matches.empty();
  }

  std::u16string pattern_;
  bool ignore_case_ = false;
  bool global_ = false;
  bool multiline_ = false;
  bool dirty_ = true;
  platform::Regex16 engine_;
};

RegExp& AsRegExp(AutomationObject& o) { return static_cast<RegExp&>(o); }

int GetPattern(AutomationObject& o, std::span<Variant>, Variant* r) {
  *r = AsRegExp(o).pattern_;
  return kAutomationOk;
}
int PutPattern(AutomationObject& o, std::span<Variant> args, Variant*) {
  if (args.empty() || !VariantToString(args.back(), &AsRegExp(o).pattern_)) return kTypeMismatch;
  AsRegExp(o).dirty_ = true;
  return kAutomationOk;
}

template <bool RegExp::*kFlag>
int GetFlag(AutomationObject& o, std::span<Variant>, Variant* r) {
  *r = AsRegExp(o).*kFlag;
  return kAutomationOk;
}
template <bool RegExp::*kFlag>
int PutFlag(AutomationObject& o, std::span<Variant> args, Variant*) {
  bool value = false;
  if (args.empty() || !VariantToBool(args.back(), &value)) return kTypeMismatch;
  AsRegExp(o).*kFlag = value;
  AsRegExp(o).dirty_ = true;
  return kAutomationOk;
}

int Execute(AutomationObject& o, std::span<Variant> args, Variant* r) {
  auto set = std::make_shared<MatchSet>();
  if (!AsRegExp(o).Run(args, set.get())) return kMemberException;
  *r = ObjectRef(std::make_shared<MatchCollection>(std::move(set)));
  return kAutomationOk;
}

int Test(AutomationObject& o, std::span<Variant> args, Variant* r) {
  MatchSet set;
  if (!AsRegExp(o).Run(args, &set)) return kMemberException;
  *r = !set.matches.empty();
  return kAutomationOk;
}

// Expands $$, $&, $`, $', $n and $nn in `replacement` for one match.
void Expand(const MatchSet& set, size_t m, std::u16string_view replacement, std::u16string* out) {
  const auto& whole = set.matches[m].groups[0];
  size_t groups = set.matches[m].groups.size() - 1;
  for (size_t i = 0; i < replacement.size(); ++i) {
    char16_t c = replacement[i];
    char16_t next = i + 1 < replacement.size() ? replacement[i + 1] : 0;
    if (c != u'$' || next == 0) {
      out->push_back(c);
    } else if (next == u'$') {
      out->push_back(u'$'), ++i;
    } else if (next == u'&') {
      out->append(GroupText(set, m, 0)), ++i;
    } else if (next == u'`') {
      out->append(set.subject, 0, whole.start), ++i;
    } else if (next == u'\'') {
      out->append(set.subject, whole.start + whole.length), ++i;
    } else if (next >= u'0' && next <= u'9') {
      size_t n = next - u'0';
      size_t used = 1;
      char16_t third = i + 2 < replacement.size() ? replacement[i + 2] : 0;
      if (third >= u'0' && third <= u'9' && n * 10 + (third - u'0') <= groups &&
          n * 10 + (third - u'0') > 0) {
        n = n * 10 + (third - u'0');
        used = 2;
      }
      if (n == 0 || n > groups) {
        out->push_back(c);
      } else {
        out->append(GroupText(set, m, n));
        i += used;
      }
    } else {
      out->push_back(c);
    }
  }
}

int Replace(AutomationObject& o, std::span<Variant> args, Variant* r) {
  MatchSet set;
  std::u16string replacement;
  if (args.size() < 2 || !VariantToString(args[1], &replacement)) return kParamNotOptional;
  if (!AsRegExp(o).Run(args, &set)) return kMemberException;
  std::u16string out;
  size_t copied = 0;
  for (size_t m = 0; m < set.matches.size(); ++m) {
    const auto& whole = set.matches[m].groups[0];
    out.append(set.subject, copied, whole.start - copied);
    Expand(set, m, replacement, &out);
    copied = whole.start + whole.length;
  }
  out.append(set.subject, copied);
  *r = std::move(out);
  return kAutomationOk;
}

constexpr AutomationMember kRegExpMembers[] = {
    {"Pattern", InvokeKind::kPropertyGet, 0, false, 0, GetPattern},
    {"Pattern", InvokeKind::kPropertyPut, 1, false, 0, PutPattern},
    {"IgnoreCase", InvokeKind::kPropertyGet, 0, false, 0, GetFlag<&RegExp::ignore_case_>},
    {"IgnoreCase", InvokeKind::kPropertyPut, 1, false, 0, PutFlag<&RegExp::ignore_case_>},
    {"Global", InvokeKind::kPropertyGet, 0, false, 0, GetFlag<&RegExp::global_>},
    {"Global", InvokeKind::kPropertyPut, 1, false, 0, PutFlag<&RegExp::global_>},
    {"Multiline", InvokeKind::kPropertyGet, 0, false, 0, GetFlag<&RegExp::multiline_>},
    {"Multiline", InvokeKind::kPropertyPut, 1, false, 0, PutFlag<&RegExp::multiline_>},
    {"Execute", InvokeKind::kFunction, 1, false, 0, Execute},
    {"Test", InvokeKind::kFunction, 1, false, 0, Test},
    {"Replace", InvokeKind::kFunction, 2, false, 0, Replace},
};
std::span<const AutomationMember> RegExp::Members() const { return kRegExpMembers; }

}  // namespace

ObjectRef NewRegExp() { return std::make_shared<RegExp>(); }

}  // namespace automation
