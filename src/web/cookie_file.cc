// Reading the Netscape cookie file and handing the service's cookies to the
// transport.
#include "web/cookie_file.h"

#include <charconv>
#include <filesystem>
#include <fstream>

#include "platform/http_transport_curl.h"

namespace web {
namespace {

constexpr std::string_view kHttpOnlyPrefix = "#HttpOnly_";

bool ParseFlag(std::string_view text, bool* flag) {
  if (text == "TRUE") *flag = true;
  else if (text == "FALSE") *flag = false;
  else return false;
  return true;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// A host as the settings give it: without ":port", lower case.
std::string BareHost(std::string_view host) {
  if (size_t colon = host.rfind(':'); colon != std::string_view::npos) host = host.substr(0, colon);
  return Lower(host);
}

}  // namespace

CookieLineKind ParseCookieLine(std::string_view line, CookieEntry* entry) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.find_first_not_of(" \t") == std::string_view::npos) return CookieLineKind::kSkipped;
  *entry = {};
  if (line.starts_with(kHttpOnlyPrefix)) {
    entry->http_only = true;
    line.remove_prefix(kHttpOnlyPrefix.size());
  } else if (line.front() == '#') {
    return CookieLineKind::kSkipped;
  }
  std::vector<std::string_view> fields;
  for (size_t start = 0;;) {
    size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  // The value may be missing altogether (an empty value at the line's end).
  if (fields.size() == 6) fields.emplace_back();
  if (fields.size() != 7) return CookieLineKind::kBroken;
  std::string_view domain = fields[0];
  if (domain.starts_with('.')) domain.remove_prefix(1);
  const std::string_view expiry = fields[4];
  auto [end, ec] = std::from_chars(expiry.data(), expiry.data() + expiry.size(), entry->expiry);
  const bool ok = !domain.empty() && ParseFlag(fields[1], &entry->include_subdomains) &&
                  fields[2].starts_with('/') && ParseFlag(fields[3], &entry->secure) &&
                  !expiry.empty() && ec == std::errc() &&
                  end == expiry.data() + expiry.size() && entry->expiry >= 0 &&
                  !fields[5].empty() &&
                  fields[6].find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos &&
                  domain.find_first_of(" ;,") == std::string_view::npos;
  if (!ok) return CookieLineKind::kBroken;
  entry->include_subdomains = entry->include_subdomains || fields[0].starts_with('.');
  entry->domain = Lower(domain);
  entry->path = fields[2];
  entry->name = fields[5];
  entry->value = fields[6];
  return CookieLineKind::kCookie;
}

bool CookieGoesTo(const CookieEntry& entry, std::string_view host) {
  if (host == entry.domain) return true;
  if (!entry.include_subdomains || entry.domain.find('.') == std::string::npos) return false;
  return host.size() > entry.domain.size() + 1 && host.ends_with(entry.domain) &&
         host[host.size() - entry.domain.size() - 1] == '.';
}

std::string PrintCookieLine(const CookieEntry& entry) {
  std::string line = entry.http_only ? std::string(kHttpOnlyPrefix) : std::string();
  line += (entry.include_subdomains ? "." : "") + entry.domain;
  line += entry.include_subdomains ? "\tTRUE\t" : "\tFALSE\t";
  line += entry.path + (entry.secure ? "\tTRUE\t" : "\tFALSE\t");
  line += std::to_string(entry.expiry) + "\t" + entry.name + "\t" + entry.value;
  return line;
}

CookieFileResult LoadCookieFile(const std::string& path, const std::vector<std::string>& hosts,
                                int64_t now) {
  namespace fs = std::filesystem;
  CookieFileResult result;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::exists(status)) return result;  // kMissing
  result.status = CookieFileResult::Status::kUnreadable;
  if (!fs::is_regular_file(status)) return result;
  using fs::perms;
  result.open_to_others =
      (status.permissions() & (perms::group_all | perms::others_all)) != perms::none;
  // A browser's whole export stays far below this; a larger file is not a
  // cookie file, and reading it would hold the program up at start.
  constexpr uintmax_t kLargest = 16 << 20;
  const uintmax_t size = fs::file_size(path, ec);
  if (ec || size > kLargest) return result;
  std::ifstream in(path, std::ios::binary);
  if (!in) return result;
  std::vector<std::string> bare_hosts;
  for (const std::string& h : hosts) {
    if (!h.empty()) bare_hosts.push_back(BareHost(h));
  }
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    CookieEntry entry;
    switch (ParseCookieLine(line, &entry)) {
      case CookieLineKind::kSkipped:
        continue;
      case CookieLineKind::kBroken:
        ++result.broken_lines;
        continue;
      case CookieLineKind::kCookie:
        break;
    }
    bool wanted = false;
    for (const std::string& h : bare_hosts) wanted = wanted || CookieGoesTo(entry, h);
    if (!wanted) {
      ++result.other_hosts;
    } else if (entry.expiry != 0 && entry.expiry <= now) {
      ++result.expired;
    } else {
      lines.push_back(PrintCookieLine(entry));
    }
  }
  if (in.bad()) return result;  // kUnreadable: nothing handed over
  result.status = CookieFileResult::Status::kLoaded;
  result.loaded = static_cast<int>(lines.size());
  platform::SetPresetCookies(std::move(lines), bare_hosts);
  return result;
}

}  // namespace web
