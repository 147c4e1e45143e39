// DebuggerConsoleLogTarget: writes log lines to the debugger's output channel.
#pragma once

#include "logging/BaseConsoleLogTarget.h"

namespace qor {

// Line format "#E(#T): #L| #M", level Warn, group DBG included and nothing
// excluded when created. Flushing does nothing: the channel is unbuffered.
class DebuggerConsoleLogTarget : public BaseConsoleLogTarget {
 public:
  DebuggerConsoleLogTarget();
  ~DebuggerConsoleLogTarget() override;
  const char* className() const override;
  void flush() override;

 protected:
  void output(const char* line, std::size_t length) override;
};

}  // namespace qor
