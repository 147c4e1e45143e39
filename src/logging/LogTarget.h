// LogTarget: the base of every log destination, and LogSink, the table of
// functions through which the log manager (and foreign code) drives a target.
#pragma once

#include "logging/LogRecord.h"
#include "platform/Mutex.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qor {

// The interface table every target exposes. The manager keeps pointers to
// these tables, so a target written elsewhere (in C, say) only has to provide
// one. Each entry receives the table it was called through; a C++ LogTarget
// finds itself from it. Version 1 has exactly these twelve entries; later
// versions may only append.
struct LogSink {
  std::int32_t (*version)(LogSink* self);  // returns 1
  void (*setLevel)(LogSink* self, LogLevel level);
  LogLevel (*level)(LogSink* self);
  void (*setGroups)(LogSink* self, LogGroupMask included, LogGroupMask excluded);
  LogGroupMask (*includedGroups)(LogSink* self);
  LogGroupMask (*excludedGroups)(LogSink* self);
  const char* (*className)(LogSink* self);
  // The target's line format. The text stays valid until the format is next
  // changed; copy it when the target may be reconfigured meanwhile.
  const char* (*lineFormat)(LogSink* self);
  void (*attach)(LogSink* self);
  void (*detach)(LogSink* self);
  bool (*isAttached)(LogSink* self);
  // Formats and outputs a record; false when the target wrote nothing.
  bool (*writeRecord)(LogSink* self, const LogRecord* record);
};

constexpr std::int32_t kLogSinkVersion = 1;

// The line format of a target nobody configured, and of the core's target.
inline constexpr const char* kDefaultLineFormat = "#D| #L| #G| #M";
// The line format of the console targets (standard error, the debugger).
inline constexpr const char* kConsoleLineFormat = "#E(#T): #L| #M";

// How a target is configured in one step.
struct LogTargetSettings {
  LogLevel level = LogLevel::Warn;
  LogGroupMask included = 0;
  LogGroupMask excluded = 0;
  std::string lineFormat = kDefaultLineFormat;
};

// The base target: settings, attach state and its own lock, but no output
// (write returns false). Subclasses override write, flush and className.
//
// Locks: whoever needs both takes the log manager's lock first and the
// target's lock inside it: a write arrives with the manager's lock held, and
// attach, detach and configure take the manager's lock before the target's,
// so a detach on one thread can never deadlock against a write on another.
//
// A destroyed target is first removed from the manager. A subclass whose
// write uses its own members should call detach() in its own destructor, so
// that no write reaches it once those members are gone.
class LogTarget {
 public:
  LogTarget();
  virtual ~LogTarget();
  LogTarget(const LogTarget&) = delete;
  LogTarget& operator=(const LogTarget&) = delete;

  // Removes the target from the manager's list if it is attached.
  virtual void detach();
  virtual const char* className() const;
  // A copy of the line format, taken under the target's lock.
  virtual std::string lineFormat() const;
  // Formats the record and outputs it. Called with the manager's lock held.
  virtual bool write(const LogRecord& record);
  virtual void flush();

  // Appends the target to the manager's list (creating the manager when none
  // exists); does nothing when it is already attached.
  void attach();
  bool isAttached() const;

  void setLevel(LogLevel level);
  LogLevel level() const;
  // The excluded mask is kept as given; the included mask loses the excluded
  // bits.
  void setGroups(LogGroupMask included, LogGroupMask excluded);
  LogGroupMask includedGroups() const;
  LogGroupMask excludedGroups() const;
  void setLineFormat(std::string_view format);

  // Detaches, takes the settings, attaches again and re-applies level and
  // masks by the rule of setGroups. The target ends attached.
  void configure(const LogTargetSettings& settings);

  // The interface table the manager holds for this target.
  LogSink* sink() noexcept { return &interface_.table; }
  // The target behind a table that a LogTarget exposes, or null for a
  // foreign table.
  static LogTarget* fromSink(LogSink* sink) noexcept;

 protected:
  platform::RecursiveMutex& targetLock() const { return lock_; }
  // The line format itself; the caller holds targetLock().
  const std::string& lineFormatLocked() const { return lineFormat_; }

 private:
  // The table first, so that a pointer to it is a pointer to this holder.
  struct Interface {
    LogSink table;
    LogTarget* owner;
  };
  void removeFromManager();
  friend struct LogTargetAccess;

  Interface interface_;
  bool attached_ = false;
  mutable platform::RecursiveMutex lock_;
  LogLevel level_ = LogLevel::Warn;
  LogGroupMask included_ = 0;
  LogGroupMask excluded_ = 0;
  std::string lineFormat_ = kDefaultLineFormat;
};

}  // namespace qor
