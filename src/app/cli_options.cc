// Parsing tiepic-cli's command line.
#include "app/cli_options.h"

#include <charconv>

namespace cli {

const char kUsage[] =
    "usage: tiepic-cli [options] ADDRESS\n"
    "       tiepic-cli --list ADDRESS [--web-host HOST[:PORT]] [--picture-host HOST[:PORT]]\n"
    "\n"
    "Downloads the albums of a board or thread address, as the desktop program's\n"
    "download button does, and prints the operation log.\n"
    "\n"
    "  --list                list the album rows instead: number, tick (1/0),\n"
    "                        picture count, album id, album name (tab-separated)\n"
    "  -o DIR                save folder (default: the settings file's)\n"
    "  --albums LIST         only these rows, by number: 1,3-5 (default: all)\n"
    "  --prevent-repeat, --no-prevent-repeat\n"
    "                        skip pictures saved before, or fetch them again\n"
    "  --describe-names, --number-names\n"
    "                        name files after the picture's description, or by number\n"
    "  --all-pictures, --starter-only\n"
    "                        for a thread: every poster's pictures, or the starter's\n"
    "  --web-host HOST[:PORT], --picture-host HOST[:PORT]\n"
    "                        the service's hosts (default: the settings file's)\n"
    "  --home DIR            keep the settings file and the records in DIR\n"
    "                        (default: the program's folder)\n"
    "\n"
    "Exit status: 0 done, 1 some pictures could not be saved, 2 usage error,\n"
    "3 unrecognised address, 130 stopped.\n";

std::optional<std::set<int>> ParseAlbumList(std::string_view text) {
  std::set<int> albums;
  while (!text.empty()) {
    const size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    if (comma != std::string_view::npos && text.empty()) return std::nullopt;
    const size_t dash = item.find('-');
    int first = 0;
    int last = 0;
    const std::string_view a = item.substr(0, dash);
    const std::string_view b = dash == std::string_view::npos ? a : item.substr(dash + 1);
    auto number = [](std::string_view s, int* n) {
      const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *n);
      return !s.empty() && ec == std::errc() && end == s.data() + s.size() && *n >= 1;
    };
    if (!number(a, &first) || !number(b, &last) || last < first || last - first > 100000) {
      return std::nullopt;
    }
    for (int n = first; n <= last; ++n) albums.insert(n);
  }
  if (albums.empty()) return std::nullopt;
  return albums;
}

std::optional<Options> ParseOptions(const std::vector<std::string_view>& arguments,
                                    std::string* error) {
  Options options;
  bool have_address = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view arg = arguments[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= arguments.size()) {
        *error = std::string(arg) + " needs a value";
        return false;
      }
      *out = arguments[++i];
      return true;
    };
    std::string text;
    if (arg == "--list") {
      options.list_only = true;
    } else if (arg == "-o") {
      if (!value(&options.save_folder)) return std::nullopt;
    } else if (arg == "--home") {
      if (!value(&options.home)) return std::nullopt;
    } else if (arg == "--web-host") {
      if (!value(&options.web_host)) return std::nullopt;
    } else if (arg == "--picture-host") {
      if (!value(&options.picture_host)) return std::nullopt;
    } else if (arg == "--albums") {
      if (!value(&text)) return std::nullopt;
      options.albums = ParseAlbumList(text);
      if (!options.albums) {
        *error = "--albums takes row numbers such as 1,3-5";
        return std::nullopt;
      }
    } else if (arg == "--prevent-repeat" || arg == "--no-prevent-repeat") {
      options.prevent_repeat = arg == "--prevent-repeat";
    } else if (arg == "--describe-names" || arg == "--number-names") {
      options.describe_names = arg == "--describe-names";
    } else if (arg == "--all-pictures" || arg == "--starter-only") {
      options.all_pictures = arg == "--all-pictures";
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      *error = "unknown option " + std::string(arg);
      return std::nullopt;
    } else if (!have_address) {
      options.address = arg;
      have_address = true;
    } else {
      *error = "more than one address";
      return std::nullopt;
    }
  }
  if (!have_address || options.address.empty()) {
    *error = "no address given";
    return std::nullopt;
  }
  return options;
}

}  // namespace cli
