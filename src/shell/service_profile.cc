// The service profile: the built-in one, its text, and profile files.
#include "shell/service_profile.h"

#include <algorithm>
#include <charconv>
#include <variant>
#include <vector>

#include "platform/codepage.h"
#include "platform/ini_file.h"
#include "platform/regex_pcre2.h"
#include "runtime/conversion_commands.h"
#include "runtime/gbk.h"
#include "runtime/text_commands.h"
#include "web/request_helpers.h"

namespace shell {
namespace {

enum class Form {
  kQuery,    // follows a path: starts with '&', {names} of its own
  kPath,     // on a host: starts with '/', {names} of its own
  kMember,   // JSON member names joined by "." and "|"
  kKey,      // a member name with {n}
  kMarker,   // BEFORE*AFTER, alternatives joined by "|"; blanks allowed
  kPattern,  // a regular expression with at least three groups; blanks allowed
  kCount,    // a whole number in [low, high]
  kText,     // any printable text; blanks allowed
  kChoice,   // one of the names
  kOrder,    // names joined by ",", each at most once
};

// One key of a profile file: its interface, name, form, the {names} it may
// hold or the range of its number, and where its value lives.
struct Key {
  std::string_view section;
  std::string_view name;
  Form form;
  std::vector<std::string_view> names;
  int low = 0, high = 0;
  using Field = std::variant<std::string ServiceProfile::*, int ServiceProfile::*>;
  Field field;
};

const std::vector<Key>& Keys() {
  using P = ServiceProfile;
  using F = Form;
  static const std::vector<Key> keys = {
      {"board", "title", F::kMarker, {}, 0, 0, &P::board_title},
      {"albums", "path", F::kPath, {}, 0, 0, &P::albums_path},
      {"albums", "query", F::kQuery, {"page", "page_size", "random"}, 0, 0, &P::albums_query},
      {"albums", "page_size", F::kCount, {}, 1, 100, &P::albums_page_size},
      {"albums", "total", F::kMarker, {}, 0, 0, &P::albums_total},
      {"albums", "entry", F::kPattern, {}, 0, 0, &P::albums_entry},
      {"thread", "path", F::kPath, {"tid"}, 0, 0, &P::thread_path},
      {"thread", "board", F::kMarker, {}, 0, 0, &P::thread_board},
      {"thread", "title", F::kMarker, {}, 0, 0, &P::thread_title},
      {"list", "path", F::kPath, {}, 0, 0, &P::list_path},
      {"list", "query", F::kQuery, {"page_size", "tid", "page", "random"}, 0, 0, &P::list_query},
      {"list", "total_query", F::kQuery, {"tid", "random"}, 0, 0, &P::list_total_query},
      {"list", "page_size", F::kCount, {}, 1, 1000, &P::list_page_size},
      {"list", "pictures", F::kMember, {}, 0, 0, &P::list_pictures},
      {"list", "id", F::kMember, {}, 0, 0, &P::list_id},
      {"list", "description", F::kMember, {}, 0, 0, &P::list_description},
      {"list", "total", F::kMarker, {}, 0, 0, &P::list_total},
      {"list", "width", F::kMember, {}, 0, 0, &P::list_width},
      {"list", "height", F::kMember, {}, 0, 0, &P::list_height},
      {"list", "agent", F::kChoice, {"old", "current"}, 0, 0, &P::list_agent},
      {"guide", "path", F::kPath, {}, 0, 0, &P::guide_path},
      {"guide",
       "query",
       F::kQuery,
       {"tid", "see_lz", "next", "cursor", "random"},
       0,
       0,
       &P::guide_query},
      {"guide", "next", F::kCount, {}, 2, 1000, &P::guide_next},
      {"guide", "pictures", F::kMember, {}, 0, 0, &P::guide_pictures},
      {"guide", "key", F::kKey, {"n"}, 0, 0, &P::guide_key},
      {"guide", "id", F::kMember, {}, 0, 0, &P::guide_id},
      {"guide", "address", F::kMember, {}, 0, 0, &P::guide_address},
      {"guide", "description", F::kMember, {}, 0, 0, &P::guide_description},
      {"guide", "amount", F::kMember, {}, 0, 0, &P::guide_amount},
      {"guide", "sep", F::kMember, {}, 0, 0, &P::guide_sep},
      {"guide", "forum", F::kMember, {}, 0, 0, &P::guide_forum},
      {"guide", "width", F::kMember, {}, 0, 0, &P::guide_width},
      {"guide", "height", F::kMember, {}, 0, 0, &P::guide_height},
      {"picture", "path", F::kPath, {"id"}, 0, 0, &P::picture_path},
      {"version", "newest", F::kMarker, {"key"}, 0, 0, &P::version_newest},
      {"waits", "after_page_ms", F::kCount, {}, 0, 600000, &P::wait_after_page_ms},
      {"waits", "after_picture_ms", F::kCount, {}, 0, 600000, &P::wait_after_picture_ms},
      {"album_tab", "query", F::kQuery, {}, 0, 0, &P::album_tab_query},
      {"album_tab", "comment", F::kMarker, {}, 0, 0, &P::album_tab_comment},
      {"album_tab", "entry", F::kPattern, {}, 0, 0, &P::album_tab_entry},
      {"share", "path", F::kPath, {}, 0, 0, &P::share_path},
      {"share", "query", F::kQuery, {"board"}, 0, 0, &P::share_query},
      {"share", "fid", F::kMember, {}, 0, 0, &P::share_fid},
      {"picpage", "path", F::kPath, {}, 0, 0, &P::picpage_path},
      {"picpage", "fields", F::kQuery, {}, 0, 0, &P::picpage_fields},
      {"picpage", "next", F::kCount, {}, 2, 100, &P::picpage_next},
      {"picpage", "sign_key", F::kText, {}, 0, 0, &P::picpage_sign_key},
      {"picpage", "error", F::kMember, {}, 0, 0, &P::picpage_error},
      {"picpage", "message", F::kMember, {}, 0, 0, &P::picpage_message},
      {"picpage", "rate_limit", F::kCount, {}, 1, 999999999, &P::picpage_rate_limit},
      {"picpage", "forum_name", F::kMember, {}, 0, 0, &P::picpage_forum_name},
      {"picpage", "amount", F::kMember, {}, 0, 0, &P::picpage_amount},
      {"picpage", "pictures", F::kMember, {}, 0, 0, &P::picpage_pictures},
      {"picpage", "index", F::kMember, {}, 0, 0, &P::picpage_index},
      {"picpage", "id", F::kMember, {}, 0, 0, &P::picpage_id},
      {"picpage", "address", F::kMember, {}, 0, 0, &P::picpage_address},
      {"picpage", "width", F::kMember, {}, 0, 0, &P::picpage_width},
      {"picpage", "height", F::kMember, {}, 0, 0, &P::picpage_height},
      {"agents", "current", F::kText, {}, 0, 0, &P::agent_current},
      {"order", "albums", F::kOrder, {"albums", "album_tab"}, 0, 0, &P::order_albums},
      {"order", "album", F::kOrder, {"list", "guide", "picpage"}, 0, 0, &P::order_album},
      {"order", "thread", F::kOrder, {"guide", "picpage"}, 0, 0, &P::order_thread},
      {"order",
       "thread_board",
       F::kOrder,
       {"page", "guide", "picpage"},
       0,
       0,
       &P::order_thread_board},
  };
  return keys;
}

// The {names} a key's value must hold: without them every page or picture
// would be asked at one address.
constexpr std::string_view kRequired[][3] = {
    {"albums", "query", "page"}, {"thread", "path", "tid"},   {"list", "query", "page"},
    {"list", "query", "tid"},    {"list", "total_query", "tid"}, {"guide", "query", "tid"},
    {"guide", "query", "cursor"}, {"picture", "path", "id"},
};

constexpr std::string_view kComments[][2] = {
    {"board", "; The board's own page (the address given): its title."},
    {"albums",
     "; The board's album list, page by page: the board's address with `path` in place of\r\n"
     "; its /f, then `query`. `entry` finds one album (groups: 1 count, 2 id, 3 name)."},
    {"thread", "; A thread's page: the board it belongs to and its title."},
    {"list",
     "; The picture list of a board album, page by page (the board's address with `path`\r\n"
     "; in place of its /f, then query); an entry of `pictures` names its picture by `id`."},
    {"guide",
     "; The picture guide of a thread: each page is asked around the last picture shown\r\n"
     "; ({cursor}); `pictures` is a map whose entries are keyed by `key`."},
    {"picture", "; A picture's address on the picture host, where an entry names none."},
    {"version", "; The version page, whose address is [service] version_page of the settings."},
    {"waits", "; The pauses the service asks for, in milliseconds."},
    {"album_tab",
     "; The board page's album tab (the board's address, then `query`), asked when the\r\n"
     "; album list does not answer: the album HTML stands inside `comment`, and `entry`\r\n"
     "; finds one album (groups: 1 count, 2 id, 3 name). Follows public reports."},
    {"share", "; The board's forum id by its name, for the client's picture page. Follows public reports."},
    {"picpage",
     "; The mobile client's picture page of a thread (POST to [service] client_address\r\n"
     "; with `path`), window by window from a cursor picture; `fields` go with every\r\n"
     "; request, and the request is signed with `sign_key`. Follows public reports."},
    {"agents", "; The User-Agent the newer interfaces (album_tab, share, picpage) are asked with."},
    {"order",
     "; Which interfaces are tried, first to last, each when the one before answers a\r\n"
     "; security check, a page or an error instead; one left out is not asked."},
};

// A marker's alternatives, as "|" parts them.
std::vector<std::string_view> Alternatives(std::string_view marker) {
  std::vector<std::string_view> alternatives;
  for (size_t start = 0; start <= marker.size();) {
    const size_t end = std::min(marker.find('|', start), marker.size());
    alternatives.push_back(marker.substr(start, end - start));
    start = end + 1;
  }
  return alternatives;
}

std::string Joined(const std::vector<std::string_view>& names) {
  std::string text;
  for (const std::string_view name : names) text += (text.empty() ? "" : ", ") + std::string(name);
  return text;
}

bool IsNameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Returns "" when every "{name}" of `text` is one of `names` and braces
// pair up; else what is wrong.
std::string CheckNames(std::string_view text, const std::vector<std::string_view>& names) {
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '}') return "a '}' without its '{'";
    if (text[at] != '{') continue;
    const size_t close = text.find('}', at);
    if (close == std::string_view::npos) return "a '{' without its '}'";
    const std::string_view name = text.substr(at + 1, close - at - 1);
    if (std::find(names.begin(), names.end(), name) == names.end())
      return "unknown {" + std::string(name) + "}";
    at = close;
  }
  return {};
}

