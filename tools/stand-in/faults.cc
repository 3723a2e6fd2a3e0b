// Parsing of fault SPECs and the set of active faults.
#include "stand-in/faults.h"

#include <algorithm>
#include <charconv>

#include "stand-in/texts.h"

namespace standin {
namespace {

struct KindName {
  FaultKind kind;
  const char* name;
};
constexpr KindName kKinds[] = {
    {FaultKind::kEmpty, "empty"},
    {FaultKind::kStatus, "status"},
    {FaultKind::kLatency, "latency"},
    {FaultKind::kSlow, "slow"},
    {FaultKind::kCut, "cut"},
    {FaultKind::kStall, "stall"},
    {FaultKind::kSecurityCheck, "security-check"},
    {FaultKind::kReferer, "referer"},
    {FaultKind::kCookie, "cookie"},
    {FaultKind::kRedirect, "redirect"},
    {FaultKind::kVerify, "verify"},
    {FaultKind::kMoved, "moved"},
    {FaultKind::kRateLimit, "rate-limit"},
};

const char* KindText(FaultKind kind) {
  for (const KindName& k : kKinds) {
    if (k.kind == kind) return k.name;
  }
  return "?";
}

bool ParseInt(std::string_view text, int low, int high, int* value) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size() &&
         *value >= low && *value <= high;
}

// Fills the argument of `fault` from ARG; returns "" or the complaint.
std::string ParseArgument(std::string_view arg, bool given, Fault* fault) {
  switch (fault->kind) {
    case FaultKind::kEmpty:
    case FaultKind::kSecurityCheck:
    case FaultKind::kVerify:
      return given ? "takes no argument" : "";
    case FaultKind::kRateLimit:  // the refusal is the picture page's own JSON
      if (fault->all_interfaces || !fault->picture_id.empty() ||
          fault->iface != Interface::kPicpage) {
        return "rate-limit is for the target picpage only";
      }
      return given ? "takes no argument" : "";
    case FaultKind::kStatus:
      return ParseInt(arg, 100, 599, &fault->value) ? "" : "wants status=CODE";
    case FaultKind::kLatency:
      return ParseInt(arg, 0, 600000, &fault->value) ? "" : "wants latency=MS";
    case FaultKind::kCut:
      return ParseInt(arg, 0, 1 << 30, &fault->value) ? "" : "wants cut=BYTES";
    case FaultKind::kStall:
      fault->value = 60000;
      return !given || ParseInt(arg, 0, 600000, &fault->value) ? "" : "wants stall[=MS]";
    case FaultKind::kSlow: {
      size_t slash = arg.find('/');
      bool ok = slash != std::string_view::npos &&
                ParseInt(arg.substr(0, slash), 1, 1 << 30, &fault->value) &&
                ParseInt(arg.substr(slash + 1), 0, 60000, &fault->interval_ms);
      return ok ? "" : "wants slow=BYTES/MS";
    }
    case FaultKind::kReferer:
    case FaultKind::kCookie:
      fault->text = std::string(arg);
      return fault->kind == FaultKind::kCookie && given && arg.find('=') == arg.npos
                 ? "wants cookie=NAME=VALUE"
                 : "";
    case FaultKind::kMoved:
      fault->text = std::string(arg);
      return arg.empty() || arg.find_first_of("/ \t") != arg.npos ? "wants moved=HOST[:PORT]" : "";
    case FaultKind::kRedirect:
      fault->value = 1;
      if (arg == "loop") {
        fault->value = -1;
        return "";
      }
      return !given || ParseInt(arg, 1, 50, &fault->value) ? ""
                                                           : "wants redirect[=N|loop]";
  }
  return "unknown kind";
}

bool Targets(const Fault& fault, const FaultRequest& request) {
  if (!fault.all_interfaces && fault.iface != request.iface) return false;
  if (!fault.picture_id.empty() && fault.picture_id != request.picture_id) return false;
  return fault.remaining != 0;
}

// Returns true iff a gate fault refuses this request.
bool GateRefuses(const Fault& fault, const FaultRequest& request) {
  if (fault.kind == FaultKind::kReferer) {
    std::string_view prefix = fault.text.empty() ? request.default_referer : fault.text;
    return request.referer.substr(0, prefix.size()) != prefix;
  }
  std::string wanted = fault.text.empty() ? kDefaultCookie : fault.text;
  std::string_view cookies = request.cookie;
  while (!cookies.empty()) {  // items separated by ";" and optional spaces
    size_t semi = cookies.find(';');
    std::string_view item = cookies.substr(0, semi);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    if (item == wanted) return false;
    if (semi == std::string_view::npos) break;
    cookies.remove_prefix(semi + 1);
  }
  return true;
}

}  // namespace

