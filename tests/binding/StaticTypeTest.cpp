// Tests of StaticType identities: one record per type, distinct identities,
// the reserved placeholder and collision resolution.
#include "binding/StaticType.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace qor {
namespace {

struct A {};
struct B {};
enum class C : int {};

TEST(StaticTypeTest, OneRecordPerType) {
  EXPECT_EQ(&staticType<A>(), &staticType<A>());
  EXPECT_EQ(&staticType<const A>(), &staticType<A>());
  EXPECT_NE(&staticType<A>(), &staticType<B>());
  EXPECT_EQ(staticType<A>().name, "qor::{anonymous}::A");
  EXPECT_EQ(staticType<std::vector<C>>().name, "std::vector<qor::{anonymous}::C>");
  // The identity is the hash of the name, fixed at build time.
  EXPECT_EQ(staticType<B>().id, fnv1a32(staticType<B>().name));
}

TEST(StaticTypeTest, IdentitiesAreDistinct) {
  std::set<std::uint32_t> ids = {staticType<A>().id, staticType<B>().id, staticType<C>().id,
                                 staticType<int>().id, staticType<unsigned>().id,
                                 staticType<std::string>().id,
                                 staticType<std::map<std::string, int>>().id};
  EXPECT_EQ(ids.size(), 7u);
  EXPECT_EQ(ids.count(0), 0u) << "no type takes the placeholder identity";
}

TEST(StaticTypeTest, Placeholder) {
  EXPECT_EQ(StaticType::placeholder().id, 0u);
  EXPECT_EQ(StaticType::placeholder().name, "#00000000");
  EXPECT_EQ(staticTypeDisplayName(0xABCDEF12u), "#ABCDEF12");
  EXPECT_EQ(staticTypeDisplayName(0x1Fu), "#0000001F");
}

// A name whose identity is taken by another name moves to the next free one.
TEST(StaticTypeTest, CollisionsGetTheNextFreeIdentity) {
  const StaticType& first = StaticType::intern(0x7fff0000u, "collision-test-first");
  const StaticType& second = StaticType::intern(0x7fff0000u, "collision-test-second");
  const StaticType& again = StaticType::intern(0x7fff0000u, "collision-test-first");
  EXPECT_EQ(first.id, 0x7fff0000u);
  EXPECT_EQ(second.id, 0x7fff0001u);
  EXPECT_EQ(&again, &first);
  const StaticType& zero = StaticType::intern(0, "collision-test-zero");
  EXPECT_NE(zero.id, 0u);
}

}  // namespace
}  // namespace qor
