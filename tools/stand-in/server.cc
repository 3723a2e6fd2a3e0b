// The stand-in's HTTP server: one pre-routing handler recognises the
// request shape, lets the faults decide, builds the answer and logs it.
#include "stand-in/server.h"

#include <httplib.h>

#include <chrono>

#include "stand-in/picture_files.h"
#include "stand-in/scheme_switch.h"
#include "stand-in/texts.h"
#include "stand-in/today_answers.h"

namespace standin {
namespace {

// Streams `body` at most `chunk` bytes per call, `interval_ms` apart, or
// (cut) only its first `limit` bytes before failing the connection.
struct Delivery {
  std::shared_ptr<const std::string> body;
  size_t chunk = 0;  // 0: everything at once
  int interval_ms = 0;
  size_t limit = SIZE_MAX;
};

// Returns true iff the Cookie header holds a BDUSS cookie, of any value.
bool HasLoginCookie(std::string_view cookies) {
  while (!cookies.empty()) {
    size_t semi = cookies.find(';');
    std::string_view item = cookies.substr(0, semi);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    if (item.starts_with("BDUSS=")) return true;
    if (semi == std::string_view::npos) break;
    cookies.remove_prefix(semi + 1);
  }
  return false;
}

// Returns true iff `referer` is an address on the web host, in either scheme.
bool FromWebHost(std::string_view referer, const std::string& web) {
  return referer.starts_with("http://" + web + "/") || referer.starts_with("https://" + web + "/");
}

// Returns true iff `agent` names a current browser.
bool CurrentBrowser(std::string_view agent) {
  return (agent.find("Chrome/") != agent.npos || agent.find("Firefox/") != agent.npos) &&
         agent.find("MSIE") == agent.npos;
}

// The interfaces on the web host, which the https part moves to https.
bool OnWebHost(Interface iface) {
  switch (iface) {
    case Interface::kBoard:
    case Interface::kAlbumList:
    case Interface::kAlbumTab:
    case Interface::kThread:
    case Interface::kGuide:
    case Interface::kList:
    case Interface::kShare:
    case Interface::kPicpage:
      return true;
    default:
      return false;
  }
}

Answer Refused() {
  Answer answer = SecurityCheckPage();
  answer.status = 403;
  return answer;
}

}  // namespace

StandIn::StandIn(DataSet data, StandInOptions options)
    : data_(std::make_unique<DataSet>(std::move(data))),
      index_(std::make_unique<DataIndex>(data_.get())),
      options_(std::move(options)),
      log_(options_.log_capacity) {}

StandIn::~StandIn() { Stop(); }

void StandIn::Configure(httplib::Server& server) {
  int threads = options_.threads;
  server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  server.set_tcp_nodelay(true);  // answers go out whole, not held for an ACK
  server.set_keep_alive_max_count(100000);
  server.set_keep_alive_timeout(1);  // bounds how long Stop waits for idle connections
  // A POST's body is read only after the pre-routing handler, so POSTs
  // go through a route of their own.
  server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    if (req.method == "POST") return httplib::Server::HandlerResponse::Unhandled;
    Handle(req, res);
    return httplib::Server::HandlerResponse::Handled;
  });
  server.Post(".*", [this](const httplib::Request& req, httplib::Response& res) { Handle(req, res); });
}

int StandIn::Listen(httplib::Server& server, int port, std::thread* thread) {
  const int bound = port == 0 ? server.bind_to_any_port("127.0.0.1")
                              : (server.bind_to_port("127.0.0.1", port) ? port : -1);
  if (bound <= 0) return 0;
  *thread = std::thread([&server] { server.listen_after_bind(); });
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!server.is_running() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return server.is_running() ? bound : 0;
}

bool StandIn::Start(std::string* error) {
  stopping_ = false;
  if (!options_.tls_certificate_pem.empty()) return StartTls(error);
  server_ = std::make_unique<httplib::Server>();
  Configure(*server_);
  port_ = Listen(*server_, options_.port, &thread_);
  running_ = port_ > 0;
  if (!running_) {
    if (error) *error = "cannot listen on 127.0.0.1:" + std::to_string(options_.port);
    Stop();
    port_ = 0;
  }
  return running_;
}

void StandIn::Stop() {
  if (!server_) return;
  {
    std::lock_guard<std::mutex> lock(sleep_mutex_);
    stopping_ = true;
  }
  sleep_wake_.notify_all();
  switch_.reset();  // the relayed connections close first
  for (auto* server : {&server_, &tls_server_}) {
    if (*server) (*server)->stop();
  }
  if (thread_.joinable()) thread_.join();
  if (tls_thread_.joinable()) tls_thread_.join();
  server_.reset();
  tls_server_.reset();
  running_ = false;
}

