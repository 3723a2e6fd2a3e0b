// The requests of the interfaces the service answers by today, beside the
// older ones the retrieval and the download ask first: the mobile client's
// signed picture page of a thread, the board's forum id by its name, and
// the board's name as an address's or an answer's kw carries it.
//
// Thread safety: pure functions, but AskForumId and AskPicpage, which send
// one request each on the calling thread.
#ifndef TIEPIC_DISCOVERY_NEWER_INTERFACES_H_
#define TIEPIC_DISCOVERY_NEWER_INTERFACES_H_

#include <cstdint>
#include <string_view>

#include "runtime/value.h"
#include "shell/service_profile.h"
#include "web/requests.h"

namespace discovery {

// One window of a thread's pictures on the mobile client's picture page.
struct PicpageWindow {
  rt::Text forum_id;    // "" when unknown
  rt::Text board_name;  // GBK; "" when unknown
  rt::Text tid;
  rt::Text cursor;            // the picture the window starts with; "": the first
  int64_t cursor_index = 0;   // its place, from 1; 0: unknown
  bool every_poster = false;  // false: the thread starter's pictures only
};

// The signed form of `window` (UTF-8, percent-encoded), as the profile
// names its fields and key.
rt::Text PicpageBody(const shell::ServiceProfile& profile, const PicpageWindow& window);

// Sends the window's request (a POST with a current browser's User-Agent)
// to `client_address` + the profile's path, with `options` for the rest.
// Returns the answer as GBK text (the service writes UTF-8); an answer
// that asks the client to wait sets *options.status to 429, a refusal.
rt::Text AskPicpage(const shell::ServiceProfile& profile, std::string_view client_address,
                    const PicpageWindow& window, const web::RequestOptions& options);

// The board's forum id by its name (GBK) from the share interface on
// `scheme_host` ("http://HOST"); "" when it names none or answers nothing
// readable, "0" when the service knows no such board.
rt::Text AskForumId(const shell::ServiceProfile& profile, std::string_view scheme_host,
                    std::string_view board_name);

// The board name (GBK) in a board address's kw, percent-decoded: UTF-8
// where the address says ie=utf-8 (and it is UTF-8), or where it is
// UTF-8 of three- and four-byte characters only; else GBK; "" without a kw.
rt::Text BoardNameOf(std::string_view board_address);

// The address of the board named `board_name` (GBK) on `host`, as a thread
// page writes it: "HOST/f?kw=" + its UTF-8 name percent-encoded + "&ie=utf-8".
rt::Text BoardAddressOf(std::string_view host, std::string_view board_name);

// Returns true iff the JSON member at `member` of `json_text` says a thread
// is no board album: the service's null, or (as it answers by today) false.
bool NoBoardAlbum(std::string_view json_text, std::string_view member);

}  // namespace discovery

#endif  // TIEPIC_DISCOVERY_NEWER_INTERFACES_H_
