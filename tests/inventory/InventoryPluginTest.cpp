// The inventory plug-in as a host sees it: its API table, the watches made at
// start, and the login, token, configuration and region handlers.
#include "inventory/InventoryHost.h"

#include "protocol/CoreEventName.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace qor::testing {
namespace {

// ---- The API table -------------------------------------------------------------

const ApiTypeRecord* findType(const PluginApiTable* table, const std::string& name) {
  for (const ApiTypeRecord* t = table->types; t; t = t->next)
    if (t->name && name == t->name) return t;
  return nullptr;
}

// A copy of a field of a packed record: assertions take their operands by
// reference, which a packed field cannot be bound to.
template <class T>
T get(T value) {
  return value;
}

std::vector<std::string> fieldNames(const ApiTypeRecord* type) {
  std::vector<std::string> names;
  for (const ApiFieldRecord* f = type->fields; f; f = f->next) names.emplace_back(get(f->name));
  return names;
}

TEST_F(InventoryTest, ApiTableHoldsTheThreeGetFunctions) {
  struct Row {
    const char* uri;
    const char* name;
    std::uint32_t arguments;
    std::uint32_t returnCode;
  };
  const Row rows[] = {
      {"/qor-inventory/v1/inventory", "GetQorInventoryV1Inventory", 1, 15},
      {"/qor-inventory/v1/signedInventory", "GetQorInventoryV1SignedInventory", 1, 19},
      {"/qor-inventory/v1/inventory/emotes", "GetQorInventoryV1InventoryEmotes", 0, 15},
  };
  const PluginApiTable* table = host.apiTable();
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(get(table->functionCount), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const ApiFunctionRecord& f = table->functions[i];
    SCOPED_TRACE(rows[i].uri);
    EXPECT_STREQ(f.uriTemplate, rows[i].uri);
    EXPECT_STREQ(f.head.name, rows[i].name);
    EXPECT_EQ(get(f.method), 2u);
    EXPECT_EQ(get(f.head.argumentCount), rows[i].arguments);
    EXPECT_EQ(get(f.head.returnCode), rows[i].returnCode);
    if (rows[i].arguments == 1) {
      ASSERT_NE(get(f.head.arguments), nullptr);
      EXPECT_STREQ(f.head.arguments->name, "inventoryTypes");
      EXPECT_EQ(get(f.head.arguments->typeCode), 15u);
      EXPECT_EQ(get(f.head.arguments->elementCode), 12u);
      ASSERT_NE(get(f.locations), nullptr);
      EXPECT_EQ(get(f.locations->location), 1u);  // query
    }
  }
  EXPECT_EQ(get(table->functions[1].head.returnElementCode), 12u);  // map of string
  EXPECT_STREQ(table->functions[0].head.returnTypeName, "QorInventoryInventoryItem");
  EXPECT_STREQ(host.handshake().shortName, "qor-inventory");
}

TEST_F(InventoryTest, RecordsAreRegisteredUnderTheRouteName) {
  const PluginApiTable* table = host.apiTable();
  ASSERT_NE(table, nullptr);
  const std::vector<std::pair<std::string, std::vector<std::string>>> records = {
      {"QorInventoryCacheEntry", {"signedInventoryJwt", "expirationMS", "valid"}},
      {"QorInventoryInventoryItem", {"itemId", "inventoryType", "ownershipType"}},
      {"QorInventoryInventoryItemDTO",
       {"itemId", "inventoryType", "expirationDate", "purchaseDate", "quantity", "usedInGameDate",
        "entitlementId", "eneitlementTypeId", "instanceId", "instanceTypeId", "f2p", "rental",
        "lsb", "wins"}},
      {"QorInventoryInventoryDTO",
       {"puuid", "accountId", "summonerId", "items", "expires", "itemsJwt"}},
      {"QorInventoryInventoryResponseDTO", {"data"}},
      {"QorInventoryLoginSession",
       {"state", "summonerId", "accountId", "idToken", "gasToken", "puuid"}},
      {"QorInventoryAccessTokenResource", {"token", "scopes", "expiry"}},
      {"QorInventoryVaneMessagingServiceMessage",
       {"resource", "service", "version", "timestamp", "payload"}},
      {"QorInventoryVmsEntitlementPayload", {"itemId", "itemTypeId"}},
      {"QorInventoryVmsStoreEntitlementItem", {"inventoryType", "itemId"}},
      {"QorInventoryVmsStoreEntitlementPayload", {"transactionId", "items"}},
      {"QorInventoryCatalogItem", {"itemId", "inventoryType", "itemInstanceId"}},
  };
  for (const auto& [name, fields] : records) {
    const ApiTypeRecord* type = findType(table, name);
    ASSERT_NE(type, nullptr) << name;
    EXPECT_EQ(fieldNames(type), fields) << name;
    ASSERT_EQ(get(type->tagCount), 2u) << name;
    EXPECT_STREQ(type->tags[0], "Plugins");
    EXPECT_STREQ(type->tags[1], "Plugin qor-inventory");
  }
  // Only the catalog's instance id is optional.
  for (const auto& [name, fields] : records) {
    for (const ApiFieldRecord* f = findType(table, name)->fields; f; f = f->next) {
      const bool expected = name == "QorInventoryCatalogItem" && std::strcmp(f->name, "itemInstanceId") == 0;
      EXPECT_EQ(get(f->optional) != 0, expected) << name << "." << get(f->name);
    }
  }
  for (const char* enumName : {"QorInventoryItemOwnershipType", "QorInventoryLoginSessionStates"}) {
    const ApiTypeRecord* type = findType(table, enumName);
    ASSERT_NE(type, nullptr) << enumName;
    EXPECT_EQ(get(type->fields), nullptr);
  }
  std::map<std::string, std::int32_t> states;
  for (const ApiEnumeratorRecord* e = findType(table, "QorInventoryLoginSessionStates")->enumerators;
       e; e = e->next)
    states[e->name] = e->value;
  EXPECT_EQ(states, (std::map<std::string, std::int32_t>{
                        {"IN_PROGRESS", 0}, {"SUCCEEDED", 1}, {"LOGGING_OUT", 2}, {"ERROR", 3}}));
}

// ---- Start ---------------------------------------------------------------------

TEST_F(InventoryTest, StartWatchesSixResourcesInOrderAndReadsEachAtOnce) {
  ASSERT_TRUE(host.start());
  std::vector<std::string> reads;
  for (const auto& r : core().requests()) reads.push_back(r.uri);
  // Nothing is published, so no read succeeds and the region data is not asked for.
  EXPECT_EQ(reads, (std::vector<std::string>{kSessionUri, kTokenUri, kConfigUri, kEntitlementUri,
                                             kStoreUri, kRegionUri}));
  for (const char* uri : {kSessionUri, kTokenUri, kConfigUri, kEntitlementUri, kStoreUri, kRegionUri})
    EXPECT_TRUE(core().isSubscribed(coreEventName(uri))) << uri;
  // Off until the configuration says otherwise: answers are empty and nothing is fetched.
  EXPECT_EQ(host.getInventory({"EMOTE"}).json, "[]");
  EXPECT_EQ(host.getSignedInventory({"EMOTE"}).json, "{}");
  EXPECT_EQ(externalCount(), 0u);
}

TEST_F(InventoryTest, InitialReadsSetIdentityTokenConfigurationAndLocation) {
  startReady();
  remote(plainUrl({"EMOTE"}), itemsBody({{"EMOTE", "[]"}}));
  EXPECT_TRUE(host.getInventory({"EMOTE"}).ok);
  ASSERT_EQ(externalCount(), 1u);
  const RecordedExternalRequest sent = core().externalRequests()[0];
  EXPECT_EQ(sent.url, plainUrl({"EMOTE"}));
  EXPECT_EQ(sent.method, std::uint32_t{CORE_METHOD_GET});
  EXPECT_EQ(sent.setting1, 20u);
  EXPECT_EQ(sent.setting2, 1u);
  EXPECT_TRUE(sent.body.empty());
  const std::vector<std::pair<std::string, std::string>> headers = {
      {"user-agent", "VaneClient/18.0.0 (qor-inventory)"},
      {"Authorization", "Bearer tok"},
      {"Content-type", "application/json"}};
  EXPECT_EQ(sent.headers, headers);
}

// ---- Login session -------------------------------------------------------------

struct LoginRow {
  const char* state;
  std::uint64_t account;
  std::uint64_t summoner;
  bool loggedIn;
};

class LoginFlagTest : public InventoryTest, public ::testing::WithParamInterface<LoginRow> {};

TEST_P(LoginFlagTest, IdsAreCapturedOnlyWhenTheLoginSucceedsWithBothIds) {
  core().respondJson(kConfigUri, R"({"Enabled":true,"BaseServiceUrl":"https://inv.test"})");
  core().respondJson(kRegionUri, "{}");
  core().respondJson(kRegionDataUri, R"({"servers":{"loctavian_service_location":"loc1"}})");
  startBare();
  const LoginRow& row = GetParam();
  ASSERT_TRUE(host.deliver(kSessionUri, CORE_RESOURCE_CREATE, sessionJson("p-9", row.account, row.summoner, row.state)));
  static_cast<void>(host.getSignedInventory({"T"}));
  ASSERT_EQ(externalCount(), 1u);
  const std::string expected = row.loggedIn ? signedUrl("T", "p-9", std::to_string(row.account))
                                            : signedUrl("T", "", "0");
  EXPECT_EQ(core().externalRequests()[0].url, expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, LoginFlagTest,
                         ::testing::Values(LoginRow{"SUCCEEDED", 5, 6, true},
                                           LoginRow{"SUCCEEDED", 5, 0, false},
                                           LoginRow{"SUCCEEDED", 0, 6, false},
                                           LoginRow{"IN_PROGRESS", 5, 6, false},
                                           LoginRow{"ERROR", 5, 6, false},
                                           LoginRow{"LOGGING_OUT", 5, 6, false}));

TEST_F(InventoryTest, LaterSessionEventsKeepTheFirstIdsUntilDelete) {
  startReady();
  ASSERT_TRUE(host.deliver(kSessionUri, CORE_RESOURCE_UPDATE, sessionJson("p-2", 8, 9)));
  static_cast<void>(host.getSignedInventory({"T"}));
  ASSERT_TRUE(host.deliver(kSessionUri, CORE_RESOURCE_DELETE, ""));
  static_cast<void>(host.getSignedInventory({"T"}));
  EXPECT_EQ(externalUrls(), (std::vector<std::string>{signedUrl("T"), signedUrl("T", "", "0")}));
}

TEST_F(InventoryTest, SessionDeleteKeepsCachesAndTheSamePlayerKeepsThem) {
  startReady();
  remote(plainUrl({"EMOTE"}), itemsBody({{"EMOTE", list({item(5, "EMOTE", "e5")})}}));
  remote(signedUrl("GEAR"), signedBody("J1", "2999-01-01T00:00:00Z"));
  ASSERT_TRUE(host.getInventory({"EMOTE"}).ok);
  ASSERT_TRUE(host.getSignedInventory({"GEAR"}).ok);
  ASSERT_TRUE(host.deliver(kSessionUri, CORE_RESOURCE_DELETE, ""));
  EXPECT_EQ(host.getInventory({"EMOTE"}).json, list({rendered(5, "EMOTE")}));
  EXPECT_EQ(host.getSignedInventory({"GEAR"}).json, R"({"GEAR":"J1"})");
  ASSERT_TRUE(host.deliver(kSessionUri, CORE_RESOURCE_CREATE, sessionJson("p-1", 7, 9)));
  EXPECT_EQ(host.getInventory({"EMOTE"}).json, list({rendered(5, "EMOTE")}));
  EXPECT_EQ(host.getSignedInventory({"GEAR"}).json, R"({"GEAR":"J1"})");
  EXPECT_EQ(externalCount(), 2u);
}

// A fetch made while nobody is logged in must not take the caches from the
// last player: the items fetched for p survive, and the answer for nobody is
// returned but not kept.
TEST_F(InventoryTest, FetchAfterSessionDeleteKeepsTheLastPlayersItems) {
  startReady();
  remote(plainUrl({"EMOTE"}), itemsBody({{"EMOTE", list({item(5, "EMOTE", "e5")})}}));
  ASSERT_EQ(host.getInventory({"EMOTE"}).json, list({rendered(5, "EMOTE")}));
  ASSERT_TRUE(host.deliver(kSessionUri, CORE_RESOURCE_DELETE, ""));
  remote(plainUrl({"GEAR"}, "", "0"), itemsBody({{"GEAR", list({item(7, "GEAR", "g7")})}}));
  remote(plainUrl({"EMOTE"}, "", "0"), itemsBody({{"EMOTE", list({item(9, "EMOTE", "nobody")})}}));
  EXPECT_EQ(host.getInventory({"GEAR"}).json, list({rendered(7, "GEAR")}));
  EXPECT_EQ(host.getInventory({"EMOTE"}).json, list({rendered(5, "EMOTE")}));
  // Nothing was kept for nobody: GEAR is fetched again.
  EXPECT_EQ(host.getInventory({"GEAR"}).json, list({rendered(7, "GEAR")}));
  EXPECT_EQ(externalUrls(), (std::vector<std::string>{plainUrl({"EMOTE"}), plainUrl({"GEAR"}, "", "0"),
                                                      plainUrl({"GEAR"}, "", "0")}));
  // The same player back: still the cached items; another one: empty caches.
  ASSERT_TRUE(host.deliver(kSessionUri, CORE_RESOURCE_CREATE, sessionJson("p-1", 7, 9)));
  EXPECT_EQ(host.getInventory({"EMOTE"}).json, list({rendered(5, "EMOTE")}));
  EXPECT_EQ(externalCount(), 3u);
  ASSERT_TRUE(host.deliver(kSessionUri, CORE_RESOURCE_DELETE, ""));
  ASSERT_TRUE(host.deliver(kSessionUri, CORE_RESOURCE_CREATE, sessionJson("q-2", 8, 9)));
  remote(plainUrl({"EMOTE"}, "q-2", "8"), itemsBody({{"EMOTE", "[]"}}));
  EXPECT_EQ(host.getInventory({"EMOTE"}).json, "[]");
  EXPECT_EQ(externalCount(), 4u);
}

TEST_F(InventoryTest, SignedFetchAfterSessionDeleteKeepsTheLastPlayersEntries) {
  startReady();
  remote(signedUrl("EMOTE"), signedBody("JP", "2999-01-01T00:00:00Z"));
  ASSERT_EQ(host.getSignedInventory({"EMOTE"}).json, R"({"EMOTE":"JP"})");
  ASSERT_TRUE(host.deliver(kSessionUri, CORE_RESOURCE_DELETE, ""));
  remote(signedUrl("GEAR", "", "0"), signedBody("JG", "2999-01-01T00:00:00Z"));
  remote(signedUrl("EMOTE", "", "0"), signedBody("JN", "2999-01-01T00:00:00Z"));
  EXPECT_EQ(host.getSignedInventory({"GEAR"}).json, R"({"GEAR":"JG"})");
  EXPECT_EQ(host.getSignedInventory({"EMOTE"}).json, R"({"EMOTE":"JP"})");
  EXPECT_EQ(host.getSignedInventory({"GEAR"}).json, R"({"GEAR":"JG"})");
  EXPECT_EQ(externalUrls(), (std::vector<std::string>{signedUrl("EMOTE"), signedUrl("GEAR", "", "0"),
                                                      signedUrl("GEAR", "", "0")}));
  ASSERT_TRUE(host.deliver(kSessionUri, CORE_RESOURCE_CREATE, sessionJson("q-2", 8, 9)));
  remote(signedUrl("EMOTE", "q-2", "8"), signedBody("JQ", "2999-01-01T00:00:00Z"));
  EXPECT_EQ(host.getSignedInventory({"EMOTE"}).json, R"({"EMOTE":"JQ"})");
}

TEST_F(InventoryTest, AnotherPlayersLoginEmptiesBothCaches) {
  startReady();
  remote(plainUrl({"EMOTE"}), itemsBody({{"EMOTE", list({item(5, "EMOTE", "e5")})}}));
  remote(signedUrl("GEAR"), signedBody("J1", "2999-01-01T00:00:00Z"));
  ASSERT_TRUE(host.getInventory({"EMOTE"}).ok);
  ASSERT_TRUE(host.getSignedInventory({"GEAR"}).ok);
  ASSERT_TRUE(host.deliver(kSessionUri, CORE_RESOURCE_DELETE, ""));
  ASSERT_TRUE(host.deliver(kSessionUri, CORE_RESOURCE_CREATE, sessionJson("q-2", 8, 9)));
  remote(plainUrl({"EMOTE"}, "q-2", "8"), itemsBody({{"EMOTE", list({item(6, "EMOTE", "e6")})}}));
  remote(signedUrl("GEAR", "q-2", "8"), signedBody("J2", "2999-01-01T00:00:00Z"));
  EXPECT_EQ(host.getInventory({"EMOTE"}).json, list({rendered(6, "EMOTE")}));
  EXPECT_EQ(host.getSignedInventory({"GEAR"}).json, R"({"GEAR":"J2"})");
  EXPECT_EQ(externalCount(), 4u);
}

// ---- Access token --------------------------------------------------------------

TEST_F(InventoryTest, TokenUpdatesLeaveOneAuthorizationAndDeleteRemovesBoth) {
  startReady();
  for (const char* token : {"t1", "t2", "t3"})
    ASSERT_TRUE(host.deliver(kTokenUri, CORE_RESOURCE_UPDATE, std::string(R"({"token":")") + token + "\"}"));
  static_cast<void>(host.getSignedInventory({"T"}));
  ASSERT_TRUE(host.deliver(kTokenUri, CORE_RESOURCE_DELETE, ""));
  static_cast<void>(host.getSignedInventory({"T"}));
  const auto sent = core().externalRequests();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].headers, (std::vector<std::pair<std::string, std::string>>{
                                 {"user-agent", "VaneClient/18.0.0 (qor-inventory)"},
                                 {"Authorization", "Bearer t3"},
                                 {"Content-type", "application/json"}}));
  EXPECT_EQ(sent[1].headers, (std::vector<std::pair<std::string, std::string>>{
                                 {"user-agent", "VaneClient/18.0.0 (qor-inventory)"}}));
}

TEST_F(InventoryTest, LongTokenIsSentWhole) {
  startReady();
  const std::string token(6000, 'k');
  ASSERT_TRUE(host.deliver(kTokenUri, CORE_RESOURCE_CREATE, R"({"token":")" + token + "\"}"));
  static_cast<void>(host.getSignedInventory({"T"}));
  ASSERT_EQ(externalCount(), 1u);
  EXPECT_EQ(core().externalRequests()[0].headers.at(1).second, "Bearer " + token);
}