Hosts StandIn::hosts() const {
  std::string port = ":" + std::to_string(port_);
  auto with_port = [&port](const std::string& host) {
    if (host.empty()) return "127.0.0.1" + port;
    return host.find(':') == std::string::npos ? host + port : host;
  };
  return Hosts{with_port(options_.web_host), with_port(options_.picture_host)};
}

std::string StandIn::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::string StandIn::BoardUrl() const { return standin::BoardUrl(hosts(), data_->board); }

std::string StandIn::ThreadUrl(std::string_view tid) const {
  return "http://" + hosts().web + "/p/" + std::string(tid);
}

std::string StandIn::VersionUrl() const {
  std::string path = "/download/softzuixinv/index.html";
  for (const auto& [old_path, new_path] : data_->style.moved_paths) {
    if (old_path == path) return Url(new_path);
  }
  return Url(path);
}

int StandIn::AddFault(std::string_view spec, std::string* error) {
  std::string message;
  std::optional<Fault> fault = ParseFault(spec, &message);
  if (!fault) {
    if (error) *error = message;
    return -1;
  }
  return faults_.Add(std::move(*fault));
}

bool StandIn::Sleep(int ms) {
  std::unique_lock<std::mutex> lock(sleep_mutex_);
  return !sleep_wake_.wait_for(lock, std::chrono::milliseconds(ms),
                               [this] { return stopping_.load(); });
}

Answer StandIn::ServePicture(const Route& route, const httplib::Request& request) const {
  if (HasPart(data_->style.today, TodayPart::kPictures)) {
    // A signed address needs no Referer; an unsigned one must come from the web host.
    if (route.has_tbpicau) {
      if (route.tbpicau != PictureAuth(route.picture_id)) return LogoPicture();
    } else if (!FromWebHost(request.get_header_value("Referer"), hosts().web)) {
      return PlaceholderPicture();
    }
  }
  const Picture* picture = index_->FindPicture(route.picture_id);
  // A sized variant's address must carry the picture's own sign.
  if (!picture || (!route.sign.empty() && route.sign != PictureSign(picture->id))) {
    return NotFoundPage();
  }
  Answer answer;
  answer.content_type = MimeType(picture->format);
  answer.body = PictureBody(*data_, *picture);
  return answer;
}

Answer StandIn::Serve(const Route& route, const httplib::Request& request) const {
  Hosts h = hosts();
  const TodayParts today = data_->style.today;
  const bool html_page = route.iface == Interface::kBoard || route.iface == Interface::kThread ||
                         route.iface == Interface::kAlbumTab;
  if (html_page && HasPart(today, TodayPart::kHtmlCheck) &&
      !HasLoginCookie(request.get_header_value("Cookie"))) {
    return Refused();
  }
  switch (route.iface) {
    case Interface::kBoard:
      return BoardPage(*index_, h, route.kw);
    case Interface::kAlbumList:
      if (HasPart(today, TodayPart::kAlbums)) return NotFoundPage();  // retired
      return AlbumListPage(*index_, h, route);
    case Interface::kAlbumTab:
      return AlbumTabPage(*index_, h, route.kw);
    case Interface::kThread:
      if (HasPart(today, TodayPart::kThread)) return ThreadShellPage(*index_, route.tid);
      return ThreadPage(*index_, h, route.tid);
    case Interface::kGuide:
      return GuideAnswer(*index_, h, route);
    case Interface::kList:
      if (HasPart(today, TodayPart::kList) &&
          !(CurrentBrowser(request.get_header_value("User-Agent")) &&
            FromWebHost(request.get_header_value("Referer"), h.web))) {
        return Refused();
      }
      return ListAnswer(*index_, h, route);
    case Interface::kShare:
      return ShareAnswer(*data_, route.fname);
    case Interface::kPicpage:
      return PicpageAnswer(*index_, h, request.get_header_value("Content-Type"), request.body);
    case Interface::kPicture:
      return ServePicture(route, request);
    case Interface::kVersion:
      return VersionPage(*data_);
    case Interface::kUnknown:
    default:
      return NotFoundPage();
  }
}