// Returns "" when `value` fits `key`'s form; else what is wrong.
std::string Check(const Key& key, std::string_view value) {
  if (value.empty()) return "an empty value";
  const bool blanks =
      key.form == Form::kMarker || key.form == Form::kPattern || key.form == Form::kText;
  for (char c : value) {
    if (static_cast<unsigned char>(c) < ' ' || c == 0x7f || (c == ' ' && !blanks))
      return "a blank or control character";
  }
  switch (key.form) {
    case Form::kQuery:
    case Form::kPath:
      if (value.front() != (key.form == Form::kQuery ? '&' : '/'))
        return key.form == Form::kQuery ? "a query must start with '&'"
                                        : "a path must start with '/'";
      if (value.find("//") != std::string_view::npos || value.find('\\') != std::string_view::npos)
        return "a profile names no host";
      if (value.find('#') != std::string_view::npos) return "a '#' in an address";
      if (key.form == Form::kPath && value.find('?') != std::string_view::npos)
        return "a '?' in a path";
      return CheckNames(value, key.names);
    case Form::kMember:
    case Form::kKey: {
      if (key.form == Form::kKey) {
        if (std::string why = CheckNames(value, key.names); !why.empty()) return why;
        if (value.find("{n}") == std::string_view::npos) return "the key must hold {n}";
        return {};
      }
      size_t start = 0;
      for (size_t i = 0; i <= value.size(); ++i) {
        if (i < value.size() && value[i] != '.' && value[i] != '|') {
          if (!IsNameByte(value[i]) && value[i] != '#') return "a member path of names . and |";
          continue;
        }
        if (i == start) return "an empty member name";
        start = i + 1;
      }
      return {};
    }
    case Form::kMarker:
      for (const std::string_view alternative : Alternatives(value)) {
        if (std::count(alternative.begin(), alternative.end(), '*') != 1)
          return "each marker holds one '*' between the texts around what it finds";
      }
      return key.names.empty() ? std::string() : CheckNames(value, key.names);
    case Form::kPattern: {
      platform::Regex16 regex;
      if (!regex.Compile(platform::MultiByteToWide(platform::CodePage::kUtf8, value), false,
                         false)) {
        return "a pattern that does not compile";
      }
      if (regex.capture_count() < 3) return "a pattern of at least three groups";
      return {};
    }
    case Form::kCount: {
      int number = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
      if (error != std::errc() || end != value.data() + value.size() || number < key.low ||
          number > key.high) {
        return "a whole number from " + std::to_string(key.low) + " to " + std::to_string(key.high);
      }
      return {};
    }
    case Form::kText:
      return {};
    case Form::kChoice:
      if (std::find(key.names.begin(), key.names.end(), value) == key.names.end())
        return "one of " + Joined(key.names);
      return {};
    case Form::kOrder: {
      const std::vector<std::string> names = OrderOf(value);
      for (size_t i = 0; i < names.size(); ++i) {
        if (std::find(key.names.begin(), key.names.end(), names[i]) == key.names.end())
          return "names of " + Joined(key.names) + " joined by \",\"";
        if (std::find(names.begin(), names.begin() + i, names[i]) != names.begin() + i)
          return names[i] + " named twice";
      }
      return {};
    }
  }
  return {};
}