// ---- Platform configuration ----------------------------------------------------

TEST_F(InventoryTest, ConfigurationWithoutBaseUrlEnablesAndLogsTheError) {
  core().respondJson(kSessionUri, sessionJson("p-1", 7, 9));
  core().respondJson(kRegionUri, "{}");
  core().respondJson(kRegionDataUri, R"({"servers":{"loctavian_service_location":"loc1"}})");
  startBare();
  ASSERT_TRUE(host.deliver(kConfigUri, CORE_RESOURCE_CREATE, R"({"Enabled":true})"));
  EXPECT_EQ(host.logLines(CORE_LOG_ERROR, "JMX missing BaseServiceURL config!").size(), 1u);
  static_cast<void>(host.getSignedInventory({"T"}));
  ASSERT_EQ(externalCount(), 1u);
  EXPECT_EQ(core().externalRequests()[0].url,
            "/qorinventoryservice/v2/inventories?puuid=p-1&inventoryTypes=T&location=loc1"
            "&accountId=7&signed=true");
}

TEST_F(InventoryTest, ConfigurationDeleteEmptiesBaseUrlButKeepsTheSwitch) {
  startReady();
  ASSERT_TRUE(host.deliver(kConfigUri, CORE_RESOURCE_DELETE, ""));
  static_cast<void>(host.getSignedInventory({"T"}));
  ASSERT_EQ(externalCount(), 1u);
  EXPECT_EQ(core().externalRequests()[0].url.rfind("/qorinventoryservice/", 0), 0u);
  EXPECT_TRUE(host.logLines(CORE_LOG_ERROR, "JMX").empty());
}

