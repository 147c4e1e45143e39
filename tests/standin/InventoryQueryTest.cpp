// Tests of the stand-in inventory service's query parsing and percent coding.
#include "standin/InventoryQuery.h"

#include <gtest/gtest.h>

namespace qor::standin {
namespace {

TEST(InventoryQuery, ParsesPlainAndSignedQueries) {
  const auto plain = parseInventoryQuery(
      "puuid=p&inventoryTypes=EMOTE&inventoryTypes=X&location=l&accountId=7");
  ASSERT_EQ(plain.error, "");
  EXPECT_EQ(plain.query.puuid, "p");
  EXPECT_EQ(plain.query.inventoryTypes, (std::vector<std::string>{"EMOTE", "X"}));
  EXPECT_EQ(plain.query.location, "l");
  EXPECT_EQ(plain.query.accountId, 7u);
  EXPECT_FALSE(plain.query.signedInventory);

  const auto signedQuery = parseInventoryQuery(
      "?puuid=p&inventoryTypes=GEAR&location=l&accountId=18446744073709551615&signed=true");
  ASSERT_EQ(signedQuery.error, "");
  EXPECT_TRUE(signedQuery.query.signedInventory);
  EXPECT_EQ(signedQuery.query.accountId, 18446744073709551615u);
}

TEST(InventoryQuery, DecodesEscapesAndToleratesOddPieces) {
  const auto result =
      parseInventoryQuery("puuid=a%2Fb+c&&inventoryTypes=A%26B&unknown=1&location=&puuid=last");
  ASSERT_EQ(result.error, "");
  EXPECT_EQ(result.query.puuid, "last");  // a repeated key takes the last value
  EXPECT_EQ(result.query.inventoryTypes, (std::vector<std::string>{"A&B"}));
  EXPECT_EQ(result.query.location, "");
  EXPECT_FALSE(result.query.accountId.has_value());
  // Without types the key "location" follows the puuid directly.
  EXPECT_TRUE(parseInventoryQuery("puuid=p&location=l&accountId=1").query.inventoryTypes.empty());
}

TEST(InventoryQuery, RejectsMalformedInput) {
  const struct {
    const char* query;
    const char* error;
  } rows[] = {
      {"puuid=%zz", "malformed escape in query piece 'puuid=%zz'"},
      {"puuid=%4", "malformed escape in query piece 'puuid=%4'"},
      {"accountId=-1", "accountId is not an unsigned number: '-1'"},
      {"accountId=12x", "accountId is not an unsigned number: '12x'"},
      {"accountId=", "accountId is not an unsigned number: ''"},
      {"accountId=18446744073709551616", "accountId is not an unsigned number: '18446744073709551616'"},
      {"signed=yes", "signed must be true or false: 'yes'"},
  };
  for (const auto& row : rows) EXPECT_EQ(parseInventoryQuery(row.query).error, row.error) << row.query;
}

TEST(InventoryQuery, PercentEncodingKeepsOnlyUnreservedCharacters) {
  EXPECT_EQ(percentEncode("AZaz09-._~"), "AZaz09-._~");
  EXPECT_EQ(percentEncode("a b&c/\xff"), "a%20b%26c%2F%FF");
  EXPECT_EQ(percentDecode(percentEncode("x y&z=\x01")), "x y&z=\x01");
  EXPECT_FALSE(percentDecode("%").has_value());
}

}  // namespace
}  // namespace qor::standin
