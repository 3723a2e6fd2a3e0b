// tiepic-stand-in: the stand-in of the web service as a program, for the
// demo and for pointing curl or the desktop program at it. Listens on
// 127.0.0.1 only, prints its address on the first line, and ends by itself
// after --max-seconds (or at SIGINT/SIGTERM).
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "stand-in/certificates.h"
#include "stand-in/data_set_format.h"
#include "stand-in/generator.h"
#include "stand-in/server.h"

namespace {

constexpr char kUsage[] =
    "usage: tiepic-stand-in (--generate SEED,SIZE[,hostile] | --data DIR) [options]\n"
    "  --generate SEED,SIZE[,hostile]  SIZE: tiny, small, medium, large or a number of "
    "albums\n"
    "  --data DIR             serve the data set stored in DIR\n"
    "  --write DIR            write the data set (with picture files) to DIR and exit\n"
    "  --port N               listen on 127.0.0.1:N (default: an ephemeral port)\n"
    "  --fault SPEC           switch a fault on, e.g. picture:status=500*2 (repeatable)\n"
    "  --log FILE             append one line per request to FILE\n"
    "  --max-seconds N        end after N seconds (default 3600)\n"
    "  --web-host H[:P]       web host written into answers (default 127.0.0.1:PORT)\n"
    "  --picture-host H[:P]   picture host written into answers (default "
    "127.0.0.1:PORT)\n"
    "  --picture-size BYTES   with --generate: every picture this size\n"
    "  --tls FILE             answer https too, on the same port, with a certificate\n"
    "                         of a new authority written to FILE (PEM; for tiepic's\n"
    "                         [service] ca_file)\n"
    "The answers as a changed service gives them (repeatable; on any data set):\n"
    "  --rename OLD=NEW       a JSON member renamed\n"
    "  --nest NAME=PARENT     a JSON member moved into a new object member PARENT\n"
    "  --retype NAME          a JSON member's number written as a string, or its\n"
    "                         string of digits as a number\n"
    "  --move-path OLD=NEW    an interface answered on path NEW, and OLD answering 404\n"
    "  --list-wall-type v|h   the picture list's \"wall_type\" (default v)\n"
    "The answers as the service gives them today (repeatable; on any data set):\n"
    "  --today PARTS          all, or a comma list of thread, html-check, albums,\n"
    "                         guide, list, pictures, share, picpage, https (https\n"
    "                         needs --tls)\n";

// The options that change the answers' style, each one style record of the
// data-set format, with what its value must be.
struct StyleOption {
  const char* flag;
  const char* key;
  const char* wants;
};
constexpr StyleOption kStyleOptions[] = {
    {"--rename", "renamed_member", "OLD=NEW, two member names"},
    {"--nest", "nested_member", "NAME=PARENT, two member names"},
    {"--retype", "retyped_member", "a member name"},
    {"--move-path", "moved_path", "OLD=NEW, two paths starting with /"},
    {"--list-wall-type", "list_wall_type", "v or h"},
    {"--today", "today", "all or a comma list of parts"},
};

struct Arguments {
  std::string generate, data, write, log, tls;
  std::vector<std::string> faults;
  std::vector<std::pair<std::string, std::string>> style;  // style records, in order
  standin::StandInOptions options;
  long max_seconds = 3600;
  long picture_size = 0;
};

bool ParseLong(const char* text, long low, long high, long* value) {
  char* end = nullptr;
  *value = std::strtol(text, &end, 10);
  return *text && *end == '\0' && *value >= low && *value <= high;
}

// Takes a style option's value into a->style; returns false when `flag` is
// no style option. A bad value is refused here, before any data set is
// loaded, with *refused set.
bool ParseStyleOption(const std::string& flag, const char* value, Arguments* a, bool* refused) {
  for (const StyleOption& option : kStyleOptions) {
    if (flag != option.flag) continue;
    standin::AnswerStyle scratch;
    *refused = !standin::ApplyStyleRecord(option.key, value, &scratch);
    standin::TodayParts parts = 0;
    std::string unknown;
    if (flag == "--today" && !standin::ParseTodayParts(value, &parts, &unknown)) {
      std::fprintf(stderr, "tiepic-stand-in: bad argument --today %s: %s\n", value,
                   unknown.c_str());
    } else if (*refused) {
      std::fprintf(stderr, "tiepic-stand-in: bad argument %s %s: wants %s\n", option.flag, value,
                   option.wants);
    } else {
      a->style.emplace_back(option.key, value);
    }
    return true;
  }
  return false;
}

// Returns false (after printing why) on a bad command line.
bool ParseArguments(int argc, char** argv, Arguments* a) {
  for (int i = 1; i < argc; ++i) {
    std::string flag = argv[i];
    if (flag == "--help" || flag == "-h") return false;
    if (i + 1 >= argc) {
      std::fprintf(stderr, "tiepic-stand-in: %s wants a value\n", flag.c_str());
      return false;
    }
    const char* value = argv[++i];
    long n = 0;
    bool refused = false;
    if (ParseStyleOption(flag, value, a, &refused)) {
      if (refused) return false;
    } else if (flag == "--generate")
      a->generate = value;
    else if (flag == "--data")
      a->data = value;
    else if (flag == "--write")
      a->write = value;
    else if (flag == "--fault")
      a->faults.push_back(value);
    else if (flag == "--log")
      a->log = value;
    else if (flag == "--tls")
      a->tls = value;
    else if (flag == "--web-host")
      a->options.web_host = value;
    else if (flag == "--picture-host")
      a->options.picture_host = value;
    else if (flag == "--port" && ParseLong(value, 0, 65535, &n))
      a->options.port = static_cast<int>(n);
    else if (flag == "--max-seconds" && ParseLong(value, 1, 7 * 24 * 3600, &n))
      a->max_seconds = n;
    else if (flag == "--picture-size" && ParseLong(value, 1, 1 << 28, &n))
      a->picture_size = n;
    else {
      std::fprintf(stderr, "tiepic-stand-in: bad argument %s %s\n", flag.c_str(), value);
      return false;
    }
  }
  if (a->generate.empty() == a->data.empty()) {
    std::fprintf(stderr, "tiepic-stand-in: give exactly one of --generate and --data\n");
    return false;
  }
  return true;
}

// The data set of --data or --generate, with the style options applied
// after whatever style it brings (a list member gains their entries).
std::optional<standin::DataSet> LoadDataSet(const Arguments& a, std::string* error) {
  std::optional<standin::DataSet> data;
  if (!a.data.empty()) {
    data = standin::ReadDataSet(a.data, error);
  } else {
    std::optional<standin::GeneratorOptions> options =
        standin::ParseGenerateSpec(a.generate, error);
    if (!options) return std::nullopt;
    options->picture_size = static_cast<uint32_t>(a.picture_size);
    data = standin::GenerateDataSet(*options, error);
  }
  for (const auto& [key, value] : a.style) {
    if (data && !standin::ApplyStyleRecord(key, value, &data->style)) {
      *error = "cannot apply style " + key + " " + value;  // checked while parsing
      return std::nullopt;
    }
  }
  return data;
}

// How long the end may wait for the server's workers. One that is reading a
// request a client trickles in never finishes on its own, so past this the
// process ends without it.
constexpr int kStopGraceSeconds = 3;

// Waits for SIGINT or SIGTERM, at most `seconds`.
void WaitForEnd(const sigset_t& signals, long seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    timespec wait{static_cast<time_t>(left.count() / 1000),
                  static_cast<long>(left.count() % 1000) * 1000000};
    if (sigtimedwait(&signals, nullptr, &wait) > 0) return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  if (!ParseArguments(argc, argv, &args)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string error;
  std::optional<standin::DataSet> data = LoadDataSet(args, &error);
  if (!data) {
    std::fprintf(stderr, "tiepic-stand-in: %s\n", error.c_str());
    return 1;
  }
  if (!args.write.empty()) {
    if (!standin::WriteDataSet(*data, args.write, true, &error)) {
      std::fprintf(stderr, "tiepic-stand-in: %s\n", error.c_str());
      return 1;
    }
    std::printf("wrote %s\n", args.write.c_str());
    return 0;
  }
  // Signals are taken synchronously, so they must be blocked before the
  // server's threads exist (they inherit the mask).
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  if (standin::HasPart(data->style.today, standin::TodayPart::kHttps) && args.tls.empty()) {
    std::fprintf(stderr, "tiepic-stand-in: the today part https needs --tls\n");
    return 2;
  }
  if (!args.tls.empty()) {
    const standin::Pem pem = standin::LoopbackCertificate(args.tls);
    if (pem.empty()) {
      std::fprintf(stderr, "tiepic-stand-in: cannot make a certificate or write %s\n",
                   args.tls.c_str());
      return 1;
    }
    args.options.tls_certificate_pem = pem.certificate;
    args.options.tls_key_pem = pem.key;
  }
  standin::StandIn service(std::move(*data), args.options);
  for (const std::string& spec : args.faults) {
    if (service.AddFault(spec, &error) < 0) {
      std::fprintf(stderr, "tiepic-stand-in: %s\n", error.c_str());
      return 2;
    }
  }
  if (!args.log.empty() && !service.log().OpenFile(args.log)) {
    std::fprintf(stderr, "tiepic-stand-in: cannot open %s\n", args.log.c_str());
    return 1;
  }
  if (!service.Start(&error)) {
    std::fprintf(stderr, "tiepic-stand-in: %s\n", error.c_str());
    return 1;
  }
  std::printf("listening on 127.0.0.1:%d\n", service.port());
  std::printf("board   %s\n", service.BoardUrl().c_str());
  int shown = 0;
  for (const standin::Thread& t : service.data().threads) {
    if (!t.album && shown++ < 3) {
      std::printf("thread  %s  (%zu pictures)\n", service.ThreadUrl(t.tid).c_str(),
                  t.pictures.size());
    }
  }
  std::printf("version %s\n", service.VersionUrl().c_str());
  std::fflush(stdout);
  WaitForEnd(signals, args.max_seconds);
  std::thread([] {
    std::this_thread::sleep_for(std::chrono::seconds(kStopGraceSeconds));
    std::_Exit(0);  // the log file is flushed line by line
  }).detach();
  service.Stop();
  return 0;
}
