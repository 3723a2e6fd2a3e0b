// The stand-in's answers in the service's own formats: the board page, the
// album-list pages (album HTML inside a JSON string), the thread page, the
// picture guide (cursor-paged, keyed "#1", "#2", ...), the page-numbered
// picture list, the version page, and the service's error and
// security-check pages. Pages take their encoding from the data set's
// AnswerStyle.
//
// Thread safety: pure functions over a read-only DataIndex.
#ifndef TIEPIC_TOOLS_STAND_IN_PAGES_H_
#define TIEPIC_TOOLS_STAND_IN_PAGES_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "stand-in/data_set.h"
#include "stand-in/routes.h"

namespace standin {

struct Answer {
  int status = 200;
  std::string content_type;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

// The host names (with port) that answers embed: the web host in the thread
// page's board address, the picture host in every picture address.
struct Hosts {
  std::string web;
  std::string picture;
};

// The board address a user pastes, with the keyword GBK-encoded.
std::string BoardUrl(const Hosts& hosts, std::string_view board_utf8);

// The 32 hex digits of a picture's sized-variant addresses ("sign=").
std::string PictureSign(std::string_view id);

// The addresses of a picture on the picture host: the original
// (/forum/pic/item/ID.jpg) and the screen-sized variant the guide's
// "screen" member gives (/forum/wh%3D1024%2C768/sign=S/ID.jpg).
std::string OriginalUrl(const Hosts& hosts, std::string_view id);
std::string ScreenUrl(const Hosts& hosts, std::string_view id);

// The post a picture at `position` (0-based, in thread order) of thread
// `tid` was posted in, as the guide and the picture page give it.
std::string PostId(std::string_view tid, size_t position);

// Returns true iff the decoded keyword names the board, in GBK or UTF-8.
bool KeywordNamesBoard(std::string_view kw, std::string_view board_utf8);

Answer BoardPage(const DataIndex& index, const Hosts& hosts, std::string_view kw);
Answer AlbumListPage(const DataIndex& index, const Hosts& hosts, const Route& route);
Answer ThreadPage(const DataIndex& index, const Hosts& hosts, std::string_view tid);
// With the data set's today part "guide": the board's forum in "data",
// "pic_amount" as a string and "has_sep" as 1 (album) or false.
Answer GuideAnswer(const DataIndex& index, const Hosts& hosts, const Route& route);
Answer ListAnswer(const DataIndex& index, const Hosts& hosts, const Route& route);
Answer VersionPage(const DataSet& data);
// What the album-list request of a board without albums gets: a whole HTML
// page instead of JSON.
Answer NoAlbumsPage(const DataSet& data, const Hosts& hosts);

Answer SecurityCheckPage();
Answer StatusPage(int status);
Answer NotFoundPage();

}  // namespace standin

#endif  // TIEPIC_TOOLS_STAND_IN_PAGES_H_
