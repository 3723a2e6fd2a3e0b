// The scheme switch over POSIX sockets: an accept loop, and per connection
// a relay thread that peeks at the first byte, connects to the chosen
// server and copies bytes both ways until either side closes. Every wait
// also watches a pipe that Stop makes readable, so Stop never waits on a
// silent client.
#include "stand-in/scheme_switch.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace standin {
namespace {

constexpr unsigned char kTlsHandshake = 0x16;

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

int ConnectTo(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const sockaddr_in address = Loopback(port);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

bool SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

}  // namespace

SchemeSwitch::SchemeSwitch(int plain_port, int tls_port)
    : plain_port_(plain_port), tls_port_(tls_port) {}

SchemeSwitch::~SchemeSwitch() { Stop(); }

int SchemeSwitch::Start(int port, std::string* error) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  sockaddr_in address = Loopback(port);
  socklen_t size = sizeof address;
  if (listener_ < 0 || ::pipe2(wake_, O_CLOEXEC) != 0 ||
      ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
      ::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 64) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    if (error)
      *error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
    return 0;
  }
  accept_thread_ = std::thread(&SchemeSwitch::Accept, this);
  return ntohs(address.sin_port);
}

void SchemeSwitch::Stop() {
  stopping_ = true;
  if (wake_[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &byte, 1);
  }
  if (accept_thread_.joinable()) accept_thread_.join();
  std::list<Relay> relays;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int fd : open_) ::shutdown(fd, SHUT_RDWR);  // ends a send that waits
    relays.swap(relays_);
  }
  for (Relay& relay : relays) relay.thread.join();
  for (int* fd : {&listener_, &wake_[0], &wake_[1]}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

bool SchemeSwitch::WaitReadable(int fd) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
  while (!stopping_) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (fds[1].revents != 0) return false;
    if (fds[0].revents != 0) return true;
  }
  return false;
}

void SchemeSwitch::Track(int fd, bool add) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (add) {
    open_.insert(fd);
  } else {
    open_.erase(fd);
    ::close(fd);  // under the lock: Stop never shuts down a number reused meanwhile
  }
}

void SchemeSwitch::Accept() {
  while (WaitReadable(listener_)) {
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    const int one = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = relays_.begin(); it != relays_.end();) {
      if (!it->done) {
        ++it;
        continue;
      }
      it->thread.join();
      it = relays_.erase(it);
    }
    open_.insert(client);
    Relay& relay = relays_.emplace_back();
    relay.thread = std::thread(&SchemeSwitch::Serve, this, client, &relay);
  }
}

void SchemeSwitch::Serve(int client, Relay* relay) {
  unsigned char first = 0;
  int backend = -1;
  if (WaitReadable(client) && ::recv(client, &first, 1, MSG_PEEK) == 1) {
    backend = ConnectTo(first == kTlsHandshake ? tls_port_ : plain_port_);
  }
  if (backend >= 0) {
    Track(backend, true);
    pollfd fds[3] = {{client, POLLIN, 0}, {backend, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    char buffer[64 * 1024];
    bool open = true;
    while (open && !stopping_) {
      if (::poll(fds, 3, -1) < 0) {
        open = errno == EINTR;
        continue;
      }
      if (fds[2].revents != 0) break;
      for (int from = 0; from < 2 && open; ++from) {
        if (fds[from].revents == 0) continue;
        const ssize_t n = ::recv(fds[from].fd, buffer, sizeof buffer, 0);
        open = n > 0 && SendAll(fds[1 - from].fd, buffer, static_cast<size_t>(n));
      }
    }
    Track(backend, false);
  }
  Track(client, false);
  relay->done = true;
}

}  // namespace standin
