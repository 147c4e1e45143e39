// Messaging-service notifications: entitlement and store messages, the
// catalog look-ups behind them, the cache changes they make and the emote
// event they publish.
#include "inventory/InventoryHost.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace qor::testing {
namespace {

constexpr const char* kGearTypeId = "e458d471-b176-4345-8fb3-3ec3e0de29a3";
constexpr const char* kEmotesEvent = "OnJsonApiEvent_qor-inventory_v1_inventory";

class NotificationTest : public InventoryTest {
 protected:
  void SetUp() override {
    InventoryTest::SetUp();
    startReady();
  }
  static std::string entitlement(const std::string& itemId, const std::string& typeId) {
    return R"({"itemId":)" + jsonString(itemId) + R"(,"itemTypeId":)" + jsonString(typeId) + "}";
  }
  static std::string storeMessage(std::initializer_list<std::pair<std::string, std::string>> items) {
    std::string out = R"({"transactionId":"tx","items":[)";
    bool first = true;
    for (const auto& [type, id] : items) {
      if (!first) out += ',';
      first = false;
      out += R"({"inventoryType":)" + jsonString(type) + R"(,"itemId":)" + jsonString(id) + "}";
    }
    return out + "]}";
  }
  // Fetches `type` once with `items` (JSON list), so that it is cached in full.
  void fetchOnce(const std::string& type, const std::string& items) {
    remote(plainUrl({type}), itemsBody({{type, items}}));
    ASSERT_TRUE(host.getInventory({type}).ok);
  }
  // Signs `type` once with a far expiry.
  void signOnce(const std::string& type, const std::string& jwt) {
    remote(signedUrl(type), signedBody(jwt, "2999-01-01T00:00:00Z"));
    ASSERT_TRUE(host.getSignedInventory({type}).ok);
  }
  std::size_t signedRequestsFor(const std::string& type) const {
    std::size_t n = 0;
    for (const auto& url : externalUrls()) n += url == signedUrl(type) ? 1 : 0;
    return n;
  }
  std::string emoteEventPayload(const std::string& data) const {
    return R"({"data":)" + data + R"(,"eventType":"Update","uri":"/qor-inventory/v1/inventory/emotes"})";
  }
};

// ---- Entitlement channel ---------------------------------------------------------

TEST_F(NotificationTest, CapItemTypesAreFiledWithoutTheCatalog) {
  const std::pair<const char*, const char*> rows[] = {
      {"2367c5c4-6821-454f-a3b9-2615255f6d83", "TOURNAMENT_TROPHY"},
      {"bf838603-581f-4ccc-9a5c-d71ac1b2bc72", "TOURNAMENT_FLAG"},
      {"e0a390c7-8699-4106-87f6-8e6a4c6dc9cc", "TOURNAMENT_FRAME"},
      {"9b798d99-6865-4dd3-bc46-ab5b166ae66d", "TOURNAMENT_LOGO"},
      {kGearTypeId, "GEAR"},
  };
  for (const auto& [typeId, type] : rows) {
    SCOPED_TRACE(type);
    fetchOnce(type, "[]");
    signOnce(type, "J");
    ASSERT_TRUE(host.deliverMessage(kEntitlementUri, CORE_RESOURCE_CREATE, entitlement(std::string("i-") + type, typeId)));
    EXPECT_EQ(host.getInventory({type}).json, list({rendered(1, type)}));
    // The signed entry was invalidated: the next call fetches again.
    static_cast<void>(host.getSignedInventory({type}));
    EXPECT_EQ(signedRequestsFor(type), 2u);
  }
  EXPECT_EQ(requestsTo(kCatalogUri), 0u);
  EXPECT_TRUE(core().sentEvents().empty());
}

TEST_F(NotificationTest, CapTypeIdIsComparedExactly) {
  core().respondJson(kCatalogUri, "[]");
  std::string upper = kGearTypeId;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  ASSERT_TRUE(host.deliverMessage(kEntitlementUri, CORE_RESOURCE_CREATE, entitlement("g1", upper)));
  EXPECT_EQ(requestsTo(kCatalogUri), 1u);
  EXPECT_EQ(host.logLines(CORE_LOG_ERROR, "Could not retrieve catalog item: Could not find item in catalog").size(), 1u);
}

TEST_F(NotificationTest, CatalogEmotePublishesTheWholeEmoteListTwice) {
  fetchOnce("EMOTE", list({item(5, "EMOTE", "e5")}));
  core().respondJson(kCatalogUri,
                     R"([{"itemId":70,"inventoryType":"EMOTE"},{"itemId":77,"inventoryType":"EMOTE","itemInstanceId":"x1"}])");
  ASSERT_TRUE(host.deliverMessage(kEntitlementUri, CORE_RESOURCE_CREATE, entitlement("x1", "not-a-cap-type")));
  const std::string emotes = list({rendered(5, "EMOTE"), rendered(77, "EMOTE")});
  EXPECT_EQ(host.getEmotes().json, emotes);
  const auto events = core().sentEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].name, kEmotesEvent);
  EXPECT_EQ(events[1].name, "OnJsonApiEvent");
  for (const auto& e : events) EXPECT_EQ(e.payloadJson, emoteEventPayload(emotes));
}

