// Refusals: answers by which the service turns a visitor away instead of
// answering, and the growing, randomised wait before asking again.
//
// An answer is a refusal when
//   - its status is 403 or 429 (a request whose answer was expected), or
//   - its final address, or the Location of an unfollowed redirect, is a
//     verification address: a host of "wappass.baidu.com" or a path holding
//     "/static/captcha", in any letter case, or
//   - its body holds the security-check page's title element
//     "<title>百度安全验证</title>", in
//     GBK or in UTF-8 (the service writes that page in either).
// Empty and unreadable answers are not refusals; their callers keep their
// own retries for them.
//
// RefusalRetry also tells the log why a try brought nothing when the reason
// is the user's to act on: a certificate that failed the checks, or a host
// that would not speak https (FailureLine). Every caller's requests pass
// through it, and it runs on the thread that writes the log, so the request
// layer itself stays out of the window.
//
// RefusalRetry runs one request until its answer is no refusal: each refusal
// gets one line in the operation log, then a wait of first_wait_ms, doubled
// for each further try and randomised by +-25 %, before the next try; after
// `tries` refused answers the refusal has persisted and the request's last
// (refused) answer is returned as empty. Once a refusal has persisted, a
// refusal later in the same run is logged and given up at once: the service
// is turning the visitor away, and waiting again for every step would only
// multiply the same minute or two.
//
// Thread safety: RecognizeRefusal and the other free functions are pure
// (BackoffWaitMs uses a generator per thread); a RefusalRetry belongs to one
// thread at a time, and its persisted() count may be read from any thread.
#ifndef TIEPIC_WEB_REFUSAL_H_
#define TIEPIC_WEB_REFUSAL_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <string_view>

#include "runtime/value.h"
#include "web/requests.h"

namespace web {

enum class Refusal { kNone, kSecurityCheck, kVerificationAddress, kForbidden, kTooManyRequests };

// What is known of one answer. Unknown parts stay empty or 0.
struct AnswerFacts {
  int status = 0;                  // 0: unknown (then read from raw_headers)
  std::string_view raw_headers;    // the final response's status line and headers
  std::string_view final_address;  // where the request ended after redirects
  std::string_view body;
};

Refusal RecognizeRefusal(const AnswerFacts& answer);

// The status of a raw header block's first line ("HTTP/1.1 403 Forbidden"
// gives 403); 0 when there is none.
int StatusOfHeaders(std::string_view raw_headers);

// Returns true iff `address` is one the service sends visitors to for
// verification (see above).
bool IsVerificationAddress(std::string_view address);

// The refusal in the operation log's words, GBK: "安全验证页",
// "转到验证网址", "HTTP 403", "HTTP 429"; empty for kNone.
rt::Text RefusalName(Refusal refusal);

struct BackoffPolicy {
  int tries = 4;                  // answers asked for before a refusal has persisted
  int64_t first_wait_ms = 10000;  // doubled for each further try
  int64_t longest_wait_ms = 60000;
};

// The wait before retry `retry` (1 for the second try): first_wait_ms *
// 2^(retry-1), times a factor in [0.75, 1.25] given by `fraction` in [0, 1]
// (or drawn at random), at most longest_wait_ms and at least 1 (a wait of 0
// is how RefusalLine says a refusal persisted). With the defaults the waits
// of one request add up to at most 87.5 s.
int64_t BackoffWaitMs(const BackoffPolicy& policy, int retry, double fraction);
int64_t BackoffWaitMs(const BackoffPolicy& policy, int retry);

// Waits the given milliseconds; it may end early or unwind the thread when
// the run is stopped (WaitResponsive does both on a download worker).
using StopAwareWait = std::function<void(int64_t ms)>;
// Receives one GBK log line, ending in CR LF.
using LogLine = std::function<void(const rt::Text& line)>;

// The operation log's line for a refusal of `what` (GBK, e.g. "相册列表第1页"):
// `wait_ms` > 0 announces the next try, 0 says the refusal persisted, and a
// negative one that another interface is asked instead.
rt::Text RefusalLine(std::string_view what, Refusal refusal, int64_t wait_ms);

// The operation log's line for a try of `what` that failed for `failure`
// (kCertificate: "证书校验失败：…", kSecureChannel: "无法建立https加密连接：…");
// empty for kNone and kOther, which the callers report their own way.
rt::Text FailureLine(std::string_view what, RequestFailure failure);

class RefusalRetry {
 public:
  RefusalRetry(BackoffPolicy policy, LogLine log, StopAwareWait wait);

  // One try of the request: fills the options it is given (status,
  // returned_headers, final_address, failure, as far as its operation can)
  // and returns the body.
  using Try = std::function<rt::Bytes(const RequestOptions& options)>;

  // Asks until the answer is no refusal. Returns the body, or empty with
  // *refused set (when given) once the refusal has persisted. `once` asks
  // one time only, for a request another interface can stand in for: a
  // refusal is logged as such and returns empty with *refused set, but has
  // not persisted (later refusals still get their tries).
  rt::Bytes Fetch(std::string_view what, const Try& request, bool* refused = nullptr,
                  bool once = false);

  // Refusals that persisted through their tries (or came after one that had).
  int persisted() const { return persisted_.load(); }

 private:
  const BackoffPolicy policy_;
  const LogLine log_;
  const StopAwareWait wait_;
  std::atomic<int> persisted_{0};
};

}  // namespace web

#endif  // TIEPIC_WEB_REFUSAL_H_
