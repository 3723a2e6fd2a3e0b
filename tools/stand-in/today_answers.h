// The answers of the today parts (today.h): the thread page's script shell,
// the album tab, the forum-id lookup, the picture page and the picture
// host's two placeholders. Every one of them is UTF-8, as today's service
// writes everything.
//
// Thread safety: pure functions over a read-only DataIndex.
#ifndef TIEPIC_TOOLS_STAND_IN_TODAY_ANSWERS_H_
#define TIEPIC_TOOLS_STAND_IN_TODAY_ANSWERS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "stand-in/data_set.h"
#include "stand-in/pages.h"

namespace standin {

// The board's forum id: the data set's own when it is a positive decimal
// number, else one derived from the board's name (positive, stable).
uint64_t ForumId(const DataSet& data);

// The place-holders of the picture host: a 200x200 grey baseline JPEG of
// exactly 3,802 bytes for a request that does not come from the web host,
// and a 238x238 "logo" for a bad tbpicau.
inline constexpr size_t kPlaceholderBytes = 3802;
Answer PlaceholderPicture();
Answer LogoPicture();

// /p/TID: about 11 KB of script shell whose one mark of the thread is the
// <title> "TITLE_BOARD吧_百度贴吧"; an unknown thread gets the old 404 page.
Answer ThreadShellPage(const DataIndex& index, std::string_view tid);

// /f?kw=&tab=album: every album of the board in one HTML comment; a
// keyword that names no board gets the board page's "not open" page.
Answer AlbumTabPage(const DataIndex& index, const Hosts& hosts, std::string_view kw);

// /f/commit/share/fnameShareApi?fname=: the board's forum id, 0 for an
// unknown board.
Answer ShareAnswer(const DataSet& data, std::string_view fname);

// POST /c/f/pb/picpage with `body` (application/x-www-form-urlencoded): a
// window of the thread's pictures (picpage.cc). `content_type` is the
// request's.
Answer PicpageAnswer(const DataIndex& index, const Hosts& hosts, std::string_view content_type,
                     std::string_view body);

// The rate limit's answer of the picture page.
Answer PicpageRateLimit();

}  // namespace standin

#endif  // TIEPIC_TOOLS_STAND_IN_TODAY_ANSWERS_H_
