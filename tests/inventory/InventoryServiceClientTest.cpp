// The client of the remote inventory service: the two URL shapes,
// percent-encoding of caller text and the length bound, the request it sends
// and how it reads the answer; then the same through the plug-in, with the
// failures every fetch maps to the error 500.
#include "protocol/PercentEncode.h"
#include "inventory/InventoryServiceClient.h"

#include "binding/TypeRegistry.h"
#include "inventory/InventoryHost.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qor::testing {
namespace {

const InventoryUrlParts kParts{"U", "P", "L", 18446744073709551615ull};

TEST(InventoryServiceClientTest, PlainUrlRepeatsTheTypeKeyInOrder) {
  EXPECT_EQ(plainInventoryUrl(kParts, {"A", "B"}),
            "U/qorinventoryservice/v2/inventories?puuid=P&inventoryTypes=A&inventoryTypes=B"
            "&location=L&accountId=18446744073709551615");
  EXPECT_EQ(plainInventoryUrl(kParts, {}),
            "U/qorinventoryservice/v2/inventories?puuid=P&location=L&accountId=18446744073709551615");
  EXPECT_EQ(signedInventoryUrl(InventoryUrlParts{"", "", "", 0}, "T"),
            "/qorinventoryservice/v2/inventories?puuid=&inventoryTypes=T&location=&accountId=0"
            "&signed=true");
}

TEST(InventoryServiceClientTest, OnlyUnreservedCharactersPassUnencoded) {
  const std::pair<std::string, std::string> rows[] = {
      {"GEAR_2.x-y~z", "GEAR_2.x-y~z"},
      {"a b", "a%20b"},
      {"a&b=c", "a%26b%3Dc"},
      {"#?/%+", "%23%3F%2F%25%2B"},
      {std::string("\0\x7f\xff", 3), "%00%7F%FF"},
      {"\xc3\xbc", "%C3%BC"},
  };
  for (const auto& [text, encoded] : rows) EXPECT_EQ(percentEncode(text), encoded) << encoded;
  // Puuid, type and location are encoded; the base URL is used as it is.
  EXPECT_EQ(signedInventoryUrl(InventoryUrlParts{"http://h/a b?", "p q", "l&", 1}, "t/"),
            "http://h/a b?/qorinventoryservice/v2/inventories?puuid=p%20q&inventoryTypes=t%2F"
            "&location=l%26&accountId=1&signed=true");
}

TEST(InventoryServiceClientTest, UrlsLongerThan4095BytesAreRefused) {
  const std::string base = *signedInventoryUrl(kParts, "");
  const std::size_t room = kMaxInventoryUrlLength - base.size();
  EXPECT_EQ(signedInventoryUrl(kParts, std::string(room, 'x'))->size(), 4095u);
  EXPECT_FALSE(signedInventoryUrl(kParts, std::string(room + 1, 'x')).has_value());
  // Encoding counts: one encoded byte takes three.
  EXPECT_FALSE(signedInventoryUrl(kParts, std::string(room / 3 + 1, ' ')).has_value());
  EXPECT_TRUE(signedInventoryUrl(kParts, std::string(room / 3, ' ')).has_value());
  // Many short types overflow too, and a huge list is refused without being built whole.
  EXPECT_FALSE(plainInventoryUrl(kParts, std::vector<std::string>(1000000, "T")).has_value());
  InventoryUrlParts longBase = kParts;
  longBase.baseServiceUrl.assign(5000, 'u');
  EXPECT_FALSE(plainInventoryUrl(longBase, {}).has_value());
}

// ---- Sending and decoding -------------------------------------------------------

class ClientTest : public ::testing::Test {
 protected:
  void SetUp() override { Api::registerInventoryRecords(registry, "QorInventory", {}); }

  // A client whose sender records the request and answers `answer`.
  InventoryServiceClient client() {
    return InventoryServiceClient(
        [this](const HttpRequest& request) {
          sent.push_back(request);
          return answer;
        },
        registry);
  }

