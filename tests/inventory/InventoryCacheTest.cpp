// The cache rules on their own, with plain values: whose the caches are,
// partial entries and their merge with a fetched list, notified items,
// signed entries, invalidation (also of fetches in flight) and expiry.
#include "inventory/InventoryCache.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qor::testing {
namespace {

const PlayerIdentity kNobody{};
const PlayerIdentity kP{"p", 1};
const PlayerIdentity kQ{"q", 2};

Api::InventoryItem item(const std::string& instance, const std::string& type = "T", int id = 1) {
  return Api::InventoryItem{instance, id, type, Api::ItemOwnershipType::Owned};
}

// The instance ids of a list, in order.
std::vector<std::string> instances(const InventoryCache::ItemList& items) {
  std::vector<std::string> ids;
  for (const Api::InventoryItem& i : items) ids.push_back(i.instanceId);
  return ids;
}
std::vector<std::string> fetched(const InventoryCache& cache, const std::string& type) {
  const InventoryCache::ItemList* list = cache.fetchedItems(type);
  return list == nullptr ? std::vector<std::string>{"<none>"} : instances(*list);
}

Api::InventoryDTO signedAnswer(const std::string& jwt, const std::string& expires) {
  Api::InventoryDTO dto;
  dto.itemsJwt = jwt;
  dto.expires = expires;
  return dto;
}

class InventoryCacheTest : public ::testing::Test {
 protected:
  // 2030-01-01T00:00:00Z, in milliseconds.
  static constexpr std::uint64_t kExpiry = 1893456000000ull;
  std::uint64_t now = kExpiry - 1;
  InventoryCache cache{[this] { return now; }};

