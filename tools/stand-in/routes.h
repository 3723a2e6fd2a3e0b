// The request shapes the stand-in answers, recognised from the raw request
// target exactly as the program sends them: path, the query parameters each
// interface needs (with their allowed values) and the cache-breaking "_".
// A request of any other shape is kUnknown and is answered 404, with the
// reason kept for the request log.
//
// Thread safety: pure functions.
#ifndef TIEPIC_TOOLS_STAND_IN_ROUTES_H_
#define TIEPIC_TOOLS_STAND_IN_ROUTES_H_

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "stand-in/today.h"

namespace standin {

// The interfaces, with the request shape each answers:
//   kBoard      /f?kw=
//   kAlbumList  /photo/g?kw=&alt=jview&pn=&rn=&cat_id=all&_=
//   kThread     /p/TID
//   kGuide      /photo/bw/picture/guide?tid=&see_lz=&from_page=&alt=jview&next=&prev=&pic_id=&_=
//   kList       /photo/g/bw/picture/list?kw=&alt=jview&rn=&tid=&pn=&ps=&pe=&wall_type=&_=
//   kPicture    /forum/pic/item/ID.EXT, /forum/abpic/item/ID.EXT, /forum/SIZE/sign=S/ID.EXT
//   kVersion    /download/softzuixinv/index.html
// and, only where the today part (today.h) that brings them is on:
//   kAlbumTab   /f?kw=&tab=album (albums)
//   kShare      /f/commit/share/fnameShareApi?fname= (share or picpage)
//   kPicpage    POST /c/f/pb/picpage, its fields in the body (picpage)
enum class Interface {
  kBoard,
  kAlbumList,
  kThread,
  kGuide,
  kList,
  kPicture,
  kVersion,
  kAlbumTab,
  kShare,
  kPicpage,
  kUnknown,
};
inline constexpr int kInterfaceCount = 11;

// "board", "album-list", "thread", "guide", "list", "picture", "version",
// "album-tab", "share", "picpage", "unknown".
const char* InterfaceName(Interface iface);
std::optional<Interface> ParseInterfaceName(std::string_view name);

struct Route {
  Interface iface = Interface::kUnknown;
  std::string why;  // kUnknown: what did not match
  // Redirect hops still to go: a target "/_hop/K/REST" is REST reached
  // through a redirect chain the stand-in started; -1 when not such a target.
  int hops = -1;
  std::string target;  // the target without any /_hop/K prefix
  std::string kw;      // decoded bytes (GBK or UTF-8, as the client sent them)
  std::string tid;
  std::string pic_id;      // guide cursor; empty: the first picture
  std::string picture_id;  // kPicture
  std::string sign;        // kPicture of a sized variant: its sign= part, else empty
  bool has_tbpicau = false;  // kPicture: the query holds tbpicau (today's signed form)
  std::string tbpicau;       // its value, decoded
  std::string fname;         // kShare: decoded bytes
  int pn = 0, rn = 0, ps = 0, pe = 0, next = 0, prev = 0;
  bool starter_only = false;  // see_lz=1
};

// Exact paths the service moved, old path (one of the above) first and the
// new path second.
using PathMoves = std::vector<std::pair<std::string, std::string>>;

// Recognises one request. Only GET (and HEAD) requests are recognised, and
// POST to the picture-page interface; `today` adds the shapes of its parts
// and relaxes the guide's (it then needs neither alt nor "_"). With
// `moves`, a target on a new path is recognised as the same target on its
// old path (Route::target keeps the path the client sent, for redirects
// that repeat it) and one on an old path is kUnknown; a path that is new in
// one pair and old in another is taken as new.
//
// Design note: the moves are a parameter rather than a rewrite of the
// target before recognition, because the redirect faults must send the
// client back to the path it asked for, not to the stand-in's own.
Route ParseRoute(std::string_view method, std::string_view target, const PathMoves& moves = {},
                 TodayParts today = 0);

}  // namespace standin

#endif  // TIEPIC_TOOLS_STAND_IN_ROUTES_H_
