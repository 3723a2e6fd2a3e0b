// How the requests of one album retrieval were answered, so that a service
// that could not be reached, or answered only with errors or nothing, is
// told apart from a board without albums: each request that brought nothing
// to read gets a log line, and the retrieval's closing names the trouble.
//
// Thread safety: a RetrievalAnswers belongs to the retrieval worker; a
// RetrievalTrouble is a plain value.
#ifndef TIEPIC_DISCOVERY_RETRIEVAL_TROUBLE_H_
#define TIEPIC_DISCOVERY_RETRIEVAL_TROUBLE_H_

#include <string_view>

#include "runtime/value.h"
#include "web/requests.h"

namespace discovery {

// What one request came to.
enum class AnswerKind {
  kFine,         // a body with a status below 400
  kNoAnswer,     // no answer came: no connection, a timeout, a failed check
  kErrorStatus,  // a status of 400 or above
  kEmpty,        // an answer without a body
};

// `status` 0 is unknown; `body_size` is the body's length in bytes.
AnswerKind KindOfAnswer(web::RequestFailure failure, int status, size_t body_size);

// The worst of a retrieval's unanswered requests.
struct RetrievalTrouble {
  AnswerKind kind = AnswerKind::kFine;  // kFine: every request was answered
  int status = 0;                       // kErrorStatus: the first error status
  // kNoAnswer: why the first request without an answer brought none.
  web::RequestFailure failure = web::RequestFailure::kNone;
  bool nothing_found = false;           // no album could be listed
  int unanswered = 0;                   // requests that brought nothing to read
  // A board's album interfaces all answered with the service's refusal (its
  // security check), so that no album could be listed.
  bool browser_check = false;
  bool any() const { return kind != AnswerKind::kFine || browser_check; }
};

class RetrievalAnswers {
 public:
  // Notes the answer of `what` (GBK, e.g. "相册列表第1页") after `tries`
  // tries; `failure` is why no answer came (kNoAnswer). Returns the log line
  // for an answer that brought nothing to read, e.g. "相册列表第1页未能获取（HTTP
  // 500）" + CR LF; empty for a fine one.
  rt::Text Note(std::string_view what, AnswerKind kind, int status, web::RequestFailure failure,
                int tries = 1);

  // The trouble so far; `nothing_found` as the caller saw the result. An
  // error status outweighs a missing answer, which outweighs an empty one.
  RetrievalTrouble Trouble(bool nothing_found) const;

 private:
  RetrievalTrouble trouble_;
  bool no_answer_ = false;
  bool empty_ = false;
};

// The closing line and message of a retrieval in trouble, GBK, e.g.
// "无法连接到服务器，未能获取相册" or "服务器返回错误（HTTP 500），部分页面未能获取";
// empty without trouble.
rt::Text TroubleMessage(const RetrievalTrouble& trouble);

}  // namespace discovery

#endif  // TIEPIC_DISCOVERY_RETRIEVAL_TROUBLE_H_