TEST_F(NotificationTest, SameInstanceTwiceLeavesTheLaterOneAtTheEnd) {
  fetchOnce("GEAR", list({item(9, "GEAR", "g9"), item(8, "GEAR", "g8")}));
  core().respondJson(kCatalogUri, R"([{"itemId":30,"inventoryType":"GEAR","itemInstanceId":"g9"}])");
  ASSERT_TRUE(host.deliverMessage(kEntitlementUri, CORE_RESOURCE_CREATE, entitlement("g9", kGearTypeId)));
  EXPECT_EQ(host.getInventory({"GEAR"}).json, list({rendered(8, "GEAR"), rendered(1, "GEAR")}));
  ASSERT_TRUE(host.deliverMessage(kEntitlementUri, CORE_RESOURCE_CREATE, entitlement("g9", "other")));
  EXPECT_EQ(host.getInventory({"GEAR"}).json, list({rendered(8, "GEAR"), rendered(30, "GEAR")}));
}

TEST_F(NotificationTest, UpdateDeleteAndMalformedEntitlementsChangeNothing) {
  fetchOnce("GEAR", "[]");
  signOnce("GEAR", "J");
  struct Row {
    int eventType;
    std::string payload;
    bool malformed;
  };
  const Row rows[] = {
      {1, entitlement("g1", kGearTypeId), false},
      {2, entitlement("g2", kGearTypeId), true},  // a delete's record is left default
      {0, "not json", true},
      {0, R"({"itemId":5})", true},
      {0, R"([1])", true},
      {0, "", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.payload);
    core().clearRecords();
    ASSERT_TRUE(host.deliverMessage(kEntitlementUri, row.eventType, row.payload));
    const std::string seen = row.eventType == 2 ? std::string() : row.payload;
    EXPECT_EQ(host.logLines(CORE_LOG_ALWAYS, "Received VMS message for /store/v1/entitlements: "),
              std::vector<std::string>{"Received VMS message for /store/v1/entitlements: " + seen});
    EXPECT_EQ(host.logLines(CORE_LOG_ERROR, "Malformed VMS emote notification payload: ").size(),
              row.malformed ? 1u : 0u);
    if (row.malformed) {
      EXPECT_EQ(host.logLines(CORE_LOG_ERROR, "Malformed")[0], "Malformed VMS emote notification payload: " + seen);
    }
  }
  EXPECT_EQ(host.getInventory({"GEAR"}).json, "[]");
  EXPECT_EQ(host.getSignedInventory({"GEAR"}).json, R"({"GEAR":"J"})");
  EXPECT_EQ(externalCount(), 0u);
  EXPECT_EQ(requestsTo(kCatalogUri), 0u);
}

TEST_F(NotificationTest, CatalogFailuresAreLoggedAndChangeNothing) {
  fetchOnce("EMOTE", "[]");
  struct Row {
    FakeResponse catalog;
    std::vector<std::string> errorLines;
  };
  FakeResponse failing;
  failing.error = "store down";
  failing.status = 503;
  FakeResponse notAList;
  notAList.json = R"({"itemId":1})";
  FakeResponse badEntry;
  badEntry.json = R"([{"itemId":"x","itemInstanceId":"c1"}])";
  FakeResponse noMatch;
  noMatch.json = R"([{"itemId":1,"inventoryType":"EMOTE"},{"itemId":2,"inventoryType":"EMOTE","itemInstanceId":"C1"}])";
  const std::string unreadable = "Could not retrieve catalog items: ";
  const std::string failed = "Error response for GET /qor-store/v1/catalog: store down";
  const std::string notCollection =
      "Error converting response for GET /qor-store/v1/catalog: Couldn't assign value to "
      "'<result>' of type vector because the input not a collection.";
  const Row rows[] = {
      {failing, {unreadable + failed, "Could not retrieve catalog item: " + unreadable + failed}},
      {notAList,
       {unreadable + notCollection, "Could not retrieve catalog item: " + unreadable + notCollection}},
      {noMatch, {"Could not retrieve catalog item: Could not find item in catalog"}},
  };
  for (const Row& row : rows) {
    core().clearRecords();
    core().respond(kCatalogUri, row.catalog);
    ASSERT_TRUE(host.deliverMessage(kEntitlementUri, CORE_RESOURCE_CREATE, entitlement("c1", "x")));
    EXPECT_EQ(host.logLines(CORE_LOG_ERROR, "Could not retrieve"), row.errorLines);
  }
  core().clearRecords();
  core().respond(kCatalogUri, badEntry);
  ASSERT_TRUE(host.deliverMessage(kEntitlementUri, CORE_RESOURCE_CREATE, entitlement("c1", "x")));
  EXPECT_EQ(host.logLines(CORE_LOG_ERROR, "Could not retrieve catalog items: Error converting response").size(), 1u);
  EXPECT_EQ(host.getEmotes().json, "[]");
  EXPECT_TRUE(core().sentEvents().empty());
}

