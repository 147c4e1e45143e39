// StdErrLogTarget: each line goes to standard error in one call.
#include "logging/StdErrLogTarget.h"

#include <cstdio>

namespace qor {

StdErrLogTarget::StdErrLogTarget() {
  setLineFormat(kConsoleLineFormat);
  setLevel(LogLevel::Warn);
  setGroups(kLogGroupDbg, kLogGroupGen);
}

StdErrLogTarget::~StdErrLogTarget() { detach(); }

const char* StdErrLogTarget::className() const { return "StdErrLogTarget"; }

void StdErrLogTarget::flush() { std::fflush(stderr); }

void StdErrLogTarget::output(const char* line, std::size_t length) {
  // A failed write (a closed stream) is not reported.
  (void)std::fwrite(line, 1, length, stderr);
}

}  // namespace qor
