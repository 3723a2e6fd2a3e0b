// Parsing tiepic-cli's command line.
#include "app/cli_options.h"

#include <charconv>
#include <utility>

namespace cli {

const char kHelp[] =
    "Usage: tiepic-cli [OPTION]... ADDRESS\n"
    "       tiepic-cli --list [OPTION]... ADDRESS\n"
    "       tiepic-cli --demo [-o DIR]\n"
    "       tiepic-cli --check-service [OPTION]... [ADDRESS]\n"
    "Save the pictures of a Tieba board's photo albums, or of one thread.\n"
    "ADDRESS is the board's address (http://tieba.baidu.com/f?kw=NAME) or a\n"
    "thread's (http://tieba.baidu.com/p/NUMBER), as the desktop program takes it.\n"
    "\n"
    "Actions:\n"
    "      --list              print the album rows instead of downloading: number,\n"
    "                          tick (1/0), picture count, album id, album name,\n"
    "                          separated by tabs (the log goes to standard error)\n"
    "      --demo              download a made-up board from a stand-in of the\n"
    "                          service started inside this program on 127.0.0.1,\n"
    "                          twice, into DIR (default: demo-output)\n"
    "      --serve             with --demo and --home: only serve the made-up board\n"
    "                          and point the settings file in --home at it, until\n"
    "                          interrupted (at most an hour)\n"
    "      --check-service     ask each interface of the service once, as the\n"
    "                          service profile asks it, for ADDRESS (default: an\n"
    "                          example board), and print one line each: fits, or\n"
    "                          what is missing or of another kind and the profile\n"
    "                          key that names it, refused, an error status, or\n"
    "                          unreachable\n"
    "      --write-profile FILE  write the built-in service profile to FILE (- for\n"
    "                          standard output) and exit; see --profile\n"
    "  -h, --help              show this help and exit\n"
    "      --version           show the version and exit\n"
    "\n"
    "What to download:\n"
    "      --albums LIST       only these album rows, by number: 1,3-5\n"
    "                          (default: every album)\n"
    "      --all-pictures      for a thread: every poster's pictures\n"
    "      --starter-only      for a thread: only the thread starter's pictures\n"
    "\n"
    "Where and how to save:\n"
    "  -o, --output DIR        save folder\n"
    "      --prevent-repeat    skip pictures saved before (kept in the records)\n"
    "      --no-prevent-repeat fetch every picture again\n"
    "      --describe-names    name files after the pictures' descriptions\n"
    "      --number-names      name files by number only\n"
    "      --jobs N            fetch up to N pictures of an album at once, 1 to 8\n"
    "                          (default 1); files, log and records come out as\n"
    "                          with one\n"
    "      --no-manifest       keep no manifest in the album folders (by default\n"
    "                          each keeps .tiepic.jsonl, a JSON line a picture\n"
    "                          saved: file, id, description, address, bytes,\n"
    "                          sha256, time, album and board; tiepic-db import\n"
    "                          reads it into the records)\n"
    "      --manifest          keep the manifests\n"
    "\n"
    "Service:\n"
    "      --web-host HOST[:PORT]      host of the board, album and thread pages\n"
    "      --picture-host HOST[:PORT]  host of the picture files\n"
    "      --client-address URL  scheme and host of the mobile client's picture\n"
    "                          page (default https://c.tieba.baidu.com)\n"
    "      --cookies FILE      a signed-in visitor's cookies (cookies.txt, as\n"
    "                          browsers' cookie-export extensions write it); the\n"
    "                          cookies of the two hosts and their parent domain\n"
    "                          go with every request, over checked https only\n"
    "                          (default: cookie_file in [service]; ca_file there\n"
    "                          names other authorities to trust); keep the file\n"
    "                          readable by you alone\n"
    "      --profile FILE      ask and read the service by this service profile\n"
    "                          (default: profile in [service]; where that names\n"
    "                          none, the built-in one); a profile that does not fit\n"
    "                          is refused with\n"
    "                          a line naming its place, and the built-in one is used\n"
    "\n"
    "Program:\n"
    "      --home DIR          keep the settings file and the records in DIR\n"
    "  -q, --quiet             print nothing but errors (no log, progress or summary)\n"
    "      --no-quiet          print the log, progress and summary\n"
    "\n"
    "Options not given come from the settings file, 配置.ini (the save folder, the\n"
    "three download options, the hosts, cookie_file and ca_file in [service],\n"
    "parallel=N and manifest=0 in [download], quiet=1 in [tiepic-cli]); the\n"
    "command line wins\n"
    "and is not written back. The settings file and the\n"
    "records live beside the program, or, for an installed program, in\n"
    "~/.config/tiepic and ~/.local/share/tiepic.\n"
    "\n"
    "The operation log goes to standard output; a progress bar goes to standard\n"
    "error when it is a terminal; a summary closes the run.\n"
    "\n"
    "A picture whose bytes have averaged under 1 KB/s since the first one, once\n"
    "they have come for 30 s, or whose transfer lasts over 30 minutes, fails as\n"
    "传输过慢; one over 256 MiB fails as 图片过大.\n"
    "\n"
    "Examples:\n"
    "  tiepic-cli --list 'http://tieba.baidu.com/f?kw=NAME'\n"
    "  tiepic-cli -o ~/Pictures --albums 1,3-5 --prevent-repeat \\\n"
    "      'http://tieba.baidu.com/f?kw=NAME'\n"
    "  tiepic-cli --all-pictures --describe-names 'http://tieba.baidu.com/p/NUMBER'\n"
    "  tiepic-cli --demo\n"
    "\n"
    "Exit status:\n"
    "  0    every picture saved or already there\n"
    "  1    some pictures could not be saved, or were never asked for because a\n"
    "       picture-list page could not be read (a later run tries them again)\n"
    "  2    usage error\n"
    "  3    the address is not a board or thread address\n"
    "  4    the service kept refusing (a security check, 403 or 429) after\n"
    "       waiting and asking again, so albums or pictures may be missing;\n"
    "       a signed-in cookie file (--cookies) or a later run may help\n"
    "  5    the album list could not be read: the service could not be reached,\n"
    "       or answered with errors or nothing (a later run may help)\n"
    "  6    --check-service: an interface it asked answered, but not as the\n"
    "       service profile expects (its line says which, and the profile key to\n"
    "       edit); interfaces not asked (nothing to ask them with) do not count;\n"
    "       where every answer fits, a refusal gives 4 and no answer 5\n"
    "  130  interrupted (Ctrl-C stops the run as the stop button does)\n"
    "Other statuses are kept for later use.\n";

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
    if (!number(a, &first) || !number(b, &last) || last < first ||
        last - first > 100000) {
      return std::nullopt;
    }
    for (int n = first; n <= last; ++n) albums.insert(n);
  }
  if (albums.empty()) return std::nullopt;
  return albums;
}

