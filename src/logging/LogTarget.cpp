// LogTarget: settings, attach state and the LogSink table that forwards to
// the target's virtual operations.
#include "logging/LogTarget.h"

#include "logging/LogManager.h"

#include <mutex>

namespace qor {

namespace {

using Guard = std::lock_guard<platform::RecursiveMutex>;

LogTarget& self(LogSink* sink) { return *LogTarget::fromSink(sink); }

std::int32_t sinkVersion(LogSink*) { return kLogSinkVersion; }
void sinkSetLevel(LogSink* s, LogLevel level) { self(s).setLevel(level); }
LogLevel sinkLevel(LogSink* s) { return self(s).level(); }
void sinkSetGroups(LogSink* s, LogGroupMask included, LogGroupMask excluded) {
  self(s).setGroups(included, excluded);
}
LogGroupMask sinkIncluded(LogSink* s) { return self(s).includedGroups(); }
LogGroupMask sinkExcluded(LogSink* s) { return self(s).excludedGroups(); }
const char* sinkClassName(LogSink* s) { return self(s).className(); }
void sinkAttach(LogSink* s) { self(s).attach(); }
void sinkDetach(LogSink* s) { self(s).detach(); }
bool sinkIsAttached(LogSink* s) { return self(s).isAttached(); }
bool sinkWrite(LogSink* s, const LogRecord* record) {
  return record != nullptr && self(s).write(*record);
}

}  // namespace

// Reaches the private format text for the sink's lineFormat entry, whose
// pointer must outlive the call.
struct LogTargetAccess {
  static const char* lineFormat(LogSink* s);
};

namespace {
const char* sinkLineFormat(LogSink* s) { return LogTargetAccess::lineFormat(s); }

constexpr LogSink kTable = {sinkVersion,   sinkSetLevel,   sinkLevel,      sinkSetGroups,
                            sinkIncluded,  sinkExcluded,   sinkClassName,  sinkLineFormat,
                            sinkAttach,    sinkDetach,     sinkIsAttached, sinkWrite};
}  // namespace

LogTarget::LogTarget() : interface_{kTable, this} {}

LogTarget::~LogTarget() {
  // The manager must never keep a pointer to a destroyed target. Every
  // occurrence goes, also those added through LogManager::attachSink.
  removeFromManager();
}

void LogTarget::removeFromManager() {
  Guard managerGuard(LogManager::lock());
  Guard targetGuard(lock_);
  attached_ = false;
  if (LogManager* m = LogManager::instance()) m->removeSink(sink());
}

LogTarget* LogTarget::fromSink(LogSink* sink) noexcept {
  if (sink == nullptr || sink->version != kTable.version) return nullptr;
  return reinterpret_cast<Interface*>(sink)->owner;
}

const char* LogTargetAccess::lineFormat(LogSink* s) {
  LogTarget& t = self(s);
  Guard g(t.lock_);
  return t.lineFormat_.c_str();
}

void LogTarget::detach() {
  Guard managerGuard(LogManager::lock());
  Guard targetGuard(lock_);
  if (!attached_) return;
  attached_ = false;
  if (LogManager* m = LogManager::instance()) m->removeSink(sink());
}

void LogTarget::attach() {
  Guard managerGuard(LogManager::lock());
  Guard targetGuard(lock_);
  if (attached_) return;
  attached_ = true;
  LogManager::get().attachSink(sink());
}

bool LogTarget::isAttached() const {
  Guard g(lock_);
  return attached_;
}

const char* LogTarget::className() const { return "LogTarget"; }

std::string LogTarget::lineFormat() const {
  Guard g(lock_);
  return lineFormat_;
}

bool LogTarget::write(const LogRecord&) { return false; }

void LogTarget::flush() {}

void LogTarget::setLevel(LogLevel level) {
  Guard g(lock_);
  level_ = level;
}

LogLevel LogTarget::level() const {
  Guard g(lock_);
  return level_;
}

void LogTarget::setGroups(LogGroupMask included, LogGroupMask excluded) {
  Guard g(lock_);
  excluded_ = excluded;
  included_ = included & ~excluded;
}

LogGroupMask LogTarget::includedGroups() const {
  Guard g(lock_);
  return included_;
}

LogGroupMask LogTarget::excludedGroups() const {
  Guard g(lock_);
  return excluded_;
}

void LogTarget::setLineFormat(std::string_view format) {
  Guard g(lock_);
  lineFormat_.assign(format.data(), format.size());
}

void LogTarget::configure(const LogTargetSettings& settings) {
  Guard managerGuard(LogManager::lock());
  Guard targetGuard(lock_);
  detach();
  level_ = settings.level;
  included_ = settings.included;
  excluded_ = settings.excluded;
  lineFormat_ = settings.lineFormat;
  attach();
  setLevel(settings.level);
  setGroups(settings.included, settings.excluded);
}

}  // namespace qor
