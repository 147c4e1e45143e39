// runtimeLog: the runtime's lines go to the process-wide log manager.
#include "runtime/RuntimeLog.h"

#include "logging/LogManager.h"

#include <cstdarg>

namespace qor {

void runtimeLog(LogLevel level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  logMessageV(level, kLogGroupDbg, format, args);
  va_end(args);
}

}  // namespace qor
