// tiepic-cli: the headless front end. It parses the command line, takes the
// settings file's word for what the command line leaves open, and hands the
// address to one run of the desktop program's handlers (cli_run.h), the demo
// (cli_demo.h), or prints help or the version.
#include <malloc.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli_console.h"
#include "app/cli_demo.h"
#include "app/cli_options.h"
#include "app/cli_run.h"
#include "platform/file_system.h"
#include "runtime/file_commands.h"
#include "runtime/gbk.h"
#include "shell/service_profile.h"
#include "shell/settings.h"

#ifndef TIEPIC_VERSION
#define TIEPIC_VERSION "1.0"
#endif

namespace {

// Quiet unless the command line or the settings file says otherwise.
bool Quiet(const cli::Options& options) {
  if (options.quiet) return *options.quiet;
  const rt::Text ini = rt::SettingsDirectory() + "/" + shell::IniFileName();
  return rt::ReadIniText(ini, cli::kCliSection, cli::kQuietKey, "0") == "1";
}

// Writes the built-in service profile to `path` ("-": standard output).
int WriteProfile(const std::string& path) {
  const std::string text = shell::ProfileText(shell::BuiltInProfile());
  if (path == "-") {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return cli::kExitOk;
  }
  if (!platform::ReplaceFile(path, {text}, /*durable=*/true)) {
    std::fprintf(stderr, "tiepic-cli: cannot write the profile to %s\n", path.c_str());
    return cli::kExitUsage;
  }
  return cli::kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  // Each picture passes through the heap once or twice; kept rather than
  // handed back to the system after every picture, the freed memory is not
  // faulted in again for the next one (about 0.4 ms a 100 KB picture).
  mallopt(M_TRIM_THRESHOLD, 4 << 20);
  std::string error;
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  const std::optional<cli::Options> parsed = cli::ParseOptions(arguments, &error);
  if (!parsed) {
    std::fprintf(stderr, "tiepic-cli: %s (see tiepic-cli --help)\n", error.c_str());
    return cli::kExitUsage;
  }
  const cli::Options& options = *parsed;
  if (options.action == cli::Action::kHelp) {
    std::fputs(cli::kHelp, stdout);
    return cli::kExitOk;
  }
  if (options.action == cli::Action::kVersion) {
    std::printf("tiepic-cli %s\n", TIEPIC_VERSION);
    return cli::kExitOk;
  }
  for (const std::string* text : {&options.save_folder, &options.address, &options.home}) {
    if (!rt::FitsText(*text)) {
      std::fprintf(stderr,
                   "tiepic-cli: %s holds characters GBK text cannot hold (see tiepic-cli "
                   "--help)\n",
                   text->c_str());
      return cli::kExitUsage;
    }
  }
  if (options.action == cli::Action::kWriteProfile) return WriteProfile(options.written_profile);
  cli::Interrupts interrupts;  // before any other thread starts
  if (options.action == cli::Action::kDemo) return cli::RunDemo(options, interrupts);
  if (options.action == cli::Action::kServeDemo) return cli::ServeDemo(options, interrupts);

  if (!options.home.empty()) platform::SetRunDirectory(options.home);
  if (options.action == cli::Action::kCheckService) {
    cli::Console console(Quiet(options), /*log_to_stderr=*/true, /*bar=*/false);
    return cli::CheckService(options, console);
  }
  const bool listing = options.action == cli::Action::kList;
  cli::Console console(Quiet(options), listing, !listing && cli::Console::ErrorIsTerminal());
  const cli::RunResult result = cli::RunAddress(options, console, interrupts);
  using End = cli::RunResult::End;
  if (!listing && result.end != End::kUnrecognised && result.end != End::kNotStarted &&
      result.end != End::kNoSuchRows && !result.trouble.nothing_found) {
    const bool stopped = result.end == End::kStopped;
    if (result.end == End::kNoPictures)
      console.Print("The thread has 0 pictures: nothing to download");
    console.Print(cli::PrintSummary(stopped ? "Stopped" : "Done", result.albums, result.counts,
                                    result.seconds));
    if (result.counts.saved > 0) console.Print("Pictures saved in " + result.save_folder);
    if (!result.failures.empty()) {
      console.Print(
          "Not saved (album, picture id, reason); a second run with --prevent-repeat "
          "fetches just these:");
      for (const std::string& line : result.failures) console.Print("  " + line);
    }
    if (!result.not_asked.empty()) {
      console.Print("Not asked for, as a picture-list page stayed unread (album, pictures):");
      for (const std::string& line : result.not_asked) console.Print("  " + line);
    }
  }
  return cli::ExitStatus(result, options, console);
}
