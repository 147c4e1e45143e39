// End-to-end tests over loopback HTTP: the local inventory service and the
// host with the inventory plug-in run as processes on free ports, and the
// tests call the plug-in's three functions through the host's HTTP front.
#include <gtest/gtest.h>
#include <httplib.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

#include "standin/Jwt.h"
#include "support/ChildProcess.h"
#include "support/EventStreamReader.h"

namespace qor::host {
namespace {

using nlohmann::json;
using test::ChildProcess;
using test::EventStreamReader;
using namespace std::chrono_literals;

constexpr const char* kInventory = "/qor-inventory/v1/inventory";
constexpr const char* kSigned = "/qor-inventory/v1/signedInventory";
constexpr const char* kEmotes = "/qor-inventory/v1/inventory/emotes";
constexpr const char* kCatalogEmote = "c2b1a9e0-emote-7002";  // catalog item 7002
constexpr const char* kCatalogGear = "c2b1a9e0-gear-3105";    // catalog item 3105

int portOf(const std::optional<std::string>& line) {
  if (!line) return 0;
  const std::size_t colon = line->rfind(':');
  return colon == std::string::npos ? 0 : std::atoi(line->c_str() + colon + 1);
}

// "?inventoryTypes.0=A&inventoryTypes.1=B"
std::string typesQuery(std::initializer_list<const char*> types) {
  std::string query;
  int index = 0;
  for (const char* type : types) {
    query += (index == 0 ? "?" : "&");
    query += "inventoryTypes." + std::to_string(index++) + "=" + type;
  }
  return query;
}

// A messaging-service envelope around `payload`.
std::string message(const json& payload) {
  return json({{"resource", "/message"},
               {"service", "test"},
               {"version", "1"},
               {"timestamp", 1},
               {"payload", payload.dump()}})
      .dump();
}

class InventoryEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ifstream in(QOR_EXAMPLE_SCENARIO);
    std::stringstream text;
    text << in.rdbuf();
    scenario_ = json::parse(text.str());

    service_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        QOR_SERVICE_PATH, "--scenario", QOR_EXAMPLE_SCENARIO, "--port", "0"});
    servicePort_ = portOf(service_->readLine(10s));
    ASSERT_GT(servicePort_, 0) << service_->errorText();
    host_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        QOR_HOST_PATH, "--port", "0", "--plugin", QOR_PLUGIN_PATH, "--scenario",
        QOR_EXAMPLE_SCENARIO, "--var",
        "SERVICE_URL=http://127.0.0.1:" + std::to_string(servicePort_)});
    hostPort_ = portOf(host_->readLine(10s));
    ASSERT_GT(hostPort_, 0) << host_->errorText();
    host_client_ = std::make_unique<httplib::Client>("127.0.0.1", hostPort_);
    host_client_->set_read_timeout(30, 0);
    admin_ = std::make_unique<httplib::Client>("127.0.0.1", servicePort_);
  }

  void TearDown() override {
    if (host_) {
      host_->signal(SIGTERM);
      EXPECT_EQ(host_->wait(20s), 0) << host_->errorText();
      EXPECT_NE(host_->errorText().find("| host | qor-inventory stopped"), std::string::npos);
      // A sanitizer build reports its findings on standard error.
      for (ChildProcess* child : {host_.get(), service_.get()}) {
        EXPECT_EQ(child->errorText().find("runtime error"), std::string::npos) << child->errorText();
        EXPECT_EQ(child->errorText().find("Sanitizer"), std::string::npos) << child->errorText();
      }
    }
  }

  // GET on the host: {status, body}.
  std::pair<int, json> get(const std::string& uri) {
    const auto response = host_client_->Get(uri.c_str());
    if (!response) return {0, nullptr};
    return {response->status, json::parse(response->body, nullptr, false)};
  }

  json serviceStats() {
    const auto response = admin_->Get("/admin/stats");
    return response ? json::parse(response->body) : json();
  }

  int putResource(const std::string& uri, const std::string& body) {
    const auto response = host_client_->Put(("/resources" + uri).c_str(), body, "application/json");
    return response ? response->status : 0;
  }

  json scenario_;
  std::unique_ptr<ChildProcess> service_;
  std::unique_ptr<ChildProcess> host_;
  int servicePort_ = 0;
  int hostPort_ = 0;
  std::unique_ptr<httplib::Client> host_client_;
  std::unique_ptr<httplib::Client> admin_;
};

