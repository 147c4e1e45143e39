// Tests of the stand-in inventory service's answers and test controls.
#include "standin/InventoryService.h"

#include <gtest/gtest.h>

#include "standin/Jwt.h"

namespace qor::standin {
namespace {

using nlohmann::json;

constexpr std::int64_t kNow = 1893456000;  // 2030-01-01T00:00:00Z
constexpr const char* kAuth = "Bearer tok";

class InventoryServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const json config = {
        {"token", "tok"},
        {"signingKey", "key"},
        {"signedTtlSeconds", 60},
        {"players",
         {{"p1",
           {{"accountId", 7},
            {"summonerId", 9},
            {"items", {{"EMOTE", {{{"itemId", 1}, {"instanceId", "e1"}}}}}}}}}}};
    std::string error;
    service_ = InventoryService::create(config, error);
    ASSERT_TRUE(service_) << error;
  }

  ServiceAnswer ask(const std::string& query, const char* auth = kAuth) {
    return service_->answer(query, auth, kNow);
  }

  std::unique_ptr<InventoryService> service_;
};

TEST_F(InventoryServiceTest, PlainAnswerListsEveryRequestedType) {
  const ServiceAnswer answer =
      ask("puuid=p1&inventoryTypes=EMOTE&inventoryTypes=GEAR&location=l&accountId=7");
  ASSERT_EQ(answer.status, 200) << answer.body;
  const json& data = answer.body["data"];
  EXPECT_EQ(data["puuid"], "p1");
  EXPECT_EQ(data["accountId"], 7);
  EXPECT_EQ(data["summonerId"], 9);
  EXPECT_EQ(data["items"]["EMOTE"][0]["instanceId"], "e1");
  EXPECT_EQ(data["items"]["GEAR"], json::array());
  EXPECT_FALSE(data.contains("itemsJwt"));
  EXPECT_EQ(service_->stats()["plainByType"]["EMOTE"], 1);
}

TEST_F(InventoryServiceTest, SignedAnswerCarriesAVerifiableTokenAndExpiry) {
  const ServiceAnswer answer =
      ask("puuid=p1&inventoryTypes=EMOTE&location=l&accountId=7&signed=true");
  ASSERT_EQ(answer.status, 200) << answer.body;
  const json& data = answer.body["data"];
  EXPECT_EQ(data["expires"], "2030-01-01T00:01:00Z");
  std::string claimsText;
  ASSERT_TRUE(verifyJwt(data["itemsJwt"].get<std::string>(), "key", &claimsText));
  const json claims = json::parse(claimsText);
  EXPECT_EQ(claims["sub"], "p1");
  EXPECT_EQ(claims["exp"], kNow + 60);
  EXPECT_EQ(claims["items"]["EMOTE"][0]["itemId"], 1);
  // Every signed answer is a new token.
  const ServiceAnswer again = ask("puuid=p1&inventoryTypes=EMOTE&signed=true");
  EXPECT_NE(again.body["data"]["itemsJwt"], data["itemsJwt"]);
  EXPECT_EQ(service_->stats()["signedByType"]["EMOTE"], 2);
}

TEST_F(InventoryServiceTest, RefusesBadRequests) {
  const struct {
    const char* query;
    const char* auth;
    int status;
  } rows[] = {
      {"puuid=p1", "", 401},
      {"puuid=p1", "Bearer wrong", 401},
      {"puuid=p1", "tok", 401},
      {"puuid=p1&accountId=x", kAuth, 400},
      {"inventoryTypes=EMOTE", kAuth, 400},
      {"puuid=nobody", kAuth, 404},
      {"puuid=p1&accountId=8", kAuth, 403},
  };
  for (const auto& row : rows) {
    const ServiceAnswer answer = ask(row.query, row.auth);
    EXPECT_EQ(answer.status, row.status) << row.query << " / " << row.auth;
    EXPECT_TRUE(answer.body.contains("message"));
  }
  EXPECT_EQ(service_->stats()["rejected"], 3);
}

TEST_F(InventoryServiceTest, FailureControlCountsDownOrStaysOn) {
  service_->setFailure(503, 2);
  EXPECT_EQ(ask("puuid=p1").status, 503);
  EXPECT_EQ(ask("puuid=p1").status, 503);
  EXPECT_EQ(ask("puuid=p1").status, 200);
  service_->setFailure(500, 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ask("puuid=p1").status, 500);
  service_->setFailure(0, 0);
  EXPECT_EQ(ask("puuid=p1").status, 200);
  EXPECT_EQ(service_->stats()["failed"], 5);
}

TEST_F(InventoryServiceTest, ItemsAndTtlCanChange) {
  ASSERT_TRUE(service_->addItem("p1", "GEAR", {{"itemId", 5}, {"instanceId", "g5"}}));
  EXPECT_FALSE(service_->addItem("nobody", "GEAR", json::object()));
  service_->setSignedTtlSeconds(1);
  const ServiceAnswer answer = ask("puuid=p1&inventoryTypes=GEAR&signed=true");
  EXPECT_EQ(answer.body["data"]["items"]["GEAR"][0]["instanceId"], "g5");
  EXPECT_EQ(answer.body["data"]["expires"], "2030-01-01T00:00:01Z");
}

TEST(InventoryServiceConfig, NeedsTokenAndKey) {
  std::string error;
  EXPECT_FALSE(InventoryService::create({{"token", "t"}}, error));
  EXPECT_EQ(error, "the inventory service needs \"token\" and \"signingKey\"");
  EXPECT_FALSE(InventoryService::create(
      {{"token", "t"}, {"signingKey", "k"}, {"players", json::array()}}, error));
  EXPECT_TRUE(InventoryService::create({{"token", "t"}, {"signingKey", "k"}}, error));
}

TEST(InventoryServiceTime, FormatsIsoTimestamps) {
  EXPECT_EQ(isoTimestamp(0), "1970-01-01T00:00:00Z");
  EXPECT_EQ(isoTimestamp(1893456000), "2030-01-01T00:00:00Z");
}

}  // namespace
}  // namespace qor::standin