std::string PrintAlbumList(const std::set<int>& albums) {
  std::string text;
  for (auto it = albums.begin(); it != albums.end();) {
    const int first = *it;
    int last = first;
    for (++it; it != albums.end() && *it == last + 1; ++it) last = *it;
    if (!text.empty()) text += ",";
    text += std::to_string(first);
    if (last > first) text += "-" + std::to_string(last);
  }
  return text;
}

namespace {

// Takes the flags that stand alone; returns false for any other argument.
bool TakeSwitch(std::string_view arg, Options& options, bool* serve) {
  const std::pair<std::string_view, Action> actions[] = {
      {"--list", Action::kList}, {"--demo", Action::kDemo},       {"-h", Action::kHelp},
      {"--help", Action::kHelp}, {"--version", Action::kVersion},
      {"--check-service", Action::kCheckService},
  };
  for (const auto& [name, action] : actions) {
    if (arg != name) continue;
    // Help and version win over everything else on the line.
    if (options.action != Action::kHelp && options.action != Action::kVersion) {
      options.action = action;
    }
    return true;
  }
  const std::pair<std::string_view, std::optional<bool>*> pairs[] = {
      {"prevent-repeat", &options.prevent_repeat},
      {"quiet", &options.quiet},
      {"manifest", &options.manifest},
  };
  for (const auto& [name, choice] : pairs) {
    if (arg == "--" + std::string(name)) *choice = true;
    if (arg == "--no-" + std::string(name)) *choice = false;
    if (arg == "--" + std::string(name) || arg == "--no-" + std::string(name))
      return true;
  }
  if (arg == "-q") {
    options.quiet = true;
  } else if (arg == "--describe-names" || arg == "--number-names") {
    options.describe_names = arg == "--describe-names";
  } else if (arg == "--all-pictures" || arg == "--starter-only") {
    options.all_pictures = arg == "--all-pictures";
  } else if (arg == "--serve") {
    *serve = true;
  } else {
    return false;
  }
  return true;
}

// The flag of `arg` that takes a value, or nullptr.
std::string* ValueOf(std::string_view arg, Options& options) {
  if (arg == "-o" || arg == "--output") return &options.save_folder;
  if (arg == "--home") return &options.home;
  if (arg == "--web-host") return &options.web_host;
  if (arg == "--picture-host") return &options.picture_host;
  if (arg == "--client-address") return &options.client_address;
  if (arg == "--cookies") return &options.cookie_file;
  if (arg == "--profile") return &options.profile_file;
  return nullptr;
}

// What the action leaves to check once every argument is read.
bool CheckAction(Options& options, bool have_address, bool serve, std::string* error) {
  switch (options.action) {
    case Action::kHelp:
    case Action::kVersion:
      return true;
    case Action::kWriteProfile:
      if (have_address) {
        *error = "--write-profile takes no address";
        return false;
      }
      return true;
    case Action::kCheckService:
      if (serve) {
        *error = "--serve goes with --demo";
        return false;
      }
      return true;
    case Action::kDemo:
      if (have_address) {
        *error = "--demo takes no address";
        return false;
      }
      if (!serve && !options.home.empty()) {
        *error =
            "--home goes with --demo --serve only (the demo keeps its records apart)";
        return false;
      }
      if (serve && options.home.empty()) {
        *error = "--serve needs --home DIR, where the desktop program's settings go";
        return false;
      }
      if (serve) options.action = Action::kServeDemo;
      return true;
    default:
      if (serve) {
        *error = "--serve goes with --demo";
        return false;
      }
      if (!have_address || options.address.empty()) {
        *error = "no address given";
        return false;
      }
      return true;
  }
}

}  // namespace