TEST_F(NotificationTest, CatalogLookUpMatchesInstanceIdsExactly) {
  core().respondJson(kCatalogUri, R"([
      {"itemId":1,"inventoryType":"A"},
      {"itemId":2,"inventoryType":"A","itemInstanceId":""},
      {"itemId":3,"inventoryType":"A","itemInstanceId":"Dup"},
      {"itemId":4,"inventoryType":"A","itemInstanceId":"dup"},
      {"itemId":5,"inventoryType":"A","itemInstanceId":"dup"},
      {"itemId":6,"inventoryType":"A","itemInstanceId":"dup "}])");
  fetchOnce("A", "[]");
  ASSERT_TRUE(host.deliverMessage(kEntitlementUri, CORE_RESOURCE_CREATE, entitlement("dup", "x")));
  EXPECT_EQ(host.getInventory({"A"}).json, list({rendered(4, "A")}));
  // An empty instance id matches the entry whose id is present and empty only.
  ASSERT_TRUE(host.deliverMessage(kEntitlementUri, CORE_RESOURCE_CREATE, entitlement("", "x")));
  EXPECT_EQ(host.getInventory({"A"}).json, list({rendered(4, "A"), rendered(2, "A")}));
  ASSERT_TRUE(host.deliverMessage(kEntitlementUri, CORE_RESOURCE_CREATE, entitlement("DUP", "x")));
  EXPECT_EQ(host.logLines(CORE_LOG_ERROR, "Could not retrieve catalog item: Could not find item in catalog").size(), 1u);
  EXPECT_EQ(requestsTo(kCatalogUri), 3u);
}

TEST_F(NotificationTest, EmptyCatalogGivesNotFound) {
  core().respondJson(kCatalogUri, "[]");
  ASSERT_TRUE(host.deliverMessage(kEntitlementUri, CORE_RESOURCE_CREATE, entitlement("a", "x")));
  EXPECT_EQ(host.logLines(CORE_LOG_ERROR, "Could not retrieve"),
            std::vector<std::string>{"Could not retrieve catalog item: Could not find item in catalog"});
}

// ---- Notified items and fetched inventories -----------------------------------

TEST_F(NotificationTest, NotifiedTypeIsStillFetchedAndMerged) {
  ASSERT_TRUE(host.deliverMessage(kEntitlementUri, CORE_RESOURCE_CREATE, entitlement("g1", kGearTypeId)));
  ASSERT_TRUE(host.deliverMessage(kEntitlementUri, CORE_RESOURCE_CREATE, entitlement("g2", kGearTypeId)));
  remote(plainUrl({"GEAR"}), itemsBody({{"GEAR", list({item(40, "GEAR", "g2"), item(41, "GEAR", "g3")})}}));
  // g2 is in the fetched list, g1 is not yet: it stays after the fetched items.
  const std::string merged = list({rendered(40, "GEAR"), rendered(41, "GEAR"), rendered(1, "GEAR")});
  EXPECT_EQ(host.getInventory({"GEAR"}).json, merged);
  EXPECT_EQ(host.getInventory({"GEAR"}).json, merged);
  EXPECT_EQ(externalCount(), 1u);
}

TEST_F(NotificationTest, EmoteEventIsPublishedForANotifiedOnlyEmoteList) {
  core().respondJson(kCatalogUri, R"([{"itemId":77,"inventoryType":"EMOTE","itemInstanceId":"x1"}])");
  ASSERT_TRUE(host.deliverMessage(kEntitlementUri, CORE_RESOURCE_CREATE, entitlement("x1", "t")));
  const auto events = core().sentEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].payloadJson, emoteEventPayload(list({rendered(77, "EMOTE")})));
}

// ---- Store channel ---------------------------------------------------------------

