// InventoryHost: loads the built plug-in through its export, as the core
// does, and drives it against the fake core: handshake, Start and Stop,
// calls through the API table's dispatch entries, and resource events
// delivered through the plug-in's own subscriptions.
#pragma once

#include "PluginAbi.h"
#include "support/FakeCore.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace qor::testing {

// Resource URIs the service follows, and the requests it sends to the core.
inline constexpr const char* kSessionUri = "/qor-login/v1/session";
inline constexpr const char* kTokenUri = "/vso-auth/v1/authorization/access-token";
inline constexpr const char* kConfigUri = "/qor-platform-config/v1/namespaces/Inventory";
inline constexpr const char* kEntitlementUri =
    "/vane-messaging-service/v1/message/cap/v1/entitlements";
inline constexpr const char* kStoreUri = "/vane-messaging-service/v1/message/store/v1/inventory";
inline constexpr const char* kRegionUri = "/vaneclient/region-locale";
inline constexpr const char* kRegionDataUri = "/data-store/v1/system-settings/region_data";
inline constexpr const char* kCatalogUri = "/qor-store/v1/catalog";

// What a call of one of the plug-in's functions answered.
struct CallAnswer {
  bool ok = false;
  std::uint32_t status = 0;
  std::string error;
  std::string json;  // the value rendered as JSON (members in name order)
};

class InventoryHost {
 public:
  // Loads the library (once per process) and runs the handshake.
  InventoryHost();
  // Stops the plug-in when it still runs.
  ~InventoryHost();
  InventoryHost(const InventoryHost&) = delete;
  InventoryHost& operator=(const InventoryHost&) = delete;

  bool loaded() const { return handshake_.plugin != nullptr; }
  const PluginHandshake& handshake() const { return handshake_; }
  const PluginApiTable* apiTable() const { return handshake_.apiTable; }

  bool start();
  void stop();

  // The function record whose URI template is `uriTemplate`, or null.
  const ApiFunctionRecord* function(std::string_view uriTemplate) const;
  // Calls GET `uri` (query included) through the dispatch entry of the
  // function registered for `uriTemplate`, and releases the response.
  CallAnswer call(std::string_view uriTemplate, const std::string& uri) const;
  CallAnswer getInventory(std::initializer_list<std::string> types) const;
  CallAnswer getSignedInventory(std::initializer_list<std::string> types) const;
  CallAnswer getEmotes() const;

  // Delivers a change of `uri` (event type 0 create, 1 update, 2 delete)
  // with `dataJson` ("" for none) through the subscription of its event name.
  bool deliver(const std::string& uri, int eventType, const std::string& dataJson);
  // The same for a messaging-service channel: the envelope around `payload`.
  bool deliverMessage(const std::string& uri, int eventType, const std::string& payload);

  // Forwarded log lines at `level` whose text starts with `prefix`.
  std::vector<std::string> logLines(int level, std::string_view prefix) const;

  FakeCore core;

 private:
  PluginHandshake handshake_{};
  bool started_ = false;
};

// `inventoryTypes` as the query of a call: the list as JSON, URL-encoded.
std::string typesQuery(std::initializer_list<std::string> types);

}  // namespace qor::testing

namespace qor::testing {

// A started plug-in. startReady() publishes a complete state first: player
// "p-1" (account 7), token "tok", the service on at kBaseUrl, location "loc1".
class InventoryTest : public ::testing::Test {
 protected:
  static constexpr const char* kBaseUrl = "https://inv.test";

  void SetUp() override { ASSERT_TRUE(host.loaded()) << "the plug-in library did not load"; }

  void startBare() {
    ASSERT_TRUE(host.start());
    core().clearRecords();
  }
  void startReady() {
    core().respondJson(kSessionUri, sessionJson("p-1", 7, 9));
    core().respondJson(kTokenUri, R"({"token":"tok","scopes":["a"],"expiry":5})");
    core().respondJson(kConfigUri, R"({"Enabled":true,"BaseServiceUrl":"https://inv.test"})");
    core().respondJson(kRegionUri, "{}");
    core().respondJson(kRegionDataUri, R"({"servers":{"loctavian_service_location":"loc1"}})");
    startBare();
  }

  static std::string sessionJson(const std::string& puuid, std::uint64_t account,
                                 std::uint64_t summoner, const char* state = "SUCCEEDED") {
    return std::string(R"({"state":")") + state + R"(","summonerId":)" + std::to_string(summoner) +
           R"(,"accountId":)" + std::to_string(account) + R"(,"idToken":"i","puuid":)" +
           jsonString(puuid) + "}";
  }

  // The plain and the signed URL for the ready state (or other ids).
  static std::string plainUrl(std::initializer_list<std::string> types,
                              const std::string& puuid = "p-1", const std::string& account = "7",
                              const std::string& base = kBaseUrl) {
    std::string url = base + "/qorinventoryservice/v2/inventories?puuid=" + puuid + "&";
    for (const std::string& t : types) url += "inventoryTypes=" + t + "&";
    return url + "location=loc1&accountId=" + account;
  }
  static std::string signedUrl(const std::string& type, const std::string& puuid = "p-1",
                               const std::string& account = "7") {
    return std::string(kBaseUrl) + "/qorinventoryservice/v2/inventories?puuid=" + puuid +
           "&inventoryTypes=" + type + "&location=loc1&accountId=" + account + "&signed=true";
  }

  // An answer of the remote service for `url`.
  void remote(const std::string& url, const std::string& body, std::int32_t status = 200) {
    FakeExternalResponse response;
    response.status = status;
    response.body = body;
    core().respondExternal(url, response);
  }
  // An answer whose "items" hold the given types, each with its JSON list.
  static std::string itemsBody(std::initializer_list<std::pair<std::string, std::string>> types) {
    std::string items = "{";
    for (const auto& [type, list] : types) {
      if (items.size() > 1) items += ',';
      items += jsonString(type) + ":" + list;
    }
    return R"({"data":{"puuid":"p-1","accountId":7,"items":)" + items + "}}}";
  }
  // One remote item of `type`.
  static std::string item(int itemId, const std::string& type, const std::string& instance) {
    return R"({"itemId":)" + std::to_string(itemId) + R"(,"inventoryType":)" + jsonString(type) +
           R"(,"instanceId":)" + jsonString(instance) + "}";
  }
  // A signed answer.
  static std::string signedBody(const std::string& jwt, const std::string& expires) {
    return R"({"data":{"itemsJwt":)" + jsonString(jwt) + R"(,"expires":)" + jsonString(expires) +
           "}}";
  }
  // The JSON the API renders for one item.
  static std::string rendered(int itemId, const std::string& type, const char* ownership = "OWNED") {
    return R"({"inventoryType":)" + jsonString(type) + R"(,"itemId":)" + std::to_string(itemId) +
           R"(,"ownershipType":")" + ownership + "\"}";
  }
  static std::string list(std::initializer_list<std::string> elements) {
    std::string out = "[";
    for (const std::string& e : elements) {
      if (out.size() > 1) out += ',';
      out += e;
    }
    return out + "]";
  }

  std::size_t externalCount() const { return host.core.externalRequests().size(); }
  std::vector<std::string> externalUrls() const {
    std::vector<std::string> urls;
    for (const auto& r : host.core.externalRequests()) urls.push_back(r.url);
    return urls;
  }
  std::size_t requestsTo(const std::string& uri) const {
    std::size_t n = 0;
    for (const auto& r : host.core.requests()) n += r.uri == uri ? 1 : 0;
    return n;
  }

  FakeCore& core() { return host.core; }

  InventoryHost host;
};

}  // namespace qor::testing
