// The WinINet-shaped functions the request layer is written against, carried
// over libcurl: an Internet handle holds the agent and proxy, a connection
// the host and port, a request the method, path and flags; sending performs
// the whole transfer, reading hands the body out in the caller's chunks.
// Cookies go to and come from one process-wide jar unless the request has
// kInternetFlagNoCookies, as the system's own store would behave. While a
// visitor is signed in, the transport's rules outrank the flags: no cookie
// over plain http, no certificate error ignored (see SetPresetCookies).
//
// Handles are checked against a registry, so a closed or made-up handle
// fails the call instead of crashing. Failures set the calling thread's
// InetLastError().
//
// Thread safety: every function may be called from any thread; one handle
// must not be used by two threads at once.
#ifndef TIEPIC_PLATFORM_WININET_CURL_H_
#define TIEPIC_PLATFORM_WININET_CURL_H_

#include <cstdint>

namespace platform {

using HInternet = void*;

inline constexpr uint32_t kInternetOpenTypeDirect = 1;
inline constexpr uint32_t kInternetOpenTypeProxy = 3;
inline constexpr uint32_t kInternetServiceHttp = 3;

inline constexpr uint32_t kInternetFlagReload = 0x80000000;
inline constexpr uint32_t kInternetFlagSecure = 0x00800000;
inline constexpr uint32_t kInternetFlagNoAutoRedirect = 0x00200000;
inline constexpr uint32_t kInternetFlagNoCookies = 0x00080000;
inline constexpr uint32_t kInternetFlagNeedFile = 0x00000010;
inline constexpr uint32_t kInternetFlagIgnoreRedirectToHttps = 0x00004000;
inline constexpr uint32_t kInternetFlagIgnoreRedirectToHttp = 0x00008000;
inline constexpr uint32_t kInternetFlagIgnoreCertCnInvalid = 0x00001000;
inline constexpr uint32_t kInternetFlagIgnoreCertDateInvalid = 0x00002000;

inline constexpr uint32_t kHttpQueryContentLength = 5;
inline constexpr uint32_t kHttpQueryStatusCode = 19;
inline constexpr uint32_t kHttpQueryRawHeadersCrlf = 22;
inline constexpr uint32_t kHttpQueryFlagNumber = 0x20000000;
inline constexpr uint32_t kInternetOptionUrl = 34;

inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorInsufficientBuffer = 122;
inline constexpr uint32_t kErrorInternetTimeout = 12002;
inline constexpr uint32_t kErrorInternetCannotConnect = 12029;
inline constexpr uint32_t kErrorInternetOperationCancelled = 12017;
inline constexpr uint32_t kErrorInternetUnrecognizedScheme = 12006;
inline constexpr uint32_t kErrorInternetInvalidOperation = 12016;
inline constexpr uint32_t kErrorInternetDisconnected = 12163;
// The server's certificate failed the checks (untrusted, expired or for
// another name), and no TLS connection came about at all.
inline constexpr uint32_t kErrorInternetSecCertErrors = 12055;
inline constexpr uint32_t kErrorInternetSecurityChannelError = 12157;

// The connect and stall timeouts of every request made through these
// functions (process-wide; the defaults are 30 s and 60 s). The name lookup
// and the connection each get the connect timeout; sending the request and
// receiving the response each end after the stall timeout of silence.
// 0 means no limit.
void SetInetTimeouts(int64_t connect_ms, int64_t stall_ms);

// The calling thread's error code of its last failed call.
uint32_t InetLastError();

// Returns a new Internet handle, or null. `proxy` is "host:port" or a list of
// "http=host:port" / "https=host:port" items separated by spaces.
HInternet InternetOpenA(const char* agent, uint32_t access_type, const char* proxy,
                        const char* proxy_bypass, uint32_t flags);

HInternet InternetConnectA(HInternet internet, const char* server_name, uint16_t server_port,
                           const char* user_name, const char* password, uint32_t service,
                           uint32_t flags, uintptr_t context);

// `object_name` is the path with query, beginning with "/".
HInternet HttpOpenRequestA(HInternet connection, const char* verb, const char* object_name,
                           const char* version, const char* referrer,
                           const char* const* accept_types, uint32_t flags, uintptr_t context);

// Sends the request and receives the whole response. `headers` holds header
// lines separated by CR LF (`headers_length` 0xFFFFFFFF: up to its NUL);
// `optional` is the body of a POST. Returns true iff a response arrived.
bool HttpSendRequestA(HInternet request, const char* headers, uint32_t headers_length,
                      const void* optional, uint32_t optional_length);

// Copies up to `to_read` further body bytes; *read is 0 at the end. Returns
// false (with *read 0) when the request was never sent successfully.
bool InternetReadFile(HInternet request, void* buffer, uint32_t to_read, uint32_t* read);

// kHttpQueryRawHeadersCrlf: the status line and header lines of the final
// response, NUL-terminated. kHttpQueryStatusCode: the status as text, or as
// a uint32_t with kHttpQueryFlagNumber. kHttpQueryContentLength: the length
// of the body received (the whole body is held once sent), likewise. When the buffer is too small, returns
// false with kErrorInsufficientBuffer and the size needed in *buffer_length.
bool HttpQueryInfoA(HInternet request, uint32_t info_level, void* buffer,
                    uint32_t* buffer_length, uint32_t* index);

// kInternetOptionUrl on a request that was sent: the address its answer came
// from, after the redirects followed, NUL-terminated. Sizes as HttpQueryInfoA.
// Other options fail with kErrorInternetInvalidOperation.
bool InternetQueryOptionA(HInternet request, uint32_t option, void* buffer,
                          uint32_t* buffer_length);

// Returns true iff `handle` was open; it is closed and freed either way.
bool InternetCloseHandle(HInternet handle);

}  // namespace platform

#endif  // TIEPIC_PLATFORM_WININET_CURL_H_
