// One HTTP transfer over libcurl, shared by the WinINet-shaped handles and the
// WinHttp request class. Both request operations of the program come down to
// PerformHttpTransfer, so the phase limits, the redirect limit, the body cap, the
// http/https-only rule and the abort from another thread live in one place.
//
// Connections are cached process-wide: a pool of libcurl multi handles, each
// keeping the idle connections of the transfers it ran; a transfer borrows
// one for its duration. Cookies of the process-wide jar are shared by every
// thread under a lock.
// Design note: libcurl's own shared connection pool (the share interface) is
// documented as unsafe for concurrent threads, so connections are pooled by
// lending whole multi handles instead; two concurrent transfers then simply
// use two handles.
//
// Signed-in transfers: while the visitor's cookies are preset (see
// SetPresetCookies), no cookie travels over plain http and no certificate
// check is skipped, whatever a request asks; see SetPresetCookies.
//
// Thread safety: PerformHttpTransfer may run on any number of threads at once;
// AbortSignal::Abort may be called from any thread.
#ifndef TIEPIC_PLATFORM_HTTP_TRANSPORT_CURL_H_
#define TIEPIC_PLATFORM_HTTP_TRANSPORT_CURL_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/transfer_phases.h"

namespace platform {

// A stop request for the transfers of one or more threads. A thread adopts a
// signal with ScopedAbortSignal; every transfer it then runs ends promptly
// (as failed, empty body) once Abort has been called, in whatever phase it
// is: looking up a name, connecting, or waiting for a silent server.
class AbortSignal {
 public:
  AbortSignal() = default;
  AbortSignal(const AbortSignal&) = delete;
  AbortSignal& operator=(const AbortSignal&) = delete;

  void Abort();
  // Makes the signal usable again for new transfers.
  void Reset() { aborted_.store(false); }
  bool aborted() const { return aborted_.load(); }

  // Transport internals: a running transfer registers the handle to wake.
  void AddWaiter(void* multi);
  void RemoveWaiter(void* multi);

 private:
  std::atomic<bool> aborted_{false};
  std::mutex mutex_;
  std::vector<void*> waiters_;
};

// Makes `signal` the calling thread's abort signal for its lifetime.
class ScopedAbortSignal {
 public:
  explicit ScopedAbortSignal(AbortSignal* signal);
  ~ScopedAbortSignal();
  ScopedAbortSignal(const ScopedAbortSignal&) = delete;
  ScopedAbortSignal& operator=(const ScopedAbortSignal&) = delete;