  TypeRegistry registry;
  HttpResponse answer;
  std::vector<HttpRequest> sent;
};

TEST_F(ClientTest, SendsOneGetWithTheHeadersAndReadsTheAnswer) {
  InventoryFetchRequest request{kParts, {{"Authorization", "Bearer t"}, {"Content-type", "application/json"}}};
  answer.status = 200;
  answer.conversionStatus = 0;
  answer.body = R"({"data":{"puuid":"P","itemsJwt":"J","expires":"E","items":{"A":[{"itemId":3}]}}})";
  RequestResult<Api::InventoryResponseDTO> result = client().fetchSignedInventory(request, "A");
  ASSERT_TRUE(result.ok()) << result.error().message;
  EXPECT_EQ(result.value().data.itemsJwt, "J");
  EXPECT_EQ(result.value().data.expires, "E");
  EXPECT_EQ(result.value().data.items.count("A"), 1u);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].method, HttpMethod::Get);
  EXPECT_EQ(sent[0].url, *signedInventoryUrl(kParts, "A"));
  EXPECT_EQ(sent[0].headers, request.headers);
  EXPECT_TRUE(sent[0].body.empty());
  EXPECT_EQ(sent[0].setting1, 20u);
  EXPECT_EQ(sent[0].setting2, 1u);
}

TEST_F(ClientTest, ConversionFailureOrTooLongUrlIsTheError500) {
  answer.status = 200;
  answer.conversionStatus = 1;
  answer.error = "Error converting response for GET u: body was null";
  RequestResult<Api::InventoryResponseDTO> failed = client().fetchInventory({kParts, {}}, {"A"});
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error().code, 500);
  EXPECT_EQ(failed.error().message,
            "Could not get inventory from qorinventoryservice: Error converting response for GET u: "
            "body was null");
  RequestResult<Api::InventoryResponseDTO> tooLong =
      client().fetchInventory({kParts, {}}, {std::string(5000, 'T')});
  ASSERT_FALSE(tooLong.ok());
  EXPECT_EQ(tooLong.error().message, "Could not get inventory from qorinventoryservice: URL too long");
  EXPECT_EQ(sent.size(), 1u);
}

}  // namespace

// ---- Through the plug-in ---------------------------------------------------------

namespace {

// ---- Remote fetch --------------------------------------------------------------

TEST_F(InventoryTest, PlainUrlRepeatsTheTypeKeyAndSignedUrlEndsWithSigned) {
  startReady();
  remote(plainUrl({"EMOTE", "X"}), itemsBody({}));
  EXPECT_TRUE(host.getInventory({"EMOTE", "X"}).ok);
  static_cast<void>(host.getSignedInventory({"EMOTE"}));
  EXPECT_EQ(externalUrls(),
            (std::vector<std::string>{
                "https://inv.test/qorinventoryservice/v2/inventories?puuid=p-1&inventoryTypes=EMOTE"
                "&inventoryTypes=X&location=loc1&accountId=7",
                "https://inv.test/qorinventoryservice/v2/inventories?puuid=p-1&inventoryTypes=EMOTE"
                "&location=loc1&accountId=7&signed=true"}));
}

TEST_F(InventoryTest, CallerTextInUrlsIsPercentEncoded) {
  startReady();
  ASSERT_TRUE(host.deliver(kSessionUri, CORE_RESOURCE_DELETE, ""));
  ASSERT_TRUE(host.deliver(kSessionUri, CORE_RESOURCE_CREATE, sessionJson("p&x=1", 7, 9)));
  static_cast<void>(host.getInventory({"A&B C", "ü#"}));
  static_cast<void>(host.getSignedInventory({"a=b"}));
  EXPECT_EQ(externalUrls(),
            (std::vector<std::string>{
                "https://inv.test/qorinventoryservice/v2/inventories?puuid=p%26x%3D1"
                "&inventoryTypes=A%26B%20C&inventoryTypes=%C3%BC%23&location=loc1&accountId=7",
                "https://inv.test/qorinventoryservice/v2/inventories?puuid=p%26x%3D1"
                "&inventoryTypes=a%3Db&location=loc1&accountId=7&signed=true"}));
}

TEST_F(InventoryTest, UrlLongerThanTheLimitIsNotSent) {
  startReady();
  const std::string fixed = plainUrl({"X"});  // one type named X
  // Exactly at the limit it is sent; one byte more is refused.
  const std::string fits(4095 - fixed.size() + 1, 'T');
  remote(plainUrl({fits}), itemsBody({}));
  const CallAnswer sent = host.getInventory({fits});
  EXPECT_TRUE(sent.ok) << sent.error;
  ASSERT_EQ(externalCount(), 1u);
  EXPECT_EQ(externalUrls()[0].size(), 4095u);

  const CallAnswer refused = host.getInventory({fits + "T"});
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.status, 500u);
  EXPECT_EQ(refused.error, "Could not get inventory from qorinventoryservice: URL too long");
  const CallAnswer refusedSigned = host.getSignedInventory({std::string(5000, 'S')});
  EXPECT_EQ(refusedSigned.error, "Could not get inventory from qorinventoryservice: URL too long");
  EXPECT_EQ(externalCount(), 1u);
}

