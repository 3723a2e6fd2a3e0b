// StandIn: the local stand-in of the web service, an HTTP server on
// 127.0.0.1 (never another address) that answers the board page, album
// list, thread page, picture guide, picture list, pictures and version page
// from a data set (and, for the today parts the data set's style switches
// on, the album tab, the forum-id lookup and the picture page, today.h),
// applies the faults switched on, and logs every request.
// Tests start one on an ephemeral port inside the test process; the
// tiepic-stand-in program, the download benchmark and the demo use the same
// class.
//
//   standin::StandIn service(standin::GenerateDataSet({.seed = 1, .size = "tiny"},
//   &e).value()); service.Start(); web::InetRequest(service.BoardUrl());
//   service.AddFault("picture:status=500*2");
//   EXPECT_EQ(service.Count(standin::Interface::kBoard), 1u);
//
// In TLS mode (a certificate in the options) the one port answers https as
// well as http, as the service answers both; the log tells them apart. The
// plain and the TLS server sit behind a SchemeSwitch (scheme_switch.h).
//
// Design note: the web host and the picture host are served by the one
// server (their paths are distinct); the host names written into answers
// are options, so a test can give the picture host another name (say
// "localhost:PORT") and check that the program uses the address it was given.
//
// Thread safety: every member may be called from any thread while the
// server runs; requests are answered on the server's own threads. The data
// set is fixed for the object's lifetime.
#ifndef TIEPIC_TOOLS_STAND_IN_SERVER_H_
#define TIEPIC_TOOLS_STAND_IN_SERVER_H_

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "stand-in/data_set.h"
#include "stand-in/faults.h"
#include "stand-in/pages.h"
#include "stand-in/request_log.h"
#include "stand-in/routes.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace standin {

struct StandInOptions {
  int port = 0;  // 0: an ephemeral port
  // The hosts written into answers: "host:port", or "host" for the
  // server's own port; empty: 127.0.0.1 and the server's port.
  std::string web_host;
  std::string picture_host;
  size_t log_capacity = 200000;
  int threads = 16;  // requests answered at once (stalls hold one each)
  // TLS mode: a server certificate and its key, PEM (certificates.h); both
  // empty: http only.
  std::string tls_certificate_pem;
  std::string tls_key_pem;
};

class SchemeSwitch;

class StandIn {
 public:
  explicit StandIn(DataSet data, StandInOptions options = {});
  ~StandIn();  // stops the server
  StandIn(const StandIn&) = delete;
  StandIn& operator=(const StandIn&) = delete;

  // Binds 127.0.0.1 and starts answering. Returns true iff listening;
  // otherwise *error (when given) says why. REQUIRES: not running.
  bool Start(std::string* error = nullptr);
  // Stops answering; ends stalls, latencies and slow bodies at once. A
  // connection kept alive by a client closes within a second.
  void Stop();
  bool running() const { return running_; }

  int port() const { return port_; }
  Hosts hosts() const;
  // "http://127.0.0.1:PORT" + path.
  std::string Url(std::string_view path) const;
  // The addresses a user would paste: the board (keyword GBK-encoded) and a thread.
  std::string BoardUrl() const;
  std::string ThreadUrl(std::string_view tid) const;
  // The version page, on its moved path when the data set moves it.
  std::string VersionUrl() const;

  const DataSet& data() const { return *data_; }
  const DataIndex& index() const { return *index_; }

  FaultSet& faults() { return faults_; }
  // Parses and adds one fault SPEC (faults.h); returns its id, or -1 with *error.
  int AddFault(std::string_view spec, std::string* error = nullptr);

  RequestLog& log() { return log_; }
  // Requests of `iface` received since start or the last log().Clear().
  size_t Count(Interface iface) const { return log_.Count(iface); }

 private:
  // Sets `server` up to answer through Handle.
  void Configure(httplib::Server& server);
  // Binds `server` to 127.0.0.1:`port` (0: ephemeral) and runs it on
  // `thread`; returns the port, or 0.
  int Listen(httplib::Server& server, int port, std::thread* thread);
  // The TLS mode's servers and switch (server_tls.cc).
  bool StartTls(std::string* error);
  void Handle(const httplib::Request& request, httplib::Response& response);
  // The answer to `route`, after the faults and before delivery; the today
  // parts' gates (cookie, browser, Referer) look at `request`'s headers.
  Answer Serve(const Route& route, const httplib::Request& request) const;
  Answer ServePicture(const Route& route, const httplib::Request& request) const;
  // Waits `ms` or until Stop; returns false when stopping.
  bool Sleep(int ms);

  std::unique_ptr<DataSet> data_;
  std::unique_ptr<DataIndex> index_;
  StandInOptions options_;
  FaultSet faults_;
  RequestLog log_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  std::unique_ptr<httplib::Server> tls_server_;  // TLS mode only
  std::thread tls_thread_;
  std::unique_ptr<SchemeSwitch> switch_;
  std::atomic<bool> running_{false};
  std::atomic<bool> stopping_{false};
  std::mutex sleep_mutex_;
  std::condition_variable sleep_wake_;
  int port_ = 0;
};

}  // namespace standin

#endif  // TIEPIC_TOOLS_STAND_IN_SERVER_H_
