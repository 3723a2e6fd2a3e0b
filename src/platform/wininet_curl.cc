// WinINet-shaped handles over PerformHttpTransfer. Each handle copies what it
// needs from its parent when created, so closing handles in any order is safe.
#include "platform/wininet_curl.h"

#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/http_transport_curl.h"

namespace platform {
namespace {

enum class Kind { kInternet, kConnection, kRequest };

struct Session {
  std::string agent;
  std::string proxy;  // as given to InternetOpenA; empty for direct access
};

struct Handle {
  Kind kind;
  Session session;
  std::string host;
  uint16_t port = 0;
  // Requests only.
  std::string verb;
  std::string path;
  uint32_t flags = 0;
  bool sent = false;
  HttpTransferResult result;
  size_t read_offset = 0;
};

// Handles are opaque numbers from a counter that never repeats, so a stale
// handle can never name a later object whose memory took the old one's place.
// Lookups hand out shared ownership: a handle closed by one thread while
// another is using it lives until that use ends.
std::mutex g_registry_mutex;
uintptr_t g_next_handle = 1;  // guarded by g_registry_mutex
std::unordered_map<uintptr_t, std::shared_ptr<Handle>>& Registry() {
  static auto* registry = new std::unordered_map<uintptr_t, std::shared_ptr<Handle>>;
  return *registry;
}

uintptr_t KeyOf(HInternet handle) { return reinterpret_cast<uintptr_t>(handle); }

std::atomic<int64_t> g_connect_ms{30000};
std::atomic<int64_t> g_stall_ms{60000};
thread_local uint32_t t_last_error = 0;

bool Fail(uint32_t error) {
  t_last_error = error;
  return false;
}

HInternet Register(std::shared_ptr<Handle> handle) {
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  uintptr_t key = g_next_handle++;
  Registry().emplace(key, std::move(handle));
  return reinterpret_cast<HInternet>(key);
}

// The live handle of `kind`, or null (and the invalid-handle error).
std::shared_ptr<Handle> Find(HInternet key, Kind kind) {
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  auto it = Registry().find(KeyOf(key));
  if (it == Registry().end() || it->second->kind != kind) {
    t_last_error = kErrorInvalidHandle;
    return nullptr;
  }
  return it->second;
}

std::string OrEmpty(const char* s) { return s ? s : ""; }

// The proxy for a request of the given scheme from an access-type-3 list:
// "host:port" serves every scheme, "http=host:port" only its own.
std::string ProxyFor(const std::string& list, bool secure) {
  std::string_view rest(list);
  std::string any;
  while (!rest.empty()) {
    size_t end = rest.find_first_of(" ;");
    std::string_view item = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    size_t eq = item.find('=');
    if (eq == std::string_view::npos) {
      if (any.empty()) any = item;
    } else if (item.substr(0, eq) == (secure ? "https" : "http")) {
      return std::string(item.substr(eq + 1));
    }
  }
  return any;
}

bool IsHeaderNamed(std::string_view line, std::string_view name) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  std::string_view head = line.substr(0, colon);
  while (!head.empty() && head.back() == ' ') head.remove_suffix(1);
  return head.size() == name.size() && strncasecmp(head.data(), name.data(), name.size()) == 0;
}

// Header lines to send: the agent first unless the caller brings its own
// User-Agent line, then the caller's non-empty lines in their order.
std::vector<std::string> HeaderLines(const Session& session, std::string_view headers) {
  std::vector<std::string> lines;
  bool own_agent = false;
  std::vector<std::string> given;
  while (!headers.empty()) {
    size_t end = headers.find("\r\n");
    std::string_view line = headers.substr(0, end);
    headers = end == std::string_view::npos ? std::string_view() : headers.substr(end + 2);
    if (line.empty()) continue;
    own_agent = own_agent || IsHeaderNamed(line, "User-Agent");
    given.emplace_back(line);
  }
  if (!own_agent && !session.agent.empty()) lines.push_back("User-Agent: " + session.agent);
  lines.insert(lines.end(), given.begin(), given.end());
  return lines;
}

uint32_t ErrorCode(TransferError error) {
  switch (error) {
    case TransferError::kRefused: return kErrorInternetUnrecognizedScheme;
    case TransferError::kConnect: return kErrorInternetCannotConnect;
    case TransferError::kTimedOut: return kErrorInternetTimeout;
    case TransferError::kAborted: return kErrorInternetOperationCancelled;
    case TransferError::kCertificate: return kErrorInternetSecCertErrors;
    case TransferError::kSecureChannel: return kErrorInternetSecurityChannelError;
    case TransferError::kTooLarge: return kErrorTransferTooLarge;
    case TransferError::kTooSlow: return kErrorTransferTooSlow;
    default: return kErrorInternetDisconnected;
  }
}

}  // namespace