TEST_F(NotificationTest, StoreMessageSkipsItemsMissingFromTheCatalog) {
  fetchOnce("CHAMPION", "[]");
  signOnce("CHAMPION", "J");
  core().respondJson(kCatalogUri,
                     R"([{"itemId":12,"inventoryType":"CATALOG_TYPE","itemInstanceId":"s2"}])");
  const std::string message = storeMessage({{"CHAMPION", "s1"}, {"CHAMPION", "s2"}});
  ASSERT_TRUE(host.deliverMessage(kStoreUri, CORE_RESOURCE_CREATE, message));
  EXPECT_EQ(host.logLines(CORE_LOG_ALWAYS, "Received VMS message for /store/v1/inventory: "),
            std::vector<std::string>{"Received VMS message for /store/v1/inventory: " + message});
  EXPECT_EQ(host.logLines(CORE_LOG_ERROR, "Could not retrieve"),
            std::vector<std::string>{"Could not retrieve catalog item: Could not find item in catalog"});
  // Filed under the element's own type with the catalog's item id.
  EXPECT_EQ(host.getInventory({"CHAMPION"}).json, list({rendered(12, "CHAMPION")}));
  static_cast<void>(host.getSignedInventory({"CHAMPION"}));
  EXPECT_EQ(signedRequestsFor("CHAMPION"), 2u);
  EXPECT_EQ(requestsTo(kCatalogUri), 2u);
  EXPECT_TRUE(core().sentEvents().empty());
}

TEST_F(NotificationTest, StoreMessageTwiceListsItemsTwiceAndUpdateActsLikeCreate) {
  fetchOnce("EMOTE", "[]");
  core().respondJson(kCatalogUri, R"([{"itemId":7,"inventoryType":"EMOTE","itemInstanceId":"s1"}])");
  ASSERT_TRUE(host.deliverMessage(kStoreUri, CORE_RESOURCE_CREATE, storeMessage({{"EMOTE", "s1"}})));
  ASSERT_TRUE(host.deliverMessage(kStoreUri, CORE_RESOURCE_UPDATE, storeMessage({{"EMOTE", "s1"}})));
  EXPECT_EQ(host.getEmotes().json, list({rendered(7, "EMOTE"), rendered(7, "EMOTE")}));
  // No event for the store channel, emotes included.
  EXPECT_TRUE(core().sentEvents().empty());
}

TEST_F(NotificationTest, StoreDeleteAndMalformedMessagesOnlyLogTheirArrival) {
  fetchOnce("EMOTE", "[]");
  core().respondJson(kCatalogUri, R"([{"itemId":7,"inventoryType":"EMOTE","itemInstanceId":"s1"}])");
  const std::pair<int, std::string> rows[] = {
      {2, storeMessage({{"EMOTE", "s1"}})},
      {0, "{{"},
      {0, R"({"items":{"inventoryType":"EMOTE"}})"},
      {0, R"({"items":[{"itemId":5}]})"},
  };
  for (const auto& [eventType, payload] : rows) {
    SCOPED_TRACE(payload);
    core().clearRecords();
    ASSERT_TRUE(host.deliverMessage(kStoreUri, eventType, payload));
    const std::string seen = eventType == 2 ? std::string() : payload;
    EXPECT_EQ(host.logLines(CORE_LOG_ALWAYS, "Received"),
              std::vector<std::string>{"Received VMS message for /store/v1/inventory: " + seen});
    EXPECT_EQ(core().logLines().size(), 1u);
    EXPECT_EQ(requestsTo(kCatalogUri), 0u);
  }
  EXPECT_EQ(host.getEmotes().json, "[]");
}

TEST_F(NotificationTest, EveryStoreItemReadsTheCatalogAgain) {
  core().respondJson(kCatalogUri,
                     R"([{"itemId":1,"itemInstanceId":"a"},{"itemId":2,"itemInstanceId":"b"},{"itemId":3,"itemInstanceId":"c"}])");
  ASSERT_TRUE(host.deliverMessage(kStoreUri, CORE_RESOURCE_CREATE, storeMessage({{"T", "a"}, {"T", "b"}, {"U", "c"}})));
  EXPECT_EQ(requestsTo(kCatalogUri), 3u);
  remote(plainUrl({"T", "U"}), itemsBody({{"T", "[]"}, {"U", "[]"}}));
  const CallAnswer a = host.getInventory({"T", "U"});
  EXPECT_TRUE(a.json == list({rendered(1, "T"), rendered(2, "T"), rendered(3, "U")}) ||
              a.json == list({rendered(3, "U"), rendered(1, "T"), rendered(2, "T")}))
      << a.json;
}

}  // namespace
}  // namespace qor::testing