TEST_F(InventoryEndToEndTest, ServesTheThreeFunctionsFromTheRemoteServiceAndCaches) {
  const auto [status, items] = get(kInventory + typesQuery({"EMOTE", "GEAR"}));
  ASSERT_EQ(status, 200) << items;
  json expected = json::array();
  expected.push_back({{"itemId", 3101}, {"inventoryType", "GEAR"}, {"ownershipType", "RENTED"}});
  expected.push_back({{"itemId", 1}, {"inventoryType", "EMOTE"}, {"ownershipType", "F2P"}});
  expected.push_back({{"itemId", 2}, {"inventoryType", "EMOTE"}, {"ownershipType", "OWNED"}});
  // The answer's map order decides the order of types; compare as sets.
  ASSERT_EQ(items.size(), expected.size()) << items;
  for (const json& item : expected)
    EXPECT_NE(std::find(items.begin(), items.end(), item), items.end()) << item;
  EXPECT_EQ(serviceStats()["plain"], 1);

  // Cached: neither the emotes call nor a second inventory call asks again.
  const auto [emoteStatus, emotes] = get(kEmotes);
  EXPECT_EQ(emoteStatus, 200);
  EXPECT_EQ(emotes.size(), 2u) << emotes;
  EXPECT_EQ(get(kInventory + typesQuery({"GEAR"})).second.size(), 1u);
  EXPECT_EQ(serviceStats()["plain"], 1);

  const auto [signedStatus, signedInventory] = get(kSigned + typesQuery({"GEAR"}));
  ASSERT_EQ(signedStatus, 200) << signedInventory;
  std::string claimsText;
  ASSERT_TRUE(standin::verifyJwt(signedInventory["GEAR"].get<std::string>(),
                        scenario_["inventoryService"]["signingKey"].get<std::string>(),
                        &claimsText));
  const json claims = json::parse(claimsText);
  EXPECT_EQ(claims["sub"], scenario_["resources"]["/qor-login/v1/session"]["puuid"]);
  EXPECT_EQ(claims["items"]["GEAR"][0]["instanceId"], "g-3101");

  // The service saw the bearer token, the location and the account id.
  const std::string target = serviceStats()["lastTarget"];
  EXPECT_NE(target.find("location=euw1"), std::string::npos) << target;
  EXPECT_NE(target.find("accountId=2100042"), std::string::npos) << target;
  EXPECT_EQ(serviceStats()["rejected"], 0);
}

TEST_F(InventoryEndToEndTest, EntitlementNotificationPublishesEmotesAndUpdatesTheCache) {
  ASSERT_EQ(get(kEmotes).second.size(), 2u);
  EventStreamReader events(hostPort_);
  ASSERT_TRUE(events.waitFor(": stream open"));
  EXPECT_EQ(putResource("/vane-messaging-service/v1/message/cap/v1/entitlements",
                        message({{"itemId", kCatalogEmote}, {"itemTypeId", "not-a-cap-type"}})),
            201);
  EXPECT_TRUE(events.waitFor("event: OnJsonApiEvent_qor-inventory_v1_inventory\n")) << events.text();
  EXPECT_TRUE(events.waitFor(R"({"inventoryType":"EMOTE","itemId":7002,"ownershipType":"OWNED"}],)"
                             R"("eventType":"Update","uri":"/qor-inventory/v1/inventory/emotes"})"))
      << events.text();
  const auto [status, emotes] = get(kEmotes);
  EXPECT_EQ(status, 200);
  ASSERT_EQ(emotes.size(), 3u) << emotes;
  EXPECT_EQ(emotes[2], json({{"itemId", 7002}, {"inventoryType", "EMOTE"}, {"ownershipType", "OWNED"}}));
  EXPECT_EQ(serviceStats()["plain"], 1);  // the new item came from the notification

  const auto logs = host_client_->Get("/logs");
  ASSERT_TRUE(logs);
  EXPECT_NE(logs->body.find("Received VMS message for /store/v1/entitlements"), std::string::npos);
  host_->signal(SIGTERM);  // ends the stream before the reader is destroyed
}

