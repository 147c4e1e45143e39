// Tests of finding functions in and describing an API table.
#include "host/ApiDescription.h"

#include <gtest/gtest.h>

namespace qor::host {
namespace {

void QOR_CDECL noDispatch(CoreResponse*, const CoreRequest*) {}

// A table with the three inventory routes, one templated route and a
// PROPFIND route, built the way a plug-in lays it out.
class ApiTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const struct {
      const char* name;
      const char* uri;
      std::uint32_t method;
      const char* methodName;
    } routes[] = {{"GetQorInventoryV1Inventory", "/qor-inventory/v1/inventory", 2, ""},
                  {"GetQorInventoryV1SignedInventory", "/qor-inventory/v1/signedInventory", 2, ""},
                  {"GetItemsById", "/qor-inventory/v1/{id}", 2, ""},
                  {"GetQorInventoryV1InventoryEmotes", "/qor-inventory/v1/inventory/emotes", 2, ""},
                  {"Propfind", "/dav", 8, "PROPFIND"}};
    for (std::size_t i = 0; i < 5; ++i) {
      records_[i].head.name = routes[i].name;
      records_[i].uriTemplate = routes[i].uri;
      records_[i].method = routes[i].method;
      records_[i].methodName = routes[i].methodName;
      records_[i].dispatch = &noDispatch;
      if (i + 1 < 5) records_[i].head.next = &records_[i + 1];
    }
    argument_.name = "inventoryTypes";
    argument_.typeCode = 15;
    argument_.elementCode = 12;
    location_.location = 1;
    records_[0].head.arguments = &argument_;
    records_[0].head.argumentCount = 1;
    records_[0].locations = &location_;
    records_[0].head.returnCode = 15;
    records_[0].head.returnElementCode = 17;
    records_[0].head.returnTypeName = "QorInventoryInventoryItem";

    fields_[0] = {&fields_[1], "itemId", "", 4, 6, 0, "", 0};
    fields_[1] = {nullptr, "inventoryType", "", 8, 12, 0, "", 0};
    enumerators_[0] = {&enumerators_[1], "OWNED", "", 0};
    enumerators_[1] = {nullptr, "RENTED", "", 1};
    types_[0].name = "QorInventoryInventoryItem";
    types_[0].fields = fields_;
    types_[0].count = 2;
    types_[0].next = &types_[1];
    types_[1].name = "QorInventoryItemOwnershipType";
    types_[1].enumerators = enumerators_;
    types_[1].count = 2;
    event_.name = "OnJsonApiEvent";
    event_.nameSpace = "vclient";
    event_.typeName = "PluginResourceEvent";

    table_.functions = records_;
    table_.functionCount = 5;
    table_.types = types_;
    table_.typeCount = 2;
    table_.events = &event_;
    table_.eventCount = 1;
  }

  ApiFunctionRecord records_[5]{};
  ApiArgumentRecord argument_{};
  ApiArgumentLocationEntry location_{};
  ApiFieldRecord fields_[2]{};
  ApiEnumeratorRecord enumerators_[2]{};
  ApiTypeRecord types_[2]{};
  ApiEventRecord event_{};
  PluginApiTable table_{};
};

TEST_F(ApiTableTest, FindsTheFittingFunction) {
  const struct {
    std::uint32_t method;
    const char* methodName;
    const char* path;
    int index;  // -1: none
  } rows[] = {
      {2, "", "/qor-inventory/v1/inventory", 0},
      {2, "", "/qor-inventory/v1/signedInventory", 1},
      {2, "", "/qor-inventory/v1/inventory/emotes", 3},
      // A route without variables wins over an earlier templated one.
      {2, "", "/qor-inventory/v1/other", 2},
      {6, "", "/qor-inventory/v1/inventory", -1},
      {8, "PROPFIND", "/dav", 4},
      {8, "MKCOL", "/dav", -1},
      {2, "", "/nothing", -1},
  };
  for (const auto& row : rows) {
    const ApiFunctionRecord* found = findFunction(&table_, row.method, row.methodName, row.path);
    EXPECT_EQ(found, row.index < 0 ? nullptr : &records_[row.index]) << row.path;
  }
  EXPECT_EQ(findFunction(nullptr, 2, "", "/x"), nullptr);
}

