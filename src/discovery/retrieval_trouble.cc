// The retrieval's unanswered requests and the words for them.
#include "discovery/retrieval_trouble.h"

#include <string>

#include "runtime/gbk.h"

namespace discovery {
namespace {

using rt::operator""_gbk;

// Why no answer came, in the log's words.
rt::Text NoAnswerCause(web::RequestFailure failure) {
  switch (failure) {
    case web::RequestFailure::kCertificate:
      return "服务器的证书未通过校验"_gbk;
    case web::RequestFailure::kSecureChannel:
      return "无法建立https加密连接"_gbk;
    case web::RequestFailure::kTooLarge:
      return "服务器的回答过大"_gbk;
    case web::RequestFailure::kTooSlow:
      return "传输过慢"_gbk;
    case web::RequestFailure::kNone:
    case web::RequestFailure::kOther:
      break;
  }
  return "无法连接到服务器"_gbk;
}

rt::Text Cause(AnswerKind kind, int status, web::RequestFailure failure) {
  switch (kind) {
    case AnswerKind::kNoAnswer:
      return NoAnswerCause(failure);
    case AnswerKind::kErrorStatus:
      return "服务器返回错误（HTTP "_gbk + std::to_string(status) + "）"_gbk;
    case AnswerKind::kEmpty:
      return "服务器没有返回内容"_gbk;
    case AnswerKind::kFine:
      break;
  }
  return {};
}

}  // namespace

AnswerKind KindOfAnswer(web::RequestFailure failure, int status, size_t body_size) {
  if (failure != web::RequestFailure::kNone) return AnswerKind::kNoAnswer;
  if (status >= 400) return AnswerKind::kErrorStatus;
  // No status and no body is a request that never reached a server.
  if (body_size == 0) return status == 0 ? AnswerKind::kNoAnswer : AnswerKind::kEmpty;
  return AnswerKind::kFine;
}

rt::Text RetrievalAnswers::Note(std::string_view what, AnswerKind kind, int status,
                                web::RequestFailure failure, int tries) {
  if (kind == AnswerKind::kFine) return {};
  ++trouble_.unanswered;
  if (kind == AnswerKind::kNoAnswer && !no_answer_) trouble_.failure = failure;
  if (kind == AnswerKind::kErrorStatus && trouble_.kind != AnswerKind::kErrorStatus) {
    trouble_.kind = kind;
    trouble_.status = status;
  }
  no_answer_ = no_answer_ || kind == AnswerKind::kNoAnswer;
  empty_ = empty_ || kind == AnswerKind::kEmpty;
  if (trouble_.kind != AnswerKind::kErrorStatus) {
    trouble_.kind = no_answer_ ? AnswerKind::kNoAnswer : AnswerKind::kEmpty;
  }
  rt::Text cause = Cause(kind, status, failure);
  if (kind == AnswerKind::kErrorStatus) cause = "HTTP " + std::to_string(status);
  if (tries > 1) cause += "，已试"_gbk + std::to_string(tries) + "次"_gbk;
  return rt::Text(what) + "未能获取（"_gbk + cause + "）\r\n"_gbk;
}

RetrievalTrouble RetrievalAnswers::Trouble(bool nothing_found) const {
  RetrievalTrouble trouble = trouble_;
  trouble.nothing_found = nothing_found && trouble.any();
  return trouble;
}

rt::Text TroubleMessage(const RetrievalTrouble& trouble) {
  if (!trouble.any()) return {};
  if (trouble.browser_check) {
    return "相册列表无法读取：服务要求浏览器安全验证。请把登录后从浏览器导出的cookie文件（cookies.txt）写进配置.ini的[service] cookie_file=（tiepic-cli用--cookies）再试"_gbk;
  }
  return Cause(trouble.kind, trouble.status, trouble.failure) +
         (trouble.nothing_found ? "，未能获取相册"_gbk : "，部分页面未能获取"_gbk);
}

}  // namespace discovery
