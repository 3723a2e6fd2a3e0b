// The service profile: what the program asks of the service and reads from
// its answers, as a text file can change it when the service changes — the
// address of each interface with its parameters, the JSON members read (with
// the alternatives tried), the texts and patterns matched, page sizes and
// waits. The built-in profile is what the program has always asked and read.
//
// A profile file is an INI file in the settings file's style:
//
//   [board]     the board's own page
//   [albums]    the board's album list, page by page
//   [thread]    a thread's page
//   [list]      the picture list of a board album, page by page
//   [guide]     the picture guide of a thread, cursor by cursor
//   [picture]   a picture's address on the picture host
//   [version]   the version page (its address stays in the settings file)
//   [waits]     the pauses the service asks of its clients
//   [album_tab] the board page's album tab, whose album HTML stands in comments
//   [share]     the board's forum id, by its name
//   [picpage]   the mobile client's picture page of a thread, window by window
//   [agents]    the User-Agent the newer interfaces are asked with
//   [order]     which interfaces are tried for what, first to last
//
// Paths take the place of the "/f" of the board's address ("/photo/g" asks
// for the album list of the board the address names); queries follow them.
// `{name}` in them is filled in by the program (Keys() in
// service_profile.cc says which names each key takes). Members are paths of
// JSON member names joined by "." and alternatives joined by "|", tried in
// turn ("img.screen.waterurl|img.original.waterurl"). Markers find the text
// between two others, "BEFORE*AFTER", alternatives joined by "|". The album
// pattern is a regular expression whose groups 1, 2 and 3 are an album's
// picture count, id and name. A profile names no host and no scheme: the
// hosts stay in [service], the scheme is http (https when signed in).
//
// Texts are UTF-8 here; FindMarked and the callers turn them into the
// program's code page where they match non-ASCII text.
//
// Thread safety: values; BuiltInProfile's object is made once and never
// changes.
#ifndef TIEPIC_SHELL_SERVICE_PROFILE_H_
#define TIEPIC_SHELL_SERVICE_PROFILE_H_

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace shell {

struct ServiceProfile {
  // [board]
  std::string board_title;  // marker: the board's title on its page
  // [albums]
  std::string albums_path;   // in place of the board address's "/f"
  std::string albums_query;  // one page: {page} {page_size} {random}
  int albums_page_size = 0;  // albums a page holds
  std::string albums_total;  // marker: the board's album total, on the first page
  std::string albums_entry;  // pattern: one album; groups 1 count, 2 id, 3 name
  // [thread]
  std::string thread_path;   // on the web host: {tid}
  std::string thread_board;  // marker: the board's address on the thread page
  std::string thread_title;  // marker: the thread's title
  // [list]
  std::string list_path;         // in place of the board address's "/f"
  std::string list_query;        // one page: {page_size} {tid} {page} {random}
  std::string list_total_query;  // the picture total: {tid} {random}
  int list_page_size = 0;        // entries a page holds
  std::string list_pictures;     // the page's array of entries
  std::string list_id;           // in an entry
  std::string list_description;  // in an entry
  std::string list_total;        // marker: the picture total in its answer
  std::string list_width;        // in an entry: the picture's declared width
  std::string list_height;
  std::string list_agent;        // "old": the program's own User-Agent; "current": [agents]'s
  // [guide]
  std::string guide_path;      // in place of the board address's "/f"
  std::string guide_query;     // {tid} {see_lz} {next} {cursor} {random}
  int guide_next = 0;          // pictures asked for after the cursor
  std::string guide_pictures;  // the answer's map of entries
  std::string guide_key;       // an entry's key: {n}, its place in the thread
  std::string guide_id;        // in an entry
  std::string guide_address;   // in an entry; none: the picture host's address
  std::string guide_description;
  std::string guide_amount;  // the thread's picture count
  std::string guide_sep;     // null when the thread is no board album
  std::string guide_forum;   // the board's name, where the guide names it
  std::string guide_width;   // in an entry: the picture's declared width
  std::string guide_height;
  // [picture]
  std::string picture_path;  // on the picture host: {id}
  // [version]
  std::string version_newest;  // marker: the newest version; {key}: the program's key
  // [waits]
  int wait_after_page_ms = 0;     // after each album-list or thread-page request
  int wait_after_picture_ms = 0;  // after each picture of the page-numbered list
  // [album_tab]
  std::string album_tab_query;    // after the board's address
  std::string album_tab_comment;  // marker: an HTML comment, which holds the album HTML
  std::string album_tab_entry;    // pattern: one album; groups 1 count, 2 id, 3 name
  // [share]
  std::string share_path;   // on the web host
  std::string share_query;  // {board}: the board's name, UTF-8, percent-encoded
  std::string share_fid;    // the forum id; 0: no such board
  // [picpage]
  std::string picpage_path;      // on [service] client_address, asked by POST
  std::string picpage_fields;    // the fixed fields of each request, as a query
  int picpage_next = 0;          // pictures a window holds, its cursor's included
  std::string picpage_sign_key;  // follows the sorted fields in the signed text
  std::string picpage_error;     // the answer's error code; 0: none
  std::string picpage_message;
  int picpage_rate_limit = 0;    // the error code that asks the client to wait
  std::string picpage_forum_name;
  std::string picpage_amount;
  std::string picpage_pictures;  // the answer's array of entries
  std::string picpage_index;     // in an entry: its place in the thread, from 1
  std::string picpage_id;
  std::string picpage_address;
  std::string picpage_width;
  std::string picpage_height;
  // [agents]
  std::string agent_current;  // a current browser's User-Agent
  // [order] names joined by ","; an interface left out is not asked
  std::string order_albums;        // a board's albums: albums, album_tab
  std::string order_album;         // a board album's pictures: list, guide, picpage
  std::string order_thread;        // a thread's pictures: guide, picpage
  std::string order_thread_board;  // a thread's board: page, guide, picpage

  friend bool operator==(const ServiceProfile&, const ServiceProfile&) = default;
};

// What the program asks and reads when no profile is loaded.
const ServiceProfile& BuiltInProfile();

// `profile` as the text of a profile file (CR LF line ends), every key
// written, with a comment for each interface.
std::string ProfileText(const ServiceProfile& profile);

// Reads the profile file at `path` (UTF-8): keys left out keep their
// built-in values, and a key given twice takes its last value. A file that
// cannot be read, a line that is not a section or key=value, an unknown
// interface or key, a query or path with an unknown {name}, a host or
// scheme, or blanks, a member path that is not names joined by "." and "|",
// a marker without its one "*", a pattern that does not compile or has
// fewer than three groups, or a number out of its range: nullopt, and
// *error is one line naming the place ("FILE:LINE: what").
std::optional<ServiceProfile> LoadProfile(const std::string& path, std::string* error);

// The first text that one of `marker`'s alternatives finds in `text` (in
// the program's code page; the marker is UTF-8); "" when none finds one.
std::string FindMarked(std::string_view text, std::string_view marker);

// Every text the first alternative of `marker` that finds one finds in
// `text`, joined in order: the contents of every HTML comment, say.
std::string FindAllMarked(std::string_view text, std::string_view marker);

// `pattern` with each "{name}" of `values` replaced by its value.
std::string FillIn(std::string_view pattern,
                   std::initializer_list<std::pair<std::string_view, std::string_view>> values);

// The address of the interface at `path` for the board `board` names, as a
// thread page writes the board's address (with or without its scheme):
// "http://" + host + path + "?" + the board address's query. "" when
// `board` is no board address on `host`, so that no answer can send a
// request to another host.
std::string BoardInterface(std::string_view board, std::string_view host, std::string_view path);

// Whether `json_text` writes the last name of `member` (a member path; its
// first alternative) with the JSON literal `literal`, as in
// `"has_sep":null`. A member left out is not null: only the service's own
// null says so.
bool MemberWrites(std::string_view json_text, std::string_view member, std::string_view literal);
inline bool MemberIsNull(std::string_view json_text, std::string_view member) {
  return MemberWrites(json_text, member, "null");
}

// The interfaces `order` (an [order] value) names, in its order.
std::vector<std::string> OrderOf(std::string_view order);

// Whether `order` (an [order] value) names interface `name`.
bool InOrder(std::string_view order, std::string_view name);

// `base` (an address, with or without a query) followed by `query` (a
// profile's query, which starts with "&"): "?" joins the first pair when
// `base` has no query yet.
std::string JoinQuery(std::string_view base, std::string_view query);

// `address` (a board's) with its "/f" path, as it stands after `host`,
// replaced by `path`: the address of that interface for the same board.
std::string WithPath(std::string_view address, std::string_view host, std::string_view path);

}  // namespace shell

#endif  // TIEPIC_SHELL_SERVICE_PROFILE_H_