TEST_F(InventoryEndToEndTest, SignedInventoryExpiresAndIsInvalidatedByNotifications) {
  ASSERT_TRUE(admin_->Put("/admin/signed-ttl", R"({"seconds":1})", "application/json"));
  const auto [status, first] = get(kSigned + typesQuery({"GEAR"}));
  ASSERT_EQ(status, 200) << first;
  EXPECT_EQ(get(kSigned + typesQuery({"GEAR"})).second, first);  // still valid: cached
  EXPECT_EQ(serviceStats()["signedByType"]["GEAR"], 1);

  std::this_thread::sleep_for(2100ms);  // past the one-second expiry
  ASSERT_TRUE(admin_->Put("/admin/signed-ttl", R"({"seconds":3600})", "application/json"));
  const json second = get(kSigned + typesQuery({"GEAR"})).second;
  EXPECT_NE(second, first);
  EXPECT_EQ(get(kSigned + typesQuery({"GEAR"})).second, second);
  EXPECT_EQ(serviceStats()["signedByType"]["GEAR"], 2);

  // A store notification for GEAR invalidates the signed entry: a later call
  // fetches again, and the notified item joins the cached items.
  const json store = {{"transactionId", "t-1"},
                      {"items", {{{"inventoryType", "GEAR"}, {"itemId", kCatalogGear}}}}};
  EXPECT_EQ(putResource("/vane-messaging-service/v1/message/store/v1/inventory", message(store)), 201);
  bool refetched = false;
  for (int i = 0; i < 250 && !refetched; ++i) {
    std::this_thread::sleep_for(20ms);
    get(kSigned + typesQuery({"GEAR"}));
    refetched = serviceStats()["signedByType"]["GEAR"] == 3;
  }
  EXPECT_TRUE(refetched) << serviceStats();
  const json gear = get(kInventory + typesQuery({"GEAR"})).second;
  EXPECT_NE(std::find(gear.begin(), gear.end(),
                      json({{"itemId", 3105}, {"inventoryType", "GEAR"}, {"ownershipType", "OWNED"}})),
            gear.end())
      << gear;
}

TEST_F(InventoryEndToEndTest, RemoteFailuresGive500AndTheHostKeepsRunning) {
  // A failing status from the service: the message ends with the empty error.
  ASSERT_TRUE(admin_->Put("/admin/failure", R"({"status":503,"count":1})", "application/json"));
  auto [status, error] = get(kInventory + typesQuery({"GEAR"}));
  EXPECT_EQ(status, 500);
  EXPECT_EQ(error, json({{"httpStatus", 500},
                         {"message", "Could not get inventory from qorinventoryservice: "}}));
  EXPECT_EQ(get(kInventory + typesQuery({"GEAR"})).first, 200);

  // The service goes away: the transport error reaches the caller.
  service_->signal(SIGTERM);
  ASSERT_EQ(service_->wait(10s), 0);
  std::tie(status, error) = get(kInventory + typesQuery({"EMOTE"}));
  EXPECT_EQ(status, 500);
  const std::string text = error["message"];
  EXPECT_EQ(text.rfind("Could not get inventory from qorinventoryservice: ", 0), 0u) << text;
  EXPECT_GT(text.size(), std::strlen("Could not get inventory from qorinventoryservice: "));
  EXPECT_EQ(get(kSigned + typesQuery({"EMOTE"})).first, 500);

  // Cached types still answer, and the host serves everything else.
  EXPECT_EQ(get(kInventory + typesQuery({"GEAR"})).first, 200);
  const auto api = host_client_->Get("/api");
  ASSERT_TRUE(api);
  const json description = json::parse(api->body);
  ASSERT_EQ(description["plugins"].size(), 1u);
  EXPECT_EQ(description["plugins"][0]["name"], "qor-inventory");
  EXPECT_EQ(description["plugins"][0]["api"]["functions"].size(), 3u);
}

TEST_F(InventoryEndToEndTest, DisabledConfigurationAnswersEmptyResults) {
  EXPECT_EQ(putResource("/qor-platform-config/v1/namespaces/Inventory",
                        R"({"Enabled": false, "BaseServiceUrl": "http://127.0.0.1:9"})"),
            200);
  bool empty = false;
  for (int i = 0; i < 250 && !empty; ++i) {
    std::this_thread::sleep_for(20ms);
    empty = get(kInventory + typesQuery({"EMOTE"})).second == json::array();
  }
  EXPECT_TRUE(empty);
  // Once disabled, no call reaches the remote service.
  const json before = serviceStats()["requests"];
  EXPECT_EQ(get(kSigned + typesQuery({"TOURNAMENT_FLAG"})).second, json::object());
  EXPECT_EQ(get(kInventory + typesQuery({"TOURNAMENT_FLAG"})).second, json::array());
  EXPECT_EQ(serviceStats()["requests"], before);
}

}  // namespace
}  // namespace qor::host
