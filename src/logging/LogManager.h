// The process-wide log manager: filters messages, stamps them and hands them
// to the attached targets. Also the logMessage entry point everyone uses.
#pragma once

#include "logging/LogRecord.h"
#include "logging/LogTarget.h"
#include "platform/Mutex.h"

#include <cstdarg>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qor {

class StdErrLogTarget;
class StdOutLogTarget;
class DebuggerConsoleLogTarget;

// Logs a printf-style message. Creates the manager (without taking a
// reference) when none exists. Never fails; a message longer than 4095
// characters is cut.
void logMessage(LogLevel level, LogGroupMask groups, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void logMessageV(LogLevel level, LogGroupMask groups, const char* format, va_list args)
    __attribute__((format(printf, 3, 0)));

// One per process, reference-counted: acquire() creates it when the count
// becomes 1, release() destroys it when the count drops to 0. On destruction
// every attached target is detached (last attached first).
//
// Lifetime: a LogManager reference is valid until the last release(). Code
// that holds no reference reaches the manager through the static helpers,
// which take the process-wide log lock and so never see a manager that is
// being destroyed.
class LogManager {
 public:
  LogManager(const LogManager&) = delete;
  LogManager& operator=(const LogManager&) = delete;

  // Reference counting. release() without a matching acquire() is ignored.
  static LogManager& acquire();
  static void release();
  static std::int32_t referenceCount();

  // The manager if one exists, else null.
  static LogManager* instance();
  // The manager, created (without a reference) when none exists.
  static LogManager& get();

  // The process-wide log lock (recursive). It guards the manager's settings
  // and target list and is held while targets write; it outlives managers so
  // that targets can lock it whether or not a manager exists. Lock order:
  // this lock first, then a target's own lock.
  static platform::RecursiveMutex& lock();

  void setThreshold(LogLevel level);
  LogLevel threshold() const;
  void setSuppressedGroups(LogGroupMask groups);
  LogGroupMask suppressedGroups() const;
  void mute();
  void unmute();
  bool muted() const;
  // A flag kept for callers that set it; it changes nothing.
  void setReservedFlag();
  void clearReservedFlag();
  bool reservedFlag() const;

  // Appends a sink to the list, duplicates included. Most code calls
  // LogTarget::attach() instead, which also keeps the target's attached flag.
  void attachSink(LogSink* sink);
  // Removes every occurrence of a sink from the list.
  void removeSink(LogSink* sink);
  // The first attached sink whose class name equals the text, else null.
  LogSink* findTarget(std::string_view className) const;
  // The attached sinks, in list order.
  std::vector<LogSink*> attachedSinks() const;

  StdOutLogTarget& stdOutTarget() { return *stdOut_; }
  StdErrLogTarget& stdErrTarget() { return *stdErr_; }
  DebuggerConsoleLogTarget& debuggerConsoleTarget() { return *debugger_; }

  // Filters, formats and dispatches one message (the body of logMessage).
  void log(LogLevel level, LogGroupMask groups, const char* format, va_list args)
      __attribute__((format(printf, 4, 0)));
  // Hands a finished record to every attached target whose filters pass it.
  void dispatch(const LogRecord& record);

 private:
  LogManager();
  ~LogManager();
  static LogManager* create();
  static void destroy();

  std::vector<LogSink*> targets_;
  bool muted_ = false;
  LogLevel threshold_ = LogLevel::Warn;
  LogGroupMask suppressed_ = kLogGroupXtr;
  bool reservedFlag_ = false;
  StdErrLogTarget* stdErr_ = nullptr;
  StdOutLogTarget* stdOut_ = nullptr;
  DebuggerConsoleLogTarget* debugger_ = nullptr;
};

}  // namespace qor
