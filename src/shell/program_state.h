// The program-wide values the shell sets at start: where the settings file
// is, the version shown on the help page, how often the help page has been
// visited, and the addresses of the service and of the version page.
//
// Thread safety: written on the UI thread by the created handler before any
// worker starts; afterwards workers only read the texts, and only the UI
// thread touches help_page_visits.
#ifndef TIEPIC_SHELL_PROGRAM_STATE_H_
#define TIEPIC_SHELL_PROGRAM_STATE_H_

#include "runtime/value.h"
#include "shell/service_profile.h"

namespace shell {

// Where the program finds the service and its own version page. Hosts are
// bare host names, optionally with ":port"; the version page is a full
// address.
struct ServiceAddresses {
  rt::Text web_host;
  rt::Text picture_host;
  rt::Text version_page;
  rt::Text cookie_file;  // a signed-in visitor's cookies.txt; "": none
  rt::Text ca_file;      // certificate authorities (PEM) for https; "": the system's
  rt::Text profile_file;  // a service profile (service_profile.h); "": the built-in one
  // The mobile client's interfaces: scheme and host, "https://c.tieba.baidu.com".
  rt::Text client_address;
};

struct ProgramState {
  rt::Text ini_path;         // settings folder + "/配置.ini"
  rt::Text version;          // "1.0"
  rt::Text version_key;      // "tieba"
  int help_page_visits = 0;  // 1 from start until the first visit of page 1
  ServiceAddresses service;
  int parallel_fetches = 1;  // picture fetches of an album in flight at once, 1..8
  ServiceProfile profile = BuiltInProfile();  // the built-in one, or [service] profile's
  bool manifest = true;      // album folders keep their manifest of saved pictures
};

}  // namespace shell

#endif  // TIEPIC_SHELL_PROGRAM_STATE_H_
