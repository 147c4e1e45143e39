// The host's log lines.
#include "host/HostLog.h"

#include <chrono>
#include <ctime>

namespace qor::host {
namespace {

std::string timeStamp() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  const std::time_t seconds = system_clock::to_time_t(now);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", parts.tm_year + 1900,
                parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                static_cast<int>(ms));
  return text;
}

}  // namespace

const char* logLevelName(std::int32_t level) {
  switch (level) {
    case CORE_LOG_OKAY:
      return "OKAY";
    case CORE_LOG_WARN:
      return "WARN";
    case CORE_LOG_ERROR:
      return "ERROR";
    case CORE_LOG_ALWAYS:
      return "ALWAYS";
    default:
      return "LEVEL?";
  }
}

HostLog::HostLog(std::FILE* out, std::size_t keep) : out_(out), keep_(keep) {}

void HostLog::write(std::int32_t level, std::string_view source, std::string_view message) {
  Entry entry{timeStamp(), level, std::string(source), std::string(message)};
  // Trailing line breaks of the message would leave blank lines.
  while (!entry.message.empty() &&
         (entry.message.back() == '\n' || entry.message.back() == '\r'))
    entry.message.pop_back();
  std::lock_guard lock(mutex_);
  if (out_ != nullptr) {
    std::fprintf(out_, "%s | %6s | %s | %s\n", entry.time.c_str(), logLevelName(level),
                 entry.source.c_str(), entry.message.c_str());
    std::fflush(out_);
  }
  if (!listeners_.empty()) {
    const nlohmann::json json = entry.toJson();
    for (const auto& [id, listener] : listeners_) listener(json);
  }
  entries_.push_back(std::move(entry));
  while (entries_.size() > keep_) entries_.pop_front();
}

nlohmann::json HostLog::Entry::toJson() const {
  return {{"time", time}, {"level", logLevelName(level)}, {"source", source}, {"message", message}};
}

int HostLog::addListener(Listener listener) {
  std::lock_guard lock(mutex_);
  for (const Entry& entry : entries_) listener(entry.toJson());
  const int id = nextListener_++;
  listeners_.emplace(id, std::move(listener));
  return id;
}

void HostLog::removeListener(int id) {
  std::lock_guard lock(mutex_);
  listeners_.erase(id);
}

nlohmann::json HostLog::recent() const {
  std::lock_guard lock(mutex_);
  nlohmann::json list = nlohmann::json::array();
  for (const Entry& entry : entries_) list.push_back(entry.toJson());
  return list;
}

}  // namespace qor::host
