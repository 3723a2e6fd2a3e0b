// The regular-expression engine over PCRE2 (16-bit code units, JIT when the
// machine allows it), in the dialect the program's patterns are written for:
// lazy quantifiers, groups, "." never matching a line break (CR or LF),
// "^" and "$" at line breaks in multi-line mode and "$" only at the very end
// otherwise, ignore-case folding ASCII letters only, \uHHHH escapes, and a
// back-reference to a group that did not take part matching the empty text.
// Subjects are sequences of UTF-16 code units matched unit by unit.
//
// Thread safety: a Regex16 is used by one thread at a time.
#ifndef TIEPIC_PLATFORM_REGEX_PCRE2_H_
#define TIEPIC_PLATFORM_REGEX_PCRE2_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One match: for group 0 (the whole match) and each capture group, the start
// and length in code units; a group that did not take part has start npos.
struct RegexMatch {
  struct Span {
    size_t start = std::string::npos;
    size_t length = 0;
  };
  std::vector<Span> groups;
};

// The most steps one matcher call over a subject of `units` code units may
// take before it gives up: the bound on runaway backtracking. A call runs
// from where the last match ended to the next match, so a search costs at
// most one budget per match found plus one. `jit` tells whether the
// compiled matcher or the slower interpreter runs.
uint32_t MatchStepBudget(size_t units, bool jit);

class Regex16 {
 public:
  Regex16() = default;
  ~Regex16();
  Regex16(const Regex16&) = delete;
  Regex16& operator=(const Regex16&) = delete;

  // Returns true iff the pattern compiled; a failed compile leaves the object
  // without a pattern.
  bool Compile(std::u16string_view pattern, bool ignore_case, bool multiline);
  bool compiled() const { return code_ != nullptr; }
  int capture_count() const { return capture_count_; }

  // Collects the matches in `subject` from left to right (only the first
  // unless `global`); after an empty match the search resumes one unit
  // further on. Returns true iff the search reached the end. An attempt that
  // fails (it ran out of its step budget, see MatchStepBudget, or of
  // memory) ends the search there; `matches` keeps what was found before.
  bool FindAll(std::u16string_view subject, bool global, std::vector<RegexMatch>* matches);

 private:
  void Release();

  bool jit_ = false;
  void* code_ = nullptr;
  void* match_data_ = nullptr;
  int capture_count_ = 0;
};

}  // namespace platform

#endif  // TIEPIC_PLATFORM_REGEX_PCRE2_H_
