// PCRE2 underneath Regex16. The options chosen here are what make PCRE2 read
// patterns in the program's dialect; see the header.
#define PCRE2_CODE_UNIT_WIDTH 16
#include "platform/regex_pcre2.h"

#include <pcre2.h>

#include <algorithm>
#include <cstdint>

namespace platform {
namespace {

PCRE2_SPTR16 Units(std::u16string_view s) { return reinterpret_cast<PCRE2_SPTR16>(s.data()); }

// The JIT's built-in stack (32 KB) runs out on a repeated group spanning a few
// thousand characters, so each thread matches with its own stack that may grow
// to 8 MB. The match limit is set for each call (MatchStepBudget).
class ThreadMatchContext {
 public:
  ThreadMatchContext()
      : context_(pcre2_match_context_create(nullptr)),
        stack_(pcre2_jit_stack_create(32 * 1024, 8 * 1024 * 1024, nullptr)) {
    if (context_ && stack_) pcre2_jit_stack_assign(context_, nullptr, stack_);
  }
  ~ThreadMatchContext() {
    pcre2_jit_stack_free(stack_);
    pcre2_match_context_free(context_);
  }
  ThreadMatchContext(const ThreadMatchContext&) = delete;
  ThreadMatchContext& operator=(const ThreadMatchContext&) = delete;

  pcre2_match_context* get() const { return context_; }

 private:
  pcre2_match_context* context_;
  pcre2_jit_stack* stack_;
};

pcre2_match_context* MatchContextForThisThread() {
  thread_local ThreadMatchContext context;
  return context.get();
}

}  // namespace

// Lazy groups over one long line (an album-list answer is HTML inside one
// JSON string) try every later place of their closing text, and each try
// may scan to the end of the line: an honest search of n units can take
// steps in proportion to n squared. A 70 KB album page whose last entry is
// broken, followed by 2,000 links, needs 64 million steps; the same at
// 300 KB needs 1.4 billion. The budget is n²/32, twice that, but at least
// PCRE2's own default of ten million and at most 2^32 - 1.
//
// Design note: one fixed budget was rejected. Any budget large enough for a
// 300 KB page lets a runaway pattern over a short text run for seconds;
// this one stops it within milliseconds, and only a long subject buys a
// long search. The interpreter takes about twenty times as long a step as
// the compiled matcher, so its budget is also capped at 100 million.
uint32_t MatchStepBudget(size_t units, bool jit) {
  constexpr uint64_t kFloor = 10'000'000;
  constexpr uint64_t kInterpreterCeiling = 100'000'000;
  uint64_t n = units;
  uint64_t budget = n >= (uint64_t{1} << 32) ? UINT64_MAX : n * n / 32;
  budget = std::max(budget, kFloor);
  budget = std::min<uint64_t>(budget, jit ? UINT32_MAX : kInterpreterCeiling);
  return static_cast<uint32_t>(budget);
}

Regex16::~Regex16() { Release(); }

void Regex16::Release() {
  pcre2_match_data_free(static_cast<pcre2_match_data*>(match_data_));
  pcre2_code_free(static_cast<pcre2_code*>(code_));
  match_data_ = nullptr;
  code_ = nullptr;
  capture_count_ = 0;
  jit_ = false;
}

bool Regex16::Compile(std::u16string_view pattern, bool ignore_case, bool multiline) {
  Release();
  uint32_t options = PCRE2_ALT_BSUX | PCRE2_MATCH_UNSET_BACKREF;
  options |= ignore_case ? PCRE2_CASELESS : 0;
  options |= multiline ? PCRE2_MULTILINE : PCRE2_DOLLAR_ENDONLY;
  pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
  pcre2_set_newline(context, PCRE2_NEWLINE_ANYCRLF);
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code =
      pcre2_compile(Units(pattern), pattern.size(), options, &error, &offset, context);
  pcre2_compile_context_free(context);
  if (!code) return false;
  // Without JIT code the interpreter matches.
  jit_ = pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0;
  uint32_t captures = 0;
  pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &captures);
  code_ = code;
  capture_count_ = static_cast<int>(captures);
  match_data_ = pcre2_match_data_create_from_pattern(code, nullptr);
  return true;
}

bool Regex16::FindAll(std::u16string_view subject, bool global,
                      std::vector<RegexMatch>* matches) {
  matches->clear();
  if (!code_) return false;
  auto* code = static_cast<pcre2_code*>(code_);
  auto* data = static_cast<pcre2_match_data*>(match_data_);
  pcre2_match_context* context = MatchContextForThisThread();
  size_t start = 0;
  while (start <= subject.size()) {
    pcre2_set_match_limit(context, MatchStepBudget(subject.size(), jit_));
    int rc = pcre2_match(code, Units(subject), subject.size(), start, 0, data, context);
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT) {
      // Even the grown stack was too small: the interpreter keeps its frames
      // on the heap (within the heap limit) and may still succeed.
      pcre2_set_match_limit(context, MatchStepBudget(subject.size(), false));
      rc = pcre2_match(code, Units(subject), subject.size(), start, PCRE2_NO_JIT, data, context);
    }
    if (rc == PCRE2_ERROR_NOMATCH) break;
    if (rc < 0) return false;  // the matches so far stay
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
    RegexMatch match;
    match.groups.resize(capture_count_ + 1);
    for (int g = 0; g <= capture_count_ && g < rc; ++g) {
      if (ovector[2 * g] == PCRE2_UNSET) continue;
      match.groups[g] = {ovector[2 * g], ovector[2 * g + 1] - ovector[2 * g]};
    }
    size_t end = ovector[1];
    bool empty = ovector[0] == end;
    matches->push_back(std::move(match));
    if (!global) break;
    start = empty ? end + 1 : end;
  }
  return true;
}

}  // namespace platform
