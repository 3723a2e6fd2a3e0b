// The demo of tiepic-cli: a made-up board (three albums, a thread, every
// picture format, Chinese names and descriptions) served by the stand-in of
// the service inside this process on 127.0.0.1, downloaded twice with
// prevent-repeat on: the first pass saves every picture, the second fetches
// none. Serving only, it points the desktop program's settings file at the
// same stand-in instead.
//
// Thread safety: run on the main thread.
#ifndef TIEPIC_APP_CLI_DEMO_H_
#define TIEPIC_APP_CLI_DEMO_H_

#include "app/cli_options.h"
#include "app/cli_run.h"

namespace cli {

// --demo: returns the exit status (0 when both passes went as they should).
int RunDemo(const Options& options, Interrupts& interrupts);

// --demo --serve: serves until interrupted (at most an hour). Returns the
// exit status.
int ServeDemo(const Options& options, Interrupts& interrupts);

}  // namespace cli

#endif  // TIEPIC_APP_CLI_DEMO_H_
