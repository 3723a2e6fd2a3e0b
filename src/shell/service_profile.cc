// The service profile: the built-in one, its text, and profile files.
#include "shell/service_profile.h"

#include <algorithm>
#include <charconv>
#include <variant>
#include <vector>

#include "platform/ini_file.h"

namespace shell {
namespace {

enum class Form {
  kQuery,   // follows a base address: starts with '&', {names} of its own
  kPath,    // on the picture host: starts with '/', {names} of its own
  kMember,  // JSON member names joined by "." and "|"
  kKey,     // a member name with {n}
  kText,    // any text on one line
  kCount,   // a whole number in [low, high]
};

// One key of a profile file: its interface, name, form, the {names} it may
// hold or the range of its number, and where its value lives.
struct Key {
  std::string_view section;
  std::string_view name;
  Form form;
  std::vector<std::string_view> names;
  int low = 0, high = 0;
  std::variant<std::string ServiceProfile::*, int ServiceProfile::*> field;
};

const std::vector<Key>& Keys() {
  using P = ServiceProfile;
  static const std::vector<Key> keys = {
      {"list", "query", Form::kQuery, {"page_size", "tid", "page", "random"}, 0, 0, &P::list_query},
      {"list", "total_query", Form::kQuery, {"tid", "random"}, 0, 0, &P::list_total_query},
      {"list", "page_size", Form::kCount, {}, 1, 1000, &P::list_page_size},
      {"list", "pictures", Form::kMember, {}, 0, 0, &P::list_pictures},
      {"list", "id", Form::kMember, {}, 0, 0, &P::list_id},
      {"list", "description", Form::kMember, {}, 0, 0, &P::list_description},
      {"list", "total", Form::kText, {}, 0, 0, &P::list_total},
      {"guide",
       "query",
       Form::kQuery,
       {"tid", "see_lz", "next", "cursor", "random"},
       0,
       0,
       &P::guide_query},
      {"guide", "next", Form::kCount, {}, 2, 1000, &P::guide_next},
      {"guide", "pictures", Form::kMember, {}, 0, 0, &P::guide_pictures},
      {"guide", "key", Form::kKey, {"n"}, 0, 0, &P::guide_key},
      {"guide", "id", Form::kMember, {}, 0, 0, &P::guide_id},
      {"guide", "address", Form::kMember, {}, 0, 0, &P::guide_address},
      {"guide", "description", Form::kMember, {}, 0, 0, &P::guide_description},
      {"picture", "path", Form::kPath, {"id"}, 0, 0, &P::picture_path},
  };
  return keys;
}

constexpr std::string_view kComments[][2] = {
    {"list",
     "; The picture list of a board album, page by page (the album list's base address,\r\n"
     "; then query); an entry of `pictures` names its picture by `id`."},
    {"guide",
     "; The picture guide of a thread: each page is asked around the last picture shown\r\n"
     "; ({cursor}); `pictures` is a map whose entries are keyed by `key`."},
    {"picture", "; A picture's address on the picture host, where an entry names none."},
};

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
  for (char c : value) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) return "a blank or control character";
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
    case Form::kText:
      return {};
    case Form::kCount: {
      int number = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
      if (error != std::errc() || end != value.data() + value.size() || number < key.low ||
          number > key.high) {
        return "a whole number from " + std::to_string(key.low) + " to " + std::to_string(key.high);
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
      .list_query =
          "&alt=jview&rn={page_size}&tid={tid}&pn={page}&ps=1&pe={page_size}"
          "&wall_type=v&_={random}",
      .list_total_query = "&alt=jview&rn=1&tid={tid}&pn=1&ps=0&pe=1&wall_type=v&_={random}",
      .list_page_size = 200,
      .list_pictures = "data.pic_list",
      .list_id = "pic_id",
      .list_description = "descr",
      .list_total = "\"total_page\":",
      .guide_query =
          "&ie=utf-8&fp=1&tid={tid}&see_lz={see_lz}&from_page=0&alt=jview"
          "&next={next}&prev=1&pic_id={cursor}&_={random}",
      .guide_next = 50,
      .guide_pictures = "data.pic_list",
      .guide_key = "#{n}",
      .guide_id = "img.screen.id",
      .guide_address = "img.screen.waterurl",
      .guide_description = "descr",
      .picture_path = "/forum/pic/item/{id}.jpg",
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
    text += std::string(key.name) + "=" + Get(profile, key) + "\r\n";
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
    if (std::string why = Check(*key, entry.value); !why.empty())
      return refuse(entry, entry.key + ": " + why);
    Set(profile, *key, entry.value);
  }
  return profile;
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
