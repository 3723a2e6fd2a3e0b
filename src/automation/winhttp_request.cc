// The HTTP request class of the automation bridge, over the libcurl
// transfer. Requests are synchronous; cookies set during redirects are sent
// to the next hop but kept by no one afterwards, as each object is its own
// session. Strings cross in the program's code page (GBK): text bodies go out
// as the logic wrote their bytes, header lines ASCII only (the transport
// percent-encodes the rest). Option 4's ignore flags hold only while nobody
// is signed in (see platform::SetPresetCookies).
#include <strings.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "automation/automation_classes.h"
#include "platform/http_transport_curl.h"

namespace automation {

using rt::Bytes;

namespace {

constexpr int kOptionUrl = 1;  // read only: the address the answer came from
constexpr int kOptionSslErrorIgnoreFlags = 4;
constexpr int kOptionEnableRedirects = 6;

class WinHttpRequest : public AutomationObject {
 public:
  std::span<const AutomationMember> Members() const override;

  std::string method_;
  std::string url_;
  bool opened_ = false;
  bool sent_ = false;
  std::vector<std::pair<std::string, std::string>> headers_;
  // The object's own defaults: no limit on the name lookup, 60 s to
  // connect, 30 s each to send and to receive.
  platform::PhaseLimits limits_ = {.resolve_ms = 0, .connect_ms = 60000, .send_ms = 30000,
                                   .receive_ms = 30000};
  std::string proxy_;
  std::string proxy_user_;
  std::string proxy_password_;
  std::map<int32_t, Variant> options_ = {{kOptionSslErrorIgnoreFlags, int32_t{0}},
                                         {kOptionEnableRedirects, true}};
  platform::HttpTransferResult response_;
};

WinHttpRequest& Self(AutomationObject& o) { return static_cast<WinHttpRequest&>(o); }

bool Given(std::span<Variant> args, size_t i) {
  return i < args.size() && !std::holds_alternative<MissingArgument>(args[i]);
}

// The argument as GBK text, or false when it is missing or not text-like.
bool ArgText(std::span<Variant> args, size_t i, std::string* out) {
  std::u16string s;
  if (!Given(args, i) || !VariantToString(args[i], &s)) return false;
  *out = WideToText(s);
  return true;
}

int ArgInt(std::span<Variant> args, size_t i, int32_t* out) {
  if (!Given(args, i)) return kParamNotOptional;
  return VariantToInt(args[i], out) ? kAutomationOk : kTypeMismatch;
}

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

int Open(AutomationObject& o, std::span<Variant> args, Variant*) {
  WinHttpRequest& r = Self(o);
  std::string method, url;
  if (!ArgText(args, 0, &method) || !ArgText(args, 1, &url)) return kParamNotOptional;
  for (char& c : method) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  if ((method != "GET" && method != "POST" && method != "HEAD") || !platform::IsHttpUrl(url)) {
    return kMemberException;
  }
  r.method_ = method;
  r.url_ = url;
  r.opened_ = true;
  r.sent_ = false;
  r.headers_.clear();
  r.response_ = {};
  return kAutomationOk;
}

int SetRequestHeader(AutomationObject& o, std::span<Variant> args, Variant*) {
  WinHttpRequest& r = Self(o);
  std::string name, value;
  if (!ArgText(args, 0, &name) || !ArgText(args, 1, &value)) return kParamNotOptional;
  if (!r.opened_ || r.sent_ || name.empty() || name.find(':') != std::string::npos ||
      HasLineBreak(name) || HasLineBreak(value)) {
    return kMemberException;
  }
  // A header set again replaces the earlier value in its place; an empty
  // value removes it.
  for (auto it = r.headers_.begin(); it != r.headers_.end(); ++it) {
    if (strcasecmp(it->first.c_str(), name.c_str()) == 0) {
      if (value.empty()) r.headers_.erase(it);
      else it->second = value;
      return kAutomationOk;
    }
  }
  if (!value.empty()) r.headers_.emplace_back(name, value);
  return kAutomationOk;
}

int Send(AutomationObject& o, std::span<Variant> args, Variant*) {
  WinHttpRequest& r = Self(o);
  if (!r.opened_) return kMemberException;
  platform::HttpTransferRequest transfer;
  transfer.method = r.method_;
  transfer.url = r.url_;
  if (Given(args, 0)) {
    if (const Bytes* bytes = std::get_if<Bytes>(&args[0])) {
      transfer.body.assign(bytes->begin(), bytes->end());
    } else if (!ArgText(args, 0, &transfer.body)) {
      return kTypeMismatch;
    }
  }
  for (const auto& [name, value] : r.headers_) transfer.header_lines.push_back(name + ": " + value);
  int32_t ignore_flags = 0;
  VariantToInt(r.options_[kOptionSslErrorIgnoreFlags], &ignore_flags);
  transfer.verify_tls = (ignore_flags & 0x3300) == 0;
  bool redirects = true;
  VariantToBool(r.options_[kOptionEnableRedirects], &redirects);
  transfer.follow_redirects = redirects;
  transfer.proxy = r.proxy_;
  transfer.proxy_user = r.proxy_user_;
  transfer.proxy_password = r.proxy_password_;
  transfer.cookies = platform::CookieMode::kTransferOnly;
  transfer.limits = r.limits_;
  r.response_ = platform::PerformHttpTransfer(transfer);
  r.sent_ = r.response_.error == platform::TransferError::kNone;
  return r.sent_ ? kAutomationOk : kMemberException;
}

int SetTimeouts(AutomationObject& o, std::span<Variant> args, Variant*) {
  int32_t t[4];
  for (size_t i = 0; i < 4; ++i) {
    if (int status = ArgInt(args, i, &t[i]); status != kAutomationOk) return status;
    if (t[i] < -1) return kMemberException;
  }
  // Resolve, connect, send and receive: each limits its own phase of every
  // hop, not the request as a whole. -1 and 0 both mean "no limit".
  auto limit = [](int32_t ms) { return ms > 0 ? int64_t{ms} : int64_t{0}; };
  Self(o).limits_ = {.resolve_ms = limit(t[0]), .connect_ms = limit(t[1]),
                     .send_ms = limit(t[2]), .receive_ms = limit(t[3])};
  return kAutomationOk;
}

int SetProxy(AutomationObject& o, std::span<Variant> args, Variant*) {
  int32_t setting = 0;
  if (int status = ArgInt(args, 0, &setting); status != kAutomationOk) return status;
  std::string server;
  if (setting == 2) {
    if (!ArgText(args, 1, &server) || server.empty()) return kMemberException;
  } else if (setting != 0 && setting != 1) {
    return kMemberException;
  }
  Self(o).proxy_ = server;
  return kAutomationOk;
}

int SetProxyCredentials(AutomationObject& o, std::span<Variant> args, Variant*) {
  std::string user, password;
  if (!ArgText(args, 0, &user) || !ArgText(args, 1, &password)) return kParamNotOptional;
  Self(o).proxy_user_ = user;
  Self(o).proxy_password_ = password;
  return kAutomationOk;
}

int GetOption(AutomationObject& o, std::span<Variant> args, Variant* result) {
  int32_t index = 0;
  if (int status = ArgInt(args, 0, &index); status != kAutomationOk) return status;
  if (index == kOptionUrl) {
    // After a request, where it ended (redirects followed); before, as opened.
    const auto& r = Self(o);
    *result = TextToWide(r.sent_ && !r.response_.final_url.empty() ? r.response_.final_url : r.url_);
    return kAutomationOk;
  }
  auto it = Self(o).options_.find(index);
  if (it == Self(o).options_.end()) return kMemberException;
  *result = it->second;
  return kAutomationOk;
}

int PutOption(AutomationObject& o, std::span<Variant> args, Variant*) {
  int32_t index = 0;
  if (int status = ArgInt(args, 0, &index); status != kAutomationOk) return status;
  if (args.size() < 2) return kBadParamCount;
  if (index != kOptionSslErrorIgnoreFlags && index != kOptionEnableRedirects) {
    return kMemberException;
  }
  Self(o).options_[index] = args[1];
  return kAutomationOk;
}

int ResponseBody(AutomationObject& o, std::span<Variant>, Variant* result) {
  if (!Self(o).sent_) return kMemberException;
  *result = Bytes(Self(o).response_.body);
  return kAutomationOk;
}

int Status(AutomationObject& o, std::span<Variant>, Variant* result) {
  if (!Self(o).sent_) return kMemberException;
  *result = int32_t{Self(o).response_.status};
  return kAutomationOk;
}

// The header block without the status line.
std::string HeaderBlock(const WinHttpRequest& r) {
  const std::string& raw = r.response_.raw_headers;
  size_t end = raw.find("\r\n");
  return end == std::string::npos ? std::string() : raw.substr(end + 2);
}

int StatusText(AutomationObject& o, std::span<Variant>, Variant* result) {
  if (!Self(o).sent_) return kMemberException;
  const std::string& raw = Self(o).response_.raw_headers;
  size_t first = raw.find(' ');
  first = first == std::string::npos ? first : raw.find(' ', first + 1);
  size_t end = raw.find("\r\n");
  *result = first < end ? TextToWide(raw.substr(first + 1, end - first - 1)) : std::u16string();
  return kAutomationOk;
}

int GetAllResponseHeaders(AutomationObject& o, std::span<Variant>, Variant* result) {
  if (!Self(o).sent_) return kMemberException;
  *result = TextToWide(HeaderBlock(Self(o)));
  return kAutomationOk;
}

int GetResponseHeader(AutomationObject& o, std::span<Variant> args, Variant* result) {
  std::string name;
  if (!ArgText(args, 0, &name)) return kParamNotOptional;
  if (!Self(o).sent_) return kMemberException;
  std::string block = HeaderBlock(Self(o));
  for (size_t pos = 0; pos < block.size();) {
    size_t end = block.find("\r\n", pos);
    if (end == std::string::npos) end = block.size();
    std::string line = block.substr(pos, end - pos);
    size_t colon = line.find(':');
    if (colon == name.size() && strncasecmp(line.c_str(), name.c_str(), colon) == 0) {
      size_t v = line.find_first_not_of(' ', colon + 1);
      *result = TextToWide(v == std::string::npos ? "" : line.substr(v));
      return kAutomationOk;
    }
    pos = end + 2;
  }
  return kMemberException;
}

// Why the last Send brought no answer, as a WinHttp error number (0 when it
// brought one): the request layer tells a certificate refused from a host
// that did not answer. An extension of ours; the original class raises
// these numbers as the exception of Send.
int32_t SendErrorNumber(platform::TransferError error) {
  switch (error) {
    case platform::TransferError::kNone: return 0;
    case platform::TransferError::kRefused: return 12005;       // invalid URL
    case platform::TransferError::kConnect: return 12029;       // cannot connect
    case platform::TransferError::kTimedOut: return 12002;      // timeout
    case platform::TransferError::kAborted: return 12017;       // operation cancelled
    case platform::TransferError::kCertificate: return 12175;   // secure failure
    case platform::TransferError::kSecureChannel: return 12157; // secure channel error
    // Ours, beyond WinHttp's numbers: the body was too large, or too slow.
    case platform::TransferError::kTooLarge: return platform::kErrorTransferTooLarge;
    case platform::TransferError::kTooSlow: return platform::kErrorTransferTooSlow;
    default: return 12030;                                      // connection error
  }
}

int SendError(AutomationObject& o, std::span<Variant>, Variant* result) {
  const WinHttpRequest& r = Self(o);
  *result = r.opened_ && !r.sent_ ? SendErrorNumber(r.response_.error) : int32_t{0};
  return kAutomationOk;
}

int Abort(AutomationObject&, std::span<Variant>, Variant*) { return kAutomationOk; }

constexpr AutomationMember kMembers[] = {
    {"Open", InvokeKind::kFunction, 3, false, 0, Open},
    {"SetRequestHeader", InvokeKind::kFunction, 2, false, 0, SetRequestHeader},
    {"Send", InvokeKind::kFunction, 1, false, 0, Send},
    {"SetTimeouts", InvokeKind::kFunction, 4, false, 0, SetTimeouts},
    {"SetProxy", InvokeKind::kFunction, 3, false, 0, SetProxy},
    {"SetProxyCredentials", InvokeKind::kFunction, 3, false, 0, SetProxyCredentials},
    {"Option", InvokeKind::kPropertyGet, 1, false, 0, GetOption},
    {"Option", InvokeKind::kPropertyPut, 2, false, 0, PutOption},
    {"ResponseBody", InvokeKind::kPropertyGet, 0, false, 0, ResponseBody},
    {"Status", InvokeKind::kPropertyGet, 0, false, 0, Status},
    {"StatusText", InvokeKind::kPropertyGet, 0, false, 0, StatusText},
    {"GetAllResponseHeaders", InvokeKind::kFunction, 0, false, 0, GetAllResponseHeaders},
    {"GetResponseHeader", InvokeKind::kFunction, 1, false, 0, GetResponseHeader},
    {"Abort", InvokeKind::kFunction, 0, false, 0, Abort},
    {"SendError", InvokeKind::kPropertyGet, 0, false, 0, SendError},
};

std::span<const AutomationMember> WinHttpRequest::Members() const { return kMembers; }

}  // namespace

ObjectRef NewWinHttpRequest() { return std::make_shared<WinHttpRequest>(); }

}  // namespace automation
