// BaseConsoleLogTarget: the common part of the targets that print formatted
// lines (standard error, standard output, the debugger channel).
#pragma once

#include "logging/LogTarget.h"

#include <cstddef>

namespace qor {

// Formats each record by the target's line format into a 4096-byte line and
// hands it to output(), all under the target's lock, so that a
// reconfiguration never races with the formatting.
class BaseConsoleLogTarget : public LogTarget {
 public:
  static constexpr std::size_t kLineSize = 4096;

  const char* className() const override;
  bool write(const LogRecord& record) override;

 protected:
  BaseConsoleLogTarget() = default;
  // Outputs one finished, NUL-terminated line (it ends in a line feed).
  virtual void output(const char* line, std::size_t length) = 0;
};

}  // namespace qor
