// The program's regular-expression object: cuts album names, counts and ids
// out of HTML. It drives the bridge's regular-expression class; GBK texts go
// in and come out unchanged (GBK to UTF-16 on the way in, back on the way
// out). Failures are quiet: false, 0 or empty text.
//
// Positions are 0-based byte offsets in the GBK subject: the captured text
// is sought, exactly, from the byte where its match begins (an empty text is
// at 0). Design note: the byte where the match begins is computed exactly
// from the UTF-16 index rather than searching from the UTF-16 index taken as
// a byte offset, which could land inside a double-byte character or one
// byte early and then report an earlier occurrence of the same text.
//
// Thread safety: one object is used by one thread.
#ifndef TIEPIC_WEB_REGEX_OBJECT_H_
#define TIEPIC_WEB_REGEX_OBJECT_H_

#include <optional>
#include <string_view>

#include "automation/automation.h"
#include "runtime/value.h"

namespace web {

class RegexObject {
 public:
  RegexObject();
  // Shares the engine and the last matches; copies the subject.
  RegexObject(const RegexObject& other);
  RegexObject& operator=(const RegexObject&) = delete;
  // Releases both objects and ends this thread's use of automation once.
  ~RegexObject();

  // Compiles `pattern` and runs it over `subject`, keeping the matches.
  // Defaults: ignore case, multi-line, global. With `quote_marks`, "#引号" in
  // the pattern stands for a double quote. Returns true iff a match
  // collection was obtained (also when it holds no match); false for an
  // invalid pattern or a failed execution.
  bool Search(std::string_view pattern, std::string_view subject,
              std::optional<bool> case_sensitive = {}, std::optional<bool> multiline = {},
              std::optional<bool> global = {}, bool quote_marks = false);

  // The number of matches of the last Search; 0 without one.
  int MatchCount() const;
  // The whole text of match `match` (1-based); with `position`, its byte
  // offset is stored there.
  rt::Text MatchText(int match, int* position = nullptr) const;
  // The text captured by group `group` (1-based) of match `match`; empty when
  // the group did not take part.
  rt::Text SubMatchText(int match, int group, int* position = nullptr) const;
  // The number of capture groups of the first match.
  int SubMatchCount() const;
  rt::Text GetPattern() const;
  // The last subject with the matches replaced ($1, $&, ... expanded).
  rt::Text ReplaceMatches(std::string_view replacement) const;

 private:
  int PositionOf(const automation::ObjectSlot& item, const rt::Text& found) const;

  automation::ObjectSlot engine_;
  automation::ObjectSlot matches_;
  automation::VariantSlot subject_;  // the UTF-16 bytes of the last subject
};

}  // namespace web

#endif  // TIEPIC_WEB_REGEX_OBJECT_H_
