// libcurl underneath every request: one easy handle per transfer, run on the thread's own multi handle so that idle
// connections stay cached for the next request and an abort can wake the wait.
#include "platform/http_transport_curl.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

std::atomic<size_t> g_body_cap{size_t{256} << 20};
std::mutex g_bound_mutex;
TransferBound g_bound;

// The preset cookies (for kTransferOnly transfers) and the hosts the
// signed-in rules protect; replaced whole, so a transfer copies the pointer
// under the lock and reads the rest without it. Null: nobody is signed in.
struct Preset {
  std::vector<std::string> lines;
  struct Domain {
    std::string name;  // lower case, without the leading "."
    bool subdomains;
  };
  std::vector<Domain> cookie_domains;
  std::vector<std::string> service_hosts;  // lower case, without ":port"
};

std::mutex g_preset_mutex;
std::shared_ptr<const Preset> g_preset;
std::shared_ptr<const std::string> g_ca_file;  // null or "": the system's store

std::shared_ptr<const Preset> PresetCookies() {
  std::lock_guard<std::mutex> lock(g_preset_mutex);
  return g_preset;
}

std::shared_ptr<const std::string> CertificateAuthorities() {
  std::lock_guard<std::mutex> lock(g_preset_mutex);
  return g_ca_file;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The domain a Netscape cookie line is for, or nullopt for a line that
// names none.
std::optional<Preset::Domain> CookieDomain(std::string_view line) {
  if (line.starts_with("#HttpOnly_")) line.remove_prefix(10);
  const size_t tab = line.find('\t');
  if (tab == std::string_view::npos || tab == 0) return std::nullopt;
  std::string_view domain = line.substr(0, tab);
  const bool dot = domain.starts_with('.');
  if (dot) domain.remove_prefix(1);
  const bool subdomains = dot || line.substr(tab + 1).starts_with("TRUE");
  return Preset::Domain{Lower(domain), subdomains};
}

// The host libcurl will connect to for `wire_url`, lower case without port
// (brackets kept for an IPv6 address); empty when libcurl cannot read it.
std::string HostOf(const std::string& wire_url) {
  CURLU* url = curl_url();
  std::string host;
  char* part = nullptr;
  if (curl_url_set(url, CURLUPART_URL, wire_url.c_str(), 0) == CURLUE_OK &&
      curl_url_get(url, CURLUPART_HOST, &part, 0) == CURLUE_OK && part) {
    host = Lower(part);
  }
  curl_free(part);
  curl_url_cleanup(url);
  return host;
}

bool IsSignedInHost(const Preset& preset, const std::string& host) {
  if (host.empty()) return false;
  for (const std::string& service : preset.service_hosts) {
    if (host == service) return true;
  }
  for (const Preset::Domain& d : preset.cookie_domains) {
    if (host == d.name) return true;
    // Like libcurl, a cookie for subdomains goes to none of an address.
    if (d.subdomains && host.size() > d.name.size() + 1 && host.ends_with(d.name) &&
        host[host.size() - d.name.size() - 1] == '.' && host.find(':') == std::string::npos) {
      return true;
    }
  }
  return false;
}
thread_local AbortSignal* t_abort_signal = nullptr;

// A share handle with one mutex per kind of shared data.
struct Share {
  CURLSH* handle = nullptr;
  std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;
};

void LockShare(CURL*, curl_lock_data data, curl_lock_access, void* user) {
  static_cast<Share*>(user)->locks[data].lock();
}
void UnlockShare(CURL*, curl_lock_data data, void* user) {
  static_cast<Share*>(user)->locks[data].unlock();
}

Share* MakeShare(bool with_cookies) {
  auto* share = new Share;  // lives for the whole process
  share->handle = curl_share_init();
  curl_share_setopt(share->handle, CURLSHOPT_LOCKFUNC, LockShare);
  curl_share_setopt(share->handle, CURLSHOPT_UNLOCKFUNC, UnlockShare);
  curl_share_setopt(share->handle, CURLSHOPT_USERDATA, share);
  curl_share_setopt(share->handle, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
  curl_share_setopt(share->handle, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  if (with_cookies) curl_share_setopt(share->handle, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
  return share;
}

struct Shares {
  Share* jar;    // the process-wide cookie jar
  Share* plain;  // no shared cookies
};

const Shares& GlobalShares() {
  static const Shares shares = [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    return Shares{MakeShare(true), MakeShare(false)};
  }();
  return shares;
}

// The process-wide connection cache: a pool of multi handles, each holding
// the idle connections of the transfers it ran. A transfer takes the most
// recently used handle and gives it back when done, so sequential requests
// (on one thread or on threads that follow each other) reuse connections,
// while concurrent transfers never share a handle. Easy handles are not
// reused: a reset handle keeps its private cookie jar, which must not leak
// from one request to the next.
class MultiPool {
 public:
  CURLM* Take() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!idle_.empty()) {
        CURLM* multi = idle_.back();
        idle_.pop_back();
        return multi;
      }
    }
    CURLM* multi = curl_multi_init();
    curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, 8L);
    return multi;
  }
  void Give(CURLM* multi) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (idle_.size() < kMaxIdle) {
      idle_.push_back(multi);
      return;
    }
    curl_multi_cleanup(multi);
  }

 private:
  static constexpr size_t kMaxIdle = 8;
  std::mutex mutex_;
  std::vector<CURLM*> idle_;
};

