// Reads one of the host's event streams (GET /events, /logs/stream) on a
// thread of its own, for tests that wait for an event to appear.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace qor::host::test {

class EventStreamReader {
 public:
  explicit EventStreamReader(int port, std::string path = "/events") {
    thread_ = std::thread([this, port, path] {
      httplib::Client client("127.0.0.1", port);
      client.set_read_timeout(10, 0);
      client.Get(path.c_str(), [this](const char* data, std::size_t size) {
        std::lock_guard lock(mutex_);
        text_.append(data, size);
        return !done_.load();
      });
    });
  }
  ~EventStreamReader() {
    done_ = true;
    // The reader notices on the next chunk; the stream's keep-alive lines
    // bound that wait.
    if (thread_.joinable()) thread_.join();
  }

  // True once `needle` has appeared in the stream, waiting up to `timeout`.
  bool waitFor(const std::string& needle,
               std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      {
        std::lock_guard lock(mutex_);
        if (text_.find(needle) != std::string::npos) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  std::string text() {
    std::lock_guard lock(mutex_);
    return text_;
  }

 private:
  std::thread thread_;
  std::mutex mutex_;
  std::string text_;
  std::atomic<bool> done_{false};
};

}  // namespace qor::host::test
