// Address splitting, markers, cookies, the random token and the responsive
// wait, over the runtime's text commands.
#include "web/request_helpers.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <random>
#include <thread>
#include <unordered_set>
#include <vector>

#include "platform/http_transport_curl.h"
#include "runtime/conversion_commands.h"
#include "runtime/gbk.h"
#include "runtime/text_commands.h"

namespace web {
namespace {

using rt::operator""_gbk;

Text QuoteMarker(std::string_view marker) {
  return rt::ReplaceText(marker, "#引号"_gbk, "\"", {}, {}, /*case_sensitive=*/true);
}

Text CookieName(std::string_view item) {
  int eq = rt::FindText(item, "=");
  return rt::TrimText(eq > 0 ? item.substr(0, eq - 1) : item);
}

void SleepSlice(int64_t max_ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(max_ms, 50)));
}

std::atomic<EventWaitHook> g_wait_hook{&SleepSlice};

}  // namespace

Text TextBetween(std::string_view text, std::string_view left, std::string_view right,
                 std::optional<int> start, bool ignore_case) {
  Text l = QuoteMarker(left);
  Text r = QuoteMarker(right);
  int from = rt::FindText(text, l, start, ignore_case);
  if (from <= 0) return {};
  int inner = from + static_cast<int>(l.size());
  int to = rt::FindText(text, r, inner, ignore_case);
  if (to <= 0) return {};
  return rt::MidText(text, inner, to - inner);
}

Text HeaderName(std::string_view line) {
  int colon = rt::FindText(line, ":");
  return colon > 0 ? rt::TrimText(line.substr(0, colon - 1)) : Text();
}

Text HeaderValue(std::string_view line) {
  int colon = rt::FindText(line, ":");
  return colon > 0 ? rt::TrimText(line.substr(colon)) : Text();
}

Text UrlHost(std::string_view address, bool keep_port) {
  Text url = rt::ToLowerCase(address);
  if (url.empty() || url.back() != '/') url += '/';
  Text host;
  if (url.starts_with("https://")) {
    host = TextBetween(url, "https://", "/");
  } else {
    // Only a leading scheme counts: an "http://" inside the query of an
    // address without scheme must not be taken for the host.
    if (!url.starts_with("http://")) url.insert(0, "http://");
    host = TextBetween(url, "http://", "/");
  }
  if (!keep_port) {
    int colon = rt::FindText(host, ":");
    if (colon > 0) host.resize(colon - 1);
  }
  return host;
}

int UrlPort(std::string_view address) {
  Text host = UrlHost(address, true);
  int colon = rt::FindTextReverse(host, ":");
  if (colon <= 0) return rt::ToLowerCase(rt::LeftText(address, 5)) == "https" ? 443 : 80;
  return rt::ToInteger(rt::Value(host.substr(colon)));
}

Text UrlPath(std::string_view address) {
  // The host is sought after the scheme, so that a host such as "h" is not
  // found inside "http".
  Text lower = rt::ToLowerCase(rt::LeftText(address, 8));
  int from = lower.starts_with("https://") ? 9 : lower.starts_with("http://") ? 8 : 1;
  int at = rt::FindText(address, UrlHost(address), from, /*ignore_case=*/true);
  int slash = rt::FindText(address, "/", at);
  if (slash <= 0) return "/";
  return Text(address.substr(slash - 1));
}

bool IsHttpAddress(std::string_view address) {
  for (unsigned char c : address) {
    if (c < 0x20 || c == 0x7F) return false;
  }
  size_t colon = address.find(':');
  if (colon == std::string_view::npos || colon == 0) return true;
  std::string_view scheme = address.substr(0, colon);
  for (char c : scheme) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '+' || c == '-' || c == '.';
    if (!ok) return true;  // not a scheme: a host with a port, or a path
  }
  std::string_view after = address.substr(colon + 1);
  size_t digits = after.find_first_not_of("0123456789");
  if (digits != 0 && (digits == std::string_view::npos || after[digits] == '/' ||
                      after[digits] == '?' || after[digits] == '#')) {
    return true;  // "host:81/..." names a port
  }
  Text lower = rt::ToLowerCase(scheme);
  return lower == "http" || lower == "https";
}