MultiPool& Pool() {
  static auto* pool = new MultiPool;  // lives for the whole process
  return *pool;
}

// What the callbacks fill in during one transfer.
struct TransferState {
  HttpTransferResult* result;
  PhaseClock clock;
  size_t cap;
  std::string url;
  bool follow_redirects;
  CURL* easy;
  bool too_large = false;
  bool reserved = false;
  Clock::time_point started = Clock::now();
  bool body_begun = false;
  Clock::time_point body_started;
  uint64_t body_bytes = 0;
  uint64_t received = 0;     // header and body bytes so far
  curl_off_t uploaded = 0;   // request body bytes sent by the current hop
  TransferBound bound = CurrentTransferBound();
};

// Returns true iff the response header block `raw` has a Location line.
bool HasLocation(std::string_view raw) {
  for (size_t pos = raw.find("\r\n"); pos != std::string_view::npos;
       pos = raw.find("\r\n", pos + 2)) {
    std::string_view line = raw.substr(pos + 2);
    if (line.size() > 9 && strncasecmp(line.data(), "Location:", 9) == 0) return true;
  }
  return false;
}

// A byte of a response: the receive phase has begun, and is not silent.
void Received(TransferState* state, size_t n) {
  Clock::time_point now = Clock::now();
  state->clock.Enter(TransferPhase::kReceive, now);
  state->clock.Progress(now);
  state->received += n;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* state = static_cast<TransferState*>(user);
  size_t n = size * count;
  Received(state, n);
  std::string_view line(data, n);
  if (line.starts_with("HTTP/")) {
    // A new response (after a redirect or an interim 1xx): keep only the last.
    state->result->raw_headers.clear();
    state->result->body.clear();
    state->reserved = false;
    size_t space = line.find(' ');
    state->result->status =
        space == std::string_view::npos ? 0 : std::atoi(std::string(line.substr(space + 1, 3)).c_str());
  }
  state->result->raw_headers.append(line);
  int status = state->result->status;
  if (line == "\r\n" && state->follow_redirects && status >= 300 && status < 400 &&
      HasLocation(state->result->raw_headers)) {
    state->clock.Enter(TransferPhase::kResolve, Clock::now());  // the next hop begins
  }
  return n;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* state = static_cast<TransferState*>(user);
  size_t n = size * count;
  Received(state, n);
  auto& body = state->result->body;
  if (!state->body_begun) {
    state->body_begun = true;
    state->body_started = Clock::now();
  }
  state->body_bytes += n;
  if (!state->reserved) {
    // The cap is checked here, on the body actually being read, rather than
    // by libcurl's file-size limit: that one also fails a HEAD request or a
    // redirect whose announced length is large although no body is wanted.
    state->reserved = true;
    curl_off_t length = -1;
    curl_easy_getinfo(state->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    bool redirect = state->result->status >= 300 && state->result->status < 400;
    if (length > 0 && static_cast<uint64_t>(length) > state->cap && !redirect) {
      state->too_large = true;  // no need to receive the first 256 MiB first
      return 0;
    }
    if (length > 0 && static_cast<uint64_t>(length) <= state->cap) body.reserve(length);
  }
  if (body.size() + n > state->cap) {
    state->too_large = true;
    return 0;  // makes libcurl stop with a write error
  }
  body.insert(body.end(), data, data + n);
  return n;
}

// A socket about to connect: the name is resolved.
int OnSocketOptions(void* user, curl_socket_t, curlsocktype purpose) {
  if (purpose == CURLSOCKTYPE_IPCXN) {
    static_cast<TransferState*>(user)->clock.Enter(TransferPhase::kConnect, Clock::now());
  }
  return CURL_SOCKOPT_OK;
}

// A connection is ready (new or reused) and the request is about to go out.
int OnRequestReady(void* user, char*, char*, int, int) {
  auto* state = static_cast<TransferState*>(user);
  state->clock.Enter(TransferPhase::kSend, Clock::now());
  state->uploaded = 0;
  return CURL_PREREQFUNC_OK;
}

// While sending, each body byte that goes out is progress; once the whole
// body (if any) is out, the response is awaited.
int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t upload_total,
               curl_off_t uploaded) {
  auto* state = static_cast<TransferState*>(user);
  if (state->clock.phase() != TransferPhase::kSend) return 0;
  Clock::time_point now = Clock::now();
  if (uploaded > state->uploaded) {
    state->uploaded = uploaded;
    state->clock.Progress(now);
  }
  if (uploaded >= upload_total) state->clock.Enter(TransferPhase::kReceive, now);
  return 0;
}

