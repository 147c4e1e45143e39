// PluginHost: core event subscriptions with reference counts, delivery of core
// events, and the service-proxy tables.
#include "runtime/PluginHost.h"

#include "binding/CoreValueConverter.h"
#include "binding/PropertyConverter.h"
#include "runtime/RuntimeLog.h"

#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace qor {
namespace {

constexpr const char* kUuidEvent = "OnServiceProxyUuidEvent";
constexpr const char* kMethodEvent = "OnServiceProxyMethodEvent";
constexpr const char* kAsyncEvent = "OnServiceProxyAsyncEvent";

}  // namespace

PluginHost::~PluginHost() = default;

void PluginHost::attachHost(void* handle, std::string shortName, std::string userAgent) {
  handle_ = handle;
  shortName_ = std::move(shortName);
  userAgent_ = std::move(userAgent);
  telemetry_ = std::make_unique<TelemetrySink>(shortName_);

  using Member = void (PluginHost::*)(const PluginServiceProxyResponse&);
  const std::pair<const char*, Member> events[] = {{kUuidEvent, &PluginHost::onServiceProxyUuid},
                                                   {kMethodEvent, &PluginHost::onServiceProxyMethod},
                                                   {kAsyncEvent, &PluginHost::onServiceProxyAsync}};
  for (const auto& [name, member] : events) {
    subscribeCoreEvent(name,
                       [this, member](const BindingProperty& payload) {
                         if (!hostRegistry_) return;
                         PluginServiceProxyResponse response;
                         BindingResult r;
                         fromProperty(r, response, payload, kTopLevelFieldName, *hostRegistry_);
                         if (r.ok) (this->*member)(response);
                       },
                       kServiceProxyEventFlags);
  }
}

void PluginHost::subscribeCoreEvent(const std::string& name, CoreEventHandler handler,
                                    std::uint32_t flags) {
  auto shared = std::make_shared<const CoreEventHandler>(std::move(handler));
  {
    std::lock_guard<platform::Mutex> lock(eventMutex_);
    eventHandlers_[name] = std::move(shared);
  }
  CoreSubscribe(name.c_str(), handle_, &PluginHost::onCoreEvent, static_cast<void*>(this), flags);
}

int PluginHost::addSubscription(const std::string& name,
                                const std::function<CoreEventHandler()>& makeHandler,
                                std::uint32_t flags) {
  int count = 0;
  {
    std::lock_guard<platform::Mutex> lock(eventMutex_);
    count = ++subscriptionCounts_[name];
    if (count == 1) eventHandlers_[name] = std::make_shared<const CoreEventHandler>(makeHandler());
  }
  // The core is called without the lock: it may deliver an event at once.
  if (count == 1)
    CoreSubscribe(name.c_str(), handle_, &PluginHost::onCoreEvent, static_cast<void*>(this), flags);
  return count;
}

int PluginHost::removeSubscription(const std::string& name) {
  int count = 0;
  HandlerPtr dropped;
  {
    std::lock_guard<platform::Mutex> lock(eventMutex_);
    auto it = subscriptionCounts_.find(name);
    // An event name never subscribed has nothing to end.
    if (it == subscriptionCounts_.end() || it->second <= 0) return 0;
    count = --it->second;
    if (count == 0) {
      auto h = eventHandlers_.find(name);
      if (h != eventHandlers_.end()) {
        dropped = std::move(h->second);
        eventHandlers_.erase(h);
      }
    }
  }
  if (count == 0) CoreUnsubscribe(name.c_str(), handle_);
  return count;
}

int PluginHost::subscriptionCount(const std::string& name) const {
  std::lock_guard<platform::Mutex> lock(eventMutex_);
  auto it = subscriptionCounts_.find(name);
  return it == subscriptionCounts_.end() ? 0 : it->second;
}

bool PluginHost::hasEventHandler(const std::string& name) const {
  std::lock_guard<platform::Mutex> lock(eventMutex_);
  return eventHandlers_.count(name) != 0;
}

void QOR_CDECL PluginHost::onCoreEvent(const CoreEvent* event) {
  // Called by the core: nothing may escape to it.
  try {
    if (!event || !event->context || !event->name) return;
    CoreValue payload;
    std::memcpy(&payload, &event->payload, sizeof payload);
    static_cast<PluginHost*>(event->context)->deliverCoreEvent(event->name, payload);
  } catch (...) {
  }
}

bool PluginHost::deliverCoreEvent(const char* name, const CoreValue& payload) {
  HandlerPtr handler;
  {
    std::lock_guard<platform::Mutex> lock(eventMutex_);
    auto it = eventHandlers_.find(std::string(name ? name : ""));
    if (it == eventHandlers_.end()) return false;
    handler = it->second;
  }
  BindingResult value;
  fromCoreValue(value, payload, kResultFieldName);
  if (!value.ok) return false;
  if (handler && *handler) (*handler)(value.value);
  return true;
}

