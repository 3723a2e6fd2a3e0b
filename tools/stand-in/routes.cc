// Recognition of the request shapes listed in routes.h. Parameters other
// than the ones an interface needs are allowed (an address a user pastes
// may carry "ie=utf-8" or a tracking parameter), but every needed one must
// be present with an allowed value.
#include "stand-in/routes.h"

#include <charconv>
#include <utility>
#include <vector>

#include "stand-in/texts.h"

namespace standin {
namespace {

constexpr const char* kNames[kInterfaceCount] = {
    "board", "album-list", "thread", "guide", "list", "picture", "version", "album-tab",
    "share", "picpage", "unknown"};

using Query = std::vector<std::pair<std::string, std::string>>;

const std::string* Param(const Query& query, std::string_view name) {
  for (const auto& [key, value] : query) {
    if (key == name) return &value;
  }
  return nullptr;
}

// Reads a decimal parameter in [low, high]; false (with *why) otherwise.
bool IntParam(const Query& query, const char* name, int low, int high, int* value,
              std::string* why) {
  const std::string* text = Param(query, name);
  if (!text) {
    *why = std::string("no ") + name;
    return false;
  }
  auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), *value);
  if (text->empty() || ec != std::errc() || end != text->data() + text->size() ||
      *value < low || *value > high) {
    *why = std::string("bad ") + name + "=" + Printable(*text);
    return false;
  }
  return true;
}

// Requires `name` with exactly `wanted` as value (any value when null) and,
// unless `may_be_empty`, not empty.
bool TextParam(const Query& query, const char* name, const char* wanted,
               bool may_be_empty, std::string* value, std::string* why) {
  const std::string* text = Param(query, name);
  if (!text || (wanted && *text != wanted) || (!may_be_empty && text->empty())) {
    *why = text ? std::string("bad ") + name + "=" + Printable(*text)
                : std::string("no ") + name;
    return false;
  }
  if (value) *value = *text;
  return true;
}

bool ParseAlbumList(const Query& q, Route* r) {
  return TextParam(q, "kw", nullptr, false, &r->kw, &r->why) &&
         TextParam(q, "alt", "jview", false, nullptr, &r->why) &&
         IntParam(q, "pn", 1, 1000000, &r->pn, &r->why) &&
         IntParam(q, "rn", 1, 100, &r->rn, &r->why) &&
         TextParam(q, "cat_id", "all", false, nullptr, &r->why) &&
         TextParam(q, "_", nullptr, false, nullptr, &r->why);
}

// `relaxed`: today's guide, which needs neither alt nor "_".
bool ParseGuide(const Query& q, bool relaxed, Route* r) {
  int see_lz = 0, from_page = 0;
  if (!(TextParam(q, "tid", nullptr, false, &r->tid, &r->why) &&
        IntParam(q, "see_lz", 0, 1, &see_lz, &r->why) &&
        IntParam(q, "from_page", 0, 1000000, &from_page, &r->why) &&
        (relaxed || TextParam(q, "alt", "jview", false, nullptr, &r->why)) &&
        IntParam(q, "next", 0, 1000000, &r->next, &r->why) &&
        IntParam(q, "prev", 0, 1000000, &r->prev, &r->why) &&
        TextParam(q, "pic_id", nullptr, true, &r->pic_id, &r->why) &&
        (relaxed || TextParam(q, "_", nullptr, false, nullptr, &r->why)))) {
    return false;
  }
  r->starter_only = see_lz == 1;
  return true;
}

bool ParseList(const Query& q, Route* r) {
  const std::string* wall = Param(q, "wall_type");
  if (!(TextParam(q, "kw", nullptr, false, &r->kw, &r->why) &&
        TextParam(q, "alt", "jview", false, nullptr, &r->why) &&
        IntParam(q, "rn", 1, 200, &r->rn, &r->why) &&
        TextParam(q, "tid", nullptr, false, &r->tid, &r->why) &&
        IntParam(q, "pn", 1, 1000000, &r->pn, &r->why) &&
        IntParam(q, "ps", 0, 100000000, &r->ps, &r->why) &&
        IntParam(q, "pe", 0, 100000000, &r->pe, &r->why) &&
        TextParam(q, "_", nullptr, false, nullptr, &r->why))) {
    return false;
  }
  if (!wall || (*wall != "v" && *wall != "h")) {
    r->why = wall ? "bad wall_type=" + Printable(*wall) : "no wall_type";
    return false;
  }
  return true;
}

// Splits "ID.EXT" with EXT one of the picture extensions.
bool SplitPictureFile(std::string_view name, std::string* id) {
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  std::string_view ext = name.substr(dot + 1);
  if (ext != "jpg" && ext != "png" && ext != "gif") return false;
  *id = std::string(name.substr(0, dot));
  return true;
}