void SetInetTimeouts(int64_t connect_ms, int64_t stall_ms) {
  g_connect_ms.store(connect_ms);
  g_stall_ms.store(stall_ms);
}

uint32_t InetLastError() { return t_last_error; }

HInternet InternetOpenA(const char* agent, uint32_t access_type, const char* proxy,
                        const char* /*proxy_bypass*/, uint32_t /*flags*/) {
  auto handle = std::make_shared<Handle>();
  handle->kind = Kind::kInternet;
  handle->session.agent = OrEmpty(agent);
  if (access_type == kInternetOpenTypeProxy) handle->session.proxy = OrEmpty(proxy);
  return Register(std::move(handle));
}

HInternet InternetConnectA(HInternet internet, const char* server_name, uint16_t server_port,
                           const char* /*user_name*/, const char* /*password*/, uint32_t service,
                           uint32_t /*flags*/, uintptr_t /*context*/) {
  std::shared_ptr<Handle> parent = Find(internet, Kind::kInternet);
  if (!parent) return nullptr;
  std::string host = OrEmpty(server_name);
  if (service != kInternetServiceHttp || host.empty() || server_port == 0) {
    Fail(kErrorInternetInvalidOperation);
    return nullptr;
  }
  auto handle = std::make_shared<Handle>();
  handle->kind = Kind::kConnection;
  handle->session = parent->session;
  handle->host = std::move(host);
  handle->port = server_port;
  return Register(std::move(handle));
}

HInternet HttpOpenRequestA(HInternet connection, const char* verb, const char* object_name,
                           const char* /*version*/, const char* /*referrer*/,
                           const char* const* /*accept_types*/, uint32_t flags,
                           uintptr_t /*context*/) {
  std::shared_ptr<Handle> parent = Find(connection, Kind::kConnection);
  if (!parent) return nullptr;
  auto handle = std::make_shared<Handle>();
  handle->kind = Kind::kRequest;
  handle->session = parent->session;
  handle->host = parent->host;
  handle->port = parent->port;
  handle->verb = verb && *verb ? verb : "GET";
  handle->path = object_name && *object_name ? object_name : "/";
  if (handle->path[0] != '/') handle->path = "/" + handle->path;
  handle->flags = flags;
  return Register(std::move(handle));
}

bool HttpSendRequestA(HInternet request, const char* headers, uint32_t headers_length,
                      const void* optional, uint32_t optional_length) {
  std::shared_ptr<Handle> handle = Find(request, Kind::kRequest);
  if (!handle) return false;
  std::string_view header_text;
  if (headers) {
    header_text = headers_length == 0xFFFFFFFFu ? std::string_view(headers)
                                                : std::string_view(headers, headers_length);
  }
  bool secure = handle->flags & kInternetFlagSecure;
  HttpTransferRequest transfer;
  transfer.method = handle->verb;
  transfer.url = (secure ? "https://" : "http://") + handle->host + ":" +
             std::to_string(handle->port) + handle->path;
  transfer.header_lines = HeaderLines(handle->session, header_text);
  if (optional && optional_length > 0 && transfer.method == "POST") {
    transfer.body.assign(static_cast<const char*>(optional), optional_length);
  }
  transfer.follow_redirects = !(handle->flags & kInternetFlagNoAutoRedirect);
  transfer.allow_http_to_https = handle->flags & kInternetFlagIgnoreRedirectToHttps;
  transfer.allow_https_to_http = handle->flags & kInternetFlagIgnoreRedirectToHttp;
  transfer.verify_tls =
      !(handle->flags & (kInternetFlagIgnoreCertCnInvalid | kInternetFlagIgnoreCertDateInvalid));
  if (!handle->session.proxy.empty()) transfer.proxy = ProxyFor(handle->session.proxy, secure);
  transfer.cookies =
      handle->flags & kInternetFlagNoCookies ? CookieMode::kNone : CookieMode::kProcessJar;
  int64_t connect_ms = g_connect_ms.load();
  int64_t stall_ms = g_stall_ms.load();
  transfer.limits = {.resolve_ms = connect_ms, .connect_ms = connect_ms, .send_ms = stall_ms,
                     .receive_ms = stall_ms};
  handle->result = PerformHttpTransfer(transfer);
  handle->read_offset = 0;
  handle->sent = handle->result.error == TransferError::kNone;
  return handle->sent || Fail(ErrorCode(handle->result.error));
}

