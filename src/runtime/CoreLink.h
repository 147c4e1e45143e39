// CoreLink: the plug-in object's link to the core. It holds what the core
// hands over at Start (the context with the core's function table, the
// plug-in handle) and what the plug-in says about itself there (short name,
// user agent, telemetry sink), and its CoreApi is the one path every call to
// the core takes, Log aside (the log target writes to the core on its own).
//
// Threads: attach runs on the core's thread at Start, before any call; after
// that every member is only read, and the calls may come from any thread.
#pragma once

#include "PluginAbi.h"
#include "runtime/CoreApi.h"
#include "runtime/TelemetrySink.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qor {

class CoreLink {
 public:
  // `core` is the gateway the calls take (a plug-in's or a test's own, to
  // watch the traffic); null means the plain CoreApi.
  explicit CoreLink(std::unique_ptr<CoreApi> core = nullptr);
  ~CoreLink();
  CoreLink(const CoreLink&) = delete;
  CoreLink& operator=(const CoreLink&) = delete;

  // Start: connects the gateway to the core through `context` (whose table
  // is read afresh at every call), copies the handle, stores short name and
  // user agent and creates the telemetry sink.
  void attach(const PluginCoreContext* context, std::string shortName, std::string userAgent);

  // The core's entries; each call returns false when the core could not be
  // reached (not attached, or no such entry) and then had no effect.
  const CoreApi& core() const noexcept { return *core_; }
  // The plug-in handle, copied from the context at Start; null before.
  void* pluginHandle() const noexcept { return handle_; }
  const std::string& shortName() const noexcept { return shortName_; }
  const std::string& userAgent() const noexcept { return userAgent_; }
  const TelemetrySink* telemetrySink() const noexcept { return telemetry_.get(); }

 private:
  std::unique_ptr<CoreApi> core_;
  void* handle_ = nullptr;
  std::string shortName_;
  std::string userAgent_;
  std::unique_ptr<TelemetrySink> telemetry_;
};

}  // namespace qor