bool ParsePicture(const std::string& path, Route* r) {
  for (std::string_view prefix : {"/forum/pic/item/", "/forum/abpic/item/"}) {
    if (path.compare(0, prefix.size(), prefix) == 0) {
      return SplitPictureFile(std::string_view(path).substr(prefix.size()),
                              &r->picture_id);
    }
  }
  // /forum/SPEC/sign=HEX/ID.EXT, the sized variants ("wh=1024,768", "w=194").
  if (path.compare(0, 7, "/forum/") != 0) return false;
  size_t spec_end = path.find('/', 7);
  if (spec_end == std::string::npos || spec_end == 7) return false;
  if (path.compare(spec_end + 1, 5, "sign=") != 0) return false;
  size_t sign_end = path.find('/', spec_end + 6);
  if (sign_end == std::string::npos) return false;
  r->sign = path.substr(spec_end + 6, sign_end - spec_end - 6);
  return !r->sign.empty() &&
         SplitPictureFile(std::string_view(path).substr(sign_end + 1), &r->picture_id);
}

// Strips a "/_hop/K" prefix; returns false when the prefix is malformed.
bool StripHops(std::string_view* target, int* hops) {
  if (target->substr(0, 6) != "/_hop/") return true;
  size_t slash = target->find('/', 6);
  if (slash == std::string_view::npos) return false;
  std::string_view count = target->substr(6, slash - 6);
  auto [end, ec] = std::from_chars(count.data(), count.data() + count.size(), *hops);
  if (ec != std::errc() || end != count.data() + count.size() || *hops < 0 ||
      *hops > 100) {
    return false;
  }
  target->remove_prefix(slash);
  return true;
}

// Turns a new path of `moves` into its old one; returns false when `path` is
// an old path, which the service no longer answers.
bool UnmovePath(const PathMoves& moves, std::string* path) {
  for (const auto& [old_path, new_path] : moves) {
    if (*path == new_path) {
      *path = old_path;
      return true;
    }
  }
  for (const auto& move : moves) {
    if (*path == move.first) return false;
  }
  return true;
}

}  // namespace

const char* InterfaceName(Interface iface) { return kNames[static_cast<int>(iface)]; }

std::optional<Interface> ParseInterfaceName(std::string_view name) {
  for (int i = 0; i < kInterfaceCount; ++i) {
    if (name == kNames[i]) return static_cast<Interface>(i);
  }
  return std::nullopt;
}

Route ParseRoute(std::string_view method, std::string_view target, const PathMoves& moves,
                 TodayParts today) {
  Route r;
  const bool post = method == "POST" && HasPart(today, TodayPart::kPicpage);
  if (method != "GET" && method != "HEAD" && !post) {
    r.why = "method " + Printable(method);
    return r;
  }
  if (!StripHops(&target, &r.hops)) {
    r.why = "bad redirect hop";
    return r;
  }
  r.target = std::string(target);
  size_t question = target.find('?');
  std::string path = PercentDecode(target.substr(0, question), false);
  Query query =
      ParseQuery(question == std::string_view::npos ? "" : target.substr(question + 1));
  if (!UnmovePath(moves, &path)) {
    r.why = "moved path " + Printable(path);
    return r;
  }
  Interface candidate = Interface::kUnknown;
  bool ok = false;
  const std::string* tab = Param(query, "tab");
  if (post || (path == "/c/f/pb/picpage" && HasPart(today, TodayPart::kPicpage))) {
    // Its fields are the body's, read by its answer.
    candidate = post && path == "/c/f/pb/picpage" ? Interface::kPicpage : Interface::kUnknown;
    ok = candidate == Interface::kPicpage;
    if (!ok) r.why = post ? "no such path " + Printable(path) : "picpage: method " + Printable(method);
  } else if (path == "/f" && tab && *tab == "album" && HasPart(today, TodayPart::kAlbums)) {
    candidate = Interface::kAlbumTab;
    ok = TextParam(query, "kw", nullptr, false, &r.kw, &r.why);
  } else if (path == "/f/commit/share/fnameShareApi" &&
             (HasPart(today, TodayPart::kShare) || HasPart(today, TodayPart::kPicpage))) {
    candidate = Interface::kShare;
    ok = TextParam(query, "fname", nullptr, false, &r.fname, &r.why);
  } else if (path == "/f") {
    candidate = Interface::kBoard;
    ok = TextParam(query, "kw", nullptr, false, &r.kw, &r.why);
  } else if (path == "/photo/g") {
    candidate = Interface::kAlbumList;
    ok = ParseAlbumList(query, &r);
  } else if (path.compare(0, 3, "/p/") == 0 && path.size() > 3) {
    candidate = Interface::kThread;
    r.tid = path.substr(3);
    ok = true;
  } else if (path == "/photo/bw/picture/guide") {
    candidate = Interface::kGuide;
    ok = ParseGuide(query, HasPart(today, TodayPart::kGuide), &r);
  } else if (path == "/photo/g/bw/picture/list") {
    candidate = Interface::kList;
    ok = ParseList(query, &r);
  } else if (path == "/download/softzuixinv/index.html") {
    candidate = Interface::kVersion;
    ok = true;
  } else if (ParsePicture(path, &r)) {
    candidate = Interface::kPicture;
    ok = true;
    if (const std::string* auth = Param(query, "tbpicau")) {
      r.has_tbpicau = true;
      r.tbpicau = *auth;
    }
  } else {
    r.why = "no such path " + Printable(path);
  }
  if (ok)
    r.iface = candidate;
  else if (candidate != Interface::kUnknown)
    r.why = std::string(kNames[static_cast<int>(candidate)]) + ": " + r.why;
  return r;
}

}  // namespace standin