Text RemoveDuplicateItems(std::string_view text, std::string_view separator) {
  std::vector<Text> items = rt::SplitText(text, separator);
  std::unordered_set<std::string_view> seen;
  seen.reserve(items.size());
  Text out;
  for (const Text& item : items) {
    if (!seen.insert(item).second) continue;
    out += item;
    out += separator;
  }
  if (out.size() >= separator.size()) out.resize(out.size() - separator.size());
  return out;
}

Text MergeCookies(Text* cookies, Text* new_cookies) {
  *cookies = rt::RemoveSpaces(*cookies);
  *new_cookies = rt::RemoveSpaces(*new_cookies);
  std::vector<Text> merged = rt::SplitText(*new_cookies, ";");
  // An old cookie is kept only when no returned cookie and no earlier kept
  // one bears its name; each name is worked out once.
  std::unordered_set<Text> names;
  names.reserve(merged.size());
  for (const Text& item : merged) names.insert(CookieName(item));
  for (Text& item : rt::SplitText(*cookies, ";")) {
    if (names.insert(CookieName(item)).second) merged.push_back(std::move(item));
  }
  Text out;
  for (const Text& item : merged) {
    if (item.size() >= 8 && item.ends_with("=deleted")) continue;
    out += item;
    out += "; ";
  }
  if (out.size() >= 2) out.resize(out.size() - 2);
  *cookies = RemoveDuplicateItems(out, "; ");
  return *cookies;
}

Text CookiesFromHeaders(std::string_view raw_headers) {
  Text cookies;
  for (const Text& line : rt::SplitText(raw_headers, "\r\n")) {
    if (rt::FindText(line, "Set-Cookie") <= 0) continue;
    Text cookie = rt::FindText(line, ";") <= 0
                      ? rt::TrimText(rt::ReplaceText(line, "Set-Cookie:", ""))
                      : rt::TrimText(TextBetween(line, "Set-Cookie:", ";"));
    // A line break or NUL inside a cookie would later split the Cookie line
    // of every request it is sent with.
    if (cookie.find_first_of(std::string_view("\r\n\0", 3)) != Text::npos) continue;
    cookies += cookie + "; ";
  }
  if (cookies.size() >= 2) cookies.resize(cookies.size() - 2);
  return cookies;
}

int TimeoutMilliseconds(int seconds) {
  int64_t ms = int64_t{seconds} * 1000;
  return static_cast<int>(std::min<int64_t>(ms, std::numeric_limits<int32_t>::max()));
}

Text BodyText(const rt::Bytes& body) {
  return Text(body.begin(), std::find(body.begin(), body.end(), 0));
}

Text RandomText() {
  thread_local std::mt19937_64 generator = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(),
                       static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count())};
    return std::mt19937_64(seed);
  }();
  std::uniform_int_distribution<int> digit(0, 9);
  std::uniform_int_distribution<int> last(1, 9);
  Text token = "0.";
  for (int i = 0; i < 14; ++i) token += static_cast<char>('0' + digit(generator));
  token += static_cast<char>('0' + last(generator));
  return token;
}

bool WaitResponsive(int64_t amount, std::optional<int> unit) {
  static constexpr int64_t kUnitMs[] = {1, 1000, 60000, 3600000};
  int u = unit.value_or(0);
  int64_t per_unit = u >= 0 && u <= 3 ? kUnitMs[u] : 1;
  constexpr int64_t kLongest = int64_t{1} << 40;  // about 35 years
  int64_t total_ms = amount > 0 ? std::min(amount, kLongest / per_unit) * per_unit : 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(total_ms);
  platform::AbortSignal* signal = platform::CurrentAbortSignal();
  while (true) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now()).count();
    g_wait_hook.load()(std::max<int64_t>(left, 0));
    if (left <= 0 || (signal && signal->aborted())) break;
  }
  return true;
}

void SetEventWaitHook(EventWaitHook hook) { g_wait_hook.store(hook ? hook : &SleepSlice); }

}  // namespace web
