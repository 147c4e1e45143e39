// The three inventory functions as callers see them: the item cache behind
// getInventory and getEmotes, the signed cache behind getSignedInventory.
#include "inventory/InventoryHost.h"

#include "logging/TimeStamp.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

namespace qor::testing {
namespace {

class ItemCacheTest : public InventoryTest {
 protected:
  void SetUp() override {
    InventoryTest::SetUp();
    startReady();
  }
};

TEST_F(ItemCacheTest, FirstCallFetchesAndSecondIsAnsweredFromTheCache) {
  remote(plainUrl({"EMOTE"}), itemsBody({{"EMOTE", list({item(5, "EMOTE", "e5"), item(6, "EMOTE", "e6")})}}));
  const std::string expected = list({rendered(5, "EMOTE"), rendered(6, "EMOTE")});
  EXPECT_EQ(host.getInventory({"EMOTE"}).json, expected);
  EXPECT_EQ(host.getInventory({"EMOTE"}).json, expected);
  EXPECT_EQ(host.getEmotes().json, expected);
  EXPECT_EQ(externalCount(), 1u);
}

TEST_F(ItemCacheTest, OnlyUncachedTypesAreFetchedAndCachedOnesComeFirst) {
  remote(plainUrl({"A"}), itemsBody({{"A", list({item(1, "A", "a1")})}}));
  remote(plainUrl({"B"}), itemsBody({{"B", list({item(2, "B", "b2")})}}));
  ASSERT_TRUE(host.getInventory({"A"}).ok);
  EXPECT_EQ(host.getInventory({"B", "A"}).json, list({rendered(1, "A"), rendered(2, "B")}));
  EXPECT_EQ(externalUrls(), (std::vector<std::string>{plainUrl({"A"}), plainUrl({"B"})}));
}

TEST_F(ItemCacheTest, EveryTypeOfTheAnswerIsCachedAndReturned) {
  remote(plainUrl({"A", "B"}),
         itemsBody({{"A", list({item(1, "A", "a1")})}, {"C", list({item(3, "C", "c3")})}}));
  const CallAnswer first = host.getInventory({"A", "B"});
  ASSERT_TRUE(first.ok);
  // The map's order is the decoder's; both lists are there.
  EXPECT_TRUE(first.json == list({rendered(1, "A"), rendered(3, "C")}) ||
              first.json == list({rendered(3, "C"), rendered(1, "A")}))
      << first.json;
  // C came unasked and is cached; B was absent and is fetched again.
  remote(plainUrl({"B"}), itemsBody({{"B", "[]"}}));
  EXPECT_EQ(host.getInventory({"C", "B"}).json, list({rendered(3, "C")}));
  EXPECT_EQ(host.getInventory({"B"}).json, "[]");
  EXPECT_EQ(externalUrls(), (std::vector<std::string>{plainUrl({"A", "B"}), plainUrl({"B"})}));
}

TEST_F(ItemCacheTest, RepeatedNameIsAnsweredTwice) {
  remote(plainUrl({"A"}), itemsBody({{"A", list({item(1, "A", "a1")})}}));
  ASSERT_TRUE(host.getInventory({"A"}).ok);
  EXPECT_EQ(host.getInventory({"A", "A"}).json, list({rendered(1, "A"), rendered(1, "A")}));
}

TEST_F(ItemCacheTest, OwnershipFollowsTheFlags) {
  remote(plainUrl({"A"}),
         itemsBody({{"A", R"([{"itemId":1,"inventoryType":"A","f2p":true,"rental":true},
                             {"itemId":2,"inventoryType":"A","rental":true},
                             {"itemId":3,"inventoryType":"A"},
                             {"itemId":4,"inventoryType":"A","f2p":true},
                             null,
                             {"inventoryType":"A","eneitlementTypeId":"x","entitlementTypeId":"y"}])"}}));
  EXPECT_EQ(host.getInventory({"A"}).json,
            list({rendered(1, "A", "F2P"), rendered(2, "A", "RENTED"), rendered(3, "A"),
                  rendered(4, "A", "F2P"), rendered(0, ""), rendered(0, "A")}));
}

TEST_F(ItemCacheTest, ItemsThatDoNotConvertAreReturnedEmptyLoggedAndFetchedAgain) {
  remote(plainUrl({"A", "B"}),
         itemsBody({{"A", "5"}, {"B", list({item(2, "B", "b2")})}}));
  EXPECT_EQ(host.getInventory({"A", "B"}).json, list({rendered(2, "B")}));
  const auto lines = host.logLines(CORE_LOG_ERROR, "Could not convert inventory items for A: ");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            "Could not convert inventory items for A: Couldn't assign value to '<value>' of type "
            "vector because the input not a collection.");
  // A is not cached, B is.
  remote(plainUrl({"A"}), itemsBody({{"A", list({item(1, "A", "a1"), R"({"itemId":"x"})"})}}));
  EXPECT_EQ(host.getInventory({"A", "B"}).json, list({rendered(2, "B")}));
  EXPECT_EQ(host.logLines(CORE_LOG_ERROR, "Could not convert inventory items for A: ").size(), 2u);
  EXPECT_EQ(externalUrls(), (std::vector<std::string>{plainUrl({"A", "B"}), plainUrl({"A"})}));
}

TEST_F(ItemCacheTest, FailedFetchFailsTheCallEvenWithCachedTypes) {
  remote(plainUrl({"A"}), itemsBody({{"A", list({item(1, "A", "a1")})}}));
  ASSERT_TRUE(host.getInventory({"A"}).ok);
  remote(plainUrl({"B"}), "{}", 500);
  const CallAnswer a = host.getInventory({"A", "B"});
  EXPECT_FALSE(a.ok);
  EXPECT_EQ(a.status, 500u);
  EXPECT_EQ(a.error, "Could not get inventory from qorinventoryservice: ");
}

TEST_F(ItemCacheTest, SwitchedOffOrEmptyRequestsSendNothing) {
  remote(plainUrl({"A"}), itemsBody({{"A", list({item(1, "A", "a1")})}}));
  ASSERT_TRUE(host.getInventory({"A"}).ok);
  core().clearRecords();
  EXPECT_EQ(host.getInventory({}).json, "[]");
  // Without a query the argument keeps its default, an empty list.
  EXPECT_EQ(host.call("/qor-inventory/v1/inventory", "/qor-inventory/v1/inventory").json, "[]");
  EXPECT_EQ(host.call("/qor-inventory/v1/signedInventory", "/qor-inventory/v1/signedInventory").json, "{}");
  ASSERT_TRUE(host.deliver(kConfigUri, CORE_RESOURCE_UPDATE, R"({"Enabled":false,"BaseServiceUrl":"https://inv.test"})"));
  EXPECT_EQ(host.getInventory({"A", "Z"}).json, "[]");
  EXPECT_EQ(host.getEmotes().json, "[]");
  EXPECT_EQ(host.getSignedInventory({"A"}).json, "{}");
  EXPECT_EQ(externalCount(), 0u);
}

TEST_F(ItemCacheTest, ArgumentThatIsNotAListIsRefusedBeforeTheHandler) {
  const CallAnswer a =
      host.call("/qor-inventory/v1/inventory", "/qor-inventory/v1/inventory?inventoryTypes=GEAR");
  EXPECT_FALSE(a.ok);
  EXPECT_EQ(a.error,
            "Couldn't assign value to 'inventoryTypes' of type vector because the input not a "
            "collection.");
  EXPECT_EQ(externalCount(), 0u);
}

TEST_F(ItemCacheTest, EmotesShareTheCacheAndTheErrorsOfGetInventory) {
  const CallAnswer failed = host.getEmotes();
  EXPECT_EQ(failed.status, 500u);
  EXPECT_EQ(failed.error, host.getInventory({"EMOTE"}).error);
  remote(plainUrl({"EMOTE"}), itemsBody({{"EMOTE", list({item(5, "EMOTE", "e5")})}}));
  EXPECT_EQ(host.getEmotes().json, list({rendered(5, "EMOTE")}));
  EXPECT_EQ(host.getInventory({"EMOTE"}).json, list({rendered(5, "EMOTE")}));
  EXPECT_EQ(externalCount(), 3u);
}

// ---- Signed cache --------------------------------------------------------------

class SignedCacheTest : public ItemCacheTest {};

TEST_F(SignedCacheTest, UnexpiredEntryIsServedWithoutARequest) {
  remote(signedUrl("T"), signedBody("J1", "2999-01-01T00:00:00Z"));
  EXPECT_EQ(host.getSignedInventory({"T"}).json, R"({"T":"J1"})");
  remote(signedUrl("T"), signedBody("J2", "2999-01-01T00:00:00Z"));
  EXPECT_EQ(host.getSignedInventory({"T", "T"}).json, R"({"T":"J1"})");
  EXPECT_EQ(externalCount(), 1u);
}

TEST_F(SignedCacheTest, ExpiredOrUnreadableExpiryIsFetchedEveryTime) {
  const char* expired[] = {"2000-01-01T00:00:00Z", "2030-01-01T00:00:00+01:00", "", "garbage",
                           "1960-01-01T00:00:00Z"};
  for (const char* expires : expired) {
    SCOPED_TRACE(expires);
    core().clearRecords();
    remote(signedUrl("T"), signedBody(std::string("J") + expires, expires));
    EXPECT_EQ(host.getSignedInventory({"T", "T"}).json, std::string(R"({"T":"J)") + expires + "\"}");
    EXPECT_EQ(host.getSignedInventory({"T"}).json, std::string(R"({"T":"J)") + expires + "\"}");
    EXPECT_EQ(externalCount(), 3u);
  }
}

TEST_F(SignedCacheTest, ExpiryInTheNearFutureIsHonoured) {
  // An expiry one minute ahead is still valid; its seconds are read as UTC.
  const std::int64_t inAMinute = static_cast<std::int64_t>(currentTimeMillis() / 1000) + 60;
  const auto when = static_cast<std::time_t>(inAMinute);
  const std::tm* brokenDown = std::gmtime(&when);
  ASSERT_NE(brokenDown, nullptr);
  const std::tm utc = *brokenDown;
  char text[32];
  ASSERT_GT(std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc), 0u);
  ASSERT_EQ(parseUtcTimestamp(text), inAMinute) << text;
  remote(signedUrl("T"), signedBody("J", text));
  EXPECT_EQ(host.getSignedInventory({"T"}).json, R"({"T":"J"})");
  EXPECT_EQ(host.getSignedInventory({"T"}).json, R"({"T":"J"})");
  EXPECT_EQ(externalCount(), 1u);
}

TEST_F(SignedCacheTest, FailureMidwayKeepsEarlierEntriesAndStopsThere) {
  remote(signedUrl("X"), signedBody("JX", "2999-01-01T00:00:00Z"));
  remote(signedUrl("Y"), "nope", 404);
  remote(signedUrl("Z"), signedBody("JZ", "2999-01-01T00:00:00Z"));
  const CallAnswer a = host.getSignedInventory({"X", "Y", "Z"});
  EXPECT_FALSE(a.ok);
  EXPECT_EQ(a.status, 500u);
  EXPECT_EQ(a.error, "Could not get inventory from qorinventoryservice: ");
  EXPECT_EQ(externalUrls(), (std::vector<std::string>{signedUrl("X"), signedUrl("Y")}));
  EXPECT_EQ(host.getSignedInventory({"X"}).json, R"({"X":"JX"})");
  EXPECT_EQ(externalCount(), 2u);
}

TEST_F(SignedCacheTest, AnswerWithoutJwtCachesTheEmptyText) {
  remote(signedUrl("T"), R"({"data":{"expires":"2999-01-01T00:00:00Z"}})");
  EXPECT_EQ(host.getSignedInventory({"T"}).json, R"({"T":""})");
  EXPECT_EQ(host.getSignedInventory({"T"}).json, R"({"T":""})");
  EXPECT_EQ(externalCount(), 1u);
}

TEST_F(SignedCacheTest, SeveralTypesMakeOneMember) {
  remote(signedUrl("A"), signedBody("JA", "2999-01-01T00:00:00Z"));
  remote(signedUrl("B"), signedBody("JB", "2999-01-01T00:00:00Z"));
  EXPECT_EQ(host.getSignedInventory({"B", "A"}).json, R"({"A":"JA","B":"JB"})");
}

}  // namespace
}  // namespace qor::testing
