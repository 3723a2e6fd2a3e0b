// The command line of tiepic-cli, parsed: the address, what to do with it,
// where the program keeps its settings and records, the service hosts, and
// the download's save folder, options and albums.
//
// Thread safety: plain values and pure functions.
#ifndef TIEPIC_APP_CLI_OPTIONS_H_
#define TIEPIC_APP_CLI_OPTIONS_H_

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

struct Options {
  bool list_only = false;      // --list: print the album rows, download nothing
  std::string address;         // UTF-8
  std::string home;            // --home: settings file and record folder; "": the program's folder
  std::string web_host;        // --web-host
  std::string picture_host;    // --picture-host
  std::string save_folder;     // -o; "": as the settings file says
  std::optional<std::set<int>> albums;  // --albums, by row number; none: every ticked row
  std::optional<bool> prevent_repeat;   // none: as the settings file says
  std::optional<bool> describe_names;
  std::optional<bool> all_pictures;
};

// Returns the options, or nullopt with *error saying what is wrong.
std::optional<Options> ParseOptions(const std::vector<std::string_view>& arguments,
                                    std::string* error);

// "1,3-5" as the set {1, 3, 4, 5}; nullopt for anything else (ranges go
// upwards, numbers start at 1).
std::optional<std::set<int>> ParseAlbumList(std::string_view text);

extern const char kUsage[];

}  // namespace cli

#endif  // TIEPIC_APP_CLI_OPTIONS_H_