TEST_F(ApiTableTest, DescribesFunctionsTypesAndEvents) {
  const nlohmann::json description = describeApiTable(&table_);
  ASSERT_EQ(description["functions"].size(), 5u);
  const nlohmann::json& inventory = description["functions"][0];
  EXPECT_EQ(inventory["name"], "GetQorInventoryV1Inventory");
  EXPECT_EQ(inventory["method"], "GET");
  EXPECT_EQ(inventory["uri"], "/qor-inventory/v1/inventory");
  EXPECT_EQ(inventory["returns"],
            nlohmann::json({{"type", "vector"},
                            {"element", "struct"},
                            {"typeName", "QorInventoryInventoryItem"}}));
  EXPECT_EQ(inventory["arguments"][0]["name"], "inventoryTypes");
  EXPECT_EQ(inventory["arguments"][0]["location"], "query");
  EXPECT_EQ(inventory["arguments"][0]["element"], "string");
  EXPECT_EQ(description["functions"][4]["method"], "PROPFIND");
  EXPECT_EQ(description["types"][0]["fields"][1]["name"], "inventoryType");
  EXPECT_EQ(description["types"][1]["enumerators"][1]["name"], "RENTED");
  EXPECT_EQ(description["events"][0]["typeName"], "PluginResourceEvent");
  EXPECT_EQ(describeApiTable(nullptr)["functions"], nlohmann::json::array());
}

TEST_F(ApiTableTest, DescribesTheTableAsHelpRecords) {
  records_[1].head.returnCode = 19;  // map of string
  records_[1].head.returnElementCode = 12;
  records_[1].head.asyncTypeName = "BindingGenericAsyncEvent";
  fields_[1].typeCode = 16;  // an enumeration without a known descriptor
  const nlohmann::json help = describeApiHelp(&table_);
  ASSERT_EQ(help["functions"].size(), 5u);
  EXPECT_EQ(help["functions"][0]["arguments"][0],
            nlohmann::json({{"name", "inventoryTypes"},
                            {"description", ""},
                            {"type", {{"type", "vector"}, {"elementType", "string"}}},
                            {"optional", false}}));
  EXPECT_EQ(help["functions"][0]["returns"],
            nlohmann::json({{"type", "vector"}, {"elementType", "QorInventoryInventoryItem"}}));
  EXPECT_EQ(help["functions"][0]["async"], "");
  EXPECT_EQ(help["functions"][1]["returns"],
            nlohmann::json({{"type", "map"}, {"elementType", "string"}}));
  EXPECT_EQ(help["functions"][1]["async"], "BindingGenericAsyncEvent");
  // A structure lists fields and no values; an enumeration the reverse.
  const nlohmann::json& item = help["types"][0];
  EXPECT_EQ(item["fields"][0]["type"], nlohmann::json({{"type", "int32"}, {"elementType", ""}}));
  EXPECT_EQ(item["fields"][1]["type"], nlohmann::json({{"type", "enum"}, {"elementType", ""}}));
  EXPECT_EQ(item["fields"][1]["offset"], 8);
  EXPECT_EQ(item["values"], nlohmann::json::array());
  const nlohmann::json& ownership = help["types"][1];
  EXPECT_EQ(ownership["fields"], nlohmann::json::array());
  EXPECT_EQ(ownership["values"][1], nlohmann::json({{"name", "RENTED"}, {"description", ""}, {"value", 1}}));
  EXPECT_EQ(help["events"][0]["type"],
            nlohmann::json({{"type", "PluginResourceEvent"}, {"elementType", ""}}));
  EXPECT_EQ(describeApiHelp(nullptr)["events"], nlohmann::json::array());
}

}  // namespace
}  // namespace qor::host
