// The two request operations every page, list and picture goes through.
// Both perform one synchronous request on the calling thread with the
// program's default headers and return the body (empty on any failure).
// InetRequest runs over the WinINet-shaped functions (process-wide cookie
// jar); WinHttpObjectRequest over the automation bridge's HTTP request object
// (its own session per object).
//
// Beyond the classic behaviour: only http and https addresses are fetched,
// redirects stop after platform::kMaxRedirects, a body over the transport's
// cap is abandoned, a failed or cut transfer gives an empty body (never a
// truncated one), InetRequest gives up when the name lookup or the
// connection takes 30 s or the server is silent for 60 s, and a transfer
// ends promptly when the thread's platform::AbortSignal fires, even during a
// name lookup. While a cookie file is in use, no request carries a cookie
// over plain http or skips a certificate check, whatever its flags say
// (platform::SetPresetCookies); a certificate that fails the checks shows as
// RequestFailure::kCertificate. Header lines go out ASCII only, the Referer's
// address percent-encoded as the request line's is.
//
// Thread safety: may be called from any thread; the options' variables
// belong to the caller.
#ifndef TIEPIC_WEB_REQUESTS_H_
#define TIEPIC_WEB_REQUESTS_H_

#include <optional>
#include <string>
#include <string_view>

#include "automation/automation.h"
#include "runtime/value.h"

namespace web {

using rt::Bytes;
using rt::Text;

// Why a request brought no answer, as far as the caller can tell the user
// more than that nothing came.
enum class RequestFailure {
  kNone,           // an answer came, whatever its status
  kCertificate,    // the host's certificate failed the checks: nothing was sent
  kSecureChannel,  // no https connection came about (the host does not speak it)
  kTooLarge,       // the body was larger than any the program takes
  kTooSlow,        // the body came too slowly, or the transfer lasted too long
  kOther,          // no answer: no connection, a timeout, a stop, a bad address
};

// The optional arguments of both operations; a null pointer is an omitted
// option. The pointed-to variables are read and written as described.
struct RequestOptions {
  int method = 0;                        // 0 GET, 1 POST, 2 HEAD; others GET
  Text form_data{};
  Text agent{};                          // a User-Agent in place of the program's own;
                                         // a User-Agent line of extra_headers wins
  Text* cookies = nullptr;               // in and out
  Text* returned_cookies = nullptr;      // out
  Text* extra_headers = nullptr;         // in and out: the defaults are appended
  Text* returned_headers = nullptr;      // out: raw response headers
  int* status = nullptr;                 // out, WinHttpObjectRequest only
  Text* final_address = nullptr;         // out: where the answer came from, after
                                         // the redirects followed
  RequestFailure* failure = nullptr;     // out: why no answer came (kNone if one did)
  bool no_redirect = false;
  Bytes byte_data{};                     // takes precedence over form_data
  Text proxy{};                          // "host:port"
  int timeout = 0;                       // seconds, WinHttpObjectRequest only: -1 leaves
                                         // the object's, below 1 means 15
  Text proxy_user{};                       // WinHttpObjectRequest only
  Text proxy_password{};
  std::optional<int> proxy_credential_flag{};
  const automation::ObjectSlot* request_object = nullptr;  // reused instead of a new object
};

rt::Bytes InetRequest(std::string_view address, const RequestOptions& options = {});
rt::Bytes WinHttpObjectRequest(std::string_view address, const RequestOptions& options = {});

// Adds the default header lines the operation sends (Accept, Referer,
// Accept-Language, User-Agent when `with_agent`, Content-Type), each only
// when `headers` does not already name it (case-sensitive).
void AddDefaultHeaders(Text* headers, std::string_view address, bool with_agent);

// The certificate authorities (a PEM file, UTF-8 path) every checked https
// request trusts in place of the system's store; "" for the system's.
// Returns true iff `pem_file` is "" or a file that can be read (an unreadable
// one is still used: every checked request then fails its check).
bool SetCertificateAuthorities(const std::string& pem_file);

inline constexpr char kDefaultAgent[] = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

}  // namespace web

#endif  // TIEPIC_WEB_REQUESTS_H_
