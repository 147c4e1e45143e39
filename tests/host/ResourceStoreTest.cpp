// Tests of the host's resource store.
#include "host/ResourceStore.h"

#include <gtest/gtest.h>

namespace qor::host {
namespace {

TEST(ResourceStore, NormalisesUris) {
  const struct {
    const char* in;
    const char* out;
  } rows[] = {{"/a/b", "/a/b"}, {"a/b", "/a/b"}, {"/a/b?x=1", "/a/b"}, {"", "/"}, {"?q", "/"}};
  for (const auto& row : rows) EXPECT_EQ(ResourceStore::normalise(row.in), row.out) << row.in;
}

TEST(ResourceStore, CreateUpdateEraseCycle) {
  ResourceStore store;
  EXPECT_FALSE(store.get("/a").has_value());
  EXPECT_EQ(store.set("/a", {{"v", 1}}), ResourceEventType::Create);
  EXPECT_EQ(store.set("a", {{"v", 2}}), ResourceEventType::Update);
  ASSERT_TRUE(store.get("/a?ignored").has_value());
  EXPECT_EQ((*store.get("/a"))["v"], 2);
  EXPECT_EQ(store.snapshot(), nlohmann::json({{"/a", {{"v", 2}}}}));
  EXPECT_TRUE(store.erase("/a"));
  EXPECT_FALSE(store.erase("/a"));
  EXPECT_FALSE(store.get("/a").has_value());
}

TEST(ResourceStore, EventTypeNames) {
  EXPECT_STREQ(resourceEventTypeName(ResourceEventType::Create), "Create");
  EXPECT_STREQ(resourceEventTypeName(ResourceEventType::Update), "Update");
  EXPECT_STREQ(resourceEventTypeName(ResourceEventType::Delete), "Delete");
}

}  // namespace
}  // namespace qor::host
