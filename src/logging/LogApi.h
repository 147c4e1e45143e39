// LogApi: the logging operations as one versioned table of plain functions,
// for code that reaches the log through a table rather than by linking.
// Nothing in this library calls it: it is the platform's logging interface,
// kept whole for the code that logs through it.
#pragma once

#include "logging/LogRecord.h"
#include "logging/LogTarget.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace qor {

// Version 1 has exactly these 26 entries, in this order; later versions may
// only append. Texts returned as const char* live as long as the process.
// Functions that write text take a buffer and its size, write a
// NUL-terminated (possibly cut) text and return its length.
struct LogApi {
  std::int32_t (*version)();  // returns 1
  void (*acquire)();
  void (*release)();
  void (*setThreshold)(LogLevel level);
  LogLevel (*threshold)();
  void (*setSuppressedGroups)(LogGroupMask groups);
  LogGroupMask (*suppressedGroups)();
  void (*mute)();
  void (*unmute)();
  void (*setReservedFlag)();
  void (*clearReservedFlag)();
  void (*attachSink)(LogSink* sink);
  void (*removeSink)(LogSink* sink);
  LogSink* (*findTarget)(const char* className);  // null when none matches
  LogSink* (*stdOutTarget)();
  LogSink* (*stdErrTarget)();
  LogSink* (*debuggerConsoleTarget)();
  LogGroupMask (*groupMask)(const char* tagName);
  std::size_t (*formatGroups)(LogGroupMask groups, char* buf, std::size_t size);
  std::size_t (*formatRecord)(const char* lineFormat, const LogRecord* record, char* buf,
                              std::size_t size);
  const char* (*levelText)(LogLevel level);
  const char* (*executableFileName)();
  void (*currentTime)(LogRecord* record);
  std::size_t (*formatTime)(const LogRecord* record, char* buf, std::size_t size);
  std::size_t (*formatFileTime)(const LogRecord* record, char* buf, std::size_t size);
  void (*logMessage)(LogLevel level, LogGroupMask groups, const char* format, va_list args);
};

constexpr std::int32_t kLogApiVersion = 1;

// The process's table. Entries that need the manager create it (without a
// reference) when none exists.
const LogApi& logApi();

}  // namespace qor
