// StdOutLogTarget: each line goes to standard output, flushed on request.
#include "logging/StdOutLogTarget.h"

#include <cstdio>

namespace qor {

StdOutLogTarget::StdOutLogTarget() {
  setLineFormat("#M");
  setLevel(LogLevel::Warn);
  setGroups(kLogGroupGen, kLogGroupDbg);
}

StdOutLogTarget::~StdOutLogTarget() { detach(); }

const char* StdOutLogTarget::className() const { return "StdOutLogTarget"; }

void StdOutLogTarget::flush() { std::fflush(stdout); }

void StdOutLogTarget::output(const char* line, std::size_t length) {
  (void)std::fwrite(line, 1, length, stdout);
  if (autoFlush()) std::fflush(stdout);
}

}  // namespace qor
