// runtimeLog: how the runtime writes its own lines to the process's log
// (group DBG), whatever targets the log manager has at the moment.
#pragma once

#include "logging/LogRecord.h"

namespace qor {

// printf-style; the line carries the group mask DBG.
void runtimeLog(LogLevel level, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace qor