TEST_F(InventoryTest, ConfigurationValuesAreReadLeniently) {
  struct Row {
    const char* config;
    bool enabled;
    const char* base;  // expected base of the URL when enabled
  };
  const Row rows[] = {
      {R"({"Enabled":"yes","BaseServiceUrl":"u"})", false, ""},
      {R"({"Enabled":1,"BaseServiceUrl":5})", true, "5"},
      {R"({"Enabled":true,"BaseServiceUrl":"http://b"})", true, "http://b"},
  };
  startReady();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.config);
    core().clearRecords();
    ASSERT_TRUE(host.deliver(kConfigUri, CORE_RESOURCE_UPDATE, row.config));
    static_cast<void>(host.getSignedInventory({"T"}));
    if (!row.enabled) {
      EXPECT_EQ(externalCount(), 0u);
      continue;
    }
    ASSERT_EQ(externalCount(), 1u);
    EXPECT_EQ(core().externalRequests()[0].url.rfind(std::string(row.base) + "/qorinventoryservice/", 0), 0u);
  }
  // A configuration without "Enabled" leaves the switch as it was.
  ASSERT_TRUE(host.deliver(kConfigUri, CORE_RESOURCE_UPDATE, R"({"Enabled":false,"BaseServiceUrl":"u"})"));
  ASSERT_TRUE(host.deliver(kConfigUri, CORE_RESOURCE_UPDATE, R"({"BaseServiceUrl":"u"})"));
  core().clearRecords();
  EXPECT_EQ(host.getInventory({"T"}).json, "[]");
  EXPECT_EQ(externalCount(), 0u);
}

