// The service's bad days, switchable while the stand-in runs. A fault names
// what it hits (one interface, every interface, or one picture) and what it
// does; with a count it fires that many times and is then spent; with a skip
// it lets that many of the requests it hits through first ("list:status=500*1@1":
// the second picture-list request answers 500, once).
//
//   SPEC   := TARGET ":" KIND ["=" ARG] ["*" COUNT] ["@" SKIP]
//   TARGET := board | album-list | thread | guide | list | picture | version
//           | album-tab | share | picpage | all | picture/ID
//   KIND                 effect
//   empty                200 with an empty body ("empty*3": three times)
//   status=CODE          that status (403, 404, 429, 500, ...) with a short body
//   latency=MS           waits MS before answering (adds up with others)
//   slow=BYTES/MS        sends the body BYTES at a time, MS apart
//   cut=BYTES            announces the whole body, sends BYTES, then closes
//   stall[=MS]           sends nothing for MS (default 60000, ended early by
//                        Stop), then answers normally
//   security-check       the security-check page instead of the answer
//   referer[=PREFIX]     403 unless Referer starts with PREFIX (default: the
//                        web host's address, "http://WEB/")
//   cookie[=NAME=VALUE]  403 unless the Cookie header holds NAME=VALUE
//                        (default BAIDUID=stand-in); the board and thread
//                        pages then set that cookie
//   redirect[=N|loop]    N (default 1) 302 hops before the answer; "loop"
//                        redirects to the same address forever
//   moved=HOST[:PORT]    a 302 to the same address on HOST, in the scheme
//                        the request came by (not fired on HOST itself)
//   verify               a 302 to the verification address
//                        /static/captcha/tuxing.html?ak=stand-in&backurl=...,
//                        which answers the security-check page
//   rate-limit           (picpage only) the picture page's JSON refusal
//                        {"error_code":"239103",...} instead of the answer
//
// Thread safety: FaultSet may be used from any thread; Take is atomic with
// respect to Add, Remove and Clear.
#ifndef TIEPIC_TOOLS_STAND_IN_FAULTS_H_
#define TIEPIC_TOOLS_STAND_IN_FAULTS_H_

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stand-in/routes.h"

namespace standin {

enum class FaultKind {
  kEmpty,
  kStatus,
  kLatency,
  kSlow,
  kCut,
  kStall,
  kSecurityCheck,
  kReferer,
  kCookie,
  kRedirect,
  kVerify,
  kMoved,
  kRateLimit
};

struct Fault {
  bool all_interfaces = false;
  Interface iface = Interface::kPicture;
  std::string picture_id;  // non-empty: only this picture
  FaultKind kind = FaultKind::kEmpty;
  int value = 0;        // status code, ms, bytes or hops (-1: loop)
  int interval_ms = 0;  // kSlow
  std::string text;     // referer prefix or NAME=VALUE cookie (empty: the default),
                        // or the host a moved fault sends to
  int remaining = -1;   // firings left; -1: unlimited
  int skip = 0;         // requests it hits that it lets through first
};

// Parses one SPEC; nullopt with *error naming the problem.
std::optional<Fault> ParseFault(std::string_view spec, std::string* error);
// A fault printed back in SPEC form (its remaining count as "*N").
std::string PrintFault(const Fault& fault);

inline constexpr char kDefaultCookie[] = "BAIDUID=stand-in";
// The path of the verification address a verify fault redirects to.
inline constexpr char kVerificationPath[] = "/static/captcha/tuxing.html";

// What the faults decided for one request.
struct FaultPlan {
  int latency_ms = 0;
  std::optional<Fault> replace;    // kEmpty, kStatus, kStall, kSecurityCheck,
                                   // kReferer, kCookie (refusing), kRedirect, kVerify,
                                   // kMoved or kRateLimit
  std::optional<Fault> delivery;   // kSlow or kCut
  std::vector<std::string> fired;  // SPECs of the faults that fired
};

// The request facts a fault looks at.
struct FaultRequest {
  Interface iface = Interface::kUnknown;
  std::string_view picture_id;
  std::string_view referer;
  std::string_view cookie;
  std::string_view default_referer;  // "http://WEB/"
  bool redirected = false;           // reached through the stand-in's own redirect
  std::string_view host;             // as the request's Host line names it
};

class FaultSet {
 public:
  // Returns an id for Remove.
  int Add(Fault fault);
  void Remove(int id);
  void Clear();
  std::vector<Fault> Active() const;

  // Decides the faults of one request and spends one firing of each that
  // fires. A gate (referer, cookie) fires only when the request fails it; a
  // redirect never fires on a request already redirected by the stand-in.
  FaultPlan Take(const FaultRequest& request);

  // The cookies the web pages set for the active cookie faults.
  std::vector<std::string> CookiesToSet() const;

 private:
  struct Entry {
    int id;
    Fault fault;
  };
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  int next_id_ = 1;
  std::atomic<bool> any_{false};
};

}  // namespace standin

#endif  // TIEPIC_TOOLS_STAND_IN_FAULTS_H_
