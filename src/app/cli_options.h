// The command line of tiepic-cli, parsed: what to do (download, list, the
// demo, help, version), the address, where the program keeps its settings
// and records, the service hosts, the download's save folder, options and
// albums, and how much to print.
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

// The exit statuses. Numbers not listed here are kept for later use.
inline constexpr int kExitOk = 0;            // every picture saved or already there
inline constexpr int kExitSomeFailed = 1;    // some pictures could not be saved or asked for
inline constexpr int kExitUsage = 2;         // a usage error
inline constexpr int kExitUnrecognised = 3;  // the address is not one tiepic knows
inline constexpr int kExitRefused = 4;       // the service's refusals cut the work short
inline constexpr int kExitListUnread = 5;    // the album list could not be read in full
inline constexpr int kExitServiceChanged = 6;  // --check-service: an interface does not fit
inline constexpr int kExitStopped = 130;     // interrupted (Ctrl-C)

enum class Action { kDownload, kList, kDemo, kServeDemo, kWriteProfile, kCheckService, kHelp,
                    kVersion };

struct Options {
  Action action = Action::kDownload;
  std::string address;   // UTF-8
  std::string home;      // --home: settings file and records; "": the program's folders
  std::string web_host;  // --web-host
  std::string picture_host;             // --picture-host
  std::string client_address;           // --client-address
  std::string cookie_file;              // --cookies (UTF-8); "": as the settings file says
  std::string profile_file;             // --profile (UTF-8); "": as the settings file says
  std::string written_profile;          // --write-profile FILE (UTF-8; "-": standard output)
  std::string save_folder;              // -o; "": as the settings file says
  std::optional<std::set<int>> albums;  // --albums, by row number; none: every ticked row
  std::optional<bool> prevent_repeat;   // none: as the settings file says
  std::optional<bool> describe_names;
  std::optional<bool> all_pictures;
  std::optional<bool> quiet;  // none: as the settings file says, else false
  std::optional<int> jobs;    // --jobs, 1..8; none: as the settings file says
  std::optional<bool> manifest;  // --no-manifest / --manifest; none: as the settings file says
};

// Returns the options, or nullopt with *error saying what is wrong in one
// line.
std::optional<Options> ParseOptions(const std::vector<std::string_view>& arguments,
                                    std::string* error);

// "1,3-5" as the set {1, 3, 4, 5}; nullopt for anything else (ranges go
// upwards, numbers start at 1).
std::optional<std::set<int>> ParseAlbumList(std::string_view text);
// The set {1, 3, 4, 5} as "1,3-5"; "" for none.
std::string PrintAlbumList(const std::set<int>& albums);

// The text of --help.
extern const char kHelp[];

// The settings file's own section for this program and its key: "1" makes
// it quiet unless the command line says otherwise.
inline constexpr std::string_view kCliSection = "tiepic-cli";
inline constexpr std::string_view kQuietKey = "quiet";

}  // namespace cli

#endif  // TIEPIC_APP_CLI_OPTIONS_H_
