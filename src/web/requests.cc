// InetRequest over the WinINet-shaped functions and WinHttpObjectRequest
// over the automation bridge, step by step as the program has always made
// its requests.
#include "web/requests.h"

#include <array>
#include <fstream>
#include <mutex>

#include "automation/automation_classes.h"
#include "frame/bound_functions.h"
#include "platform/http_transport_curl.h"
#include "platform/wininet_curl.h"
#include "runtime/text_commands.h"
#include "web/request_helpers.h"

namespace web {
namespace {

// The WinHttp request object's options and flags this layer sets.
constexpr int kOptionSslErrorIgnoreFlags = 4;
constexpr int kOptionEnableRedirects = 6;
// Unknown authority (0x0100), wrong usage (0x0200), a name that does not
// match (0x1000) and an invalid date (0x2000): every certificate error. They
// hold only while no cookie file is in use (the transport's rule).
constexpr int kIgnoreEveryCertificateError = 0x0100 | 0x0200 | 0x1000 | 0x2000;

using namespace platform;  // the WinINet-shaped names read best unqualified

// The WinINet-shaped functions are reached the way the program declares
// them: through the bound-function table, each declaration bound by library
// and name on its first call. These wrappers hide the unqualified platform
// names in this file.
void RegisterWinInetSubstitutes() {
  static std::once_flag once;
  std::call_once(once, [] {
    frame::RegisterPlatformFunction("wininet.dll", "InternetOpenA", &platform::InternetOpenA);
    frame::RegisterPlatformFunction("wininet.dll", "InternetCloseHandle",
                                 &platform::InternetCloseHandle);
    frame::RegisterPlatformFunction("wininet.dll", "InternetConnectA", &platform::InternetConnectA);
    frame::RegisterPlatformFunction("wininet.dll", "HttpOpenRequestA", &platform::HttpOpenRequestA);
    frame::RegisterPlatformFunction("wininet.dll", "HttpSendRequestA", &platform::HttpSendRequestA);
    frame::RegisterPlatformFunction("wininet.dll", "InternetReadFile", &platform::InternetReadFile);
    frame::RegisterPlatformFunction("wininet.dll", "HttpQueryInfoA", &platform::HttpQueryInfoA);
  });
}

template <auto kFunction, class... Args>
auto Bound(frame::DeclaredFunction index, Args... args) {
  return frame::CallPlatformFunction<std::remove_pointer_t<decltype(kFunction)>>(index, args...);
}

template <class... A>
HInternet InternetOpenA(A... a) { return Bound<&platform::InternetOpenA>(frame::kInternetOpenA, a...); }
template <class... A>
bool InternetCloseHandle(A... a) {
  return Bound<&platform::InternetCloseHandle>(frame::kInternetCloseHandle, a...);
}
template <class... A>
HInternet InternetConnectA(A... a) {
  return Bound<&platform::InternetConnectA>(frame::kInternetConnectA, a...);
}
template <class... A>
HInternet HttpOpenRequestA(A... a) {
  return Bound<&platform::HttpOpenRequestA>(frame::kHttpOpenRequestA, a...);
}
// The function is declared twice: once to send without a body, once with.
template <class... A>
bool HttpSendRequestA(A... a) {
  return Bound<&platform::HttpSendRequestA>(frame::kHttpSendRequestA, a...);
}
template <class... A>
bool HttpSendRequestWithDataA(A... a) {
  return Bound<&platform::HttpSendRequestA>(frame::kHttpSendRequestA2, a...);
}
template <class... A>
bool InternetReadFile(A... a) {
  return Bound<&platform::InternetReadFile>(frame::kInternetReadFile, a...);
}
template <class... A>
bool HttpQueryInfoA(A... a) { return Bound<&platform::HttpQueryInfoA>(frame::kHttpQueryInfoA, a...); }

constexpr uint32_t kReadChunk = 1024;
constexpr uint32_t kWinHttpSecureFailure = 12175;
constexpr uint32_t kRawHeaderBuffer = 5000;

const char* MethodText(int method) {
  switch (method) {
    case 1: return "POST";
    case 2: return "HEAD";
    default: return "GET";
  }
}

bool IsSecure(std::string_view address) {
  return rt::ToLowerCase(rt::LeftText(address, 5)) == "https";
}

void AddHeader(Text* headers, std::string_view searched, std::string_view line) {
  if (rt::FindText(*headers, searched, {}, false) > 0) return;
  if (!headers->empty()) *headers += "\r\n";
  *headers += line;
}

Text AgentFor(const Text& headers) {
  if (rt::FindText(headers, "User-Agent:", {}, /*ignore_case=*/true) <= 0) return kDefaultAgent;
  Text agent = rt::TrimText(TextBetween(headers, "User-Agent:", "\r\n"));
  if (agent.empty()) agent = HeaderValue(headers);
  // The agent is sent as a header line of its own: a line break in it would
  // make every request fail, so it ends at the first one.
  size_t line_end = agent.find_first_of("\r\n");
  if (line_end != Text::npos) agent = rt::TrimText(std::string_view(agent).substr(0, line_end));
  return agent.empty() ? Text(kDefaultAgent) : agent;
}

// Raw headers of the request, with every Set-Cookie in one spelling; 5000
// spaces when the block does not fit the buffer (or the request failed).
Text RawHeaders(HInternet request) {
  Text buffer(kRawHeaderBuffer, ' ');
  uint32_t size = kRawHeaderBuffer;
  HttpQueryInfoA(request, kHttpQueryRawHeadersCrlf, buffer.data(), &size, nullptr);
  buffer.resize(buffer.find('\0') == Text::npos ? buffer.size() : buffer.find('\0'));
  return rt::ReplaceText(buffer, "Set-Cookie", "Set-Cookie");
}

// Where the answer came from, after the redirects followed. An extension of
// ours, not one of the program's declared functions: called directly.
Text FinalAddress(HInternet request) {
  uint32_t size = 0;
  platform::InternetQueryOptionA(request, kInternetOptionUrl, nullptr, &size);
  Text address(size, '\0');
  if (size == 0 ||
      !platform::InternetQueryOptionA(request, kInternetOptionUrl, address.data(), &size)) {
    return {};
  }
  address.resize(size);
  return address;
}

// What a failed send's error number (WinINet's or WinHttp's; the secure
// ones agree) tells the caller.
RequestFailure FailureOf(uint32_t error) {
  switch (error) {
    case kErrorInternetSecCertErrors:
    case kWinHttpSecureFailure: return RequestFailure::kCertificate;
    case kErrorInternetSecurityChannelError: return RequestFailure::kSecureChannel;
    case platform::kErrorTransferTooLarge: return RequestFailure::kTooLarge;
    case platform::kErrorTransferTooSlow: return RequestFailure::kTooSlow;
    default: return RequestFailure::kOther;
  }
}

// Takes the response apart into the caller's variables and merges cookies.
struct Outputs {
  Text local_headers, local_cookies, local_returned_cookies, local_raw;
  Text* headers;
  Text* cookies;
  Text* returned_cookies;
  Text* raw;
  explicit Outputs(const RequestOptions& o)
      : headers(o.extra_headers ? o.extra_headers : &local_headers),
        cookies(o.cookies ? o.cookies : &local_cookies),
        returned_cookies(o.returned_cookies ? o.returned_cookies : &local_returned_cookies),
        raw(o.returned_headers ? o.returned_headers : &local_raw) {
    if (!o.agent.empty()) AddHeader(headers, "User-Agent:", "User-Agent: " + o.agent);
  }
};

}  // namespace

void AddDefaultHeaders(Text* headers, std::string_view address, bool with_agent) {
  AddHeader(headers, "Accept:", "Accept: */*");
  AddHeader(headers, "Referer:", "Referer: " + Text(address));
  AddHeader(headers, "Accept-Language:", "Accept-Language: zh-cn");
  if (with_agent) AddHeader(headers, "User-Agent:", Text("User-Agent: ") + kDefaultAgent);
  AddHeader(headers, "Content-Type:", "Content-Type: application/x-www-form-urlencoded");
}

bool SetCertificateAuthorities(const std::string& pem_file) {
  platform::SetCertificateAuthorities(pem_file);
  return pem_file.empty() || std::ifstream(pem_file, std::ios::binary).good();
}

rt::Bytes InetRequest(std::string_view address, const RequestOptions& options) {
  RequestFailure local_failure;
  RequestFailure* failure = options.failure ? options.failure : &local_failure;
  *failure = RequestFailure::kOther;
  if (!IsHttpAddress(address)) return {};
  RegisterWinInetSubstitutes();
  Outputs out(options);
  const char* method = MethodText(options.method);
  bool secure = IsSecure(address);
  Text agent = AgentFor(*out.headers);
  Text proxy = secure ? options.proxy : "http=" + options.proxy;
  HInternet internet =
      options.proxy.empty()
          ? InternetOpenA(agent.c_str(), kInternetOpenTypeDirect, nullptr, nullptr, 0)
          : InternetOpenA(agent.c_str(), kInternetOpenTypeProxy, proxy.c_str(), "", 0);
  if (!internet) return {};
  int port = UrlPort(address);
  HInternet connection =
      InternetConnectA(internet, UrlHost(address).c_str(),
                       port > 0 && port <= 65535 ? static_cast<uint16_t>(port) : 0, nullptr,
                       nullptr, kInternetServiceHttp, 0, 0);
  if (!connection) {
    InternetCloseHandle(internet);
    return {};
  }
  uint32_t flags = kInternetFlagReload | kInternetFlagNeedFile;
  if (options.cookies) flags |= kInternetFlagNoCookies;
  if (options.no_redirect) flags |= kInternetFlagNoAutoRedirect;
  flags |= secure ? kInternetFlagSecure : kInternetFlagIgnoreRedirectToHttps;
  HInternet request = HttpOpenRequestA(connection, method, UrlPath(address).c_str(), "HTTP/1.1",
                                       nullptr, nullptr, flags, 0);
  if (!request) {
    InternetCloseHandle(connection);
    InternetCloseHandle(internet);
    return {};
  }
  AddDefaultHeaders(out.headers, address, /*with_agent=*/false);
  Text sent = *out.headers;
  if (!out.cookies->empty()) sent += "\r\nCookie: " + *out.cookies;
  bool answered = false;
  if (options.method == 1 || options.method == 2) {
    rt::Bytes data = options.byte_data.empty()
                         ? rt::Bytes(options.form_data.begin(), options.form_data.end())
                         : options.byte_data;
    answered = HttpSendRequestWithDataA(request, sent.data(), static_cast<uint32_t>(sent.size()),
                                        data.data(), static_cast<uint32_t>(data.size()));
  } else {
    answered = HttpSendRequestA(request, sent.data(), static_cast<uint32_t>(sent.size()), "", 0);
  }
  *failure = answered ? RequestFailure::kNone : FailureOf(platform::InetLastError());
  rt::Bytes body;
  uint32_t length = 0;
  uint32_t length_size = sizeof length;
  if (HttpQueryInfoA(request, kHttpQueryContentLength | kHttpQueryFlagNumber, &length,
                     &length_size, nullptr)) {
    body.reserve(length);  // spares the growing array its reallocations
  }
  std::array<unsigned char, kReadChunk> chunk;
  uint32_t read = 0;
  while (InternetReadFile(request, chunk.data(), kReadChunk, &read) && read > 0) {
    body.insert(body.end(), chunk.begin(), chunk.begin() + read);
  }
  *out.raw = RawHeaders(request);
  if (options.final_address) *options.final_address = FinalAddress(request);
  InternetCloseHandle(request);
  InternetCloseHandle(connection);
  InternetCloseHandle(internet);
  *out.returned_cookies = CookiesFromHeaders(*out.raw);
  if (options.cookies) MergeCookies(options.cookies, out.returned_cookies);
  return body;
}

rt::Bytes WinHttpObjectRequest(std::string_view address, const RequestOptions& options) {
  RequestFailure local_failure;
  RequestFailure* failure = options.failure ? options.failure : &local_failure;
  *failure = RequestFailure::kOther;
  if (!IsHttpAddress(address)) return {};
  automation::AutomationInitialize();
  automation::ObjectSlot object;
  if (options.request_object) {
    automation::AssignObject(&object, *options.request_object);
  } else if (!automation::CreateObject(&object, automation::kWinHttpRequestProgId)) {
    automation::AutomationUninitialize();
    return {};
  }
  Outputs out(options);
  if (options.timeout != -1) {
    int t = options.timeout < 1 ? 15000 : TimeoutMilliseconds(options.timeout);
    automation::CallMethod(object, "SetTimeouts", {t, t, t, t});
  }
  if (!options.proxy.empty()) {
    automation::CallMethod(object, "SetProxy", {2, options.proxy});
    if (!options.proxy_user.empty()) {
      automation::CallMethod(object, "SetProxyCredentials",
                     {options.proxy_user, options.proxy_password,
                      options.proxy_credential_flag.value_or(1)});
    }
  }
  automation::CallMethod(object, "Open", {MethodText(options.method), Text(address), false});
  if (options.no_redirect) automation::SetProperty(object, "Option", {kOptionEnableRedirects, 0});
  automation::SetProperty(object, "Option", {kOptionSslErrorIgnoreFlags, kIgnoreEveryCertificateError});
  AddDefaultHeaders(out.headers, address, /*with_agent=*/true);
  if (!out.cookies->empty()) automation::CallMethod(object, "SetRequestHeader", {"Cookie", *out.cookies});
  if (rt::FindText(*out.headers, "\r\n") <= 0) {
    automation::CallMethod(object, "SetRequestHeader",
                   {HeaderName(*out.headers), HeaderValue(*out.headers)});
  } else {
    for (const Text& line : rt::SplitText(*out.headers, "\r\n")) {
      if (line.empty()) continue;
      automation::CallMethod(object, "SetRequestHeader", {HeaderName(line), HeaderValue(line)});
    }
  }
  if (!options.byte_data.empty()) {
    automation::VariantSlot data;
    automation::SetVariant(&data, automation::AutomationArg(options.byte_data));
    automation::CallMethod(object, "Send", {data});
  } else {
    automation::CallMethod(object, "Send", {options.form_data});
  }
  // Read before anything else changes the thread's status number.
  const bool answered = automation::AutomationStatus() == automation::kAutomationOk;
  *failure = answered
                 ? RequestFailure::kNone
                 : FailureOf(static_cast<uint32_t>(automation::GetPropertyNumber(object, "SendError")));
  automation::VariantSlot response = automation::GetPropertyVariant(object, "ResponseBody");
  // The variant is ours and cleared at once, so a byte array is taken over
  // rather than copied (the same bytes VariantToBytes would give).
  rt::Bytes body;
  if (auto* bytes = std::get_if<rt::Bytes>(&response.value)) body = std::move(*bytes);
  else body = automation::VariantToBytes(response);
  automation::ClearVariant(&response);
  *out.raw = rt::ReplaceText(automation::GetPropertyText(object, "GetallResponseHeaders"), "Set-Cookie",
                             "Set-Cookie");
  if (options.status) *options.status = static_cast<int>(automation::GetPropertyNumber(object, "Status"));
  if (options.final_address) *options.final_address = automation::GetPropertyText(object, "Option", {1});
  *out.returned_cookies = CookiesFromHeaders(*out.raw);
  MergeCookies(out.cookies, out.returned_cookies);
  automation::ReleaseObject(&object);
  automation::AutomationUninitialize();
  return body;
}

}  // namespace web
