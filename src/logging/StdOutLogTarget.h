// StdOutLogTarget: writes log lines to standard output.
#pragma once

#include "logging/BaseConsoleLogTarget.h"

#include <atomic>

namespace qor {

// Line format "#M", level Warn, groups GEN included and DBG excluded when
// created; not attached by the manager. With auto-flush on, standard output
// is flushed after every line.
class StdOutLogTarget : public BaseConsoleLogTarget {
 public:
  StdOutLogTarget();
  ~StdOutLogTarget() override;
  const char* className() const override;
  void flush() override;

  void setAutoFlush(bool on) { autoFlush_.store(on, std::memory_order_relaxed); }
  bool autoFlush() const { return autoFlush_.load(std::memory_order_relaxed); }

 protected:
  void output(const char* line, std::size_t length) override;

 private:
  std::atomic<bool> autoFlush_{false};
};

}  // namespace qor
