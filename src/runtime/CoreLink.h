// CoreLink: the plug-in object's link to the core. It holds what the core
// hands over at Start (the context with the core's function table, the
// plug-in handle) and what the plug-in says about itself there (short name,
// user agent, telemetry sink), and it is the one path every call to the core
// takes, Log aside (the log target writes to the core on its own).
//
// The nine calls are virtual so that a plug-in, or a test, can hand PluginBase
// a link of its own that watches or shapes the traffic with the core; the
// default passes each call to the core's entry of the same name unchanged.
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
  CoreLink() = default;
  virtual ~CoreLink();
  CoreLink(const CoreLink&) = delete;
  CoreLink& operator=(const CoreLink&) = delete;

  // Start: connects to the core through `context` (whose table is read
  // afresh at every call), copies the handle, stores short name and user
  // agent and creates the telemetry sink.
  void attach(const PluginCoreContext* context, std::string shortName, std::string userAgent);

  // The core's entries SendRequest to LeaveWait, with the arguments
  // unchanged. Each returns false when the core could not be reached (not
  // attached, or no such entry); the call then had no effect.
  virtual bool sendRequest(CoreResponse* response, const CoreRequest* request);
  virtual bool sendExternalRequest(ExternalResponse* response, const ExternalRequest* request);
  virtual bool sendEvent(const CoreEvent* event);
  virtual bool subscribe(const char* eventName, void* handle, CoreEventCallback callback,
                         void* context, std::uint32_t flags);
  virtual bool unsubscribe(const char* eventName, void* handle);
  virtual bool entry5(std::uint32_t a, std::uint32_t b, std::uint32_t c, double d, std::uint32_t e);
  virtual bool yield();
  virtual bool enterWait(const char* label, std::uint32_t zero);
  virtual bool leaveWait();

  // The plug-in handle, copied from the context at Start; null before.
  void* pluginHandle() const noexcept { return handle_; }
  const CoreApi& api() const noexcept { return api_; }
  const std::string& shortName() const noexcept { return shortName_; }
  const std::string& userAgent() const noexcept { return userAgent_; }
  const TelemetrySink* telemetrySink() const noexcept { return telemetry_.get(); }

 private:
  CoreApi api_;
  void* handle_ = nullptr;
  std::string shortName_;
  std::string userAgent_;
  std::unique_ptr<TelemetrySink> telemetry_;
};

}  // namespace qor