bool HasHeader(const std::vector<std::string>& lines, std::string_view name) {
  for (const std::string& line : lines) {
    if (line.size() > name.size() && (line[name.size()] == ':' || line[name.size()] == ';') &&
        strncasecmp(line.data(), name.data(), name.size()) == 0) {
      return true;
    }
  }
  return false;
}

// The header list for libcurl, or false when a line could split the request.
// libcurl's own defaults are switched off so that exactly the given lines go
// out after Host (and Content-Length for a body).
bool BuildHeaderList(const HttpTransferRequest& request, curl_slist** list) {
  for (const std::string& line : request.header_lines) {
    if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) return false;
    std::string entry = WireHeaderLine(line);
    size_t colon = entry.find(':');
    if (colon != std::string::npos &&
        entry.find_first_not_of(" \t", colon + 1) == std::string::npos) {
      entry = entry.substr(0, colon) + ";";  // an empty value is sent, not removed
    }
    *list = curl_slist_append(*list, entry.c_str());
  }
  if (!HasHeader(request.header_lines, "Accept")) *list = curl_slist_append(*list, "Accept:");
  if (request.method == "POST") {
    *list = curl_slist_append(*list, "Expect:");
    if (!HasHeader(request.header_lines, "Content-Type")) {
      *list = curl_slist_append(*list, "Content-Type:");
    }
  }
  return true;
}

