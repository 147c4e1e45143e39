// The host's event bus.
#include "host/EventBus.h"

#include "host/CoreValueJson.h"

namespace qor::host {

EventBus::EventBus(unsigned threads) {
  if (threads == 0) threads = 1;
  workers_.reserve(threads);
  for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
}

EventBus::~EventBus() { stop(); }

void EventBus::subscribe(const std::string& name, void* handle, CoreEventCallback callback,
                         void* context, std::uint32_t flags) {
  std::lock_guard lock(mutex_);
  auto [it, created] = subscriptions_.try_emplace({name, handle});
  // A replaced callback keeps the subscription's age, so events queued
  // before the replacement still reach the subscriber.
  if (created) it->second.generation = nextGeneration_++;
  it->second.callback = callback;
  it->second.context = context;
  it->second.flags = flags;
}

bool EventBus::unsubscribe(const std::string& name, void* handle) {
  std::lock_guard lock(mutex_);
  return subscriptions_.erase({name, handle}) != 0;
}

void EventBus::detach(void* handle) {
  std::unique_lock lock(mutex_);
  for (auto it = subscriptions_.begin(); it != subscriptions_.end();) {
    it = it->first.second == handle ? subscriptions_.erase(it) : std::next(it);
  }
  idle_.wait(lock, [&] { return strands_.find(handle) == strands_.end(); });
}

std::size_t EventBus::publish(const std::string& source, const std::string& name,
                              const nlohmann::json& payload) {
  {
    std::lock_guard lock(listenerMutex_);
    for (const auto& [id, listener] : listeners_) listener(source, name, payload);
  }
  auto shared = std::make_shared<const nlohmann::json>(payload);
  std::size_t queued = 0;
  std::lock_guard lock(mutex_);
  if (stopping_) return 0;
  for (auto it = subscriptions_.lower_bound({name, nullptr});
       it != subscriptions_.end() && it->first.first == name; ++it) {
    void* handle = it->first.second;
    auto [strand, created] = strands_.try_emplace(handle);
    strand->second.queue.push_back(Delivery{name, handle, it->second.generation, shared});
    if (created) ready_.push_back(handle);
    ++queued;
  }
  if (queued != 0) wake_.notify_all();
  return queued;
}

int EventBus::addListener(Listener listener) {
  std::lock_guard lock(listenerMutex_);
  const int id = nextListener_++;
  listeners_.emplace(id, std::move(listener));
  return id;
}

void EventBus::removeListener(int id) {
  std::lock_guard lock(listenerMutex_);
  listeners_.erase(id);
}

void EventBus::drain() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [&] { return strands_.empty(); });
}

void EventBus::stop() {
  {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [&] { return strands_.empty(); });
    stopping_ = true;
  }
  wake_.notify_all();
  for (auto& worker : workers_) {
    if (worker.joinable()) worker.join();
  }
  workers_.clear();
}

std::size_t EventBus::subscriptionCount(const std::string& name) const {
  std::lock_guard lock(mutex_);
  std::size_t count = 0;
  for (auto it = subscriptions_.lower_bound({name, nullptr});
       it != subscriptions_.end() && it->first.first == name; ++it)
    ++count;
  return count;
}

std::uint64_t EventBus::deliveredCount() const {
  std::lock_guard lock(mutex_);
  return delivered_;
}

void EventBus::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stopping_ || !ready_.empty(); });
    if (ready_.empty()) return;  // stopping and nothing left
    void* handle = ready_.front();
    ready_.pop_front();
    Strand& strand = strands_[handle];
    Delivery delivery = std::move(strand.queue.front());
    strand.queue.pop_front();
    strand.running = true;
    lock.unlock();
    deliver(delivery);
    lock.lock();
    Strand& after = strands_[handle];
    after.running = false;
    if (after.queue.empty()) {
      strands_.erase(handle);
      idle_.notify_all();
    } else {
      ready_.push_back(handle);
      wake_.notify_one();
    }
  }
}

void EventBus::deliver(const Delivery& delivery) {
  Subscription subscription;
  {
    std::lock_guard lock(mutex_);
    const auto it = subscriptions_.find({delivery.name, delivery.handle});
    // A subscription made after the event was published, or one that was
    // ended meanwhile, does not receive it.
    if (it == subscriptions_.end() || it->second.generation > delivery.generation) return;
    subscription = it->second;
    ++delivered_;
  }
  if (subscription.callback == nullptr) return;
  CoreEvent event{};
  event.name = delivery.name.c_str();
  if (!jsonToCoreValue(*delivery.payload, event.payload)) return;
  event.reserved = 0;
  event.context = subscription.context;
  subscription.callback(&event);
  releaseCoreValue(event.payload);
}

}  // namespace qor::host