struct FailureRow {
  const char* name;
  FakeExternalResponse response;
  std::string expectedError;  // cut to 4095 bytes when longer
};

class FetchFailureTest : public InventoryTest, public ::testing::WithParamInterface<FailureRow> {};

FakeExternalResponse answer(std::int32_t status, std::string body, std::int32_t outcome = 0) {
  FakeExternalResponse r;
  r.status = status;
  r.body = std::move(body);
  r.outcome = outcome;
  return r;
}

TEST_P(FetchFailureTest, EveryFailureIs500AndChangesNoCache) {
  startReady();
  const FailureRow& row = GetParam();
  const std::string url = plainUrl({"EMOTE"});
  core().respondExternal(url, row.response);
  core().respondExternal(signedUrl("EMOTE"), row.response);
  for (const CallAnswer& a : {host.getInventory({"EMOTE"}), host.getEmotes(),
                              host.getSignedInventory({"EMOTE"})}) {
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(a.status, 500u);
    EXPECT_LE(a.error.size(), 4095u);
    if (row.expectedError.size() <= 200) {
      EXPECT_EQ(a.error, row.expectedError);
    } else {
      EXPECT_EQ(a.error, row.expectedError.substr(0, 4095));
    }
  }
  // Nothing was cached: once the service answers, every call fetches.
  remote(url, itemsBody({{"EMOTE", list({item(5, "EMOTE", "e5")})}}));
  remote(signedUrl("EMOTE"), signedBody("J", "2999-01-01T00:00:00Z"));
  core().clearRecords();
  EXPECT_EQ(host.getInventory({"EMOTE"}).json, list({rendered(5, "EMOTE")}));
  EXPECT_EQ(host.getSignedInventory({"EMOTE"}).json, R"({"EMOTE":"J"})");
  EXPECT_EQ(externalCount(), 2u);
}

const std::string kGet = "Could not get inventory from qorinventoryservice: ";
const std::string kBad = "Couldn't deserialize inventory response: ";

FakeExternalResponse nullBody() {
  FakeExternalResponse r;
  r.nullBody = true;
  return r;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FetchFailureTest,
    ::testing::Values(
        FailureRow{"TransportFailure", answer(0, "connection refused", 2), kGet + "connection refused"},
        FailureRow{"Redirect", answer(302, "{}"), kGet},
        FailureRow{"ServerError", answer(503, R"({"data":{}})"), kGet},
        FailureRow{"BelowTwoHundred", answer(199, "{}"), kGet},
        FailureRow{"NoContent", answer(204, ""), kBad},
        FailureRow{"EmptyBody", answer(200, ""), kBad},
        FailureRow{"NoAnswerAtAll", answer(0, "", -1), kGet},
        FailureRow{"NotJson", answer(200, "<html>oops</html>"), kBad + "<html>oops</html>"},
        FailureRow{"ItemsAnArray", answer(200, R"({"data":{"items":[1]}})"),
                   kBad + R"({"data":{"items":[1]}})"},
        FailureRow{"DataAString", answer(200, R"({"data":"x"})"), kBad + R"({"data":"x"})"},
        FailureRow{"HugeGarbage", answer(200, std::string(200000, '#')),
                   kBad + std::string(200000, '#')},
        FailureRow{"DeeplyNested", answer(200, std::string(100000, '[')),
                   kBad + std::string(100000, '[')}),
    [](const ::testing::TestParamInfo<FailureRow>& info) { return std::string(info.param.name); });

TEST_F(InventoryTest, NullBodyErrorNamesTheRequest) {
  startReady();
  core().respondExternal(signedUrl("T"), nullBody());
  const CallAnswer a = host.getSignedInventory({"T"});
  EXPECT_EQ(a.error, kGet + "Error converting response for GET " + signedUrl("T") + ": body was null");
}

TEST_F(InventoryTest, UnansweredRequestCarriesTheCoresErrorText) {
  startReady();
  const CallAnswer a = host.getInventory({"EMOTE"});
  EXPECT_EQ(a.status, 500u);
  EXPECT_EQ(a.error, kGet + "No fake response for " + plainUrl({"EMOTE"}));
}

TEST_F(InventoryTest, EmptyObjectAndNullItemsAreEmptyAnswers) {
  startReady();
  remote(plainUrl({"A"}), "{}");
  remote(plainUrl({"B"}), R"({"data":{"items":null}})");
  EXPECT_EQ(host.getInventory({"A"}).json, "[]");
  EXPECT_EQ(host.getInventory({"B"}).json, "[]");
}

}  // namespace
}  // namespace qor::testing
