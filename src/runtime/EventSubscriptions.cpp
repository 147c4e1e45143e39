// EventSubscriptions: counted core subscriptions and the delivery of core
// events to their handlers.
#include "runtime/EventSubscriptions.h"

#include "binding/CoreValueConverter.h"
#include "runtime/CoreLink.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace qor {
namespace {

// The tables whose events this thread is delivering, innermost last.
thread_local std::vector<const EventSubscriptions*> tDelivering;

}  // namespace

void EventSubscriptions::subscribeAtCore(const std::string& name, std::uint32_t flags) {
  link_.core().subscribe(name.c_str(), link_.pluginHandle(), &EventSubscriptions::onCoreEvent,
                  static_cast<void*>(this), flags);
}

void EventSubscriptions::subscribe(const std::string& name, CoreEventHandler handler,
                                   std::uint32_t flags) {
  auto shared = std::make_shared<const CoreEventHandler>(std::move(handler));
  {
    std::lock_guard<platform::Mutex> lock(mutex_);
    handlers_[name] = std::move(shared);
  }
  subscribeAtCore(name, flags);
}

int EventSubscriptions::addSubscription(const std::string& name,
                                        const std::function<CoreEventHandler()>& makeHandler,
                                        std::uint32_t flags) {
  int count = 0;
  {
    std::lock_guard<platform::Mutex> lock(mutex_);
    count = ++counts_[name];
    if (count == 1) handlers_[name] = std::make_shared<const CoreEventHandler>(makeHandler());
  }
  // The core is called without the lock: it may deliver an event at once.
  if (count == 1) subscribeAtCore(name, flags);
  return count;
}

int EventSubscriptions::removeSubscription(const std::string& name) {
  int count = 0;
  HandlerPtr dropped;
  {
    std::lock_guard<platform::Mutex> lock(mutex_);
    auto it = counts_.find(name);
    // An event name never subscribed has nothing to end.
    if (it == counts_.end() || it->second <= 0) return 0;
    count = --it->second;
    if (count == 0) {
      auto h = handlers_.find(name);
      if (h != handlers_.end()) {
        dropped = std::move(h->second);
        handlers_.erase(h);
      }
    }
  }
  if (count == 0) link_.core().unsubscribe(name.c_str(), link_.pluginHandle());
  return count;
}

void EventSubscriptions::unsubscribeAll() {
  std::vector<std::string> names;
  {
    std::lock_guard<platform::Mutex> lock(mutex_);
    names.reserve(handlers_.size());
    for (const auto& entry : handlers_) names.push_back(entry.first);
  }
  for (const auto& name : names) link_.core().unsubscribe(name.c_str(), link_.pluginHandle());

  // Swapped out so that the handlers are destroyed without the lock.
  std::unordered_map<std::string, HandlerPtr> handlers;
  {
    std::lock_guard<platform::Mutex> lock(mutex_);
    handlers.swap(handlers_);
  }
}

int EventSubscriptions::subscriptionCount(const std::string& name) const {
  std::lock_guard<platform::Mutex> lock(mutex_);
  auto it = counts_.find(name);
  return it == counts_.end() ? 0 : it->second;
}

bool EventSubscriptions::hasEventHandler(const std::string& name) const {
  std::lock_guard<platform::Mutex> lock(mutex_);
  return handlers_.count(name) != 0;
}

void QOR_CDECL EventSubscriptions::onCoreEvent(const CoreEvent* event) {
  if (!event || !event->context) return;
  auto* self = static_cast<EventSubscriptions*>(event->context);
  self->deliveries_.fetch_add(1);
  struct Running {
    EventSubscriptions* self;
    bool listed = false;
    ~Running() {
      if (listed) tDelivering.pop_back();
      self->deliveries_.fetch_sub(1);
    }
  } running{self};
  // Called by the core: nothing may escape to it.
  try {
    tDelivering.push_back(self);
    running.listed = true;
    if (event->name) {
      CoreValue payload;
      std::memcpy(&payload, &event->payload, sizeof payload);
      self->deliverCoreEvent(event->name, payload);
    }
  } catch (...) {
  }
}

void EventSubscriptions::waitForDeliveries() const {
  // Deliveries on this thread (Stop called from inside a callback) cannot end first.
  const int own = static_cast<int>(std::count(tDelivering.begin(), tDelivering.end(), this));
  while (deliveries_.load() > own) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

bool EventSubscriptions::deliverCoreEvent(const char* name, const CoreValue& payload) {
  HandlerPtr handler;
  {
    std::lock_guard<platform::Mutex> lock(mutex_);
    auto it = handlers_.find(std::string(name ? name : ""));
    if (it == handlers_.end()) return false;
    handler = it->second;
  }
  BindingResult value;
  fromCoreValue(value, payload, kResultFieldName);
  if (!value.ok) return false;
  if (handler && *handler) (*handler)(value.value);
  return true;
}

}  // namespace qor
