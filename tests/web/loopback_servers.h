// Servers on 127.0.0.1 for the request tests: an in-process HTTP server with
// the routes the tests need, and a raw-socket recorder that keeps each
// request exactly as it came over the wire (header order included) and
// answers with a canned response. Both serve from their own threads;
// Requests() may be called from any thread.
#ifndef TIEPIC_TESTS_WEB_LOOPBACK_SERVERS_H_
#define TIEPIC_TESTS_WEB_LOOPBACK_SERVERS_H_

#include <httplib.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace web_test {

// The routes: /text ("hello"), /binary (1 MiB of every byte value),
// /size/N (N bytes), /status/N, /redirect (302 to /text), /loop (302 to
// itself), /stall (headers never come until teardown), /wait/N ("late"
// after N ms), /slow (a body that trickles 1 KiB per 50 ms until teardown),
// /trickle (one body byte every 250 ms for 6 s), /peer (the client's port).
class HttpServer {
 public:
  HttpServer();
  ~HttpServer();
  int port() const { return port_; }
  std::string Url(const std::string& path) const;
  static const std::string& BinaryBody();

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
};

class RawRecorder {
 public:
  // Answers every connection with `response` and closes it.
  explicit RawRecorder(std::string response);
  ~RawRecorder();
  int port() const { return port_; }
  std::string Url(const std::string& path) const;
  // The requests received so far (head and body), oldest first.
  std::vector<std::string> Requests();

 private:
  void Serve();

  std::string response_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// A canned response with the given extra header lines and body.
std::string CannedResponse(const std::string& header_lines, const std::string& body);

}  // namespace web_test

#endif  // TIEPIC_TESTS_WEB_LOOPBACK_SERVERS_H_