void Set(ServiceProfile& profile, const Key& key, std::string_view value) {
  if (const auto* text = std::get_if<std::string ServiceProfile::*>(&key.field)) {
    profile.*(*text) = std::string(value);
  } else {
    std::from_chars(value.data(), value.data() + value.size(),
                    profile.*(std::get<int ServiceProfile::*>(key.field)));
  }
}

std::string Get(const ServiceProfile& profile, const Key& key) {
  if (const auto* text = std::get_if<std::string ServiceProfile::*>(&key.field))
    return profile.*(*text);
  return std::to_string(profile.*(std::get<int ServiceProfile::*>(key.field)));
}

}  // namespace

const ServiceProfile& BuiltInProfile() {
  static const ServiceProfile profile = {
      .board_title = "<title>*</title>",
      .albums_path = "/photo/g",
      .albums_query = "&alt=jview&pn={page}&rn={page_size}&cat_id=all&_={random}",
      .albums_page_size = 30,
      // The album list's HTML stands inside a JSON string: its quotes are \".
      .albums_total =
          R"m(<span class=\"catalog_a_inner\">全部<span class=\"catalog_a_amount\">(*)</span></span>)m",
      .albums_entry =
          R"re(<span class=\\"grbm_ele_pic_amount \\">(.*?)<span class=\\"grbm_ele_pic_amount_letter\\">张</span></span></a>)re"
          "          "
          R"re(<div class=\\"grbm_ele_title\\"><a hidefocus=\\"true\\" target=\\"_blank\\" href=\\"/p/(.*?)\\" title=\\"(.*?)\\">(.*?)</a></div>)re",
      .thread_path = "/p/{tid}",
      .thread_board = "meta furl=\"*\" fname=",
      .thread_title = "title: \"*\"|title:\"*\"|<title>*_百度贴吧",
      .list_path = "/photo/g/bw/picture/list",
      .list_query =
          "&alt=jview&rn={page_size}&tid={tid}&pn={page}&ps=1&pe={page_size}"
          "&wall_type=v&_={random}",
      .list_total_query = "&alt=jview&rn=1&tid={tid}&pn=1&ps=0&pe=1&wall_type=v&_={random}",
      .list_page_size = 200,
      .list_pictures = "data.pic_list",
      .list_id = "pic_id",
      .list_description = "descr",
      .list_total = "\"total_page\":*,",
      .list_width = "width",
      .list_height = "height",
      .list_agent = "old",
      .guide_path = "/photo/bw/picture/guide",
      .guide_query =
          "&ie=utf-8&fp=1&tid={tid}&see_lz={see_lz}&from_page=0&alt=jview"
          "&next={next}&prev=1&pic_id={cursor}&_={random}",
      .guide_next = 50,
      .guide_pictures = "data.pic_list",
      .guide_key = "#{n}",
      .guide_id = "img.screen.id",
      .guide_address = "img.screen.waterurl",
      .guide_description = "descr",
      .guide_amount = "data.pic_amount",
      .guide_sep = "data.has_sep",
      .guide_forum = "data.forum.name|forum.name",
      .guide_width = "img.screen.width",
      .guide_height = "img.screen.height",
      .picture_path = "/forum/pic/item/{id}.jpg",
      .version_newest = "#{key}@@*#{key}",
      .wait_after_page_ms = 1000,
      .wait_after_picture_ms = 100,
      .album_tab_query = "&ie=utf-8&tab=album",
      .album_tab_comment = "<!--*-->",
      .album_tab_entry =
          R"re(<li class="album_item" data-amount="(\d*)"><a href="/p/(\d+)" title="([^"]*)")re",
      .share_path = "/f/commit/share/fnameShareApi",
      .share_query = "&ie=utf-8&fname={board}",
      .share_fid = "data.fid",
      .picpage_path = "/c/f/pb/picpage",
      .picpage_fields = "&obj_type=pb&page_name=PB&prev=0&q_type=2&_client_type=2"
                        "&_client_version=7.2.0.0&subapp_type=mini&from=1021636m",
      .picpage_next = 10,
      .picpage_sign_key = "tiebaclient!!!",
      .picpage_error = "error_code",
      .picpage_message = "error_msg",
      .picpage_rate_limit = 239103,
      .picpage_forum_name = "forum.name",
      .picpage_amount = "pic_amount",
      .picpage_pictures = "pic_list",
      .picpage_index = "overall_index",
      .picpage_id = "img.original.id",
      .picpage_address = "img.original.url|img.original.waterurl|img.original.original_src",
      .picpage_width = "img.original.width",
      .picpage_height = "img.original.height",
      .agent_current =
          "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
          "Chrome/131.0.0.0 Safari/537.36",
      .order_albums = "albums,album_tab",
      .order_album = "list,guide,picpage",
      .order_thread = "guide,picpage",
      .order_thread_board = "page,guide,picpage",
  };
  return profile;
}

std::string ProfileText(const ServiceProfile& profile) {
  std::string text =
      "; tiepic's service profile: what the downloads ask of the service and read from its\r\n"
      "; answers. Load it with [service] profile=FILE in the settings file or with\r\n"
      "; tiepic-cli --profile FILE; a key left out keeps its built-in value.\r\n";
  std::string_view section;
  for (const Key& key : Keys()) {
    if (key.section != section) {
      section = key.section;
      text += "\r\n";
      for (const auto& comment : kComments) {
        if (comment[0] == section) text += std::string(comment[1]) + "\r\n";
      }
      text += "[" + std::string(section) + "]\r\n";
    }
    // A value the reader would trim or unquote goes between double quotes,
    // which the reader takes off again.
    std::string value = Get(profile, key);
    if (!value.empty() && (value.front() == ' ' || value.back() == ' ' ||
                           ((value.front() == '"' || value.front() == '\'') &&
                            value.back() == value.front()))) {
      value = "\"" + value + "\"";
    }
    text += std::string(key.name) + "=" + value + "\r\n";
  }
  return text;
}

std::optional<ServiceProfile> LoadProfile(const std::string& path, std::string* error) {
  const auto entries = platform::ReadProfileEntries(path);
  if (!entries) {
    *error = path + ": cannot be read";
    return std::nullopt;
  }
  ServiceProfile profile = BuiltInProfile();
  const auto refuse = [&](const platform::ProfileEntry& entry, const std::string& what) {
    *error = path + ":" + std::to_string(entry.line) + ": " + what;
    return std::nullopt;
  };
  for (const platform::ProfileEntry& entry : *entries) {
    const auto known = [&](const Key& key) { return key.section == entry.section; };
    if (entry.kind == platform::ProfileEntry::kSection) {
      if (std::none_of(Keys().begin(), Keys().end(), known))
        return refuse(entry, "unknown interface [" + entry.section + "]");
      continue;
    }
    if (entry.section.empty()) return refuse(entry, "a key before any [interface]");
    if (entry.kind == platform::ProfileEntry::kNoEquals)
      return refuse(entry, "not a key=value line");
    const auto key = std::find_if(Keys().begin(), Keys().end(), [&](const Key& k) {
      return k.section == entry.section && k.name == entry.key;
    });
    if (key == Keys().end())
      return refuse(entry, "unknown key " + entry.key + " in [" + entry.section + "]");
    std::string value = entry.value;
    // Profiles written before markers named the list's total by the text
    // before it alone, the number running to the next ",".
    if (key->field == Key::Field(&ServiceProfile::list_total) &&
        value.find('*') == std::string::npos) {
      value += "*,";
    }
    if (std::string why = Check(*key, value); !why.empty())
      return refuse(entry, entry.key + ": " + why);
    for (const auto& [section, name, needed] : kRequired) {
      if (section == key->section && name == key->name &&
          value.find("{" + std::string(needed) + "}") == std::string::npos) {
        return refuse(entry, entry.key + ": no {" + std::string(needed) + "}");
      }
    }
    Set(profile, *key, value);
  }
  return profile;
}

std::string FindMarked(std::string_view text, std::string_view marker) {
  for (const std::string_view alternative : Alternatives(marker)) {
    const size_t star = alternative.find('*');
    if (star == std::string_view::npos) continue;
    std::string found =
        web::TextBetween(text, rt::FromUtf8(alternative.substr(0, star)),
                         rt::FromUtf8(alternative.substr(star + 1)));
    if (!found.empty()) return found;
  }
  return {};
}

std::string FindAllMarked(std::string_view text, std::string_view marker) {
  for (const std::string_view alternative : Alternatives(marker)) {
    const size_t star = alternative.find('*');
    if (star == std::string_view::npos) continue;
    const std::string before = rt::FromUtf8(alternative.substr(0, star));
    const std::string after = rt::FromUtf8(alternative.substr(star + 1));
    std::string found;
    for (size_t at = text.find(before); at != std::string_view::npos && !before.empty();) {
      const size_t start = at + before.size();
      const size_t end = text.find(after, start);
      if (end == std::string_view::npos || after.empty()) break;
      found += text.substr(start, end - start);
      at = text.find(before, end + after.size());
    }
    if (!found.empty()) return found;
  }
  return {};
}

std::string BoardInterface(std::string_view board, std::string_view host, std::string_view path) {
  for (std::string_view scheme : {"http://", "https://"}) {
    if (board.size() >= scheme.size() &&
        rt::ToLowerCase(board.substr(0, scheme.size())) == scheme) {
      board.remove_prefix(scheme.size());
    }
  }
  const std::string start = std::string(host) + "/f?";
  if (board.size() <= start.size() || rt::ToLowerCase(board.substr(0, start.size())) !=
                                          rt::ToLowerCase(start)) {
    return {};
  }
  return "http://" + std::string(host) + std::string(path) + "?" +
         std::string(board.substr(start.size()));
}

bool MemberWrites(std::string_view json_text, std::string_view member, std::string_view literal) {
  member = member.substr(0, member.find('|'));
  const size_t dot = member.rfind('.');
  const std::string name(dot == std::string_view::npos ? member : member.substr(dot + 1));
  return rt::FindText(json_text, "\"" + name + "\":" + std::string(literal), {}, true) > 0;
}

std::vector<std::string> OrderOf(std::string_view order) {
  std::vector<std::string> names;
  for (size_t start = 0; start <= order.size();) {
    const size_t end = std::min(order.find(',', start), order.size());
    names.emplace_back(rt::TrimText(order.substr(start, end - start)));
    start = end + 1;
  }
  return names;
}

bool InOrder(std::string_view order, std::string_view name) {
  const std::vector<std::string> names = OrderOf(order);
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::string JoinQuery(std::string_view base, std::string_view query) {
  if (base.find('?') != std::string_view::npos || query.empty()) return std::string(base) + std::string(query);
  return std::string(base) + "?" + std::string(query.substr(1));
}

std::string WithPath(std::string_view address, std::string_view host, std::string_view path) {
  return rt::ReplaceText(address, std::string(host) + "/f?", std::string(host) + std::string(path) + "?");
}

std::string FillIn(std::string_view pattern,
                   std::initializer_list<std::pair<std::string_view, std::string_view>> values) {
  std::string text;
  text.reserve(pattern.size() + 64);
  for (size_t at = 0; at < pattern.size();) {
    const size_t open = pattern.find('{', at);
    const size_t close = open == std::string_view::npos ? open : pattern.find('}', open);
    if (close == std::string_view::npos) {
      text += pattern.substr(at);
      break;
    }
    text += pattern.substr(at, open - at);
    const std::string_view name = pattern.substr(open + 1, close - open - 1);
    const auto value = std::find_if(values.begin(), values.end(),
                                    [&](const auto& pair) { return pair.first == name; });
    if (value != values.end()) {
      text += value->second;
    } else {
      text += pattern.substr(open, close - open + 1);
    }
    at = close + 1;
  }
  return text;
}

}  // namespace shell