bool InternetReadFile(HInternet request, void* buffer, uint32_t to_read, uint32_t* read) {
  if (read) *read = 0;
  std::shared_ptr<Handle> handle = Find(request, Kind::kRequest);
  if (!handle || !read) return false;
  if (!handle->sent) return Fail(kErrorInternetInvalidOperation);
  const auto& body = handle->result.body;
  size_t n = std::min<size_t>(to_read, body.size() - handle->read_offset);
  if (n > 0) std::memcpy(buffer, body.data() + handle->read_offset, n);
  handle->read_offset += n;
  *read = static_cast<uint32_t>(n);
  return true;
}

bool HttpQueryInfoA(HInternet request, uint32_t info_level, void* buffer,
                    uint32_t* buffer_length, uint32_t* /*index*/) {
  std::shared_ptr<Handle> handle = Find(request, Kind::kRequest);
  if (!handle || !buffer_length) return false;
  if (!handle->sent) return Fail(kErrorInternetInvalidOperation);
  uint32_t level = info_level & 0xFFFF;
  std::string text;
  if (level == kHttpQueryRawHeadersCrlf) {
    text = handle->result.raw_headers;
  } else if (level == kHttpQueryStatusCode || level == kHttpQueryContentLength) {
    uint32_t number = level == kHttpQueryStatusCode
                          ? static_cast<uint32_t>(handle->result.status)
                          : static_cast<uint32_t>(handle->result.body.size());
    if (info_level & kHttpQueryFlagNumber) {
      if (*buffer_length < sizeof(uint32_t) || !buffer) {
        *buffer_length = sizeof(uint32_t);
        return Fail(kErrorInsufficientBuffer);
      }
      std::memcpy(buffer, &number, sizeof number);
      *buffer_length = sizeof number;
      return true;
    }
    text = std::to_string(number);
  } else {
    return Fail(kErrorInternetInvalidOperation);
  }
  if (!buffer || *buffer_length < text.size() + 1) {
    *buffer_length = static_cast<uint32_t>(text.size() + 1);
    return Fail(kErrorInsufficientBuffer);
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  *buffer_length = static_cast<uint32_t>(text.size());
  return true;
}

bool InternetQueryOptionA(HInternet request, uint32_t option, void* buffer,
                          uint32_t* buffer_length) {
  std::shared_ptr<Handle> handle = Find(request, Kind::kRequest);
  if (!handle || !buffer_length) return false;
  if (option != kInternetOptionUrl || !handle->sent) {
    return Fail(kErrorInternetInvalidOperation);
  }
  const std::string& text = handle->result.final_url;
  if (!buffer || *buffer_length < text.size() + 1) {
    *buffer_length = static_cast<uint32_t>(text.size() + 1);
    return Fail(kErrorInsufficientBuffer);
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  *buffer_length = static_cast<uint32_t>(text.size());
  return true;
}

bool InternetCloseHandle(HInternet handle) {
  std::shared_ptr<Handle> closed;  // released outside the lock
  {
    std::lock_guard<std::mutex> lock(g_registry_mutex);
    auto it = Registry().find(KeyOf(handle));
    if (it == Registry().end()) return Fail(kErrorInvalidHandle);
    closed = std::move(it->second);
    Registry().erase(it);
  }
  return true;
}

}  // namespace platform
