// DebuggerConsoleLogTarget: each line goes to the platform's debugger channel.
#include "logging/DebuggerConsoleLogTarget.h"

#include "platform/ProcessInfo.h"

namespace qor {

DebuggerConsoleLogTarget::DebuggerConsoleLogTarget() {
  setLineFormat(kConsoleLineFormat);
  setLevel(LogLevel::Warn);
  setGroups(kLogGroupDbg, 0);
}

DebuggerConsoleLogTarget::~DebuggerConsoleLogTarget() { detach(); }

const char* DebuggerConsoleLogTarget::className() const { return "DebuggerConsoleLogTarget"; }

void DebuggerConsoleLogTarget::flush() {}

void DebuggerConsoleLogTarget::output(const char* line, std::size_t) {
  platform::debugOutput(line);
}

}  // namespace qor
