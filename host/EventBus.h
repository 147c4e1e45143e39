// Delivers core events to the plug-ins that subscribed to them, on a small
// pool of worker threads, and to in-process listeners.
#pragma once

#include <nlohmann/json.hpp>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PluginAbi.h"

namespace qor::host {

// Subscriptions are keyed by event name and subscriber handle; subscribing
// the same pair again replaces the callback. Events for one subscriber are
// delivered one at a time and in the order they were published (a plug-in
// that takes no lock of its own then never sees two of its events at once),
// while different subscribers are served in parallel.
//
// The payload is copied when the event is published, so the publisher may
// release its own record as soon as publish returns. Each delivery builds a
// fresh CoreValue for the callback and releases it when the callback returns.
class EventBus {
 public:
  // Called synchronously by publish for every event, with the publisher's
  // name ("host" or a plug-in's short name).
  using Listener = std::function<void(const std::string& source, const std::string& name,
                                      const nlohmann::json& payload)>;

  explicit EventBus(unsigned threads = 4);
  ~EventBus();
  EventBus(const EventBus&) = delete;
  EventBus& operator=(const EventBus&) = delete;

  void subscribe(const std::string& name, void* handle, CoreEventCallback callback,
                 void* context, std::uint32_t flags);
  // False when there was no such subscription. Events already queued for it
  // are dropped.
  bool unsubscribe(const std::string& name, void* handle);
  // Removes every subscription of `handle` and waits until none of its
  // deliveries is running, so the subscriber can be destroyed afterwards.
  // Must not be called from one of that subscriber's callbacks.
  void detach(void* handle);

  // Queues one delivery per subscriber of `name`; returns how many.
  std::size_t publish(const std::string& source, const std::string& name,
                      const nlohmann::json& payload);

  int addListener(Listener listener);
  void removeListener(int id);

  // Waits until every queued delivery has run.
  void drain();
  // Runs what is queued, then ends the workers; later publishes deliver
  // nothing. Called by the destructor.
  void stop();

  std::size_t subscriptionCount(const std::string& name) const;
  std::uint64_t deliveredCount() const;

 private:
  struct Subscription {
    CoreEventCallback callback = nullptr;
    void* context = nullptr;
    std::uint32_t flags = 0;
    std::uint64_t generation = 0;
  };
  struct Delivery {
    std::string name;
    void* handle = nullptr;
    std::uint64_t generation = 0;
    std::shared_ptr<const nlohmann::json> payload;
  };
  struct Strand {
    std::deque<Delivery> queue;
    bool running = false;
  };

  void work();
  void deliver(const Delivery& delivery);

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::map<std::pair<std::string, void*>, Subscription> subscriptions_;
  std::map<void*, Strand> strands_;  // present while queued or running
  std::deque<void*> ready_;
  std::map<int, Listener> listeners_;
  std::mutex listenerMutex_;
  int nextListener_ = 1;
  std::uint64_t nextGeneration_ = 1;
  std::uint64_t delivered_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace qor::host