 private:
  AbortSignal* previous_;
};

// The calling thread's abort signal, or null.
AbortSignal* CurrentAbortSignal();

enum class CookieMode {
  kProcessJar,   // send and keep cookies in the process-wide jar
  kNone,         // neither send nor keep any cookie automatically
  kTransferOnly  // cookies set during redirects go to the next hop only
};

enum class TransferError {
  kNone,
  kRefused,        // not http/https, or a malformed address or header
  kConnect,        // the name was not found or no connection was made
  kTimedOut,       // a phase of the transfer passed its limit
  kTooLarge,       // the body passed the cap and was abandoned
  kTooSlow,        // the body came too slowly, or the transfer passed its whole bound
  kAborted,        // the thread's abort signal fired
  kCertificate,    // the server's certificate failed the checks, or the trusted
                   // authorities could not be read: no request was sent
  kSecureChannel,  // no TLS connection came about (the server does not speak it)
  kOther
};

struct HttpTransferRequest {
  std::string method = "GET";  // GET, POST or HEAD
  std::string url;             // absolute http:// or https:// address
  // Header lines sent after the Host line, in this order, as given.
  std::vector<std::string> header_lines;
  std::string body;            // sent for POST
  bool follow_redirects = true;
  bool allow_http_to_https = true;
  bool allow_https_to_http = false;
  bool verify_tls = true;
  std::string proxy;           // "host:port", empty for a direct connection
  std::string proxy_user;
  std::string proxy_password;
  CookieMode cookies = CookieMode::kProcessJar;
  // The limit of each phase of each hop (0: no limit). The send and receive
  // limits count silence: the time since the phase began or last moved a
  // byte; a receive window that brings too few bytes also ends the transfer.
  PhaseLimits limits = {.resolve_ms = 30000, .connect_ms = 30000, .send_ms = 60000,
                        .receive_ms = 60000};
};

struct HttpTransferResult {
  TransferError error = TransferError::kNone;
  int status = 0;
  // The final response's status line and header lines, each ending in CR LF,
  // followed by the empty line.
  std::string raw_headers;
  std::vector<unsigned char> body;
  std::string final_url;  // where the transfer ended, after the redirects followed
};

// Error numbers of ours, beyond those of WinINet and WinHttp, by which both
// request objects say that a body was too large or came too slowly.
inline constexpr uint32_t kErrorTransferTooLarge = 12900;
inline constexpr uint32_t kErrorTransferTooSlow = 12901;

// The bound of a whole transfer, besides the limits of its phases: once its
// body has come for `slow_body_after_ms`, the body must have averaged at
// least `slow_body_bytes_per_second` since its first byte (a picture that
// drips a few bytes now and then ends instead of holding the run), and no
// transfer lasts longer than `longest_ms`. Past it, the result is kTooSlow.
struct TransferBound {
  int64_t slow_body_after_ms = 30000;
  int64_t slow_body_bytes_per_second = 1024;
  int64_t longest_ms = 30 * 60 * 1000;
};
// Returns true iff a transfer `elapsed_ms` old, whose body began `body_ms`
// ago (nullopt: not yet) and has brought `body_bytes`, is past `bound`.
bool PastTransferBound(const TransferBound& bound, int64_t elapsed_ms,
                       std::optional<int64_t> body_ms, int64_t body_bytes);
// Changeable for tests; the default is TransferBound{}.
void SetTransferBound(const TransferBound& bound);
TransferBound CurrentTransferBound();

// Redirects followed at most per transfer; one more fails the transfer.
inline constexpr int kMaxRedirects = 10;

// Bodies larger than this are abandoned (the result is kTooLarge, no body).
// Changeable for tests; the default is 256 MiB.
void SetResponseBodyCap(size_t bytes);
size_t ResponseBodyCap();

// `url` with every byte outside printable ASCII percent-encoded.
std::string WireUrl(const std::string& url);

// A header line as it goes on the wire: ASCII only. The Referer's address is
// written as the request line writes an address (WireUrl); in any other line
// a byte outside printable ASCII (a tab aside) is percent-encoded.
std::string WireHeaderLine(std::string_view line);

// Returns true iff `url` starts with http:// or https:// (any letter case).
bool IsHttpUrl(const std::string& url);

// Performs one request on the calling thread. Never throws.
HttpTransferResult PerformHttpTransfer(const HttpTransferRequest& request);

// The signed-in visitor's cookies the program was given at start, as
// Netscape cookie-file lines ("domain TAB subdomains TAB path TAB secure TAB
// expiry TAB name TAB value", "#HttpOnly_" allowed before the domain). They
// go into the process-wide jar at once, and into the private jar of every
// kTransferOnly transfer (each WinHttp request object is its own session,
// yet a signed-in visitor's requests all carry the sign-in). libcurl picks
// which of them a request sends by domain, path, secure flag and expiry. A
// later call replaces the lines kTransferOnly transfers get; the jar keeps
// what it was given until ClearProcessCookies.
// Design note: the alternative, a Cookie header built by the request layer,
// would have to repeat libcurl's matching rules and would also be sent to
// hosts a redirect leads to; giving libcurl the cookies keeps one set of rules.
//
// While any preset cookie is in use, every transfer keeps the sign-in off
// the open network, whatever its request asks (flags, WinHttp option 4):
//   - an http:// address goes out as https:// (same host; same port when one
//     is named, except http's own 80, which becomes https's own 443) when
//     the request would carry a cookie: its host is one of
//     `service_hosts` ("host" or "host:port"), a preset cookie goes to it,
//     or a Cookie header line is given;
//   - every other http:// transfer sends and keeps no cookie at all;
//   - every https:// transfer checks the certificate, peer and host name,
//     and follows no redirect to http://.
// A certificate that fails the checks fails the transfer (kCertificate);
// nothing is ever asked again over http. Cookies for another host reached by
// a redirect are libcurl's to withhold: it sends a cookie only to the hosts
// the cookie is for, and a given Cookie line only to the host first asked.
// Design note: upgrading in the transport, under both request operations,
// rather than in their callers, keeps one rule for every address the
// program meets, those read from the service's answers included.
void SetPresetCookies(std::vector<std::string> netscape_lines,
                      std::vector<std::string> service_hosts = {});

// The certificate authorities (a PEM file) every checked https transfer
// trusts, in place of the system's store; "" goes back to the system's.
// For a stand-in of the service with its own authority, or a network whose
// proxy presents certificates of the organisation's own authority.
void SetCertificateAuthorities(std::string pem_file);

// Forgets every cookie of the process-wide jar and the preset cookies, and so
// ends the signed-in rules (tests).
void ClearProcessCookies();

}  // namespace platform

#endif  // TIEPIC_PLATFORM_HTTP_TRANSPORT_CURL_H_
