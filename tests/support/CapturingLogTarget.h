// CapturingLogTarget: a log target for tests that keeps every record it is
// handed (level, groups, message) instead of printing it.
#pragma once

#include "logging/LogTarget.h"

#include <cstddef>
#include <string>
#include <vector>

namespace qor::testing {

class CapturingLogTarget : public LogTarget {
 public:
  struct Entry {
    LogLevel level;
    LogGroupMask groups;
    std::string message;
  };

  // Level Okay and no group filter, so that every record the manager passes
  // on is kept. Not attached until attach() is called.
  CapturingLogTarget();
  ~CapturingLogTarget() override;

  const char* className() const override;
  bool write(const LogRecord& record) override;

  std::vector<Entry> entries() const;
  std::vector<std::string> messages() const;
  std::size_t size() const;
  void clear();

 private:
  std::vector<Entry> entries_;  // guarded by the target's lock
};

}  // namespace qor::testing