  void storeSigned(const std::string& type, const PlayerIdentity& player, const std::string& jwt,
                   const std::string& expires = "2030-01-01T00:00:00Z") {
    const Api::InventoryDTO answer = signedAnswer(jwt, expires);
    cache.finishSignedFetch(cache.beginSignedFetch(type, player), &answer);
  }
};

TEST_F(InventoryCacheTest, OnlyALoginOfAnotherPlayerEmptiesTheCaches) {
  cache.adoptOwner(kP);
  cache.storeFetched(kP, "A", {item("a1", "A")});
  storeSigned("S", kP, "J");
  cache.adoptOwner(kP);  // the same player again keeps everything
  EXPECT_EQ(fetched(cache, "A"), std::vector<std::string>{"a1"});
  EXPECT_EQ(cache.signedText("S"), "J");
  cache.adoptOwner(kQ);
  EXPECT_EQ(fetched(cache, "A"), std::vector<std::string>{"<none>"});
  EXPECT_FALSE(cache.signedEntry("S").has_value());
  EXPECT_EQ(cache.owner(), kQ);
}

TEST_F(InventoryCacheTest, AnswersForAnyoneButTheOwnerAreReturnedButNotStored) {
  cache.adoptOwner(kP);
  cache.storeFetched(kP, "A", {item("a1", "A")});
  storeSigned("S", kP, "J");
  // Fetched while nobody was logged in (or for a player who left meanwhile).
  for (const PlayerIdentity& other : {kNobody, kQ}) {
    EXPECT_EQ(instances(cache.storeFetched(other, "A", {item("x", "A")})), std::vector<std::string>{"x"});
    EXPECT_EQ(instances(cache.storeFetched(other, "B", {item("y", "B")})), std::vector<std::string>{"y"});
    storeSigned("S", other, "JX");
    storeSigned("U", other, "JU");
  }
  EXPECT_EQ(fetched(cache, "A"), std::vector<std::string>{"a1"});
  EXPECT_EQ(fetched(cache, "B"), std::vector<std::string>{"<none>"});
  EXPECT_EQ(cache.signedText("S"), "J");
  EXPECT_FALSE(cache.signedEntry("U").has_value());
  EXPECT_EQ(cache.owner(), kP);
}

TEST_F(InventoryCacheTest, BeforeTheFirstLoginAnswersAreKeptUntilAPlayerLogsIn) {
  cache.storeFetched(kNobody, "A", {item("a1", "A")});
  storeSigned("S", kNobody, "J");
  EXPECT_EQ(fetched(cache, "A"), std::vector<std::string>{"a1"});
  EXPECT_EQ(cache.signedText("S"), "J");
  cache.adoptOwner(kP);
  EXPECT_EQ(fetched(cache, "A"), std::vector<std::string>{"<none>"});
  EXPECT_FALSE(cache.signedText("S").has_value());
}

TEST_F(InventoryCacheTest, NotifiedTypeIsPartialUntilAFetchCompletesIt) {
  cache.addOrReplace(item("n1"));
  cache.append(item("n2"));
  EXPECT_EQ(fetched(cache, "T"), std::vector<std::string>{"<none>"});
  EXPECT_EQ(instances(cache.items("T")), (std::vector<std::string>{"n1", "n2"}));
  // The fetched list first, then the notified items it lacks.
  const InventoryCache::ItemList answered = cache.storeFetched(kNobody, "T", {item("f1"), item("n2")});
  EXPECT_EQ(instances(answered), (std::vector<std::string>{"f1", "n2", "n1"}));
  EXPECT_EQ(fetched(cache, "T"), (std::vector<std::string>{"f1", "n2", "n1"}));
  // A complete entry stays; the caller answers with what it fetched.
  EXPECT_EQ(instances(cache.storeFetched(kNobody, "T", {item("other")})), std::vector<std::string>{"other"});
  EXPECT_EQ(fetched(cache, "T"), (std::vector<std::string>{"f1", "n2", "n1"}));
}

TEST_F(InventoryCacheTest, ReplaceMovesTheInstanceToTheEndWhileAppendListsItAgain) {
  cache.storeFetched(kNobody, "T", {item("a"), item("b"), item("c")});
  cache.addOrReplace(item("a", "T", 9));
  EXPECT_EQ(fetched(cache, "T"), (std::vector<std::string>{"b", "c", "a"}));
  EXPECT_EQ(cache.fetchedItems("T")->back().itemId, 9);
  cache.append(item("b"));
  EXPECT_EQ(fetched(cache, "T"), (std::vector<std::string>{"b", "c", "a", "b"}));
  EXPECT_TRUE(cache.items("none").empty());
}

TEST_F(InventoryCacheTest, SignedEntryLastsUntilItsExpiryMillisecond) {
  storeSigned("S", kNobody, "J");
  ASSERT_EQ(cache.signedEntry("S")->expirationMS, kExpiry);
  EXPECT_EQ(cache.signedText("S"), "J");
  now = kExpiry;  // equal counts as expired
  EXPECT_FALSE(cache.signedText("S").has_value());
  // A text that does not parse is already expired; the entry is still stored.
  now = 0;
  storeSigned("U", kNobody, "JU", "2030-01-01T00:00:00+01:00");
  EXPECT_EQ(cache.signedEntry("U")->expirationMS, 0u);
  EXPECT_FALSE(cache.signedText("U").has_value());
  EXPECT_EQ(expiryMillis(""), 0u);
  EXPECT_EQ(expiryMillis("1969-12-31T23:59:59Z"), 0u);
}

TEST_F(InventoryCacheTest, InvalidationMarksTheEntryAndSpoilsFetchesInFlight) {
  cache.invalidateSigned("S");  // no entry: none is created
  EXPECT_FALSE(cache.signedEntry("S").has_value());
  storeSigned("S", kNobody, "J1");
  cache.invalidateSigned("S");
  EXPECT_FALSE(cache.signedEntry("S")->valid);
  EXPECT_FALSE(cache.signedText("S").has_value());

  // Two fetches out; an invalidation while they are spoils both answers.
  const Api::InventoryDTO answer = signedAnswer("J2", "2030-01-01T00:00:00Z");
  const InventoryCache::SignedFetch first = cache.beginSignedFetch("S", kNobody);
  const InventoryCache::SignedFetch second = cache.beginSignedFetch("S", kNobody);
  cache.invalidateSigned("S");
  cache.finishSignedFetch(first, &answer);
  cache.finishSignedFetch(second, &answer);
  EXPECT_FALSE(cache.signedText("S").has_value());
  // Once none is out, the next fetch stores again; a failed one stores nothing.
  cache.finishSignedFetch(cache.beginSignedFetch("S", kNobody), nullptr);
  EXPECT_FALSE(cache.signedText("S").has_value());
  storeSigned("S", kNobody, "J3");
  EXPECT_EQ(cache.signedText("S"), "J3");
}

}  // namespace
}  // namespace qor::testing