void PluginHost::Shutdown() {
  std::vector<std::string> names;
  {
    std::lock_guard<platform::Mutex> lock(eventMutex_);
    names.reserve(eventHandlers_.size());
    for (const auto& entry : eventHandlers_) names.push_back(entry.first);
  }
  for (const auto& name : names) CoreUnsubscribe(name.c_str(), handle_);

  std::unordered_map<std::string, HandlerPtr> handlers;
  {
    std::lock_guard<platform::Mutex> lock(eventMutex_);
    handlers.swap(eventHandlers_);
  }
  std::unordered_map<std::string, ServiceProxyHandler> pending, async;
  std::unordered_map<std::string, PluginServiceProxyResponse> received;
  {
    std::lock_guard<platform::Mutex> lock(serviceProxyMutex_);
    pending.swap(pendingRequests_);
    async.swap(asyncHandlers_);
    received.swap(received_);
    receivedOrder_.clear();
  }
  clearWatches();
}

// ---- Service proxy ----------------------------------------------------------

std::string PluginHost::serviceProxyMethodKey(const PluginServiceProxyResponse& response) {
  return response.serviceName + "." + response.methodName;
}

void PluginHost::storeReceived(const std::string& key, const PluginServiceProxyResponse& response) {
  std::lock_guard<platform::Mutex> lock(serviceProxyMutex_);
  auto it = received_.find(key);
  if (it != received_.end()) {
    it->second = response;
    // The replaced entry moves to the newest place.
    for (auto o = receivedOrder_.begin(); o != receivedOrder_.end(); ++o)
      if (*o == key) {
        receivedOrder_.erase(o);
        break;
      }
  } else {
    received_.emplace(key, response);
  }
  receivedOrder_.push_back(key);
  while (receivedOrder_.size() > kMaxReceivedServiceProxyResponses) {
    received_.erase(receivedOrder_.front());
    receivedOrder_.pop_front();
  }
}

void PluginHost::fulfil() {
  bool found = false;
  std::string key;
  ServiceProxyHandler callback;
  PluginServiceProxyResponse response;
  {
    std::lock_guard<platform::Mutex> lock(serviceProxyMutex_);
    for (auto o = receivedOrder_.begin(); o != receivedOrder_.end(); ++o) {
      auto pending = pendingRequests_.find(*o);
      if (pending == pendingRequests_.end()) continue;
      found = true;
      key = *o;
      callback = std::move(pending->second);
      pendingRequests_.erase(pending);
      auto r = received_.find(key);
      response = std::move(r->second);
      received_.erase(r);
      receivedOrder_.erase(o);
      break;
    }
  }
  if (!found) return;
  // The callback runs without the lock, so it may register or fulfil
  // further requests.
  if (callback) callback(response);
  runtimeLog(LogLevel::Always, "%s: Fulfilled service proxy request: %s", shortName_.c_str(),
             key.c_str());
}

void PluginHost::onServiceProxyUuid(const PluginServiceProxyResponse& response) {
  storeReceived(response.uuid, response);
  fulfil();
}

void PluginHost::onServiceProxyMethod(const PluginServiceProxyResponse& response) {
  storeReceived(serviceProxyMethodKey(response), response);
  fulfil();
}

void PluginHost::onServiceProxyAsync(const PluginServiceProxyResponse& response) {
  const std::string key = serviceProxyMethodKey(response);
  ServiceProxyHandler handler;
  {
    std::lock_guard<platform::Mutex> lock(serviceProxyMutex_);
    auto it = asyncHandlers_.find(key);
    if (it != asyncHandlers_.end()) handler = it->second;
  }
  if (!handler) {
    runtimeLog(LogLevel::Error, "%s: Could not find registered handler for async service proxy event %s",
               shortName_.c_str(), key.c_str());
    return;
  }
  handler(response);
}

void PluginHost::addPendingServiceProxyRequest(const std::string& key, ServiceProxyHandler callback) {
  {
    std::lock_guard<platform::Mutex> lock(serviceProxyMutex_);
    pendingRequests_[key] = std::move(callback);
  }
  fulfil();
}

void PluginHost::addAsyncServiceProxyHandler(const std::string& key, ServiceProxyHandler handler) {
  std::lock_guard<platform::Mutex> lock(serviceProxyMutex_);
  asyncHandlers_[key] = std::move(handler);
}

std::size_t PluginHost::receivedServiceProxyCount() const {
  std::lock_guard<platform::Mutex> lock(serviceProxyMutex_);
  return received_.size();
}

std::size_t PluginHost::pendingServiceProxyCount() const {
  std::lock_guard<platform::Mutex> lock(serviceProxyMutex_);
  return pendingRequests_.size();
}

bool PluginHost::receivedServiceProxyResponse(const std::string& key,
                                              PluginServiceProxyResponse* out) const {
  std::lock_guard<platform::Mutex> lock(serviceProxyMutex_);
  auto it = received_.find(key);
  if (it == received_.end()) return false;
  if (out) *out = it->second;
  return true;
}

}  // namespace qor