std::optional<Fault> ParseFault(std::string_view spec, std::string* error) {
  Fault fault;
  size_t colon = spec.find(':');
  if (colon == std::string_view::npos) {
    *error = "fault \"" + std::string(spec) + "\": wants TARGET:KIND";
    return std::nullopt;
  }
  std::string_view target = spec.substr(0, colon), rest = spec.substr(colon + 1);
  if (target == "all") {
    fault.all_interfaces = true;
  } else if (target.substr(0, 8) == "picture/" && target.size() > 8) {
    fault.picture_id = PercentDecode(target.substr(8), false);
  } else if (auto iface = ParseInterfaceName(target);
             iface && *iface != Interface::kUnknown) {
    fault.iface = *iface;
  } else {
    *error = "fault \"" + std::string(spec) + "\": unknown target \"" +
             std::string(target) + "\"";
    return std::nullopt;
  }
  size_t at = rest.rfind('@');
  if (at != std::string_view::npos) {
    if (!ParseInt(rest.substr(at + 1), 1, 1000000000, &fault.skip)) {
      *error = "fault \"" + std::string(spec) + "\": bad skip";
      return std::nullopt;
    }
    rest = rest.substr(0, at);
  }
  size_t star = rest.rfind('*');
  if (star != std::string_view::npos) {
    if (!ParseInt(rest.substr(star + 1), 1, 1000000000, &fault.remaining)) {
      *error = "fault \"" + std::string(spec) + "\": bad count";
      return std::nullopt;
    }
    rest = rest.substr(0, star);
  }
  size_t eq = rest.find('=');
  std::string_view kind = rest.substr(0, eq);
  bool found = false;
  for (const KindName& k : kKinds) {
    if (kind == k.name) {
      fault.kind = k.kind;
      found = true;
    }
  }
  std::string complaint =
      found ? ParseArgument(eq == std::string_view::npos ? "" : rest.substr(eq + 1),
                            eq != std::string_view::npos, &fault)
            : "unknown kind \"" + std::string(kind) + "\"";
  if (!complaint.empty()) {
    *error = "fault \"" + std::string(spec) + "\": " + complaint;
    return std::nullopt;
  }
  return fault;
}

std::string PrintFault(const Fault& fault) {
  std::string spec = fault.all_interfaces ? "all"
                     : !fault.picture_id.empty()
                         ? "picture/" + PercentEncode(fault.picture_id)
                         : InterfaceName(fault.iface);
  spec += std::string(":") + KindText(fault.kind);
  switch (fault.kind) {
    case FaultKind::kStatus:
    case FaultKind::kLatency:
    case FaultKind::kCut:
    case FaultKind::kStall:
      spec += "=" + std::to_string(fault.value);
      break;
    case FaultKind::kSlow:
      spec += "=" + std::to_string(fault.value) + "/" + std::to_string(fault.interval_ms);
      break;
    case FaultKind::kReferer:
    case FaultKind::kCookie:
    case FaultKind::kMoved:
      if (!fault.text.empty()) spec += "=" + fault.text;
      break;
    case FaultKind::kRedirect:
      spec += fault.value < 0 ? "=loop" : "=" + std::to_string(fault.value);
      break;
    default:
      break;
  }
  if (fault.remaining >= 0) spec += "*" + std::to_string(fault.remaining);
  if (fault.skip > 0) spec += "@" + std::to_string(fault.skip);
  return spec;
}

int FaultSet::Add(Fault fault) {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.push_back({next_id_, std::move(fault)});
  any_ = true;
  return next_id_++;
}

void FaultSet::Remove(int id) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(entries_, [id](const Entry& e) { return e.id == id; });
  any_ = !entries_.empty();
}

void FaultSet::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
  any_ = false;
}

std::vector<Fault> FaultSet::Active() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Fault> faults;
  for (const Entry& e : entries_) {
    if (e.fault.remaining != 0) faults.push_back(e.fault);
  }
  return faults;
}

FaultPlan FaultSet::Take(const FaultRequest& request) {
  FaultPlan plan;
  if (!any_) return plan;  // the common case costs one atomic load
  std::lock_guard<std::mutex> lock(mutex_);
  // A fault still skipping lets this request through and counts it off.
  std::vector<Fault*> skipping;
  for (Entry& e : entries_) {
    if (e.fault.skip > 0 && Targets(e.fault, request)) skipping.push_back(&e.fault);
  }
  for (Fault* f : skipping) --f->skip;
  auto hits = [&](const Fault& f) {
    return Targets(f, request) && f.skip == 0 &&
           std::find(skipping.begin(), skipping.end(), &f) == skipping.end();
  };
  auto fire = [&plan](Fault& f) {
    if (f.remaining > 0) --f.remaining;
    plan.fired.push_back(PrintFault(f));
  };
  for (Entry& e : entries_) {
    if (e.fault.kind == FaultKind::kLatency && hits(e.fault)) {
      plan.latency_ms += e.fault.value;
      fire(e.fault);
    }
  }
  // The first fault, in the order added, that replaces the answer.
  for (Entry& e : entries_) {
    Fault& f = e.fault;
    if (!hits(f)) continue;
    bool fires = false;
    switch (f.kind) {
      case FaultKind::kLatency:
      case FaultKind::kSlow:
      case FaultKind::kCut:
        break;
      case FaultKind::kReferer:
      case FaultKind::kCookie:
        fires = GateRefuses(f, request);
        break;
      case FaultKind::kRedirect:
        fires = !request.redirected;
        break;
      case FaultKind::kMoved:
        fires = request.host != f.text;
        break;
      default:
        fires = true;
    }
    if (fires) {
      plan.replace = f;
      fire(f);
      break;
    }
  }
  if (plan.replace) return plan;  // a replaced answer has no body to slow or cut
  for (Entry& e : entries_) {
    Fault& f = e.fault;
    if ((f.kind == FaultKind::kSlow || f.kind == FaultKind::kCut) && hits(f)) {
      plan.delivery = f;
      fire(f);
      break;
    }
  }
  return plan;
}

std::vector<std::string> FaultSet::CookiesToSet() const {
  std::vector<std::string> cookies;
  if (!any_) return cookies;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Entry& e : entries_) {
    if (e.fault.kind == FaultKind::kCookie && e.fault.remaining != 0) {
      cookies.push_back(e.fault.text.empty() ? kDefaultCookie : e.fault.text);
    }
  }
  return cookies;
}

}  // namespace standin
