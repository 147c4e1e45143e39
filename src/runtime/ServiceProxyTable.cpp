// ServiceProxyTable: storing, matching and handing out service-proxy messages.
#include "runtime/ServiceProxyTable.h"

#include "binding/PropertyConverter.h"
#include "runtime/CoreLink.h"
#include "runtime/EventSubscriptions.h"
#include "runtime/RuntimeLog.h"

#include <mutex>
#include <utility>

namespace qor {
namespace {

constexpr const char* kUuidEvent = "OnServiceProxyUuidEvent";
constexpr const char* kMethodEvent = "OnServiceProxyMethodEvent";
constexpr const char* kAsyncEvent = "OnServiceProxyAsyncEvent";

}  // namespace

void ServiceProxyTable::subscribe(EventSubscriptions& events, const TypeRegistry& registry) {
  using Member = void (ServiceProxyTable::*)(const PluginServiceProxyResponse&);
  const std::pair<const char*, Member> table[] = {{kUuidEvent, &ServiceProxyTable::onUuid},
                                                  {kMethodEvent, &ServiceProxyTable::onMethod},
                                                  {kAsyncEvent, &ServiceProxyTable::onAsync}};
  for (const auto& [name, member] : table) {
    events.subscribe(name,
                     [this, member, &registry](const BindingProperty& payload) {
                       PluginServiceProxyResponse response;
                       BindingResult r;
                       fromProperty(r, response, payload, kTopLevelFieldName, registry);
                       if (r.ok) (this->*member)(response);
                     },
                     kServiceProxyEventFlags);
  }
}

std::string ServiceProxyTable::methodKey(const PluginServiceProxyResponse& response) {
  return response.serviceName + "." + response.methodName;
}

void ServiceProxyTable::storeReceived(const std::string& key,
                                      const PluginServiceProxyResponse& response) {
  std::lock_guard<platform::Mutex> lock(mutex_);
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

void ServiceProxyTable::fulfil() {
  bool found = false;
  std::string key;
  ServiceProxyHandler callback;
  PluginServiceProxyResponse response;
  {
    std::lock_guard<platform::Mutex> lock(mutex_);
    for (auto o = receivedOrder_.begin(); o != receivedOrder_.end(); ++o) {
      auto pending = pending_.find(*o);
      if (pending == pending_.end()) continue;
      found = true;
      key = *o;
      callback = std::move(pending->second);
      pending_.erase(pending);
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
  runtimeLog(LogLevel::Always, "%s: Fulfilled service proxy request: %s", link_.shortName().c_str(),
             key.c_str());
}

void ServiceProxyTable::onUuid(const PluginServiceProxyResponse& response) {
  storeReceived(response.uuid, response);
  fulfil();
}

void ServiceProxyTable::onMethod(const PluginServiceProxyResponse& response) {
  storeReceived(methodKey(response), response);
  fulfil();
}

void ServiceProxyTable::onAsync(const PluginServiceProxyResponse& response) {
  const std::string key = methodKey(response);
  ServiceProxyHandler handler;
  {
    std::lock_guard<platform::Mutex> lock(mutex_);
    auto it = async_.find(key);
    if (it != async_.end()) handler = it->second;
  }
  if (!handler) {
    runtimeLog(LogLevel::Error,
               "%s: Could not find registered handler for async service proxy event %s",
               link_.shortName().c_str(), key.c_str());
    return;
  }
  handler(response);
}

void ServiceProxyTable::addPendingRequest(const std::string& key, ServiceProxyHandler callback) {
  {
    std::lock_guard<platform::Mutex> lock(mutex_);
    pending_[key] = std::move(callback);
  }
  fulfil();
}

void ServiceProxyTable::addAsyncHandler(const std::string& key, ServiceProxyHandler handler) {
  std::lock_guard<platform::Mutex> lock(mutex_);
  async_[key] = std::move(handler);
}

std::size_t ServiceProxyTable::receivedCount() const {
  std::lock_guard<platform::Mutex> lock(mutex_);
  return received_.size();
}

std::size_t ServiceProxyTable::pendingCount() const {
  std::lock_guard<platform::Mutex> lock(mutex_);
  return pending_.size();
}

bool ServiceProxyTable::receivedResponse(const std::string& key,
                                         PluginServiceProxyResponse* out) const {
  std::lock_guard<platform::Mutex> lock(mutex_);
  auto it = received_.find(key);
  if (it == received_.end()) return false;
  if (out) *out = it->second;
  return true;
}

void ServiceProxyTable::clear() {
  // Swapped out so that the callbacks are destroyed without the lock.
  std::unordered_map<std::string, ServiceProxyHandler> pending, async;
  std::unordered_map<std::string, PluginServiceProxyResponse> received;
  {
    std::lock_guard<platform::Mutex> lock(mutex_);
    pending.swap(pending_);
    async.swap(async_);
    received.swap(received_);
    receivedOrder_.clear();
  }
}

}  // namespace qor
