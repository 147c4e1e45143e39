// Calls and resource events on several threads at once: a slow remote
// service blocks neither cached answers nor event delivery, answers that an
// event overtook are not cached as if nothing happened, and a stress run
// keeps every notified item exactly once (run it under ThreadSanitizer).
#include "inventory/InventoryHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qor::testing {
namespace {

using namespace std::chrono_literals;

// Only a guard against a deadlock: every wait ends long before it.
constexpr auto kDeadlockGuard = 60s;

constexpr const char* kGearTypeId = "e458d471-b176-4345-8fb3-3ec3e0de29a3";

// Holds the remote service's answers while armed: requests to outside URLs
// wait until the gate opens. Installed in the fake core's table.
struct RemoteGate {
  std::mutex mutex;
  std::condition_variable changed;
  bool armed = false;
  bool open = false;
  int waiting = 0;
  void(QOR_CDECL* forward)(const PluginCoreApi*, ExternalResponse*, const ExternalRequest*) = nullptr;
};

RemoteGate* gGate = nullptr;

void QOR_CDECL gatedExternalRequest(const PluginCoreApi* api, ExternalResponse* response,
                                    const ExternalRequest* request) {
  {
    std::unique_lock<std::mutex> lock(gGate->mutex);
    if (gGate->armed) {
      ++gGate->waiting;
      gGate->changed.notify_all();
      gGate->changed.wait(lock, [] { return gGate->open; });
      --gGate->waiting;
    }
  }
  gGate->forward(api, response, request);
}

class ConcurrencyTest : public InventoryTest {
 protected:
  void SetUp() override {
    InventoryTest::SetUp();
    gGate = &gate;
    gate.forward = core().table().SendExternalRequest;
    core().table().SendExternalRequest = &gatedExternalRequest;
    startReady();
  }
  void TearDown() override {
    release();  // never leave a thread waiting
    host.stop();
    gGate = nullptr;
  }
  void arm() {
    std::lock_guard<std::mutex> lock(gate.mutex);
    gate.armed = true;
    gate.open = false;
  }
  void release() {
    std::lock_guard<std::mutex> lock(gate.mutex);
    gate.open = true;
    gate.armed = false;
    gate.changed.notify_all();
  }
  // Waits until `n` remote requests are held at the gate.
  bool heldRequests(int n) {
    std::unique_lock<std::mutex> lock(gate.mutex);
    return gate.changed.wait_for(lock, kDeadlockGuard, [&] { return gate.waiting == n; });
  }
  // Runs `work` on another thread and reports whether it finished (a call
  // that waits for the held fetch never would).
  template <class F>
  bool finishes(F work) {
    auto done = std::async(std::launch::async, std::move(work));
    return done.wait_for(kDeadlockGuard) == std::future_status::ready;
  }
  static std::string entitlement(const std::string& itemId, const std::string& typeId) {
    return R"({"itemId":)" + jsonString(itemId) + R"(,"itemTypeId":)" + jsonString(typeId) + "}";
  }

