// The inventory records on their own: conversions to and from values,
// missing members, the misspelled wire name, enumerations, ownership and the
// cap item type table.
#include "inventory/InventoryRecords.h"

#include "binding/PropertyConverter.h"
#include "binding/TypeRegistry.h"
#include "formats/JsonReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Api = Vane::Client::Inventory::Api;

namespace qor::testing {
namespace {

class InventoryRecordsTest : public ::testing::Test {
 protected:
  void SetUp() override { Api::registerInventoryRecords(registry, "QorInventory", {"Plugins"}); }

  template <class T>
  bool read(const std::string& json, T& out) {
    return readJsonInto(json, out, registry);
  }

  TypeRegistry registry;
};

TEST_F(InventoryRecordsTest, ItemLeavesItsInstanceIdBehind) {
  Api::InventoryItem item{"secret-instance", 42, "EMOTE", Api::ItemOwnershipType::Rented};
  BindingResult r;
  toProperty(r, item, registry);
  ASSERT_TRUE(r.ok) << r.errorText();
  std::vector<std::string> members;
  r.value.forEachMember([&](std::string_view name, const BindingProperty&) { members.emplace_back(name); });
  EXPECT_EQ(members, (std::vector<std::string>{"inventoryType", "itemId", "ownershipType"}));
  EXPECT_EQ(r.value.get("itemId").asInt64(), 42);
  EXPECT_EQ(r.value.get("inventoryType").asString(), "EMOTE");
  ASSERT_NE(r.value.get("ownershipType").asEnum(), nullptr);
  EXPECT_EQ(r.value.get("ownershipType").asEnum()->value, 1);
}

TEST_F(InventoryRecordsTest, MissingMembersKeepInitialValues) {
  Api::CatalogItem noInstance;
  ASSERT_TRUE(read(R"({"itemId":3,"inventoryType":"A"})", noInstance));
  EXPECT_FALSE(noInstance.itemInstanceId.has_value());
  Api::CatalogItem noId;
  ASSERT_TRUE(read(R"({"itemInstanceId":"i"})", noId));
  EXPECT_EQ(noId.itemId, 0);
  EXPECT_EQ(noId.itemInstanceId, std::optional<std::string>("i"));
  Api::CatalogItem emptyId;
  ASSERT_TRUE(read(R"({"itemInstanceId":""})", emptyId));
  EXPECT_EQ(emptyId.itemInstanceId, std::optional<std::string>(""));

  Api::InventoryResponseDTO response;
  ASSERT_TRUE(read("{}", response));
  EXPECT_TRUE(response.data.items.empty());
  EXPECT_TRUE(response.data.itemsJwt.empty());
  // The empty document is no record.
  Api::InventoryResponseDTO none;
  EXPECT_FALSE(read("", none));
}

TEST_F(InventoryRecordsTest, OnlyTheMisspelledKeyFillsTheEntitlementTypeId) {
  Api::InventoryItemDTO correct, misspelled;
  ASSERT_TRUE(read(R"({"entitlementTypeId":"x","entitlementId":"e"})", correct));
  EXPECT_EQ(correct.eneitlementTypeId, "");
  EXPECT_EQ(correct.entitlementId, "e");
  ASSERT_TRUE(read(R"({"eneitlementTypeId":"y"})", misspelled));
  EXPECT_EQ(misspelled.eneitlementTypeId, "y");
}

TEST_F(InventoryRecordsTest, DtoFieldsAndItemsAreRead) {
  Api::InventoryResponseDTO response;
  ASSERT_TRUE(read(R"({"data":{"puuid":"p","accountId":7,"summonerId":9,"expires":"e","itemsJwt":"j",
                      "items":{"A":[{"itemId":1,"quantity":3,"wins":4,"lsb":true,"instanceId":"i"}],
                               "B":5}}})",
                   response));
  const Api::InventoryDTO& d = response.data;
  EXPECT_EQ(d.puuid, "p");
  EXPECT_EQ(d.accountId, 7u);
  EXPECT_EQ(d.summonerId, 9u);
  EXPECT_EQ(d.expires, "e");
  EXPECT_EQ(d.itemsJwt, "j");
  ASSERT_EQ(d.items.size(), 2u);  // values stay unconverted, whatever they are
  std::vector<Api::InventoryItemDTO> a;
  BindingResult r;
  fromProperty(r, a, d.items.at("A"), kTopLevelFieldName, registry);
  ASSERT_TRUE(r.ok) << r.errorText();
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].quantity, 3u);
  EXPECT_EQ(a[0].wins, 4u);
  EXPECT_TRUE(a[0].lsb);
  EXPECT_EQ(a[0].instanceId, "i");
  EXPECT_EQ(d.items.at("B").asUint64(), 5u);
}

