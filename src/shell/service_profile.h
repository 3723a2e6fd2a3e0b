// The service profile: what the downloads ask of the service and read from
// its answers, as a text file can change it when the service changes — the
// query of each picture-list interface with its parameters, the JSON members
// read (with the alternatives tried), the picture address, page sizes. The
// built-in profile is what the program has always asked and read.
//
// A profile file is an INI file in the settings file's style:
//
//   [list]      the picture list of a board album, page by page
//   [guide]     the picture guide of a thread, cursor by cursor
//   [picture]   a picture's address on the picture host
//
// Queries follow the interface's base address (which names the host and the
// board); `{name}` in them is filled in by the program (see kProfileKeys in
// service_profile.cc for which names each key takes). Members are paths of
// JSON member names joined by "." and alternatives joined by "|", tried in
// turn ("img.screen.waterurl|img.original.waterurl"). A profile names no
// host and no scheme: the hosts stay in [service], the scheme is http (https
// when signed in).
//
// Thread safety: values; BuiltInProfile's object is made once and never
// changes.
#ifndef TIEPIC_SHELL_SERVICE_PROFILE_H_
#define TIEPIC_SHELL_SERVICE_PROFILE_H_

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace shell {

struct ServiceProfile {
  // [list]
  std::string list_query;        // one page: {page_size} {tid} {page} {random}
  std::string list_total_query;  // the picture total: {tid} {random}
  int list_page_size = 0;        // entries a page holds
  std::string list_pictures;     // the page's array of entries
  std::string list_id;           // in an entry
  std::string list_description;  // in an entry
  std::string list_total;        // the text just before the total in its answer
  // [guide]
  std::string guide_query;     // {tid} {see_lz} {next} {cursor} {random}
  int guide_next = 0;          // pictures asked for after the cursor
  std::string guide_pictures;  // the answer's map of entries
  std::string guide_key;       // an entry's key: {n}, its place in the thread
  std::string guide_id;        // in an entry
  std::string guide_address;   // in an entry; none: the picture host's address
  std::string guide_description;
  // [picture]
  std::string picture_path;  // on the picture host: {id}

  friend bool operator==(const ServiceProfile&, const ServiceProfile&) = default;
};

// What the program asks and reads when no profile is loaded.
const ServiceProfile& BuiltInProfile();

// `profile` as the text of a profile file (CR LF line ends), every key
// written, with a comment for each interface.
std::string ProfileText(const ServiceProfile& profile);

// Reads the profile file at `path` (UTF-8): keys left out keep their
// built-in values. A file that cannot be read, a line that is not a section
// or key=value, an unknown interface or key, a query or path with an unknown
// {name}, a host or scheme, or blanks, a member path that is not names
// joined by "." and "|", or a number out of its range: nullopt, and *error
// is one line naming the place ("FILE:LINE: what").
std::optional<ServiceProfile> LoadProfile(const std::string& path, std::string* error);

// `pattern` with each "{name}" of `values` replaced by its value.
std::string FillIn(std::string_view pattern,
                   std::initializer_list<std::pair<std::string_view, std::string_view>> values);

}  // namespace shell

#endif  // TIEPIC_SHELL_SERVICE_PROFILE_H_