  RemoteGate gate;
};

TEST_F(ConcurrencyTest, SlowRemoteBlocksNeitherCachedCallsNorEvents) {
  remote(plainUrl({"A"}), itemsBody({{"A", list({item(1, "A", "a1")})}}));
  remote(signedUrl("S"), signedBody("JS", "2999-01-01T00:00:00Z"));
  ASSERT_TRUE(host.getInventory({"A"}).ok);
  ASSERT_TRUE(host.getSignedInventory({"S"}).ok);
  remote(plainUrl({"B"}), itemsBody({{"B", list({item(2, "B", "b2")})}}));

  arm();
  auto slow = std::async(std::launch::async, [this] { return host.getInventory({"B"}); });
  ASSERT_TRUE(heldRequests(1));
  EXPECT_TRUE(finishes([this] {
    EXPECT_EQ(host.getInventory({"A"}).json, list({rendered(1, "A")}));
    EXPECT_EQ(host.getSignedInventory({"S"}).json, R"({"S":"JS"})");
    EXPECT_TRUE(host.deliver(kTokenUri, CORE_RESOURCE_UPDATE, R"({"token":"t2"})"));
    EXPECT_TRUE(host.deliver(kConfigUri, CORE_RESOURCE_UPDATE, R"({"Enabled":true,"BaseServiceUrl":"https://inv.test"})"));
    EXPECT_TRUE(host.deliverMessage(kEntitlementUri, CORE_RESOURCE_CREATE, entitlement("a9", kGearTypeId)));
  }));
  EXPECT_EQ(slow.wait_for(0s), std::future_status::timeout);
  release();
  EXPECT_EQ(slow.get().json, list({rendered(2, "B")}));
}

TEST_F(ConcurrencyTest, AnswerForAPlayerWhoLeftIsReturnedButNotCached) {
  remote(plainUrl({"B"}), itemsBody({{"B", list({item(2, "B", "b2")})}}));
  remote(signedUrl("S"), signedBody("JP", "2999-01-01T00:00:00Z"));
  arm();
  auto items = std::async(std::launch::async, [this] { return host.getInventory({"B"}); });
  auto jwt = std::async(std::launch::async, [this] { return host.getSignedInventory({"S"}); });
  ASSERT_TRUE(heldRequests(2));
  ASSERT_TRUE(host.deliver(kSessionUri, CORE_RESOURCE_DELETE, ""));
  ASSERT_TRUE(host.deliver(kSessionUri, CORE_RESOURCE_CREATE, sessionJson("q-2", 8, 9)));
  release();
  EXPECT_EQ(items.get().json, list({rendered(2, "B")}));
  EXPECT_EQ(jwt.get().json, R"({"S":"JP"})");

  remote(plainUrl({"B"}, "q-2", "8"), itemsBody({{"B", list({item(3, "B", "b3")})}}));
  remote(signedUrl("S", "q-2", "8"), signedBody("JQ", "2999-01-01T00:00:00Z"));
  EXPECT_EQ(host.getInventory({"B"}).json, list({rendered(3, "B")}));
  EXPECT_EQ(host.getSignedInventory({"S"}).json, R"({"S":"JQ"})");
  EXPECT_EQ(externalCount(), 4u);
}

TEST_F(ConcurrencyTest, InvalidationDuringASignedFetchForcesTheNextFetch) {
  remote(signedUrl("GEAR"), signedBody("J1", "2999-01-01T00:00:00Z"));
  arm();
  auto first = std::async(std::launch::async, [this] { return host.getSignedInventory({"GEAR"}); });
  ASSERT_TRUE(heldRequests(1));
  ASSERT_TRUE(host.deliverMessage(kEntitlementUri, CORE_RESOURCE_CREATE, entitlement("g1", kGearTypeId)));
  release();
  EXPECT_EQ(first.get().json, R"({"GEAR":"J1"})");
  remote(signedUrl("GEAR"), signedBody("J2", "2999-01-01T00:00:00Z"));
  EXPECT_EQ(host.getSignedInventory({"GEAR"}).json, R"({"GEAR":"J2"})");
  EXPECT_EQ(host.getSignedInventory({"GEAR"}).json, R"({"GEAR":"J2"})");
  EXPECT_EQ(externalCount(), 2u);
}

TEST_F(ConcurrencyTest, ItemNotifiedDuringAFetchIsKept) {
  remote(plainUrl({"GEAR"}), itemsBody({{"GEAR", list({item(40, "GEAR", "g40")})}}));
  arm();
  auto fetch = std::async(std::launch::async, [this] { return host.getInventory({"GEAR"}); });
  ASSERT_TRUE(heldRequests(1));
  ASSERT_TRUE(host.deliverMessage(kEntitlementUri, CORE_RESOURCE_CREATE, entitlement("g1", kGearTypeId)));
  release();
  const std::string both = list({rendered(40, "GEAR"), rendered(1, "GEAR")});
  EXPECT_EQ(fetch.get().json, both);
  EXPECT_EQ(host.getInventory({"GEAR"}).json, both);
  EXPECT_EQ(externalCount(), 1u);
}

// Counts the items of one type in a rendered list, by item id.
std::vector<int> itemIds(const std::string& json) {
  std::vector<int> ids;
  const std::string key = "\"itemId\":";
  for (std::size_t at = json.find(key); at != std::string::npos; at = json.find(key, at + 1))
    ids.push_back(std::stoi(json.substr(at + key.size())));
  std::sort(ids.begin(), ids.end());
  return ids;
}

TEST_F(ConcurrencyTest, StressKeepsEveryNotifiedItemExactlyOnce) {
  constexpr int kItems = 40;
  constexpr int kCallsPerThread = 60;
  std::string catalog = "[";
  for (int i = 0; i < kItems; ++i) {
    if (i) catalog += ',';
    catalog += R"({"itemId":)" + std::to_string(100 + i) +
               R"(,"inventoryType":"EMOTE","itemInstanceId":"e)" + std::to_string(i) + "\"}";
    catalog += R"(,{"itemId":)" + std::to_string(200 + i) +
               R"(,"inventoryType":"X","itemInstanceId":"s)" + std::to_string(i) + "\"}";
  }
  core().respondJson(kCatalogUri, catalog + "]");
  remote(plainUrl({"EMOTE", "GEAR", "A"}),
         itemsBody({{"EMOTE", list({item(1000, "EMOTE", "f1")})},
                    {"GEAR", list({item(2000, "GEAR", "f2")})},
                    {"A", list({item(3000, "A", "f3")})}}));
  remote(plainUrl({"GEAR", "A"}), itemsBody({{"GEAR", list({item(2000, "GEAR", "f2")})},
                                            {"A", list({item(3000, "A", "f3")})}}));
  remote(plainUrl({"EMOTE", "A"}), itemsBody({{"EMOTE", list({item(1000, "EMOTE", "f1")})},
                                             {"A", list({item(3000, "A", "f3")})}}));
  remote(plainUrl({"EMOTE", "GEAR"}), itemsBody({{"EMOTE", list({item(1000, "EMOTE", "f1")})},
                                                {"GEAR", list({item(2000, "GEAR", "f2")})}}));
  remote(plainUrl({"EMOTE"}), itemsBody({{"EMOTE", list({item(1000, "EMOTE", "f1")})}}));
  remote(plainUrl({"GEAR"}), itemsBody({{"GEAR", list({item(2000, "GEAR", "f2")})}}));
  remote(plainUrl({"A"}), itemsBody({{"A", list({item(3000, "A", "f3")})}}));
  remote(signedUrl("GEAR"), signedBody("JG", "2999-01-01T00:00:00Z"));
  remote(signedUrl("A"), signedBody("JA", "2999-01-01T00:00:00Z"));

  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCallsPerThread; ++i) {
        const CallAnswer a = (i + t) % 3 == 0   ? host.getInventory({"EMOTE", "GEAR", "A"})
                             : (i + t) % 3 == 1 ? host.getSignedInventory({"GEAR", "A"})
                                                : host.getEmotes();
        if (!a.ok) ++failures;
      }
    });
  }
  threads.emplace_back([&] {
    for (int i = 0; i < kCallsPerThread; ++i) {
      host.deliver(kTokenUri, CORE_RESOURCE_UPDATE, R"({"token":"t)" + std::to_string(i) + "\"}");
      host.deliver(kConfigUri, CORE_RESOURCE_UPDATE, R"({"Enabled":true,"BaseServiceUrl":"https://inv.test"})");
      host.deliver(kSessionUri, CORE_RESOURCE_UPDATE, sessionJson("p-1", 7, 9));
      host.deliver(kRegionUri, CORE_RESOURCE_UPDATE, "{}");
    }
  });
  threads.emplace_back([&] {
    for (int i = 0; i < kItems; ++i) {
      const std::string n = std::to_string(i);
      host.deliverMessage(kEntitlementUri, CORE_RESOURCE_CREATE, entitlement("e" + n, "catalog"));
      host.deliverMessage(kEntitlementUri, CORE_RESOURCE_CREATE, entitlement("g" + n, kGearTypeId));
    }
  });
  threads.emplace_back([&] {
    for (int i = 0; i < kItems; ++i) {
      host.deliverMessage(kStoreUri, CORE_RESOURCE_CREATE,
                          R"({"items":[{"inventoryType":"A","itemId":"s)" + std::to_string(i) + "\"}]}");
    }
  });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);

  std::vector<int> emotes{1000}, gear(kItems, 1), stored{3000};
  gear.push_back(2000);
  for (int i = 0; i < kItems; ++i) {
    emotes.push_back(100 + i);
    stored.push_back(200 + i);
  }
  std::sort(emotes.begin(), emotes.end());
  std::sort(stored.begin(), stored.end());
  EXPECT_EQ(itemIds(host.getEmotes().json), emotes);
  EXPECT_EQ(itemIds(host.getInventory({"GEAR"}).json), gear);
  EXPECT_EQ(itemIds(host.getInventory({"A"}).json), stored);
  // The last emote event carries every notified emote (and the fetched one
  // when the fetch came before it).
  std::vector<int> notified(emotes.begin(), emotes.end() - 1);
  const auto events = core().sentEvents();
  ASSERT_FALSE(events.empty());
  const std::vector<int> last = itemIds(events.back().payloadJson);
  EXPECT_TRUE(last == emotes || last == notified) << events.back().payloadJson;
  EXPECT_EQ(core().doubleReleases(), 0);
}

}  // namespace
}  // namespace qor::testing
