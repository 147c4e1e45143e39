// The LogApi table: thin adapters from plain functions to the log manager,
// the group table and the line formatter.
#include "logging/LogApi.h"

#include "logging/DebuggerConsoleLogTarget.h"
#include "logging/FormatLogLine.h"
#include "logging/LogGroupTable.h"
#include "logging/LogManager.h"
#include "logging/StdErrLogTarget.h"
#include "logging/StdOutLogTarget.h"

#include <cstring>
#include <mutex>
#include <string>

namespace qor {

namespace {

using Guard = std::lock_guard<platform::RecursiveMutex>;

// Runs f on the manager with the log lock held, so that a concurrent last
// release cannot destroy the manager under the call.
template <typename F>
auto withManager(F f) {
  Guard g(LogManager::lock());
  return f(LogManager::get());
}

std::size_t copyText(const std::string& text, char* buf, std::size_t size) {
  if (buf == nullptr || size == 0) return 0;
  std::size_t n = text.size() < size ? text.size() : size - 1;
  std::memcpy(buf, text.data(), n);
  buf[n] = '\0';
  return n;
}

std::int32_t apiVersion() { return kLogApiVersion; }
void apiAcquire() { (void)LogManager::acquire(); }
void apiRelease() { LogManager::release(); }
void apiSetThreshold(LogLevel l) {
  withManager([&](LogManager& m) { m.setThreshold(l); });
}
LogLevel apiThreshold() {
  return withManager([](LogManager& m) { return m.threshold(); });
}
void apiSetSuppressed(LogGroupMask g) {
  withManager([&](LogManager& m) { m.setSuppressedGroups(g); });
}
LogGroupMask apiSuppressed() {
  return withManager([](LogManager& m) { return m.suppressedGroups(); });
}
void apiMute() {
  withManager([](LogManager& m) { m.mute(); });
}
void apiUnmute() {
  withManager([](LogManager& m) { m.unmute(); });
}
void apiSetReserved() {
  withManager([](LogManager& m) { m.setReservedFlag(); });
}
void apiClearReserved() {
  withManager([](LogManager& m) { m.clearReservedFlag(); });
}
void apiAttach(LogSink* s) {
  withManager([&](LogManager& m) { m.attachSink(s); });
}
void apiRemove(LogSink* s) {
  withManager([&](LogManager& m) { m.removeSink(s); });
}
LogSink* apiFind(const char* name) {
  if (name == nullptr) return nullptr;
  return withManager([&](LogManager& m) { return m.findTarget(name); });
}
LogSink* apiStdOut() {
  return withManager([](LogManager& m) { return m.stdOutTarget().sink(); });
}
LogSink* apiStdErr() {
  return withManager([](LogManager& m) { return m.stdErrTarget().sink(); });
}
LogSink* apiDebugger() {
  return withManager([](LogManager& m) { return m.debuggerConsoleTarget().sink(); });
}
LogGroupMask apiGroupMask(const char* name) { return name ? logGroupMask(name) : 0; }
std::size_t apiFormatGroups(LogGroupMask g, char* buf, std::size_t size) {
  return copyText(formatLogGroups(g), buf, size);
}
std::size_t apiFormatRecord(const char* format, const LogRecord* r, char* buf, std::size_t size) {
  if (r == nullptr) return copyText(std::string(), buf, size);
  return formatLogLine(format ? format : "", *r, buf, size);
}
const char* apiExecutableFileName() { return executableFileName(); }
void apiCurrentTime(LogRecord* r) {
  if (r) currentLogTime(*r);
}
std::size_t apiFormatTime(const LogRecord* r, char* buf, std::size_t size) {
  return r ? formatLogTime(*r, buf, size) : copyText(std::string(), buf, size);
}
std::size_t apiFormatFileTime(const LogRecord* r, char* buf, std::size_t size) {
  return r ? formatLogFileTime(*r, buf, size) : copyText(std::string(), buf, size);
}

constexpr LogApi kApi = {
    apiVersion,        apiAcquire,        apiRelease,      apiSetThreshold,
    apiThreshold,      apiSetSuppressed,  apiSuppressed,   apiMute,
    apiUnmute,         apiSetReserved,    apiClearReserved, apiAttach,
    apiRemove,         apiFind,           apiStdOut,       apiStdErr,
    apiDebugger,       apiGroupMask,      apiFormatGroups, apiFormatRecord,
    logLevelText,      apiExecutableFileName, apiCurrentTime, apiFormatTime,
    apiFormatFileTime, logMessageV,
};

}  // namespace

const LogApi& logApi() { return kApi; }

}  // namespace qor
