// The parts of the service that answer as the service does today rather
// than as it did years ago, each switchable on its own so that a client's
// fallbacks can be tried one at a time: the script-shell thread page, the
// cookie check of the HTML pages, the album tab that replaced the album
// list, the relaxed picture guide, the browser-only picture list, the
// picture host's placeholders and signed addresses, the forum-id lookup,
// the picture-page interface of the phone client, and the move to https.
// Also the two digests those parts agree on with a client (see today.cc).
//
// Thread safety: pure functions.
#ifndef TIEPIC_TOOLS_STAND_IN_TODAY_H_
#define TIEPIC_TOOLS_STAND_IN_TODAY_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace standin {

enum class TodayPart : uint32_t {
  kThread = 1u << 0,     // /p/TID: a script shell without the board's marks
  kHtmlCheck = 1u << 1,  // HTML pages without a BDUSS cookie: 403 security check
  kAlbums = 1u << 2,     // /photo/g retired; /f?kw=&tab=album lists the albums
  kGuide = 1u << 3,      // the guide without kw/alt/_, with "forum" and string amount
  kList = 1u << 4,       // the picture list for current browsers from the web host only
  kPictures = 1u << 5,   // placeholders without a web Referer; tbpicau= signed addresses
  kShare = 1u << 6,      // /f/commit/share/fnameShareApi: the board's forum id
  kPicpage = 1u << 7,    // POST /c/f/pb/picpage, signed form (share comes along)
  kHttps = 1u << 8,      // plain http to the web interfaces: 301 to https
};
inline constexpr uint32_t kAllTodayParts = (1u << 9) - 1;

// A set of parts, as AnswerStyle keeps it.
using TodayParts = uint32_t;

inline bool HasPart(TodayParts parts, TodayPart part) {
  return (parts & static_cast<uint32_t>(part)) != 0;
}

// "thread", "html-check", "albums", "guide", "list", "pictures", "share",
// "picpage", "https", in that order.
const std::vector<std::pair<TodayPart, const char*>>& TodayPartNames();

// Parses "all", "" (no part) or a comma list of part names into *parts.
// Returns true iff every name is known; otherwise *error names the first
// unknown one and *parts is unchanged.
bool ParseTodayParts(std::string_view text, TodayParts* parts, std::string* error);
// The parts as a comma list in TodayPartNames order ("" for none).
std::string PrintTodayParts(TodayParts parts);

// The 32 lower-case hex digits of MD5(bytes).
std::string Md5Hex(std::string_view bytes);

// The tbpicau= value that makes a picture address valid without a Referer:
// the first 16 hex digits of MD5(ID + ":stand-in").
std::string PictureAuth(std::string_view id);

// The sign of a picture-page form: upper-case hex MD5 of every field except
// "sign" as "k=v" (decoded values), sorted by key in byte order (fields of
// one key keep their order), joined with nothing between them and followed
// by "tiebaclient!!!".
std::string FormSign(const std::vector<std::pair<std::string, std::string>>& fields);

}  // namespace standin

#endif  // TIEPIC_TOOLS_STAND_IN_TODAY_H_
