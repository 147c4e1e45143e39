// Tests of the conversions between CoreValue trees and JSON.
#include "host/CoreValueJson.h"

#include <gtest/gtest.h>

#include <cstring>

namespace qor::host {
namespace {

using nlohmann::json;

// JSON that survives the trip to a CoreValue and back unchanged.
class CoreValueRoundTrip : public ::testing::TestWithParam<const char*> {};

TEST_P(CoreValueRoundTrip, KeepsValue) {
  const json in = json::parse(GetParam());
  CoreValue value{};
  ASSERT_TRUE(jsonToCoreValue(in, value));
  EXPECT_EQ(coreValueToJson(value), in);
  releaseCoreValue(value);
  EXPECT_EQ(value.kind, static_cast<uint32_t>(CORE_VALUE_EMPTY));
}

INSTANTIATE_TEST_SUITE_P(
    Values, CoreValueRoundTrip,
    ::testing::Values("null", "true", "false", "0", "18446744073709551615",
                      "-9223372036854775808", "-1", "2.5", R"("")", R"("text with \u00e9")",
                      "[]", "{}", R"([1,"a",[true,null],{"k":-3}])",
                      R"({"data":{"items":{"EMOTE":[{"itemId":1}]},"itemsJwt":"x.y.z"}})"));

TEST(CoreValueJson, WritesOwnedKindsAndSignedness) {
  const json in = {{"n", -4}, {"u", 4}, {"s", "x"}, {"d", 0.5}, {"b", true}};
  CoreValue value{};
  ASSERT_TRUE(jsonToCoreValue(in, value));
  ASSERT_EQ(value.kind, static_cast<uint32_t>(CORE_VALUE_STRUCT));
  ASSERT_EQ(value.u.block.count, 5u);
  const auto* members = static_cast<const CoreStructMember*>(value.u.block.data);
  // Members come in key order: b, d, n, s, u.
  const struct {
    const char* key;
    uint32_t kind;
  } expected[] = {{"b", CORE_VALUE_BOOL},
                  {"d", CORE_VALUE_DOUBLE},
                  {"n", CORE_VALUE_SIGNED},
                  {"s", CORE_VALUE_STRING_OWNED},
                  {"u", CORE_VALUE_UNSIGNED}};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_STREQ(members[i].key, expected[i].key);
    EXPECT_EQ(members[i].ownsKey, 1);
    EXPECT_EQ(static_cast<uint32_t>(members[i].value.kind), expected[i].kind) << expected[i].key;
  }
  releaseCoreValue(value);
}

TEST(CoreValueJson, ReadsBorrowedStringsAndBlobs) {
  char text[] = "borrowed";
  CoreValue items[2]{};
  items[0].kind = CORE_VALUE_STRING_BORROWED;
  items[0].u.block.data = text;
  items[1].kind = CORE_VALUE_BLOB_BORROWED;
  items[1].u.block.data = text;
  items[1].u.block.count = 3;
  CoreValue array{};
  array.kind = CORE_VALUE_ARRAY;
  array.u.block.data = items;
  array.u.block.count = 2;
  EXPECT_EQ(coreValueToJson(array), json::parse(R"(["borrowed","bor"])"));
}

TEST(CoreValueJson, BrokenRecordsReadAsNull) {
  const struct {
    uint32_t kind;
    uint32_t count;
  } rows[] = {{CORE_VALUE_ARRAY, 3}, {CORE_VALUE_STRUCT, 1}, {CORE_VALUE_STRING_OWNED, 0},
              {CORE_VALUE_BLOB_OWNED, 2}, {99, 0}};
  for (const auto& row : rows) {
    CoreValue value{};
    value.kind = row.kind;
    value.u.block.data = nullptr;
    value.u.block.count = row.count;
    EXPECT_TRUE(coreValueToJson(value).is_null()) << "kind " << row.kind;
  }
}

TEST(CoreValueJson, NullMemberKeyReadsAsEmptyKey) {
  CoreStructMember member{};
  member.key = nullptr;
  member.value.kind = CORE_VALUE_UNSIGNED;
  member.value.u.u64 = 7;
  CoreValue value{};
  value.kind = CORE_VALUE_STRUCT;
  value.u.block.data = &member;
  value.u.block.count = 1;
  EXPECT_EQ(coreValueToJson(value), json({{"", 7}}));
}

json nested(unsigned depth) {
  json value = 1;
  for (unsigned i = 0; i < depth; ++i) value = json::array({value});
  return value;
}

TEST(CoreValueJson, DepthIsBounded) {
  CoreValue value{};
  std::string error;
  EXPECT_TRUE(jsonToCoreValue(nested(kMaxValueDepth), value, &error)) << error;
  EXPECT_EQ(coreValueToJson(value), nested(kMaxValueDepth));
  releaseCoreValue(value);

  EXPECT_FALSE(jsonToCoreValue(nested(kMaxValueDepth + 1), value, &error));
  EXPECT_EQ(error, "value is nested too deeply");
  EXPECT_EQ(value.kind, static_cast<uint32_t>(CORE_VALUE_EMPTY));
}

TEST(CoreValueJson, DeepValueFromPluginIsCutNotFollowed) {
  // A chain deeper than the limit, built by hand as a plug-in might.
  std::vector<CoreValue> chain(kMaxValueDepth + 5);
  for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
    chain[i].kind = CORE_VALUE_ARRAY;
    chain[i].u.block.data = &chain[i + 1];
    chain[i].u.block.count = 1;
  }
  chain.back().kind = CORE_VALUE_BOOL;
  chain.back().u.boolean = 1;
  json out = coreValueToJson(chain[0]);
  unsigned depth = 0;
  while (out.is_array()) {
    out = json(out[0]);
    ++depth;
  }
  EXPECT_EQ(depth, kMaxValueDepth);
  EXPECT_TRUE(out.is_null());
}

TEST(CoreValueJson, ReleaseLeavesBorrowedStorageAlone) {
  char text[] = "mine";
  CoreValue value{};
  value.kind = CORE_VALUE_STRING_BORROWED;
  value.u.block.data = text;
  releaseCoreValue(value);  // would crash under ASan if it freed the stack buffer
  EXPECT_EQ(value.kind, static_cast<uint32_t>(CORE_VALUE_EMPTY));
  EXPECT_STREQ(text, "mine");
}

}  // namespace
}  // namespace qor::host