void StandIn::Handle(const httplib::Request& req, httplib::Response& res) {
  LogEntry entry;
  entry.ms = log_.MillisecondsSinceStart();
  entry.scheme = req.ssl ? "https" : "http";
  const std::string origin = entry.scheme + "://";  // redirects keep the scheme
  entry.method = req.method;
  entry.target = req.target;
  for (const auto& [name, value] : req.headers) {
    // The server adds these four itself; they did not come from the client.
    if (name == "LOCAL_ADDR" || name == "LOCAL_PORT" || name == "REMOTE_ADDR" ||
        name == "REMOTE_PORT") {
      continue;
    }
    entry.headers.emplace_back(name, value);
  }
  Route route =
      ParseRoute(req.method, req.target, data_->style.moved_paths, data_->style.today);
  entry.iface = route.iface;
  entry.why = route.why;
  std::string host = req.has_header("Host") ? req.get_header_value("Host") : hosts().web;
  // Today's web host sends plain http on to https before anything else
  // happens, so no fault fires on the hop.
  const bool to_https =
      !req.ssl && HasPart(data_->style.today, TodayPart::kHttps) && OnWebHost(route.iface);

  FaultPlan plan;
  if (route.iface != Interface::kUnknown && route.hops <= 0 && !to_https) {
    std::string referer = req.get_header_value("Referer"),
                cookie = req.get_header_value("Cookie");
    std::string default_referer = "http://" + hosts().web + "/";
    plan = faults_.Take(FaultRequest{route.iface, route.picture_id, referer, cookie,
                                     default_referer, route.hops == 0, host});
  }
  for (size_t i = 0; i < plan.fired.size(); ++i)
    entry.faults += (i ? " " : "") + plan.fired[i];
  if (plan.latency_ms > 0) Sleep(plan.latency_ms);

  Answer answer;
  if (to_https) {
    answer.status = 301;
    answer.headers.emplace_back("Location", "https://" + host + req.target);
  } else if (route.hops > 0) {  // inside a redirect chain the stand-in started
    answer.status = 302;
    answer.headers.emplace_back(
        "Location", origin + host + "/_hop/" + std::to_string(route.hops - 1) + route.target);
  } else if (plan.replace) {
    const Fault& f = *plan.replace;
    switch (f.kind) {
      case FaultKind::kEmpty:
        answer.content_type = "text/html";
        break;
      case FaultKind::kStatus:
        answer = StatusPage(f.value);
        break;
      case FaultKind::kSecurityCheck:
        answer = SecurityCheckPage();
        break;
      case FaultKind::kReferer:
      case FaultKind::kCookie:
        answer = StatusPage(403);
        break;
      case FaultKind::kRedirect:
        answer.status = 302;
        answer.headers.emplace_back(
            "Location",
            f.value < 0 ? origin + host + req.target
                        : origin + host + "/_hop/" + std::to_string(f.value - 1) + route.target);
        break;
      case FaultKind::kMoved:
        answer.status = 302;
        answer.headers.emplace_back("Location", origin + f.text + req.target);
        break;
      case FaultKind::kVerify:
        answer.status = 302;
        answer.headers.emplace_back(
            "Location", origin + host + kVerificationPath +
                            "?ak=stand-in&backurl=" + PercentEncode(origin + host + req.target));
        break;
      case FaultKind::kRateLimit:
        answer = PicpageRateLimit();
        break;
      case FaultKind::kStall:
      default:
        if (Sleep(f.value))
          answer = Serve(route, req);
        else
          answer = StatusPage(503);  // stopping: answer at once
    }
  } else if (route.iface == Interface::kUnknown &&
             std::string_view(req.path).starts_with(kVerificationPath)) {
    answer = SecurityCheckPage();  // where a verify fault sends the visitor
  } else {
    answer = Serve(route, req);
  }
  if (route.iface == Interface::kBoard || route.iface == Interface::kThread) {
    for (const std::string& cookie : faults_.CookiesToSet()) {
      answer.headers.emplace_back("Set-Cookie", cookie + "; path=/");
    }
  }

  res.status = answer.status;
  for (auto& [name, value] : answer.headers) res.set_header(name.c_str(), value);
  entry.status = answer.status;
  entry.bytes = answer.body.size();
  if (plan.delivery && !answer.body.empty()) {
    Delivery d;
    d.body = std::make_shared<const std::string>(std::move(answer.body));
    if (plan.delivery->kind == FaultKind::kCut) {
      d.limit = std::min<size_t>(plan.delivery->value, d.body->size());
      entry.bytes = d.limit;
    } else {
      d.chunk = static_cast<size_t>(plan.delivery->value);
      d.interval_ms = plan.delivery->interval_ms;
    }
    res.set_content_provider(
        d.body->size(), answer.content_type,
        [this, d](size_t offset, size_t length, httplib::DataSink& sink) {
          if (offset >= d.limit || stopping_) return false;  // the cut: close mid-body
          size_t n = std::min(length, d.limit - offset);
          if (d.chunk > 0) {
            n = std::min(n, d.chunk);
            if (offset > 0 && !Sleep(d.interval_ms)) return false;
          }
          return sink.write(d.body->data() + offset, n);
        });
  } else {
    res.set_header("Content-Type",
                   answer.content_type.empty() ? "text/html" : answer.content_type);
    res.body = std::move(answer.body);  // no copy of a picture body
  }
  log_.Add(std::move(entry));
}

}  // namespace standin
