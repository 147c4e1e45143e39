// ServiceProxyTable: the plug-in's service-proxy messages. Responses arrive
// as three core events (by uuid, by service and method, asynchronous); a
// uuid or method response is kept under its key until a pending request for
// that key takes it, and an asynchronous one goes to the handler registered
// under its key.
//
// Threads: messages arrive on any core thread and requests are registered
// from any thread. One mutex guards the three tables; it is not held while a
// callback or handler runs, so a callback may register or fulfil further
// requests.
#pragma once

#include "platform/Mutex.h"
#include "runtime/Resource.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <unordered_map>

namespace qor {

class CoreLink;
class EventSubscriptions;
class TypeRegistry;

// Receives a service-proxy message.
using ServiceProxyHandler = std::function<void(const PluginServiceProxyResponse& response)>;

// The received table keeps at most this many responses; the oldest goes first.
inline constexpr std::size_t kMaxReceivedServiceProxyResponses = 1024;

class ServiceProxyTable {
 public:
  // `link` gives the short name that log lines begin with.
  explicit ServiceProxyTable(const CoreLink& link) : link_(link) {}
  ServiceProxyTable(const ServiceProxyTable&) = delete;
  ServiceProxyTable& operator=(const ServiceProxyTable&) = delete;

  // Start: subscribes the three service-proxy events; their payloads are
  // converted with `registry` (one that does not convert is dropped).
  void subscribe(EventSubscriptions& events, const TypeRegistry& registry);

  // Registers a callback for the response that will arrive under `key` (a
  // uuid, or "service.method"). A response already received under the key
  // fulfils it at once.
  void addPendingRequest(const std::string& key, ServiceProxyHandler callback);
  // Registers the handler of asynchronous messages under "service.method".
  void addAsyncHandler(const std::string& key, ServiceProxyHandler handler);

  // What arrived: a uuid message, a method message, an asynchronous message.
  void onUuid(const PluginServiceProxyResponse& response);
  void onMethod(const PluginServiceProxyResponse& response);
  void onAsync(const PluginServiceProxyResponse& response);
  // The key of a method-based or asynchronous message: "service.method".
  static std::string methodKey(const PluginServiceProxyResponse& response);

  std::size_t receivedCount() const;
  std::size_t pendingCount() const;
  // The last response received under `key`, if any.
  bool receivedResponse(const std::string& key, PluginServiceProxyResponse* out) const;

  // Shutdown: empties the three tables.
  void clear();

 private:
  void storeReceived(const std::string& key, const PluginServiceProxyResponse& response);
  // Runs the first pending request that has its response.
  void fulfil();

  const CoreLink& link_;
  mutable platform::Mutex mutex_;
  std::unordered_map<std::string, ServiceProxyHandler> pending_;
  std::unordered_map<std::string, ServiceProxyHandler> async_;
  std::unordered_map<std::string, PluginServiceProxyResponse> received_;
  std::deque<std::string> receivedOrder_;  // oldest first
};

}  // namespace qor
