// The signed-in visitor's cookie file: a Netscape cookies.txt, as browsers'
// cookie-export extensions write it, read at start into the request layer so
// that the service answers as it answers a signed-in visitor.
//
//   FIELD (tab-separated)  MEANING
//   domain                 "#HttpOnly_" may come first; a leading "." also
//                          means the cookie goes to subdomains
//   include_subdomains     TRUE or FALSE
//   path                   starts with "/"
//   secure                 TRUE or FALSE
//   expiry                 seconds since 1970; 0 for a session cookie
//   name, value            the value may be empty (the field may be missing)
//
// Lines starting with "#" (other than "#HttpOnly_") and blank lines are
// skipped; CR LF line ends are taken. Recovery rule: a line that does not
// have the fields above is skipped and counted, and reading goes on, so one
// torn line costs one cookie, never the file.
//
// Cookie values are secrets: nothing here logs or writes them.
//
// Thread safety: pure functions, except LoadCookieFile, which replaces the
// process-wide preset cookies (call it at start, before any request).
#ifndef TIEPIC_WEB_COOKIE_FILE_H_
#define TIEPIC_WEB_COOKIE_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace web {

struct CookieEntry {
  std::string domain;  // lower case, without "#HttpOnly_" and the leading "."
  bool include_subdomains = false;
  std::string path;
  bool secure = false;
  int64_t expiry = 0;  // 0: a session cookie
  bool http_only = false;
  std::string name;
  std::string value;
};

enum class CookieLineKind { kCookie, kSkipped /* comment or blank */, kBroken };

// One line of the file (without its line end; a final CR is dropped).
CookieLineKind ParseCookieLine(std::string_view line, CookieEntry* entry);

// Returns true iff a request to `host` (no port, lower case) would carry a
// cookie of `entry`'s domain: the host is the domain, or a subdomain of it
// when the cookie goes to subdomains. A one-label domain ("com") matches
// only a host of that very name.
bool CookieGoesTo(const CookieEntry& entry, std::string_view host);

// The entry as one Netscape line, for the transport.
std::string PrintCookieLine(const CookieEntry& entry);

struct CookieFileResult {
  enum class Status { kLoaded, kMissing, kUnreadable };
  Status status = Status::kMissing;
  int loaded = 0;        // cookies handed to the request layer
  int other_hosts = 0;   // cookies of hosts the program does not talk to
  int expired = 0;
  int broken_lines = 0;
  bool open_to_others = false;  // readable or writable by group or others
};

// Reads `path` (UTF-8) and hands the cookies for `hosts` (host names, a
// ":port" is ignored) that have not expired at `now` (seconds since 1970) to
// the request layer, replacing earlier preset cookies. Cookies of other
// domains are left out: the file often holds a whole browser's cookies, and
// only the service's hosts need them. Once one cookie is loaded, requests to
// `hosts` and to the cookies' domains go over checked https only (see
// platform::SetPresetCookies).
CookieFileResult LoadCookieFile(const std::string& path, const std::vector<std::string>& hosts,
                                int64_t now);

}  // namespace web

#endif  // TIEPIC_WEB_COOKIE_FILE_H_