void ConfigureEasy(CURL* easy, const HttpTransferRequest& request, TransferState* state) {
  const Shares& shares = GlobalShares();
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_URL, state->url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  bool from_https = strncasecmp(request.url.c_str(), "https", 5) == 0;
  const char* redirect_to = "http,https";
  if (from_https && !request.allow_https_to_http) redirect_to = "https";
  if (!from_https && !request.allow_http_to_https) redirect_to = "http";
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, redirect_to);
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, request.follow_redirects ? 1L : 0L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, static_cast<long>(kMaxRedirects));
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, request.verify_tls ? 1L : 0L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, request.verify_tls ? 2L : 0L);
  // The phase limits are kept by RunTransfer; libcurl's own limit on lookup
  // and connection together is only a backstop that never comes first.
  const PhaseLimits& limits = request.limits;
  int64_t backstop_ms = limits.resolve_ms > 0 && limits.connect_ms > 0
                            ? limits.resolve_ms + limits.connect_ms + 1000
                            : INT32_MAX;
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(std::min<int64_t>(backstop_ms, INT32_MAX)));
  // Names are looked up on a helper thread of libcurl. A transfer removed
  // before its lookup ends would wait for that thread (for as long as the
  // system resolver takes); quick exit leaves the thread to finish on its
  // own, so a stop or a timeout during a lookup ends the transfer at once.
  curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
  curl_easy_setopt(easy, CURLOPT_SHARE,
                   request.cookies == CookieMode::kProcessJar ? shares.jar->handle
                                                                : shares.plain->handle);
  if (request.cookies != CookieMode::kNone) curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
  if (request.cookies == CookieMode::kTransferOnly) {
    if (auto preset = PresetCookies()) {
      for (const std::string& line : preset->lines) {
        curl_easy_setopt(easy, CURLOPT_COOKIELIST, line.c_str());
      }
    }
  }
  if (request.verify_tls) {
    // Only the given authorities: a stand-in's or a proxy's own, not also
    // the system's through its certificate folder.
    if (auto ca_file = CertificateAuthorities(); ca_file && !ca_file->empty()) {
      curl_easy_setopt(easy, CURLOPT_CAINFO, ca_file->c_str());
      curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
    }
  }
  if (!request.proxy.empty()) {
    curl_easy_setopt(easy, CURLOPT_PROXY, request.proxy.c_str());
    if (!request.proxy_user.empty()) {
      curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, request.proxy_user.c_str());
      curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, request.proxy_password.c_str());
    }
  } else {
    curl_easy_setopt(easy, CURLOPT_PROXY, "");  // ignore proxy environment variables
  }
  if (request.method == "POST") {
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
  } else if (request.method == "HEAD") {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  } else {
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  }
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, state);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, state);
  curl_easy_setopt(easy, CURLOPT_SOCKOPTFUNCTION, OnSocketOptions);
  curl_easy_setopt(easy, CURLOPT_SOCKOPTDATA, state);
  curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, OnRequestReady);
  curl_easy_setopt(easy, CURLOPT_PREREQDATA, state);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, state);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
}

TransferError MapCurlError(CURLcode code, bool too_large) {
  if (too_large) return TransferError::kTooLarge;
  switch (code) {
    case CURLE_OK: return TransferError::kNone;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT: return TransferError::kRefused;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT: return TransferError::kConnect;
    case CURLE_OPERATION_TIMEDOUT: return TransferError::kTimedOut;
    case CURLE_FILESIZE_EXCEEDED: return TransferError::kTooLarge;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE: return TransferError::kCertificate;
    case CURLE_SSL_CONNECT_ERROR: return TransferError::kSecureChannel;
    default: return TransferError::kOther;
  }
}

// Returns true iff the transfer passed its whole bound.
bool TooSlow(const TransferState& state, Clock::time_point now) {
  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  std::optional<int64_t> body_ms;
  if (state.body_begun) body_ms = duration_cast<milliseconds>(now - state.body_started).count();
  return PastTransferBound(state.bound, duration_cast<milliseconds>(now - state.started).count(),
                           body_ms, static_cast<int64_t>(state.body_bytes));
}

// Drives the transfer on a pooled multi handle until it ends, its current
// phase passes its limit (see PhaseClock) or the abort signal fires. A
// transfer left early is removed unfinished, and libcurl closes its
// connection rather than caching it.
TransferError RunTransfer(CURL* easy, TransferState* state) {
  CURLM* multi = Pool().Take();
  AbortSignal* signal = t_abort_signal;
  if (signal) signal->AddWaiter(multi);
  curl_multi_add_handle(multi, easy);
  TransferError error = TransferError::kOther;
  while (true) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) break;
    if (CURLMsg* msg = curl_multi_info_read(multi, &running); msg && msg->msg == CURLMSG_DONE) {
      error = MapCurlError(msg->data.result, state->too_large);
      // A redirect that is not followed is wanted for its headers and status;
      // a body cut short of its announced length does not make those
      // worthless, but the cut body itself is dropped. A 3xx answer without
      // a Location is no redirect: a cut body fails it like any other.
      int status = state->result->status;
      if (msg->data.result == CURLE_PARTIAL_FILE && status >= 300 && status < 400 &&
          HasLocation(state->result->raw_headers)) {
        state->result->body.clear();
        error = TransferError::kNone;
      }
      break;
    }
    if (signal && signal->aborted()) {
      error = TransferError::kAborted;
      break;
    }
    if (TooSlow(*state, Clock::now())) {
      error = TransferError::kTooSlow;
      break;
    }
    int wait_ms = 1000;
    if (std::optional<int64_t> left = state->clock.Left(Clock::now(), state->received)) {
      if (*left <= 0) {
        error = TransferError::kTimedOut;
        break;
      }
      wait_ms = static_cast<int>(std::min<int64_t>(wait_ms, *left + 1));
    }
    curl_multi_poll(multi, nullptr, 0, wait_ms, nullptr);
  }
  curl_multi_remove_handle(multi, easy);
  if (signal) signal->RemoveWaiter(multi);
  Pool().Give(multi);
  return error;
}

}  // namespace