std::optional<Options> ParseOptions(const std::vector<std::string_view>& arguments,
                                    std::string* error) {
  Options options;
  bool have_address = false;
  bool serve = false;
  bool only_operands = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view arg = arguments[i];
    const bool is_option = !only_operands && arg.size() > 1 && arg[0] == '-';
    if (is_option && arg == "--") {
      only_operands = true;
    } else if (is_option && TakeSwitch(arg, options, &serve)) {
    } else if (std::string* out = is_option ? ValueOf(arg, options) : nullptr) {
      if (i + 1 >= arguments.size()) {
        *error = std::string(arg) + " needs a value";
        return std::nullopt;
      }
      *out = arguments[++i];
    } else if (is_option && arg == "--write-profile") {
      if (i + 1 >= arguments.size()) {
        *error = "--write-profile needs a file";
        return std::nullopt;
      }
      options.written_profile = arguments[++i];
      if (options.action != Action::kHelp && options.action != Action::kVersion)
        options.action = Action::kWriteProfile;
    } else if (is_option && arg == "--jobs") {
      int jobs = 0;
      const std::string_view value = i + 1 < arguments.size() ? arguments[++i] : "";
      const auto [end, failure] = std::from_chars(value.data(), value.data() + value.size(), jobs);
      if (failure != std::errc() || end != value.data() + value.size() || jobs < 1 || jobs > 8) {
        *error = "--jobs takes a number from 1 to 8";
        return std::nullopt;
      }
      options.jobs = jobs;
    } else if (is_option && arg == "--albums") {
      options.albums =
          i + 1 < arguments.size() ? ParseAlbumList(arguments[++i]) : std::nullopt;
      if (!options.albums) {
        *error = "--albums takes row numbers such as 1,3-5";
        return std::nullopt;
      }
    } else if (is_option) {
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
  if (!CheckAction(options, have_address, serve, error)) return std::nullopt;
  return options;
}

}  // namespace cli
