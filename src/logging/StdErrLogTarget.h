// StdErrLogTarget: writes log lines to standard error.
#pragma once

#include "logging/BaseConsoleLogTarget.h"

namespace qor {

// Line format "#E(#T): #L| #M", level Warn, groups DBG included and GEN
// excluded when created.
class StdErrLogTarget : public BaseConsoleLogTarget {
 public:
  StdErrLogTarget();
  ~StdErrLogTarget() override;
  const char* className() const override;
  void flush() override;

 protected:
  void output(const char* line, std::size_t length) override;
};

}  // namespace qor