void AbortSignal::Abort() {
  aborted_.store(true);
  std::lock_guard<std::mutex> lock(mutex_);
  for (void* multi : waiters_) curl_multi_wakeup(static_cast<CURLM*>(multi));
}

void AbortSignal::AddWaiter(void* multi) {
  std::lock_guard<std::mutex> lock(mutex_);
  waiters_.push_back(multi);
}

void AbortSignal::RemoveWaiter(void* multi) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find(waiters_.begin(), waiters_.end(), multi);
  if (it != waiters_.end()) waiters_.erase(it);
}

ScopedAbortSignal::ScopedAbortSignal(AbortSignal* signal) : previous_(t_abort_signal) {
  t_abort_signal = signal;
}
ScopedAbortSignal::~ScopedAbortSignal() { t_abort_signal = previous_; }

AbortSignal* CurrentAbortSignal() { return t_abort_signal; }

void SetResponseBodyCap(size_t bytes) { g_body_cap.store(bytes); }

bool PastTransferBound(const TransferBound& bound, int64_t elapsed_ms,
                       std::optional<int64_t> body_ms, int64_t body_bytes) {
  if (elapsed_ms > bound.longest_ms) return true;
  // In whole bytes per whole second, without overflow for any real transfer.
  return body_ms && *body_ms >= bound.slow_body_after_ms &&
         body_bytes < bound.slow_body_bytes_per_second * (*body_ms / 1000);
}

void SetTransferBound(const TransferBound& bound) {
  std::lock_guard<std::mutex> lock(g_bound_mutex);
  g_bound = bound;
}

TransferBound CurrentTransferBound() {
  std::lock_guard<std::mutex> lock(g_bound_mutex);
  return g_bound;
}
size_t ResponseBodyCap() { return g_body_cap.load(); }

