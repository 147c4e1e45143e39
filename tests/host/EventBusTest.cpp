// Tests of the host's event bus.
#include "host/EventBus.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "host/CoreValueJson.h"

namespace qor::host {
namespace {

using nlohmann::json;

// Records what a subscriber receives; its address is the callback context.
struct Recorder {
  std::mutex mutex;
  std::vector<std::pair<std::string, json>> events;
  std::atomic<int> concurrent{0};
  std::atomic<int> maxConcurrent{0};
  std::chrono::milliseconds work{0};

  static void QOR_CDECL callback(const CoreEvent* event) {
    auto* self = static_cast<Recorder*>(event->context);
    const int now = ++self->concurrent;
    int seen = self->maxConcurrent.load();
    while (now > seen && !self->maxConcurrent.compare_exchange_weak(seen, now)) {
    }
    if (self->work.count() != 0) std::this_thread::sleep_for(self->work);
    {
      std::lock_guard lock(self->mutex);
      self->events.emplace_back(event->name, coreValueToJson(event->payload));
    }
    --self->concurrent;
  }

  std::size_t size() {
    std::lock_guard lock(mutex);
    return events.size();
  }
};

void* handle(int n) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(n)); }

TEST(EventBus, DeliversToSubscribersOfTheNameWithTheirContext) {
  EventBus bus(2);
  Recorder first;
  Recorder second;
  bus.subscribe("A", handle(1), &Recorder::callback, &first, 0);
  bus.subscribe("A", handle(2), &Recorder::callback, &second, 0);
  bus.subscribe("B", handle(1), &Recorder::callback, &first, 0);
  EXPECT_EQ(bus.publish("host", "A", {{"n", 1}}), 2u);
  EXPECT_EQ(bus.publish("host", "C", {{"n", 2}}), 0u);
  bus.drain();
  ASSERT_EQ(first.size(), 1u);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(first.events[0].first, "A");
  EXPECT_EQ(first.events[0].second, json({{"n", 1}}));
  EXPECT_EQ(bus.deliveredCount(), 2u);
}

TEST(EventBus, OneSubscriberSeesItsEventsInOrderAndOneAtATime) {
  EventBus bus(4);
  Recorder recorder;
  recorder.work = std::chrono::milliseconds(1);
  bus.subscribe("A", handle(1), &Recorder::callback, &recorder, 0);
  bus.subscribe("B", handle(1), &Recorder::callback, &recorder, 0);
  for (int i = 0; i < 40; ++i) bus.publish("host", i % 2 ? "A" : "B", i);
  bus.drain();
  ASSERT_EQ(recorder.size(), 40u);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(recorder.events[i].second, i);
  EXPECT_EQ(recorder.maxConcurrent.load(), 1);
}

TEST(EventBus, DifferentSubscribersRunInParallel) {
  EventBus bus(4);
  Recorder shared;
  shared.work = std::chrono::milliseconds(50);
  for (int h = 1; h <= 4; ++h) bus.subscribe("A", handle(h), &Recorder::callback, &shared, 0);
  bus.publish("host", "A", nullptr);
  bus.drain();
  EXPECT_EQ(shared.size(), 4u);
  EXPECT_GT(shared.maxConcurrent.load(), 1);
}

TEST(EventBus, UnsubscribeStopsDeliveryAndReplacingKeepsOneSubscription) {
  EventBus bus(1);
  Recorder old;
  Recorder replacement;
  bus.subscribe("A", handle(1), &Recorder::callback, &old, 0);
  bus.subscribe("A", handle(1), &Recorder::callback, &replacement, 0);
  EXPECT_EQ(bus.subscriptionCount("A"), 1u);
  bus.publish("host", "A", 1);
  bus.drain();
  EXPECT_EQ(old.size(), 0u);
  EXPECT_EQ(replacement.size(), 1u);
  EXPECT_TRUE(bus.unsubscribe("A", handle(1)));
  EXPECT_FALSE(bus.unsubscribe("A", handle(1)));
  EXPECT_EQ(bus.publish("host", "A", 2), 0u);
  bus.drain();
  EXPECT_EQ(replacement.size(), 1u);
}

TEST(EventBus, DetachWaitsForRunningDeliveriesAndDropsQueuedOnes) {
  EventBus bus(2);
  Recorder recorder;
  recorder.work = std::chrono::milliseconds(30);
  bus.subscribe("A", handle(1), &Recorder::callback, &recorder, 0);
  for (int i = 0; i < 5; ++i) bus.publish("host", "A", i);
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  bus.detach(handle(1));
  // Whatever ran has finished, and nothing runs afterwards.
  EXPECT_EQ(recorder.concurrent.load(), 0);
  const std::size_t seen = recorder.size();
  EXPECT_LT(seen, 5u);
  std::this_thread::sleep_for(std::chrono::milliseconds(80));
  EXPECT_EQ(recorder.size(), seen);
  EXPECT_EQ(bus.subscriptionCount("A"), 0u);
}

TEST(EventBus, ListenersSeeEveryEventWithItsSource) {
  EventBus bus(1);
  std::vector<std::string> seen;
  const int id = bus.addListener([&](const std::string& source, const std::string& name,
                                     const json& payload) {
    seen.push_back(source + ":" + name + ":" + payload.dump());
  });
  bus.publish("echo", "X", {{"a", 1}});
  bus.removeListener(id);
  bus.publish("echo", "Y", nullptr);
  EXPECT_EQ(seen, std::vector<std::string>{R"(echo:X:{"a":1})"});
}

TEST(EventBus, StopRunsQueuedDeliveriesThenRefusesNewOnes) {
  EventBus bus(1);
  Recorder recorder;
  bus.subscribe("A", handle(1), &Recorder::callback, &recorder, 0);
  for (int i = 0; i < 3; ++i) bus.publish("host", "A", i);
  bus.stop();
  EXPECT_EQ(recorder.size(), 3u);
  EXPECT_EQ(bus.publish("host", "A", 4), 0u);
}

}  // namespace
}  // namespace qor::host
