// Recognising refusals and waiting before asking again.
#include "web/refusal.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <random>
#include <string>

#include "runtime/gbk.h"
#include "runtime/text_commands.h"
#include "web/request_helpers.h"

namespace web {
namespace {

using rt::operator""_gbk;

// The security-check page is known by its title element, in UTF-8 or GBK.
// A page or a picture that only mentions the words (an album named after
// them, a picture's comment) is no security check.
constexpr std::string_view kTitleUtf8 = "<title>百度安全验证</title>";

bool HoldsMarker(std::string_view body) {
  if (body.find(kTitleUtf8) != std::string_view::npos) return true;
  static const rt::Text title_gbk = "<title>"_gbk + "百度安全验证"_gbk + "</title>";
  return body.find(title_gbk) != std::string_view::npos;
}

// The value of the first Location line of a raw header block, or empty.
std::string_view LocationOf(std::string_view raw) {
  for (size_t start = 0; start < raw.size();) {
    size_t end = raw.find("\r\n", start);
    std::string_view line = raw.substr(start, end == std::string_view::npos ? end : end - start);
    if (line.size() > 9 && rt::ToLowerCase(line.substr(0, 9)) == "location:") {
      line.remove_prefix(9);
      while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
      return line;
    }
    if (end == std::string_view::npos) break;
    start = end + 2;
  }
  return {};
}

double RandomFraction() {
  thread_local std::mt19937_64 generator = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(),
                       static_cast<unsigned>(
                           std::chrono::steady_clock::now().time_since_epoch().count())};
    return std::mt19937_64(seed);
  }();
  return std::uniform_real_distribution<double>(0.0, 1.0)(generator);
}

// Milliseconds as seconds with one decimal: "10.3".
std::string Seconds(int64_t ms) {
  const int64_t tenths = (ms + 50) / 100;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

}  // namespace

int StatusOfHeaders(std::string_view raw_headers) {
  if (!raw_headers.starts_with("HTTP/")) return 0;
  size_t space = raw_headers.find(' ');
  if (space == std::string_view::npos || space + 4 > raw_headers.size()) return 0;
  int status = 0;
  const char* first = raw_headers.data() + space + 1;
  auto [end, ec] = std::from_chars(first, first + 3, status);
  return ec == std::errc() && end == first + 3 ? status : 0;
}

bool IsVerificationAddress(std::string_view address) {
  const rt::Text lower = rt::ToLowerCase(address);
  return UrlHost(lower) == "wappass.baidu.com" ||
         lower.find("/static/captcha") != rt::Text::npos;
}

Refusal RecognizeRefusal(const AnswerFacts& answer) {
  const int status = answer.status != 0 ? answer.status : StatusOfHeaders(answer.raw_headers);
  if (status == 403) return Refusal::kForbidden;
  if (status == 429) return Refusal::kTooManyRequests;
  if (IsVerificationAddress(answer.final_address)) return Refusal::kVerificationAddress;
  if (status >= 300 && status < 400 && IsVerificationAddress(LocationOf(answer.raw_headers))) {
    return Refusal::kVerificationAddress;
  }
  if (HoldsMarker(answer.body)) return Refusal::kSecurityCheck;
  return Refusal::kNone;
}

rt::Text RefusalName(Refusal refusal) {
  switch (refusal) {
    case Refusal::kSecurityCheck: return "安全验证页"_gbk;
    case Refusal::kVerificationAddress: return "转到验证网址"_gbk;
    case Refusal::kForbidden: return "HTTP 403";
    case Refusal::kTooManyRequests: return "HTTP 429";
    case Refusal::kNone: break;
  }
  return {};
}

int64_t BackoffWaitMs(const BackoffPolicy& policy, int retry, double fraction) {
  const double nominal =
      static_cast<double>(policy.first_wait_ms) * std::ldexp(1.0, std::clamp(retry, 1, 30) - 1);
  const double factor = 0.75 + 0.5 * std::clamp(fraction, 0.0, 1.0);
  // At least 1 ms: a wait of 0 is how a log line says the refusal persisted.
  return std::max<int64_t>(
      std::min<int64_t>(std::llround(nominal * factor), policy.longest_wait_ms), 1);
}

int64_t BackoffWaitMs(const BackoffPolicy& policy, int retry) {
  return BackoffWaitMs(policy, retry, RandomFraction());
}

rt::Text RefusalLine(std::string_view what, Refusal refusal, int64_t wait_ms) {
  rt::Text line = rt::Text(what) + "被服务器拒绝（"_gbk + RefusalName(refusal) + "），"_gbk;
  if (wait_ms < 0) return line + "改用其他接口\r\n"_gbk;
  line += wait_ms > 0 ? Seconds(wait_ms) + "秒后重试"_gbk : "仍被拒绝，跳过"_gbk;
  return line + "；设置登录后导出的Cookie文件或稍后再试可能有帮助\r\n"_gbk;
}

rt::Text FailureLine(std::string_view what, RequestFailure failure) {
  switch (failure) {
    case RequestFailure::kCertificate:
      return "证书校验失败："_gbk + rt::Text(what) +
             "未获取，服务器的证书不受信任、已过期或与主机名不符；"
             "登录Cookie只经校验通过的https发送，要信任另外的证书机构可在配置.ini的[service]中设ca_file\r\n"_gbk;
    case RequestFailure::kSecureChannel:
      return "无法建立https加密连接："_gbk + rt::Text(what) +
             "未获取；使用Cookie文件时，带Cookie的请求只经https发送\r\n"_gbk;
    case RequestFailure::kNone:
    case RequestFailure::kTooLarge:  // the caller's own line tells these
    case RequestFailure::kTooSlow:
    case RequestFailure::kOther: break;
  }
  return {};
}

RefusalRetry::RefusalRetry(BackoffPolicy policy, LogLine log, StopAwareWait wait)
    : policy_(policy), log_(std::move(log)), wait_(std::move(wait)) {}

rt::Bytes RefusalRetry::Fetch(std::string_view what, const Try& request, bool* refused,
                              bool once) {
  if (refused) *refused = false;
  const int tries = once || persisted_.load() > 0 ? 1 : std::max(policy_.tries, 1);
  for (int attempt = 1;; ++attempt) {
    int status = 0;
    Text raw;
    Text final_address;
    RequestFailure failure = RequestFailure::kNone;
    RequestOptions options;
    options.status = &status;
    options.returned_headers = &raw;
    options.final_address = &final_address;
    options.failure = &failure;
    rt::Bytes body = request(options);
    if (const rt::Text line = FailureLine(what, failure); !line.empty()) log_(line);
    const std::string_view text(reinterpret_cast<const char*>(body.data()), body.size());
    const Refusal refusal = RecognizeRefusal({status, raw, final_address, text});
    if (refusal == Refusal::kNone) return body;
    if (once) {
      log_(RefusalLine(what, refusal, -1));
      if (refused) *refused = true;
      return {};
    }
    if (attempt >= tries) {
      log_(RefusalLine(what, refusal, 0));
      persisted_.fetch_add(1);
      if (refused) *refused = true;
      return {};
    }
    const int64_t wait_ms = BackoffWaitMs(policy_, attempt);
    log_(RefusalLine(what, refusal, wait_ms));
    wait_(wait_ms);
  }
}

}  // namespace web
