// BaseConsoleLogTarget: formats a record into a line and outputs it.
#include "logging/BaseConsoleLogTarget.h"

#include "logging/FormatLogLine.h"

#include <mutex>

namespace qor {

const char* BaseConsoleLogTarget::className() const { return "BaseConsoleLogTarget"; }

bool BaseConsoleLogTarget::write(const LogRecord& record) {
  char line[kLineSize];
  std::lock_guard<platform::RecursiveMutex> g(targetLock());
  std::size_t n = formatLogLine(lineFormatLocked(), record, line, sizeof line);
  output(line, n);
  return true;
}

}  // namespace qor
