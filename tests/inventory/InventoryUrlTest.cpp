// The remote service's URLs: the two shapes, percent-encoding of caller text
// and the length bound.
#include "inventory/InventoryUrl.h"

#include <gtest/gtest.h>

#include <string>

namespace qor::testing {
namespace {

const InventoryUrlParts kParts{"U", "P", "L", 18446744073709551615ull};

TEST(InventoryUrlTest, PlainUrlRepeatsTheTypeKeyInOrder) {
  EXPECT_EQ(plainInventoryUrl(kParts, {"A", "B"}),
            "U/qorinventoryservice/v2/inventories?puuid=P&inventoryTypes=A&inventoryTypes=B"
            "&location=L&accountId=18446744073709551615");
  EXPECT_EQ(plainInventoryUrl(kParts, {}),
            "U/qorinventoryservice/v2/inventories?puuid=P&location=L&accountId=18446744073709551615");
  EXPECT_EQ(signedInventoryUrl(InventoryUrlParts{"", "", "", 0}, "T"),
            "/qorinventoryservice/v2/inventories?puuid=&inventoryTypes=T&location=&accountId=0"
            "&signed=true");
}

TEST(InventoryUrlTest, OnlyUnreservedCharactersPassUnencoded) {
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

TEST(InventoryUrlTest, UrlsLongerThan4095BytesAreRefused) {
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

}  // namespace
}  // namespace qor::testing
