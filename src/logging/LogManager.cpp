// The log manager: the process-wide instance, its reference count, filtering
// and dispatch to targets.
#include "logging/LogManager.h"

#include "logging/DebuggerConsoleLogTarget.h"
#include "logging/FormatLogLine.h"
#include "logging/StdErrLogTarget.h"
#include "logging/StdOutLogTarget.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace qor {

namespace {

using Guard = std::lock_guard<platform::RecursiveMutex>;

// Process-wide state. Only trivially constructible objects at namespace
// scope; the lock is built on first use and never destroyed, so targets
// destroyed during static destruction can still take it.
constinit std::atomic<LogManager*> gInstance{nullptr};
constinit std::atomic<std::int32_t> gReferences{0};

// Nesting depth of logMessage on this thread. A target whose write logs again
// (through the core, say) would otherwise recurse without end.
constinit thread_local int tDepth = 0;
constexpr int kMaxDepth = 4;

}  // namespace

platform::RecursiveMutex& LogManager::lock() {
  static platform::RecursiveMutex* m = new platform::RecursiveMutex();
  return *m;
}

LogManager::LogManager() = default;

LogManager::~LogManager() = default;

LogManager* LogManager::create() {
  // Caller holds lock().
  (void)logClockMillis();  // the #H clock starts no later than the manager
  (void)executableFileName();
  auto* m = new LogManager();
  gInstance.store(m, std::memory_order_release);
  m->stdErr_ = new StdErrLogTarget();
  m->stdOut_ = new StdOutLogTarget();
  m->debugger_ = new DebuggerConsoleLogTarget();
  m->stdErr_->attach();
  m->debugger_->attach();
  return m;
}

void LogManager::destroy() {
  // Caller holds lock().
  LogManager* m = gInstance.load(std::memory_order_acquire);
  if (m == nullptr) return;
  // Detach last-attached first. A detach may remove more than one entry (a
  // sink attached twice), so the list is re-read each time.
  while (!m->targets_.empty()) {
    LogSink* s = m->targets_.back();
    s->detach(s);
    // A foreign sink may not remove itself, or a sink added through
    // attachSink may not count as attached: drop it regardless.
    m->removeSink(s);
  }
  delete m->stdErr_;
  delete m->stdOut_;
  delete m->debugger_;
  gInstance.store(nullptr, std::memory_order_release);
  delete m;
}

LogManager& LogManager::acquire() {
  Guard g(lock());
  gReferences.fetch_add(1, std::memory_order_acq_rel);
  LogManager* m = gInstance.load(std::memory_order_acquire);
  return m ? *m : *create();
}

void LogManager::release() {
  Guard g(lock());
  std::int32_t n = gReferences.load(std::memory_order_acquire);
  if (n <= 0) return;  // unbalanced release: nothing to give back
  if (gReferences.fetch_sub(1, std::memory_order_acq_rel) == 1) destroy();
}

std::int32_t LogManager::referenceCount() { return gReferences.load(std::memory_order_acquire); }

LogManager* LogManager::instance() { return gInstance.load(std::memory_order_acquire); }

LogManager& LogManager::get() {
  if (LogManager* m = gInstance.load(std::memory_order_acquire)) return *m;
  Guard g(lock());
  LogManager* m = gInstance.load(std::memory_order_acquire);
  return m ? *m : *create();
}

void LogManager::setThreshold(LogLevel level) {
  Guard g(lock());
  threshold_ = level;
}

LogLevel LogManager::threshold() const {
  Guard g(lock());
  return threshold_;
}

void LogManager::setSuppressedGroups(LogGroupMask groups) {
  Guard g(lock());
  suppressed_ = groups;
}

LogGroupMask LogManager::suppressedGroups() const {
  Guard g(lock());
  return suppressed_;
}

void LogManager::mute() {
  Guard g(lock());
  muted_ = true;
}

void LogManager::unmute() {
  Guard g(lock());
  muted_ = false;
}

bool LogManager::muted() const {
  Guard g(lock());
  return muted_;
}

void LogManager::setReservedFlag() {
  Guard g(lock());
  reservedFlag_ = true;
}

void LogManager::clearReservedFlag() {
  Guard g(lock());
  reservedFlag_ = false;
}

bool LogManager::reservedFlag() const {
  Guard g(lock());
  return reservedFlag_;
}

void LogManager::attachSink(LogSink* sink) {
  if (sink == nullptr) return;
  Guard g(lock());
  targets_.push_back(sink);
}

void LogManager::removeSink(LogSink* sink) {
  Guard g(lock());
  targets_.erase(std::remove(targets_.begin(), targets_.end(), sink), targets_.end());
}

LogSink* LogManager::findTarget(std::string_view className) const {
  Guard g(lock());
  for (LogSink* s : targets_) {
    const char* name = s->className(s);
    if (name != nullptr && className == name) return s;
  }
  return nullptr;
}

std::vector<LogSink*> LogManager::attachedSinks() const {
  Guard g(lock());
  return targets_;
}

void LogManager::log(LogLevel level, LogGroupMask groups, const char* format, va_list args) {
  if (format == nullptr) return;
  Guard g(lock());
  if (muted_ || level < threshold_ || (groups & suppressed_) != 0) return;
  char message[kLogMessageMax + 1];
  int n = std::vsnprintf(message, sizeof message, format, args);
  if (n < 0) message[0] = '\0';
  LogRecord record;
  currentLogTime(record);
  record.level = level;
  record.groups = groups;
  record.message = message;
  dispatch(record);
}

void LogManager::dispatch(const LogRecord& record) {
  Guard g(lock());
  if (tDepth >= kMaxDepth) return;
  ++tDepth;
  // By index: a target may detach itself (or others) while writing.
  for (std::size_t i = 0; i < targets_.size(); ++i) {
    LogSink* s = targets_[i];
    if (record.level < s->level(s)) continue;
    if (record.groups != 0) {
      if ((record.groups & s->excludedGroups(s)) != 0) continue;
      LogGroupMask included = s->includedGroups(s);
      if (included != 0 && (record.groups & included) == 0) continue;
    }
    s->writeRecord(s, &record);
  }
  --tDepth;
}

void logMessageV(LogLevel level, LogGroupMask groups, const char* format, va_list args) {
  Guard g(LogManager::lock());
  LogManager::get().log(level, groups, format, args);
}

void logMessage(LogLevel level, LogGroupMask groups, const char* format, ...) {
  va_list args;
  va_start(args, format);
  logMessageV(level, groups, format, args);
  va_end(args);
}

}  // namespace qor
