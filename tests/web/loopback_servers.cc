// The loopback servers of the request tests.
#include "loopback_servers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace web_test {

const std::string& HttpServer::BinaryBody() {
  static const std::string body = [] {
    std::string b(1 << 20, '\0');
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return b;
  }();
  return body;
}

HttpServer::HttpServer() {
  using httplib::Request;
  using httplib::Response;
  server_.Get("/text", [](const Request&, Response& res) { res.set_content("hello", "text/plain"); });
  server_.Get("/binary", [](const Request&, Response& res) {
    res.set_content(BinaryBody(), "application/octet-stream");
  });
  server_.Get(R"(/size/(\d+))", [](const Request& req, Response& res) {
    res.set_content(std::string(std::stoul(req.matches[1]), 'x'), "text/plain");
  });
  server_.Get(R"(/status/(\d+))", [](const Request& req, Response& res) {
    res.status = std::stoi(req.matches[1]);
    res.set_content("status body", "text/plain");
  });
  server_.Get("/redirect", [](const Request&, Response& res) {
    res.set_redirect("/text");
    res.set_content("moved", "text/plain");
  });
  server_.Get("/loop", [](const Request&, Response& res) { res.set_redirect("/loop"); });
  server_.Get("/peer", [](const Request& req, Response& res) {
    res.set_content(std::to_string(req.remote_port), "text/plain");
  });
  server_.Get("/stall", [this](const Request&, Response& res) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!stopping_ && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    res.set_content("late", "text/plain");
  });
  server_.Get(R"(/wait/(\d+))", [this](const Request& req, Response& res) {
    auto end = std::chrono::steady_clock::now() +
               std::chrono::milliseconds(std::stoul(req.matches[1]));
    while (!stopping_ && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    res.set_content("late", "text/plain");
  });
  server_.Get("/slow", [this](const Request&, Response& res) {
    res.set_chunked_content_provider("application/octet-stream",
                                     [this](size_t, httplib::DataSink& sink) {
                                       if (stopping_) return false;
                                       std::this_thread::sleep_for(std::chrono::milliseconds(50));
                                       std::string chunk(1024, 's');
                                       return sink.write(chunk.data(), chunk.size());
                                     });
  });
  server_.Get("/trickle", [this](const Request&, Response& res) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(6);
    res.set_chunked_content_provider("application/octet-stream",
                                     [this, end](size_t, httplib::DataSink& sink) {
                                       if (stopping_) return false;
                                       std::this_thread::sleep_for(std::chrono::milliseconds(250));
                                       if (std::chrono::steady_clock::now() >= end) {
                                         sink.done();
                                         return true;
                                       }
                                       return sink.write("t", 1);
                                     });
  });
  server_.set_keep_alive_max_count(100000);
  server_.set_keep_alive_timeout(1);
  port_ = server_.bind_to_any_port("127.0.0.1");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

HttpServer::~HttpServer() {
  stopping_ = true;
  server_.stop();
  thread_.join();
}

std::string HttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string CannedResponse(const std::string& header_lines, const std::string& body) {
  return "HTTP/1.1 200 OK\r\n" + header_lines + "Content-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

RawRecorder::RawRecorder(std::string response) : response_(std::move(response)) {
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  listen(listener_, 8);
  thread_ = std::thread([this] { Serve(); });
}

RawRecorder::~RawRecorder() {
  stopping_ = true;
  thread_.join();
  close(listener_);
}

std::string RawRecorder::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> RawRecorder::Requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

namespace {

// Reads one request: the head up to the empty line, then Content-Length
// bytes of body. Gives up after two seconds.
std::string ReadRequest(int fd) {
  std::string data;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  size_t wanted = std::string::npos;
  while (std::chrono::steady_clock::now() < deadline) {
    if (wanted == std::string::npos) {
      size_t head_end = data.find("\r\n\r\n");
      if (head_end != std::string::npos) {
        size_t at = data.find("Content-Length: ");
        size_t body = at != std::string::npos && at < head_end ? std::stoul(data.substr(at + 16)) : 0;
        wanted = head_end + 4 + body;
      }
    }
    if (data.size() >= wanted) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    char buffer[4096];
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    data.append(buffer, n);
  }
  return data;
}

}  // namespace

void RawRecorder::Serve() {
  while (!stopping_) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    int fd = accept(listener_, nullptr, nullptr);
    if (fd < 0) continue;
    std::string request = ReadRequest(fd);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
    }
    send(fd, response_.data(), response_.size(), MSG_NOSIGNAL);
    shutdown(fd, SHUT_WR);
    close(fd);
  }
}

}  // namespace web_test