TEST_F(InventoryRecordsTest, LoginStatesHaveTheirOwnValues) {
  const std::pair<const char*, Api::LoginSessionStates> rows[] = {
      {"IN_PROGRESS", Api::LoginSessionStates::InProgress},
      {"ERROR", Api::LoginSessionStates::Error},
      {"SUCCEEDED", Api::LoginSessionStates::Succeeded},
      {"LOGGING_OUT", Api::LoginSessionStates::LoggingOut},
  };
  for (const auto& [name, state] : rows) {
    Api::LoginSession session;
    ASSERT_TRUE(read(std::string(R"({"state":")") + name + R"(","gasToken":{"k":[1]}})", session)) << name;
    EXPECT_EQ(session.state, state) << name;
    EXPECT_EQ(session.gasToken.get("k").size(), 1u);
  }
  EXPECT_EQ(static_cast<int>(Api::LoginSessionStates::Error), 3);
  EXPECT_EQ(static_cast<int>(Api::LoginSessionStates::Succeeded), 1);
  Api::LoginSession bad;
  EXPECT_FALSE(read(R"({"state":"DONE"})", bad));
}

TEST_F(InventoryRecordsTest, OwnershipPrefersF2pThenRental) {
  struct Row {
    bool f2p, rental;
    Api::ItemOwnershipType expected;
  };
  const Row rows[] = {{false, false, Api::ItemOwnershipType::Owned},
                      {false, true, Api::ItemOwnershipType::Rented},
                      {true, false, Api::ItemOwnershipType::F2P},
                      {true, true, Api::ItemOwnershipType::F2P}};
  for (const Row& row : rows) {
    Api::InventoryItemDTO dto;
    dto.f2p = row.f2p;
    dto.rental = row.rental;
    EXPECT_EQ(Api::ownershipOf(dto), row.expected) << row.f2p << row.rental;
  }
}

TEST_F(InventoryRecordsTest, CapTableMatchesTypeIdsByteForByte) {
  ASSERT_EQ(std::size(Api::kCapItemTypes), 5u);
  for (const Api::CapItemType& row : Api::kCapItemTypes) {
    const Api::CapItemType* found = Api::findCapItemType(row.typeId);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->inventoryType, row.inventoryType);
  }
  EXPECT_EQ(Api::findCapItemType("E458D471-B176-4345-8FB3-3EC3E0DE29A3"), nullptr);
  EXPECT_EQ(Api::findCapItemType("e458d471-b176-4345-8fb3-3ec3e0de29a3 "), nullptr);
  EXPECT_EQ(Api::findCapItemType(""), nullptr);
}

TEST_F(InventoryRecordsTest, RepeatedRegistrationKeepsTheFirst) {
  const TypeDescriptor* item = registry.findTypeByName("QorInventoryInventoryItem");
  ASSERT_NE(item, nullptr);
  const std::size_t fields = item->fields.size();
  Api::registerInventoryRecords(registry, "QorInventory", {"Again"});
  EXPECT_EQ(registry.findTypeByName("QorInventoryInventoryItem"), item);
  EXPECT_EQ(item->fields.size(), fields);
  EXPECT_EQ(item->tags, std::vector<std::string>{"Plugins"});
}

}  // namespace
}  // namespace qor::testing
