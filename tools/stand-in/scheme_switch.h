// One loopback port for both schemes, as the service answers http and https
// at one address: every connection is relayed, byte for byte, to the plain
// or to the TLS server behind the switch, chosen by its first byte (a TLS
// handshake opens with 0x16, an HTTP request with a letter).
//
// Design note: cpp-httplib serves one scheme per listening socket and takes
// no accepted socket from outside, so the switch relays instead of handing
// the connection over. Relaying costs a thread per connection, which the
// stand-in's tests can afford; the plain-only stand-in has no switch.
//
// Thread safety: Start and Stop belong to one thread; the relays run on
// threads of their own.
#ifndef TIEPIC_TOOLS_STAND_IN_SCHEME_SWITCH_H_
#define TIEPIC_TOOLS_STAND_IN_SCHEME_SWITCH_H_

#include <atomic>
#include <list>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace standin {

class SchemeSwitch {
 public:
  // The servers behind the switch listen on 127.0.0.1 at these ports.
  SchemeSwitch(int plain_port, int tls_port);
  ~SchemeSwitch();  // Stop
  SchemeSwitch(const SchemeSwitch&) = delete;
  SchemeSwitch& operator=(const SchemeSwitch&) = delete;

  // Listens on 127.0.0.1:`port` (0: an ephemeral port). Returns the port,
  // or 0 with *error saying why.
  int Start(int port, std::string* error);
  // Closes the port and every relayed connection, and waits for the relays.
  void Stop();

 private:
  struct Relay {
    std::thread thread;
    std::atomic<bool> done{false};
  };
  void Accept();
  void Serve(int client, Relay* relay);
  // Waits until `fd` can be read or Stop is called; false on Stop or error.
  bool WaitReadable(int fd);
  void Track(int fd, bool add);

  const int plain_port_;
  const int tls_port_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};  // a pipe made readable by Stop
  std::atomic<bool> stopping_{false};
  std::thread accept_thread_;
  std::mutex mutex_;
  std::list<Relay> relays_;  // guarded by mutex_
  std::set<int> open_;       // relayed sockets, guarded by mutex_
};

}  // namespace standin

#endif  // TIEPIC_TOOLS_STAND_IN_SCHEME_SWITCH_H_