// ---- Region --------------------------------------------------------------------

TEST_F(InventoryTest, RegionDataSetsLocationOnlyWhenBothMembersArePresent) {
  startReady();
  const char* incomplete[] = {R"({})", R"({"servers":{}})", R"({"servers":5})",
                              R"({"loctavian_service_location":"x"})"};
  for (const char* data : incomplete) {
    core().respondJson(kRegionDataUri, data);
    ASSERT_TRUE(host.deliver(kRegionUri, CORE_RESOURCE_UPDATE, "{}"));
  }
  static_cast<void>(host.getSignedInventory({"T"}));
  core().respondJson(kRegionDataUri, R"({"servers":{"loctavian_service_location":"eu west"}})");
  ASSERT_TRUE(host.deliver(kRegionUri, CORE_RESOURCE_CREATE, "{}"));
  static_cast<void>(host.getSignedInventory({"T"}));
  const auto urls = externalUrls();
  ASSERT_EQ(urls.size(), 2u);
  EXPECT_NE(urls[0].find("&location=loc1&"), std::string::npos) << urls[0];
  EXPECT_NE(urls[1].find("&location=eu%20west&"), std::string::npos) << urls[1];
  EXPECT_EQ(requestsTo(kRegionDataUri), 5u);
}

TEST_F(InventoryTest, RegionDeleteEmptiesLocation) {
  startReady();
  ASSERT_TRUE(host.deliver(kRegionUri, CORE_RESOURCE_DELETE, ""));
  static_cast<void>(host.getSignedInventory({"T"}));
  ASSERT_EQ(externalCount(), 1u);
  EXPECT_NE(externalUrls()[0].find("&location=&accountId=7"), std::string::npos);
  EXPECT_EQ(requestsTo(kRegionDataUri), 0u);
}

