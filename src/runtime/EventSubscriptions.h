// EventSubscriptions: the plug-in's core event subscriptions. It keeps the
// handler of each core event name and how many watched URIs map to it,
// subscribes and unsubscribes at the core through the CoreLink, and delivers
// the core's events to their handlers.
//
// Threads: subscriptions are made on the core's thread (Start, OnStart) or by
// plug-in code on any thread; events arrive on core threads. One mutex guards
// the two tables and is held only for table access: the core is called, and
// a handler runs, without it, so a handler may subscribe further events and
// the core may deliver an event from inside Subscribe.
#pragma once

#include "PluginAbi.h"
#include "binding/BindingProperty.h"
#include "platform/Mutex.h"
#include "runtime/RequestError.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qor {

class CoreLink;

// Handles one core event; receives the payload already read into a value
// (root name kResultFieldName).
using CoreEventHandler = std::function<void(const BindingProperty& payload)>;

// Subscription flags of the core's Subscribe entry.
inline constexpr std::uint32_t kResourceEventFlags = CORE_SUBSCRIBE_RESOURCE;
inline constexpr std::uint32_t kServiceProxyEventFlags = CORE_SUBSCRIBE_SERVICE_PROXY;

class EventSubscriptions {
 public:
  explicit EventSubscriptions(CoreLink& link) : link_(link) {}
  EventSubscriptions(const EventSubscriptions&) = delete;
  EventSubscriptions& operator=(const EventSubscriptions&) = delete;

  // Stores `handler` for the core event `name` (replacing an earlier one) and
  // subscribes it at the core with `flags`.
  void subscribe(const std::string& name, CoreEventHandler handler, std::uint32_t flags);
  // Counted subscriptions: raises the count of `name`; when it becomes 1,
  // stores `makeHandler()` and subscribes. Returns the new count.
  int addSubscription(const std::string& name, const std::function<CoreEventHandler()>& makeHandler,
                      std::uint32_t flags);
  // Lowers the count; at 0 unsubscribes and drops the handler. A name never
  // subscribed, or already at 0, is left alone. Returns the new count.
  int removeSubscription(const std::string& name);
  // Shutdown: unsubscribes every event name that has a handler, then empties
  // the handler table. The counts stay: the object is destroyed right after.
  void unsubscribeAll();

  // The subscription count of an event name (0 when none).
  int subscriptionCount(const std::string& name) const;
  bool hasEventHandler(const std::string& name) const;

  // The callback every core subscription goes through; the subscription's
  // context is the EventSubscriptions object.
  static void QOR_CDECL onCoreEvent(const CoreEvent* event);
  // Runs the handler of event `name` with the payload; false when no handler
  // is stored under that name or the payload could not be read.
  bool deliverCoreEvent(const char* name, const CoreValue& payload);
  // Waits until no event delivery runs on another thread. Stop calls it after
  // Shutdown: a core may still be delivering an event it began before the
  // subscription ended, and the plug-in object must outlive it.
  void waitForDeliveries() const;

 private:
  using HandlerPtr = std::shared_ptr<const CoreEventHandler>;
  void subscribeAtCore(const std::string& name, std::uint32_t flags);

  CoreLink& link_;
  std::atomic<int> deliveries_{0};  // onCoreEvent calls running, all threads
  mutable platform::Mutex mutex_;   // the handler and count tables
  std::unordered_map<std::string, HandlerPtr> handlers_;
  std::unordered_map<std::string, int> counts_;
};

}  // namespace qor
