// The host's log: lines from the host and from its plug-ins, printed with
// time, level and source, and the most recent ones kept for inspection.
#pragma once

#include <nlohmann/json.hpp>

#include "PluginAbi.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace qor::host {

// Levels as plug-ins send them: 0 OKAY, 1 WARN, 2 ERROR, 3 ALWAYS.
const char* logLevelName(std::int32_t level);

class HostLog {
 public:
  // Lines go to `out` (null: nowhere); the last `keep` entries are kept.
  explicit HostLog(std::FILE* out = stderr, std::size_t keep = 2000);

  // "2026-12-10 04:50:00.123 |  ERROR | qor-inventory | message"
  void write(std::int32_t level, std::string_view source, std::string_view message);

  // The kept entries, oldest first: [{time, level, source, message}].
  nlohmann::json recent() const;

  // Called with each entry as {time, level, source, message}.
  using Listener = std::function<void(const nlohmann::json& entry)>;
  // Hands `listener` the kept entries, oldest first, then every entry
  // written from then on, in order and with none missed. Listeners run under
  // the log's lock: they must be quick and must not write to this log.
  int addListener(Listener listener);
  void removeListener(int id);

 private:
  struct Entry {
    std::string time;
    std::int32_t level;
    std::string source;
    std::string message;

    nlohmann::json toJson() const;
  };
  mutable std::mutex mutex_;
  std::FILE* out_;
  std::size_t keep_;
  std::deque<Entry> entries_;
  std::map<int, Listener> listeners_;
  int nextListener_ = 1;
};

}  // namespace qor::host
