// Tests of the dynamic value: kinds, setters and getters, containers, copy
// and move semantics, loose readings and BindingResult.
#include "binding/BindingProperty.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

TEST(BindingPropertySmoke, BuildsAndCopies) {
  BindingProperty root;
  root.member("b").setString("x");
  root.member("a").element(2).setInt64(5);
  BindingProperty copy(root);
  EXPECT_EQ(copy.get("a").get(2).asInt64(), 5);
  EXPECT_EQ(copy.get("b").asString(), "x");
  EXPECT_EQ(copy.size(), 2u);
}

}  // namespace
}  // namespace qor
