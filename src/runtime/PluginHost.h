// PluginHost: the middle layer of a plug-in object. It holds the connection
// details the core hands over at Start (handle, names, user agent), the core
// event handlers with their subscription counts, and the service-proxy
// tables, and declares the calls to the core (slots 4 to 12) that PluginBase
// forwards to the core's function table.
#pragma once

#include "PluginAbi.h"
#include "binding/BindingProperty.h"
#include "platform/Mutex.h"
#include "runtime/Resource.h"
#include "runtime/ResourceWatcher.h"
#include "runtime/TelemetrySink.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qor {

class TypeRegistry;

// The field name that messages about a whole response or payload use.
inline constexpr std::string_view kResultFieldName = "<result>";

// Handles one core event; receives the payload already read into a value
// (root name kResultFieldName).
using CoreEventHandler = std::function<void(const BindingProperty& payload)>;
// Receives a service-proxy message.
using ServiceProxyHandler = std::function<void(const PluginServiceProxyResponse& response)>;

// Subscription flags of the core's Subscribe entry.
inline constexpr std::uint32_t kResourceEventFlags = CORE_SUBSCRIBE_RESOURCE;
inline constexpr std::uint32_t kServiceProxyEventFlags = CORE_SUBSCRIBE_SERVICE_PROXY;

// The received service-proxy table keeps at most this many responses; the
// oldest goes first.
inline constexpr std::size_t kMaxReceivedServiceProxyResponses = 1024;

class PluginHost : public ResourceWatcher {
 public:
  PluginHost() = default;
  // Slot 2.
  virtual ~PluginHost();

  // Slot 3: unsubscribes every core event that has a handler, then empties
  // the handler table, the service-proxy tables and both watch tables.
  virtual void Shutdown();

  // Slots 4 to 12: the core's entries 0 to 8, with the arguments unchanged.
  // Each returns false when the core could not be reached (no connection or
  // no such entry); the call then had no effect.
  virtual bool CoreSendRequest(CoreResponse* response, const CoreRequest* request) = 0;
  virtual bool CoreSendExternalRequest(ExternalResponse* response,
                                       const ExternalRequest* request) = 0;
  virtual bool CoreSendEvent(const CoreEvent* event) = 0;
  virtual bool CoreSubscribe(const char* eventName, void* handle, CoreEventCallback callback,
                             void* context, std::uint32_t flags) = 0;
  virtual bool CoreUnsubscribe(const char* eventName, void* handle) = 0;
  virtual bool CoreEntry5(std::uint32_t a, std::uint32_t b, std::uint32_t c, double d,
                          std::uint32_t e) = 0;
  virtual bool CoreYield() = 0;
  virtual bool CoreEnterWait(const char* label, std::uint32_t zero) = 0;
  virtual bool CoreLeaveWait() = 0;

  void* pluginHandle() const noexcept { return handle_; }
  const std::string& shortName() const noexcept { return shortName_; }
  const std::string& userAgent() const noexcept { return userAgent_; }
  const TelemetrySink* telemetrySink() const noexcept { return telemetry_.get(); }

  // ---- Core events ----
  // Stores `handler` for the core event `name` (replacing an earlier one) and
  // subscribes it at the core with `flags`.
  void subscribeCoreEvent(const std::string& name, CoreEventHandler handler, std::uint32_t flags);
  // The subscription count of an event name (0 when none).
  int subscriptionCount(const std::string& name) const;
  bool hasEventHandler(const std::string& name) const;
  // The callback every core subscription of this object goes through; the
  // subscription's context is the PluginHost.
  static void QOR_CDECL onCoreEvent(const CoreEvent* event);
  // Runs the handler of event `name` with the payload; false when no handler
  // is stored under that name or the payload could not be read.
  bool deliverCoreEvent(const char* name, const CoreValue& payload);

  // ---- Service proxy ----
  // Registers a callback for the response that will arrive under `key` (a
  // uuid, or "service.method"). A response already received under the key
  // fulfils it at once.
  void addPendingServiceProxyRequest(const std::string& key, ServiceProxyHandler callback);
  // Registers the handler of asynchronous messages under "service.method".
  void addAsyncServiceProxyHandler(const std::string& key, ServiceProxyHandler handler);
  // What arrived: a uuid message, a method message, an asynchronous message.
  void onServiceProxyUuid(const PluginServiceProxyResponse& response);
  void onServiceProxyMethod(const PluginServiceProxyResponse& response);
  void onServiceProxyAsync(const PluginServiceProxyResponse& response);
  // The key of a method-based or asynchronous message: "service.method".
  static std::string serviceProxyMethodKey(const PluginServiceProxyResponse& response);
  std::size_t receivedServiceProxyCount() const;
  std::size_t pendingServiceProxyCount() const;
  // The last response received under `key`, if any.
  bool receivedServiceProxyResponse(const std::string& key, PluginServiceProxyResponse* out) const;

 protected:
  // Start: stores handle, short name and user agent, creates the telemetry
  // sink and subscribes the three service-proxy events.
  void attachHost(void* handle, std::string shortName, std::string userAgent);

  // Subscription counting behind SubscribeResource/UnsubscribeResource:
  // raises the count of `name`; when it becomes 1 stores `makeHandler()` and
  // subscribes. Returns the new count.
  int addSubscription(const std::string& name, const std::function<CoreEventHandler()>& makeHandler,
                      std::uint32_t flags);
  // Lowers the count; at 0 unsubscribes and drops the handler. Returns the new count.
  int removeSubscription(const std::string& name);

  TypeRegistry* hostRegistry_ = nullptr;  // set in the handshake

 private:
  using HandlerPtr = std::shared_ptr<const CoreEventHandler>;
  void storeReceived(const std::string& key, const PluginServiceProxyResponse& response);
  void fulfil();

  void* handle_ = nullptr;
  std::string shortName_;
  std::string userAgent_;
  std::unique_ptr<TelemetrySink> telemetry_;

  mutable platform::Mutex eventMutex_;  // the handler and count tables
  std::unordered_map<std::string, HandlerPtr> eventHandlers_;
  std::unordered_map<std::string, int> subscriptionCounts_;

  mutable platform::Mutex serviceProxyMutex_;
  std::unordered_map<std::string, ServiceProxyHandler> pendingRequests_;
  std::unordered_map<std::string, ServiceProxyHandler> asyncHandlers_;
  std::unordered_map<std::string, PluginServiceProxyResponse> received_;
  std::deque<std::string> receivedOrder_;  // oldest first
};

}  // namespace qor
