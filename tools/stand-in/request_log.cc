// The request log and the per-interface counts.
#include "stand-in/request_log.h"

#include "stand-in/texts.h"

namespace standin {

RequestLog::RequestLog(size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {}

RequestLog::~RequestLog() {
  if (file_) std::fclose(file_);
}

bool RequestLog::OpenFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "a");
  return file_ != nullptr;
}

double RequestLog::MillisecondsSinceStart() const {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                   start_)
      .count();
}

void RequestLog::Add(LogEntry entry) {
  counts_[static_cast<int>(entry.iface)].fetch_add(1);
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_) {
    std::string line = PrintEntry(entry) + "\n";
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
  }
  if (entries_.size() < capacity_) {
    entries_.push_back(std::move(entry));
  } else {
    entries_[first_] = std::move(entry);
    first_ = (first_ + 1) % capacity_;
  }
}

std::vector<LogEntry> RequestLog::Entries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<LogEntry> ordered(entries_.begin() + first_, entries_.end());
  ordered.insert(ordered.end(), entries_.begin(), entries_.begin() + first_);
  return ordered;
}

size_t RequestLog::Count(Interface iface) const {
  return counts_[static_cast<int>(iface)].load();
}

size_t RequestLog::CountStatus(Interface iface, int status) const {
  size_t n = 0;
  for (const LogEntry& e : Entries()) n += e.iface == iface && e.status == status;
  return n;
}

void RequestLog::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
  first_ = 0;
  for (auto& count : counts_) count.store(0);
}

std::string RequestLog::PrintEntry(const LogEntry& e) {
  char ms[32];
  std::snprintf(ms, sizeof ms, "%.3f", e.ms);
  std::string line = std::string(ms) + "\t" + InterfaceName(e.iface) + "\t" + e.method +
                     "\t" + Printable(e.target) + "\t" + std::to_string(e.status) + "\t" +
                     std::to_string(e.bytes) + "\t" + e.faults + "\t";
  for (size_t i = 0; i < e.headers.size(); ++i) {
    if (i) line += "; ";
    line += Printable(e.headers[i].first) + ": " + Printable(e.headers[i].second);
  }
  if (!e.why.empty()) line += "\t" + Printable(e.why);
  return line;
}

}  // namespace standin
