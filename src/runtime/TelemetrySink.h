// TelemetrySink: where a plug-in's usage counters would go. Nothing in this
// plug-in reports to it yet; it exists so that the host object's lifetime
// matches the platform's other plug-ins and counts what is offered.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace qor {

class TelemetrySink {
 public:
  explicit TelemetrySink(std::string_view pluginName) : pluginName_(pluginName) {}

  const std::string& pluginName() const noexcept { return pluginName_; }
  // Counts one occurrence of a named event; the counts are kept only in total.
  void count(std::string_view /*event*/) noexcept { events_.fetch_add(1, std::memory_order_relaxed); }
  std::uint64_t eventCount() const noexcept { return events_.load(std::memory_order_relaxed); }

 private:
  std::string pluginName_;
  std::atomic<std::uint64_t> events_{0};
};

}  // namespace qor