TEST_F(InventoryTest, RegionDataFailureReportsTheAssertionAndKeepsLocation) {
  startReady();
  FakeResponse failing;
  failing.error = "gone";
  failing.status = 503;
  core().respond(kRegionDataUri, failing);
  ASSERT_TRUE(host.deliver(kRegionUri, CORE_RESOURCE_UPDATE, "{}"));
  bool reported = false;
  for (const auto& [level, text] : core().logLines())
    reported |= level == CORE_LOG_ERROR && text.find("ALE-6238ECBF") != std::string::npos &&
                text.find("Failed to get regionSettings") != std::string::npos;
  EXPECT_TRUE(reported);
  static_cast<void>(host.getSignedInventory({"T"}));
  EXPECT_EQ(externalUrls(), std::vector<std::string>{signedUrl("T")});
}

// ---- Malformed resources -------------------------------------------------------

TEST_F(InventoryTest, ResourcesThatDoNotConvertChangeNothing) {
  startReady();
  const std::pair<const char*, const char*> bad[] = {
      {kSessionUri, R"({"state":"BOGUS","summonerId":1,"accountId":2,"puuid":"x"})"},
      {kSessionUri, R"({"state":"SUCCEEDED","summonerId":-1,"accountId":2,"puuid":"x"})"},
      {kSessionUri, R"([1,2])"},
      {kTokenUri, R"({"token":{"a":1}})"},
      {kTokenUri, R"("just text")"},
  };
  ASSERT_TRUE(host.deliver(kSessionUri, CORE_RESOURCE_DELETE, ""));  // so that a conversion slip would capture
  for (const auto& [uri, data] : bad) {
    SCOPED_TRACE(data);
    EXPECT_TRUE(host.deliver(uri, CORE_RESOURCE_CREATE, data));
  }
  // Event types outside 0..2 are ignored.
  EXPECT_TRUE(host.deliver(kSessionUri, 7, sessionJson("z", 3, 4)));
  EXPECT_TRUE(host.deliver(kTokenUri, -1, R"({"token":"evil"})"));
  static_cast<void>(host.getSignedInventory({"T"}));
  ASSERT_EQ(externalCount(), 1u);
  const RecordedExternalRequest sent = core().externalRequests()[0];
  EXPECT_EQ(sent.url, signedUrl("T", "", "0"));
  EXPECT_EQ(sent.headers.at(1).second, "Bearer tok");
}

}  // namespace
}  // namespace qor::testing
