// The one pass of member changes (member_changes.h): a recursive copy of the
// JSON text that rewrites each member as it meets it. Member names are
// compared as written between their quotes; the answers' names carry no
// escapes.
//
// Design note: replacing "NAME": by text search, as the stand-in once did
// for renames, also hits a string that happens to hold those bytes and
// cannot find where a value ends, which nesting needs; hence the parse.
#include "stand-in/member_changes.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

namespace standin {
namespace {

constexpr int kMaxDepth = 200;  // the answers are a few levels deep

using Pairs = std::vector<std::pair<std::string, std::string>>;

// The second of the first pair whose first is `name`; null when none is.
const std::string* Lookup(const Pairs& pairs, std::string_view name) {
  for (const auto& [from, to] : pairs) {
    if (from == name) return &to;
  }
  return nullptr;
}

bool IsDecimal(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsScalarByte(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
         c == '+' || c == '.';
}

// `value` (a whole JSON value's text) with a number and a string of digits
// exchanged.
std::string Retyped(std::string value) {
  if (value.size() >= 2 && value.front() == '"') {
    std::string_view digits = std::string_view(value).substr(1, value.size() - 2);
    // "007" stays a string: 007 is no JSON number.
    if (IsDecimal(digits) && (digits.size() == 1 || digits[0] != '0')) return std::string(digits);
    return value;
  }
  if (!value.empty() && (value[0] == '-' || (value[0] >= '0' && value[0] <= '9')))
    return "\"" + value + "\"";
  return value;
}

class Changer {
 public:
  Changer(std::string_view in, const AnswerStyle& style) : in_(in), style_(style) {}

  // Returns true iff the whole text was one value; *out holds its copy.
  bool Run(std::string* out) {
    if (!Value(out, 0)) return false;
    SkipSpace();
    return at_ == in_.size();
  }

 private:
  char Peek() const { return at_ < in_.size() ? in_[at_] : '\0'; }
  void SkipSpace() {
    while (at_ < in_.size() &&
           (in_[at_] == ' ' || in_[at_] == '\t' || in_[at_] == '\r' || in_[at_] == '\n')) {
      ++at_;
    }
  }

  bool Value(std::string* out, int depth) {
    SkipSpace();
    if (depth > kMaxDepth) return false;
    switch (Peek()) {
      case '{':
        return Object(out, depth);
      case '[':
        return Array(out, depth);
      case '"':
        return String(out);
      default:
        return Scalar(out);
    }
  }

  bool Object(std::string* out, int depth) {
    ++at_;
    *out += '{';
    SkipSpace();
    if (Peek() == '}') {
      ++at_;
      *out += '}';
      return true;
    }
    while (true) {
      SkipSpace();
      std::string key, value;
      if (Peek() != '"' || !String(&key)) return false;
      SkipSpace();
      if (Peek() != ':') return false;
      ++at_;
      if (!Value(&value, depth + 1)) return false;
      AppendMember(key.substr(1, key.size() - 2), std::move(value), out);
      SkipSpace();
      const char c = Peek();
      ++at_;
      if (c == '}') {
        *out += '}';
        return true;
      }
      if (c != ',') return false;
      *out += ',';
    }
  }

  bool Array(std::string* out, int depth) {
    ++at_;
    *out += '[';
    SkipSpace();
    if (Peek() == ']') {
      ++at_;
      *out += ']';
      return true;
    }
    while (true) {
      if (!Value(out, depth + 1)) return false;
      SkipSpace();
      const char c = Peek();
      ++at_;
      if (c == ']') {
        *out += ']';
        return true;
      }
      if (c != ',') return false;
      *out += ',';
    }
  }

  // Copies the string at at_ with its quotes. A GBK lead byte takes the
  // next byte with it, so its trail byte is never read as "\" or a quote.
  bool String(std::string* out) {
    const size_t start = at_++;
    while (at_ < in_.size()) {
      const auto c = static_cast<unsigned char>(in_[at_]);
      if (c == '"') {
        ++at_;
        out->append(in_.substr(start, at_ - start));
        return true;
      }
      if (c == '\\' || (c >= 0x81 && c <= 0xFE && at_ + 1 < in_.size() &&
                        static_cast<unsigned char>(in_[at_ + 1]) >= 0x40)) {
        at_ += 2;
      } else {
        ++at_;
      }
    }
    return false;
  }

  // A number or a literal (null, true, false).
  bool Scalar(std::string* out) {
    const size_t start = at_;
    while (at_ < in_.size() && IsScalarByte(in_[at_])) ++at_;
    out->append(in_.substr(start, at_ - start));
    return at_ > start;
  }

  void AppendMember(std::string name, std::string value, std::string* out) const {
    if (const std::string* renamed = Lookup(style_.renamed_members, name)) name = *renamed;
    const auto& retyped = style_.retyped_members;
    if (std::find(retyped.begin(), retyped.end(), name) != retyped.end())
      value = Retyped(std::move(value));
    std::string member = "\"" + name + "\":" + value;
    if (const std::string* parent = Lookup(style_.nested_members, name))
      member = "\"" + *parent + "\":{" + member + "}";
    *out += member;
  }

  std::string_view in_;
  size_t at_ = 0;
  const AnswerStyle& style_;
};

}  // namespace

bool ChangesMembers(const AnswerStyle& style) {
  return !style.renamed_members.empty() || !style.nested_members.empty() ||
         !style.retyped_members.empty();
}

std::string ChangeMembers(std::string json, const AnswerStyle& style) {
  if (!ChangesMembers(style)) return json;
  std::string out;
  out.reserve(json.size() + 64);
  Changer changer(json, style);
  return changer.Run(&out) ? out : json;
}

}  // namespace standin
