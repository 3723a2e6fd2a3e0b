// What the stand-in was asked and how it answered: one entry per request
// (time, method, target, headers, interface, status, body bytes, faults
// that fired) and a count per interface, so a test can assert that a step
// made exactly the requests it should. Entries can also go to a file as
// they happen, one tab-separated line each.
//
// Thread safety: every member may be called from any thread.
#ifndef TIEPIC_TOOLS_STAND_IN_REQUEST_LOG_H_
#define TIEPIC_TOOLS_STAND_IN_REQUEST_LOG_H_

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "stand-in/routes.h"

namespace standin {

struct LogEntry {
  double ms = 0;  // since the stand-in started
  std::string scheme;  // "http" or "https", as the request came
  std::string method;
  std::string target;  // path and query as received
  std::vector<std::pair<std::string, std::string>> headers;
  Interface iface = Interface::kUnknown;
  int status = 0;
  size_t bytes = 0;    // body bytes sent (for a cut body: the bytes before the cut)
  std::string faults;  // SPECs of the faults that fired, separated by " "
  std::string why;     // for a 404 of an unknown shape: what did not match
};

class RequestLog {
 public:
  // The in-memory log keeps the latest `capacity` entries; counts go on.
  explicit RequestLog(size_t capacity = 200000);
  ~RequestLog();
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;

  // Also appends every entry to `path`; returns false when it cannot be opened.
  bool OpenFile(const std::string& path);

  void Add(LogEntry entry);
  std::vector<LogEntry> Entries() const;
  // Requests of `iface` received since start or the last Clear.
  size_t Count(Interface iface) const;
  // Requests of `iface` answered with `status`.
  size_t CountStatus(Interface iface, int status) const;
  void Clear();

  double MillisecondsSinceStart() const;

  // One entry as the file's tab-separated line (no line end).
  static std::string PrintEntry(const LogEntry& entry);

 private:
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  const size_t capacity_;
  mutable std::mutex mutex_;
  std::vector<LogEntry> entries_;
  size_t first_ = 0;  // entries_ is a ring once full
  std::array<std::atomic<size_t>, kInterfaceCount> counts_{};
  std::FILE* file_ = nullptr;
};

}  // namespace standin

#endif  // TIEPIC_TOOLS_STAND_IN_REQUEST_LOG_H_
