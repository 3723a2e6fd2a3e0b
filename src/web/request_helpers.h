// The small text routines the request layer is built from (address
// splitting, text between markers, header lines, cookie merging), the random
// token that keeps list addresses unique, and the wait that keeps the calling
// thread responsive. All texts are GBK.
//
// Thread safety: pure functions, except RandomText (one generator per
// thread) and the event-wait hook (set once at start-up, before any wait).
#ifndef TIEPIC_WEB_REQUEST_HELPERS_H_
#define TIEPIC_WEB_REQUEST_HELPERS_H_

#include <cstdint>
#include <optional>
#include <string_view>

#include "runtime/value.h"

namespace web {

using rt::Text;

// The text between the first `left` at or after `start` (1-based) and the
// first `right` after it; empty when either is missing. "#引号" in either
// marker stands for a double quote.
Text TextBetween(std::string_view text, std::string_view left, std::string_view right,
                 std::optional<int> start = {}, bool ignore_case = false);

// The trimmed text before / after the first ":" of a header line; empty
// when there is no ":".
Text HeaderName(std::string_view line);
Text HeaderValue(std::string_view line);

// The host of an address, lower-cased, without its port unless `keep_port`.
// An address without scheme is read as http.
Text UrlHost(std::string_view address, bool keep_port = false);
// The port of an address: the given one, else 443 for https and 80 otherwise.
int UrlPort(std::string_view address);
// The path with query, starting with "/", in the address's own letter case.
Text UrlPath(std::string_view address);

// Returns true iff the address names no scheme other than http or https
// ("host:81/a" names a port, not a scheme) and holds no control character
// (a line break in it would split the request and its Referer header).
bool IsHttpAddress(std::string_view address);

// Merges the cookies the server returned into `cookies`: spaces are removed
// from both (both variables receive that), a returned cookie replaces the
// old one of its name, old ones the server did not mention follow, cookies
// set to "deleted" are dropped and repeats removed. Returns the new cookies.
Text MergeCookies(Text* cookies, Text* new_cookies);

// `text` with every repeated item (between separators) removed, first
// occurrences kept in order.
Text RemoveDuplicateItems(std::string_view text, std::string_view separator);

// The cookies of the Set-Cookie lines of a raw header block, as
// "name=value; name=value"; a cookie holding CR, LF or NUL is left out.
Text CookiesFromHeaders(std::string_view raw_headers);

// `seconds` in milliseconds, at most INT32_MAX (about 24.8 days), so that a
// huge timeout stays huge rather than wrapping round. REQUIRES: seconds >= 0.
int TimeoutMilliseconds(int seconds);

// A body's bytes up to its first zero byte, as text, unchanged.
Text BodyText(const rt::Bytes& body);

// "0." and 15 random digits (the last never 0): a uniformly random fraction
// printed as a 17-character text.
Text RandomText();

// Waits `amount` units (0 ms, 1 s, 2 min, 3 h; others count as ms) while
// letting the calling thread's events run. Ends early when the thread's
// transfer abort signal fires. Always returns true.
bool WaitResponsive(int64_t amount, std::optional<int> unit = {});

// How WaitResponsive waits: the hook waits up to `max_ms` for events of the
// calling thread and runs those that arrive. The window frame installs its
// own at start-up; until then a plain sleep is used. Null restores it.
using EventWaitHook = void (*)(int64_t max_ms);
void SetEventWaitHook(EventWaitHook hook);

}  // namespace web

#endif  // TIEPIC_WEB_REQUEST_HELPERS_H_