// The address as it goes on the wire: bytes outside printable ASCII (a GBK
// name in a path, a space, a line break) are percent-encoded, so no address
// can split the request line.
std::string WireUrl(const std::string& url) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(url.size());
  for (unsigned char c : url) {
    if (c <= 0x20 || c >= 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string WireHeaderLine(std::string_view line) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  constexpr std::string_view kReferer = "Referer:";
  if (line.size() >= kReferer.size() &&
      strncasecmp(line.data(), kReferer.data(), kReferer.size()) == 0) {
    std::string_view value = line.substr(kReferer.size());
    const size_t start = std::min(value.find_first_not_of(" \t"), value.size());
    return std::string(line.substr(0, kReferer.size() + start)) +
           WireUrl(std::string(value.substr(start)));
  }
  std::string out;
  out.reserve(line.size());
  for (unsigned char c : line) {
    if ((c < 0x20 && c != '\t') || c >= 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool IsHttpUrl(const std::string& url) {
  return strncasecmp(url.c_str(), "http://", 7) == 0 || strncasecmp(url.c_str(), "https://", 8) == 0;
}

namespace {

// Returns true iff a line names the Cookie header, blanks before its colon
// or not: libcurl sends such a line as it is.
bool HasCookieLine(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    std::string_view name = std::string_view(line).substr(0, line.find_first_of(":;"));
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
    if (name.size() == 6 && strncasecmp(name.data(), "Cookie", 6) == 0) return true;
  }
  return false;
}

// The https:// address for an http:// one: the same host and the rest as
// given, the port too unless it is http's own 80 (named by the WinINet-shaped
// layer in every address), which becomes https's own.
std::string HttpsAddress(const std::string& url) {
  const size_t end = std::min(url.find_first_of("/?#", 7), url.size());
  std::string authority = url.substr(7, end - 7);
  const size_t bracket = authority.rfind(']');
  if (authority.ends_with(":80") &&
      (bracket == std::string::npos || bracket < authority.size() - 3)) {
    authority.resize(authority.size() - 3);
  }
  return "https://" + authority + url.substr(end);
}

// `request` held to the signed-in rules (see SetPresetCookies).
HttpTransferRequest SignedIn(const Preset& preset, HttpTransferRequest request) {
  const bool plain = strncasecmp(request.url.c_str(), "http://", 7) == 0;
  if (plain && (HasCookieLine(request.header_lines) ||
                IsSignedInHost(preset, HostOf(WireUrl(request.url))))) {
    request.url = HttpsAddress(request.url);
  } else if (plain) {
    request.cookies = CookieMode::kNone;  // nothing of the sign-in goes out in the clear
    return request;
  }
  request.verify_tls = true;
  request.allow_https_to_http = false;
  return request;
}

}  // namespace

HttpTransferResult PerformHttpTransfer(const HttpTransferRequest& given) {
  HttpTransferResult result;
  if (t_abort_signal && t_abort_signal->aborted()) {
    result.error = TransferError::kAborted;
    return result;
  }
  std::optional<HttpTransferRequest> guarded;
  if (IsHttpUrl(given.url)) {
    if (auto preset = PresetCookies()) guarded = SignedIn(*preset, given);
  }
  const HttpTransferRequest& request = guarded ? *guarded : given;
  curl_slist* headers = nullptr;
  if (!IsHttpUrl(request.url) || !BuildHeaderList(request, &headers)) {
    curl_slist_free_all(headers);
    result.error = TransferError::kRefused;
    return result;
  }
  GlobalShares();
  CURL* easy = curl_easy_init();
  TransferState state{&result, PhaseClock(request.limits, Clock::now()), ResponseBodyCap(),
                      WireUrl(request.url), request.follow_redirects, easy};
  ConfigureEasy(easy, request, &state);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  result.error = RunTransfer(easy, &state);
  char* final_url = nullptr;
  if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &final_url) == CURLE_OK && final_url) {
    result.final_url = final_url;
  }
  curl_easy_cleanup(easy);
  curl_slist_free_all(headers);
  if (result.error != TransferError::kNone) {
    result.status = 0;
    result.raw_headers.clear();
    result.final_url.clear();
    result.body.clear();
    result.body.shrink_to_fit();
  }
  return result;
}

void SetPresetCookies(std::vector<std::string> netscape_lines,
                      std::vector<std::string> service_hosts) {
  CURL* easy = curl_easy_init();
  curl_easy_setopt(easy, CURLOPT_SHARE, GlobalShares().jar->handle);
  for (const std::string& line : netscape_lines) {
    curl_easy_setopt(easy, CURLOPT_COOKIELIST, line.c_str());
  }
  curl_easy_cleanup(easy);
  std::shared_ptr<Preset> preset;
  if (!netscape_lines.empty()) {
    preset = std::make_shared<Preset>();
    for (const std::string& line : netscape_lines) {
      if (auto domain = CookieDomain(line)) preset->cookie_domains.push_back(*domain);
    }
    for (const std::string& host : service_hosts) {
      // "host:port" or "[v6]:port": the port is not part of the host.
      const size_t colon = host.rfind(':');
      const bool port = colon != std::string::npos && host.find(']', colon) == std::string::npos;
      preset->service_hosts.push_back(Lower(port ? host.substr(0, colon) : host));
    }
    preset->lines = std::move(netscape_lines);
  }
  std::lock_guard<std::mutex> lock(g_preset_mutex);
  g_preset = std::move(preset);
}

void SetCertificateAuthorities(std::string pem_file) {
  auto file = std::make_shared<const std::string>(std::move(pem_file));
  std::lock_guard<std::mutex> lock(g_preset_mutex);
  g_ca_file = std::move(file);
}

void ClearProcessCookies() {
  CURL* easy = curl_easy_init();
  curl_easy_setopt(easy, CURLOPT_SHARE, GlobalShares().jar->handle);
  curl_easy_setopt(easy, CURLOPT_COOKIELIST, "ALL");
  curl_easy_cleanup(easy);
  std::lock_guard<std::mutex> lock(g_preset_mutex);
  g_preset = nullptr;
}

}  // namespace platform
