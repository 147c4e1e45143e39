// Tests of the dynamic value: kinds, setters and getters, containers, copy
// and move semantics, loose readings, deep trees and BindingResult.
#include "binding/BindingProperty.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "binding/Base64.h"
#include "binding/PropertyArena.h"

namespace qor {
namespace {

using Kind = BindingPropertyKind;

std::vector<std::string> memberNames(const BindingProperty& v) {
  std::vector<std::string> names;
  v.forEachMember([&](std::string_view name, const BindingProperty&) { names.emplace_back(name); });
  return names;
}

std::vector<std::int64_t> ints(const BindingProperty& v) {
  std::vector<std::int64_t> out;
  for (const auto& e : v.elements()) out.push_back(e.asInt64(-1));
  return out;
}

BindingProperty intList(std::initializer_list<std::int64_t> values) {
  BindingProperty v;
  v.makeCollection();
  for (auto i : values) v.append().setInt64(i);
  return v;
}

// ---- Kinds, setters and getters ----

// A discarded tree frees the general-heap memory of its blobs and collections
// through the arena's chains instead of walking its values, so the chains
// (and their count) must follow every way a blob or collection comes and goes.
TEST(BindingPropertyHeapPayloadTest, CountFollowsBlobsAndCollections) {
  BindingProperty root;
  root.makeStructure();
  const PropertyArena* arena = root.arena();
  ASSERT_NE(arena, nullptr);
  EXPECT_EQ(arena->heapPayloadCount(), 0u);
  root.member("a").setString("text");
  root.member("b").setEnum(3, nullptr);
  EXPECT_EQ(arena->heapPayloadCount(), 0u);
  root.member("list").append().setBlob("xy", 2);
  EXPECT_EQ(arena->heapPayloadCount(), 2u);
  std::vector<std::uint8_t> bytes = {1, 2, 3};
  root.member("list").append().setBlob(std::move(bytes));
  root.member("list").append().makeCollection();
  EXPECT_EQ(arena->heapPayloadCount(), 4u);
  root.member("copy") = root.get("list");  // four more, copied within the tree
  EXPECT_EQ(arena->heapPayloadCount(), 8u);
  root.member("list").element(0).setString("blob replaced");
  EXPECT_EQ(arena->heapPayloadCount(), 7u);
  root.member("list").setBool(true);  // the collection and what it held
  EXPECT_EQ(arena->heapPayloadCount(), 4u);
  BindingProperty other = root;  // a fresh arena counts its own
  ASSERT_NE(other.arena(), arena);
  EXPECT_EQ(other.arena()->heapPayloadCount(), 4u);
  root.member("copy").reset();
  EXPECT_EQ(arena->heapPayloadCount(), 0u);
  EXPECT_EQ(other.get("copy").get(1).asBlob().size(), 3u);
}

TEST(BindingPropertyKindTest, NamesEveryKindAndNothingAbove) {
  const char* expected[] = {"empty",  "bool", "signed", "unsigned",   "float",
                            "string", "blob", "enum",   "collection", "structure"};
  for (std::uint8_t k = 0; k < 10; ++k) {
    EXPECT_STREQ(kindName(k), expected[k]);
    EXPECT_STREQ(kindName(static_cast<Kind>(k)), expected[k]);
  }
  EXPECT_STREQ(kindName(std::uint8_t{10}), "");
  EXPECT_STREQ(kindName(std::uint8_t{255}), "");
}

TEST(BindingPropertyKindTest, FreshValueIsAnEmptyRootWithoutArena) {
  BindingProperty v;
  EXPECT_TRUE(v.isEmpty());
  EXPECT_TRUE(v.ownsArena());
  EXPECT_EQ(v.arena(), nullptr);
  EXPECT_EQ(v.size(), 0u);
  v.setInt64(3);  // scalars need no storage
  EXPECT_EQ(v.arena(), nullptr);
}

struct TypedRow {
  const char* name;
  void (*set)(BindingProperty&);
  Kind kind;
  std::size_t size;
};

const StaticType* fakeType() { return reinterpret_cast<const StaticType*>(0x1000); }

const TypedRow kTypedRows[] = {
    {"bool", [](BindingProperty& v) { v.setBool(true); }, Kind::Bool, 1},
    {"signed", [](BindingProperty& v) { v.setInt64(-7); }, Kind::Signed, 1},
    {"unsigned", [](BindingProperty& v) { v.setUint64(7); }, Kind::Unsigned, 1},
    {"float", [](BindingProperty& v) { v.setDouble(2.5); }, Kind::Float, 1},
    {"string", [](BindingProperty& v) { v.setString("abc"); }, Kind::String, 3},
    {"blob", [](BindingProperty& v) { v.setBlob("\x01\x02", 2); }, Kind::Blob, 2},
    {"enum", [](BindingProperty& v) { v.setEnum(4, fakeType()); }, Kind::Enum, 1},
    {"collection", [](BindingProperty& v) { v.element(4); }, Kind::Collection, 5},
    {"structure", [](BindingProperty& v) { v.member("a"), v.member("b"); }, Kind::Structure, 2},
};

// Each getter answers only for its own kind; every other kind gives the default.
TEST(BindingPropertyKindTest, TypedGettersAnswerOnlyTheirKind) {
  for (const auto& row : kTypedRows) {
    SCOPED_TRACE(row.name);
    BindingProperty v;
    row.set(v);
    EXPECT_EQ(v.kind(), row.kind);
    EXPECT_EQ(v.size(), row.size);
    EXPECT_EQ(v.asBool(false), row.kind == Kind::Bool);
    EXPECT_EQ(v.asInt64(99), row.kind == Kind::Signed ? -7 : 99);
    EXPECT_EQ(v.asUint64(99), row.kind == Kind::Unsigned ? 7u : 99u);
    EXPECT_EQ(v.asDouble(9.5), row.kind == Kind::Float ? 2.5 : 9.5);
    EXPECT_EQ(v.asString("def"), row.kind == Kind::String ? "abc" : "def");
    EXPECT_EQ(v.asBlob().size(), row.kind == Kind::Blob ? 2u : 0u);
    EXPECT_EQ(v.asEnum() != nullptr, row.kind == Kind::Enum);
    EXPECT_EQ(v.elements().size(), row.kind == Kind::Collection ? 5u : 0u);
    v.reset();
    EXPECT_TRUE(v.isEmpty());
    EXPECT_EQ(v.size(), 0u);
  }
}

// Every setter replaces whatever kind the value held before.
TEST(BindingPropertyKindTest, EverySetterReplacesEveryKind) {
  for (const auto& from : kTypedRows) {
    for (const auto& to : kTypedRows) {
      SCOPED_TRACE(std::string(from.name) + " -> " + to.name);
      BindingProperty v;
      from.set(v);
      to.set(v);
      EXPECT_EQ(v.kind(), to.kind);
      EXPECT_EQ(v.size(), to.size);
      if (to.kind == Kind::String) {
        EXPECT_EQ(v.asString(), "abc");
      }
      if (to.kind == Kind::Structure) {
        EXPECT_EQ(memberNames(v), (std::vector<std::string>{"a", "b"}));
      }
    }
  }
}

TEST(BindingPropertyKindTest, EnumKeepsValueAndType) {
  BindingProperty v;
  v.setEnum(-12, fakeType());
  ASSERT_NE(v.asEnum(), nullptr);
  EXPECT_EQ(v.asEnum()->value, -12);
  EXPECT_EQ(v.asEnum()->type, fakeType());
}

TEST(BindingPropertyKindTest, StringSettersTreatNullAndEmptyAlike) {
  BindingProperty v;
  v.setString(static_cast<const char*>(nullptr));
  EXPECT_EQ(v.kind(), Kind::String);
  EXPECT_EQ(v.asString("x"), "");
  v.setString(std::string("with\0nul", 8));
  EXPECT_EQ(v.size(), 8u);
  EXPECT_EQ(v.asString(), std::string_view("with\0nul", 8));
}

// A string set from the value's own text must survive the old text's release.
TEST(BindingPropertyKindTest, SetStringFromItsOwnText) {
  BindingProperty v;
  v.setString(std::string(100, 'q'));
  v.setString(v.asString().substr(1));
  EXPECT_EQ(v.asString(), std::string(99, 'q'));

  BindingProperty tree;
  tree.member("a").setString(std::string(50, 'z'));
  tree.setString(tree.get("a").asString());  // the text lives in a member being discarded
  EXPECT_EQ(tree.asString(), std::string(50, 'z'));
}

TEST(BindingPropertyKindTest, BlobByCopyAndByMove) {
  const std::uint8_t bytes[] = {0, 1, 2, 255};
  BindingProperty v;
  v.setBlob(bytes, sizeof bytes);
  EXPECT_EQ(std::vector<std::uint8_t>(v.asBlob().begin(), v.asBlob().end()),
            std::vector<std::uint8_t>(bytes, bytes + 4));
  v.setBlob(v.asBlob().data() + 1, 2);  // from its own bytes
  EXPECT_EQ(std::vector<std::uint8_t>(v.asBlob().begin(), v.asBlob().end()), (std::vector<std::uint8_t>{1, 2}));

  std::vector<std::uint8_t> source(1000, 7);
  const std::uint8_t* storage = source.data();
  v.setBlob(std::move(source));
  EXPECT_TRUE(source.empty());
  EXPECT_EQ(v.size(), 1000u);
  EXPECT_EQ(v.asBlob().data(), storage);  // taken over, not copied

  v.setBlob(nullptr, 0);
  EXPECT_EQ(v.kind(), Kind::Blob);
  EXPECT_EQ(v.size(), 0u);
}

TEST(BindingPropertyKindTest, MakeContainerKeepsSameKindAndReplacesOthers) {
  BindingProperty v;
  v.element(1).setInt64(5);
  v.makeCollection();
  EXPECT_EQ(v.size(), 2u);
  v.makeStructure();
  EXPECT_EQ(v.kind(), Kind::Structure);
  EXPECT_EQ(v.size(), 0u);
  v.member("x").setBool(true);
  v.makeStructure();
  EXPECT_TRUE(v.get("x").asBool());
  v.makeCollection();
  EXPECT_EQ(v.kind(), Kind::Collection);
  EXPECT_EQ(v.size(), 0u);
}

// ---- Collections ----

TEST(BindingPropertyCollectionTest, IndexingAnEmptyValueGrowsACollection) {
  BindingProperty v;
  v.element(3);
  EXPECT_EQ(v.kind(), Kind::Collection);
  ASSERT_EQ(v.size(), 4u);
  for (const auto& e : v.elements()) {
    EXPECT_TRUE(e.isEmpty());
    EXPECT_FALSE(e.ownsArena());
    EXPECT_EQ(e.arena(), v.arena());
  }
}

TEST(BindingPropertyCollectionTest, ElementDiscardsOtherKinds) {
  BindingProperty v;
  v.member("a").setInt64(1);
  v.element(0).setInt64(2);
  EXPECT_EQ(v.kind(), Kind::Collection);
  EXPECT_EQ(ints(v), (std::vector<std::int64_t>{2}));
}

TEST(BindingPropertyCollectionTest, ReadOnlyGetNeverChangesTheValue) {
  BindingProperty v;
  v.setInt64(5);
  EXPECT_TRUE(v.get(0).isEmpty());
  EXPECT_TRUE(v.get("a").isEmpty());
  EXPECT_EQ(v.asInt64(), 5);
  EXPECT_FALSE(v.hasMember("a"));

  v = intList({1, 2});
  EXPECT_EQ(v.get(1).asInt64(), 2);
  EXPECT_TRUE(v.get(2).isEmpty());
  EXPECT_EQ(&v.get(2), &BindingProperty::emptyValue());
  EXPECT_EQ(v.size(), 2u);
}

// Large collections of strings: growth relocates elements, every value survives.
TEST(BindingPropertyCollectionTest, GrowingKeepsEveryElement) {
  BindingProperty v;
  constexpr int kCount = 20000;
  for (int i = 0; i < kCount; ++i) {
    auto& e = v.append();
    if (i % 2)
      e.setString("s" + std::to_string(i));
    else
      e.member("n").setInt64(i);
  }
  ASSERT_EQ(v.size(), std::size_t{kCount});
  for (int i = 0; i < kCount; ++i) {
    if (i % 2)
      ASSERT_EQ(v.get(i).asString(), "s" + std::to_string(i));
    else
      ASSERT_EQ(v.get(i).get("n").asInt64(), i);
  }
}

TEST(BindingPropertyCollectionTest, ReserveOnlyAffectsCollections) {
  BindingProperty v;
  v.reserve(10);
  EXPECT_TRUE(v.isEmpty());
  v.setString("keep");
  v.reserve(10);
  EXPECT_EQ(v.asString(), "keep");

  v = intList({1, 2, 3});
  v.reserve(1000);
  const BindingProperty* first = &v.get(0);
  for (int i = 0; i < 997; ++i) v.append();
  EXPECT_EQ(&v.get(0), first);  // no reallocation within the reserved capacity
  EXPECT_EQ(v.get(2).asInt64(), 3);
}

// An impossible length is refused before anything is touched.
TEST(BindingPropertyCollectionTest, ReserveBeyondTheLimitLeavesTheValueIntact) {
  BindingProperty v = intList({1, 2, 3});
  EXPECT_THROW(v.reserve(268435456), std::length_error);
  EXPECT_THROW(v.element(268435456), std::length_error);
  EXPECT_EQ(ints(v), (std::vector<std::int64_t>{1, 2, 3}));
  v.append().setInt64(4);
  EXPECT_EQ(ints(v), (std::vector<std::int64_t>{1, 2, 3, 4}));
}

// ---- Structures ----

TEST(BindingPropertyStructureTest, MemberOfACollectionReplacesIt) {
  BindingProperty v = intList({1, 2});
  v.member("a");
  EXPECT_EQ(v.kind(), Kind::Structure);
  EXPECT_EQ(memberNames(v), (std::vector<std::string>{"a"}));
  EXPECT_TRUE(v.get("a").isEmpty());
}

TEST(BindingPropertyStructureTest, MembersIterateInByteOrder) {
  BindingProperty v;
  for (const char* name : {"b", "a", "B", "\xC3\xA9", "ab", "", "a"}) v.member(name);
  EXPECT_EQ(memberNames(v), (std::vector<std::string>{"", "B", "a", "ab", "b", "\xC3\xA9"}));
  EXPECT_EQ(v.size(), 6u);
}

TEST(BindingPropertyStructureTest, LookupIsExactAndCaseSensitive) {
  BindingProperty v;
  v.member("Name").setString("x");
  EXPECT_TRUE(v.hasMember("Name"));
  EXPECT_FALSE(v.hasMember("name"));
  EXPECT_FALSE(v.hasMember("Nam"));
  EXPECT_TRUE(v.get("name").isEmpty());
  EXPECT_EQ(v.get(std::string_view("Name")).asString(), "x");
  EXPECT_EQ(&v.member("Name"), &v.get("Name"));  // finds, does not insert
  EXPECT_EQ(v.size(), 1u);
}

TEST(BindingPropertyStructureTest, MemberReferencesSurviveOtherInsertions) {
  BindingProperty v;
  BindingProperty& m = v.member("m");
  m.setString("kept");
  for (int i = 0; i < 500; ++i) v.member("k" + std::to_string(i)).setInt64(i);
  EXPECT_EQ(&m, &v.get("m"));
  EXPECT_EQ(m.asString(), "kept");
}

TEST(BindingPropertyStructureTest, MutableIterationReachesEveryMember) {
  BindingProperty v;
  v.member("x").setInt64(1);
  v.member("y").setInt64(2);
  v.forEachMember([](std::string_view, BindingProperty& m) { m.setInt64(m.asInt64() * 10); });
  EXPECT_EQ(v.get("x").asInt64(), 10);
  EXPECT_EQ(v.get("y").asInt64(), 20);
}

// Members checked against a standard map, for insertion orders that exercise
// every rebalancing case: ascending (the fast path), descending, shuffled,
// and from both ends at once; every name is inserted twice.
class BindingPropertyMemberOrderTest : public ::testing::TestWithParam<const char*> {};

TEST_P(BindingPropertyMemberOrderTest, AgreesWithAnOrderedMap) {
  constexpr int kNames = 3000;
  std::vector<std::string> names;
  for (int i = 0; i < kNames; ++i) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "m%05d", i * 7);
    names.emplace_back(buffer);
  }
  const std::string order = GetParam();
  if (order == "descending") std::reverse(names.begin(), names.end());
  if (order == "shuffled") std::shuffle(names.begin(), names.end(), std::mt19937(42));
  if (order == "both ends") {
    std::vector<std::string> mixed;
    for (std::size_t lo = 0, hi = names.size(); lo < hi;) {
      mixed.push_back(names[lo++]);
      if (lo < hi) mixed.push_back(names[--hi]);
    }
    names = mixed;
  }

  BindingProperty v;
  std::map<std::string, const BindingProperty*> model;
  for (int pass = 0; pass < 2; ++pass) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      BindingProperty& m = v.member(names[i]);
      if (pass == 0) m.setInt64(static_cast<std::int64_t>(i));
      auto [it, inserted] = model.emplace(names[i], &m);
      ASSERT_EQ(inserted, pass == 0);
      ASSERT_EQ(it->second, &m) << "a member moved or was inserted twice: " << names[i];
    }
  }
  ASSERT_EQ(v.size(), model.size());
  std::vector<std::string> expected;
  for (const auto& [name, member] : model) expected.push_back(name);
  EXPECT_EQ(memberNames(v), expected);
  for (const auto& [name, member] : model) EXPECT_EQ(&v.get(name), member);
  EXPECT_FALSE(v.hasMember("m"));
  EXPECT_FALSE(v.hasMember("m00001"));
  EXPECT_FALSE(v.hasMember("n"));

  // A copy takes the source's shape; it must go on taking members anywhere.
  BindingProperty copy(v);
  EXPECT_EQ(memberNames(copy), expected);
  EXPECT_EQ(copy.get(names.back()).asInt64(), static_cast<std::int64_t>(names.size() - 1));
  for (const char* extra : {"zz", "m00000a", "a", "m10000"}) {
    copy.member(extra);
    expected.push_back(extra);
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(memberNames(copy), expected);
  v.reset();
  EXPECT_EQ(v.arena()->stringCount(), 0u);
  EXPECT_EQ(v.arena()->pageCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Orders, BindingPropertyMemberOrderTest,
                         ::testing::Values("ascending", "descending", "shuffled", "both ends"));

// Insertion keeps the tree balanced: its path is bounded by 64 levels, which
// a structure of 200,000 members fills only if it is badly out of balance.
TEST(BindingPropertyStructureTest, LargeStructuresStayBalanced) {
  BindingProperty v;
  for (int i = 0; i < 200000; ++i) v.member("k" + std::to_string(1000000 + i));
  for (int i = 199999; i >= 0; --i) v.member("j" + std::to_string(1000000 + i));
  EXPECT_EQ(v.size(), 400000u);
  EXPECT_TRUE(v.hasMember("k1100000"));
  // A copy keeps the balance: it takes as many members again.
  BindingProperty copy(v);
  for (int i = 0; i < 200000; ++i) copy.member("l" + std::to_string(1000000 + i));
  EXPECT_EQ(copy.size(), 600000u);
  EXPECT_EQ(copy.get("k1000005").kind(), BindingPropertyKind::Empty);
  EXPECT_TRUE(copy.hasMember("k1000005"));
}

// ---- Copy ----

TEST(BindingPropertyCopyTest, DeepCopyIsIndependent) {
  BindingProperty src;
  src.member("list").element(2).setString("two");
  src.member("blob").setBlob("ab", 2);
  src.member("enum").setEnum(3, fakeType());
  src.member("f").setDouble(1.5);
  BindingProperty copy(src);
  EXPECT_NE(copy.arena(), src.arena());
  src.member("list").element(2).setString("changed");
  src.member("blob").setBlob("zz", 2);
  EXPECT_EQ(copy.get("list").get(2).asString(), "two");
  EXPECT_EQ(copy.get("list").size(), 3u);
  EXPECT_EQ(copy.get("blob").asBlob()[0], 'a');
  EXPECT_EQ(copy.get("enum").asEnum()->value, 3);
  EXPECT_EQ(copy.get("f").asDouble(), 1.5);
  EXPECT_EQ(memberNames(copy), memberNames(src));
}

// Copying replaces: nothing of the destination's old contents remains.
TEST(BindingPropertyCopyTest, CopyAssignmentReplacesTheDestination) {
  BindingProperty dst = intList({1, 2});
  const BindingProperty src = intList({3});
  dst = src;
  EXPECT_EQ(ints(dst), (std::vector<std::int64_t>{3}));

  BindingProperty a, b;
  a.member("x").setInt64(1);
  a.member("y").setInt64(2);
  b.member("y").setInt64(20);
  b.member("z").setInt64(30);
  a = b;
  EXPECT_EQ(memberNames(a), (std::vector<std::string>{"y", "z"}));
  EXPECT_EQ(a.get("y").asInt64(), 20);

  a.member("q") = b;  // into a member, in a's arena
  EXPECT_EQ(a.get("q").get("z").asInt64(), 30);
  EXPECT_EQ(a.get("q").arena(), a.arena());
  EXPECT_FALSE(a.get("q").ownsArena());
}

TEST(BindingPropertyCopyTest, SelfCopyChangesNothing) {
  BindingProperty v = intList({1, 2, 3});
  const BindingProperty& alias = v;
  v = alias;
  EXPECT_EQ(ints(v), (std::vector<std::int64_t>{1, 2, 3}));
}

// A source inside the destination is read before the destination lets go.
TEST(BindingPropertyCopyTest, SourceInsideTheDestination) {
  BindingProperty v;
  v.member("inner").member("deep").setString("d");
  v.member("other").setInt64(1);
  v = v.get("inner");
  EXPECT_EQ(memberNames(v), (std::vector<std::string>{"deep"}));
  EXPECT_EQ(v.get("deep").asString(), "d");

  BindingProperty list = intList({1, 2});
  list.element(1) = intList({7});
  list = list.get(1);
  EXPECT_EQ(ints(list), (std::vector<std::int64_t>{7}));

  BindingProperty s;
  s.member("a").setInt64(4);
  s = s.get("a");  // scalar source inside the destination
  EXPECT_EQ(s.asInt64(), 4);
}

// The destination inside the source: the copy sees the source as it was.
TEST(BindingPropertyCopyTest, DestinationInsideTheSource) {
  BindingProperty v;
  v.member("a").setInt64(1);
  v.member("b").setString("bee");
  v.member("a") = v;
  EXPECT_EQ(v.get("a").get("a").asInt64(), 1);
  EXPECT_EQ(v.get("a").get("b").asString(), "bee");
  EXPECT_EQ(v.get("a").size(), 2u);
  EXPECT_EQ(v.get("b").asString(), "bee");
}

TEST(BindingPropertyCopyTest, CopyOfEmptyOrScalarReplaces) {
  BindingProperty v;
  v.member("x").setString("s");
  v = BindingProperty::emptyValue();
  EXPECT_TRUE(v.isEmpty());
  BindingProperty t(true);
  v = t;
  EXPECT_TRUE(v.asBool());
}

TEST(BindingPropertyCopyTest, StringsCopiedWithinATreeShareTheirRecord) {
  BindingProperty v;
  v.member("a").setString("shared text");
  v.member("b") = v.get("a");
  const auto* record = v.arena()->find("shared text");
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->count, 2u);
  EXPECT_EQ(v.get("a").asString().data(), v.get("b").asString().data());
}

// ---- Move ----

TEST(BindingPropertyMoveTest, RootIntoRootSwapsWithoutCopying) {
  BindingProperty src;
  src.member("s").setString("payload");
  const PropertyArena* arena = src.arena();
  const char* text = src.get("s").asString().data();
  BindingProperty dst = intList({1});
  dst = std::move(src);
  EXPECT_EQ(dst.arena(), arena);
  EXPECT_EQ(dst.get("s").asString().data(), text);
  EXPECT_TRUE(src.isEmpty());
  EXPECT_TRUE(src.ownsArena());
  // The source stays usable.
  src.setString("again");
  EXPECT_EQ(src.asString(), "again");

  BindingProperty constructed(std::move(dst));
  EXPECT_EQ(constructed.arena(), arena);
  EXPECT_TRUE(dst.isEmpty());
}

TEST(BindingPropertyMoveTest, ChildIntoRootCopiesAndResetsTheChild) {
  BindingProperty tree;
  tree.member("child").member("x").setString("value");
  BindingProperty root;
  root = std::move(tree.member("child"));
  EXPECT_NE(root.arena(), tree.arena());
  EXPECT_EQ(root.get("x").asString(), "value");
  EXPECT_TRUE(tree.hasMember("child"));
  EXPECT_TRUE(tree.get("child").isEmpty());
  EXPECT_EQ(tree.arena()->find("value"), nullptr);  // released with the child

  tree.member("other").setString("o");
  BindingProperty constructed(std::move(tree.member("other")));
  EXPECT_EQ(constructed.asString(), "o");
  EXPECT_TRUE(tree.get("other").isEmpty());
}

TEST(BindingPropertyMoveTest, RootIntoMemberCopiesIntoTheTree) {
  BindingProperty tree;
  BindingProperty src = intList({5, 6});
  tree.member("m") = std::move(src);
  EXPECT_EQ(ints(tree.get("m")), (std::vector<std::int64_t>{5, 6}));
  EXPECT_EQ(tree.get("m").arena(), tree.arena());
  EXPECT_TRUE(src.isEmpty());
}

TEST(BindingPropertyMoveTest, MemberIntoItsOwnRoot) {
  BindingProperty tree;
  tree.member("a").member("b").setString("x");
  tree.member("c").setInt64(1);
  tree = std::move(tree.member("a"));
  EXPECT_EQ(memberNames(tree), (std::vector<std::string>{"b"}));
  EXPECT_EQ(tree.get("b").asString(), "x");
}

// The root moved into its own member: the copy lands in the member, then
// resetting the source discards the whole tree, member included.
TEST(BindingPropertyMoveTest, RootIntoItsOwnMember) {
  BindingProperty tree;
  tree.member("x").member("old").setString("old text");
  tree.member("y").setString("y");
  tree.member("x") = std::move(tree);
  EXPECT_TRUE(tree.isEmpty());
  EXPECT_EQ(tree.arena()->stringCount(), 0u);
  EXPECT_EQ(tree.arena()->pageCount(), 0u);
}

TEST(BindingPropertyMoveTest, SiblingIntoSibling) {
  BindingProperty tree;
  tree.member("a").setString("from a");
  tree.member("b").member("z");
  tree.member("b") = std::move(tree.member("a"));
  EXPECT_EQ(tree.get("b").asString(), "from a");
  EXPECT_TRUE(tree.get("a").isEmpty());
}

TEST(BindingPropertyMoveTest, ValuesInAVectorKeepTheirTrees) {
  std::vector<BindingProperty> values;
  for (int i = 0; i < 50; ++i) values.emplace_back().member("i").setInt64(i);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(values[i].get("i").asInt64(), i);
}

// ---- Loose readings ----

struct TextRow {
  const char* name;
  void (*set)(BindingProperty&);
  const char* text;
  bool truth;
};

const TextRow kTextRows[] = {
    {"empty", [](BindingProperty&) {}, "", false},
    {"true", [](BindingProperty& v) { v.setBool(true); }, "true", true},
    {"false", [](BindingProperty& v) { v.setBool(false); }, "false", false},
    {"int min", [](BindingProperty& v) { v.setInt64(std::numeric_limits<std::int64_t>::min()); },
     "-9223372036854775808", true},
    {"int zero", [](BindingProperty& v) { v.setInt64(0); }, "0", false},
    {"uint max", [](BindingProperty& v) { v.setUint64(std::numeric_limits<std::uint64_t>::max()); },
     "18446744073709551615", true},
    {"uint zero", [](BindingProperty& v) { v.setUint64(0); }, "0", false},
    {"float", [](BindingProperty& v) { v.setDouble(-1.25); }, "-1.250000", true},
    {"float tiny", [](BindingProperty& v) { v.setDouble(1e-9); }, "0.000000", true},
    {"float zero", [](BindingProperty& v) { v.setDouble(0.0); }, "0.000000", false},
    {"float negative zero", [](BindingProperty& v) { v.setDouble(-0.0); }, "-0.000000", false},
    {"float NaN", [](BindingProperty& v) { v.setDouble(std::nan("")); }, "nan", true},
    {"float big", [](BindingProperty& v) { v.setDouble(1e20); }, "100000000000000000000.000000", true},
    {"string true", [](BindingProperty& v) { v.setString("true"); }, "true", true},
    {"string 1", [](BindingProperty& v) { v.setString("1"); }, "1", true},
    {"string TRUE", [](BindingProperty& v) { v.setString("TRUE"); }, "TRUE", false},
    {"string yes", [](BindingProperty& v) { v.setString("yes"); }, "yes", false},
    {"string empty", [](BindingProperty& v) { v.setString(""); }, "", false},
    {"blob", [](BindingProperty& v) { v.setBlob("foob", 4); }, "Zm9vYg==", true},
    {"blob empty", [](BindingProperty& v) { v.setBlob(nullptr, 0); }, "", false},
    {"enum", [](BindingProperty& v) { v.setEnum(-3, nullptr); }, "-3", true},
    {"enum zero", [](BindingProperty& v) { v.setEnum(0, nullptr); }, "0", false},
    {"collection", [](BindingProperty& v) { v.append(); }, "", true},
    {"collection empty", [](BindingProperty& v) { v.makeCollection(); }, "", false},
    {"structure", [](BindingProperty& v) { v.member("a").setString("x"); }, "", true},
    {"structure empty", [](BindingProperty& v) { v.makeStructure(); }, "", false},
};

TEST(BindingPropertyLooseTest, TextAndTruthOfEveryKind) {
  for (const auto& row : kTextRows) {
    SCOPED_TRACE(row.name);
    BindingProperty v;
    row.set(v);
    const std::string text = v.asText();
    if (std::string_view(row.text) == "nan")
      EXPECT_NE(text.find("nan"), std::string::npos) << text;
    else
      EXPECT_EQ(text, row.text);
    EXPECT_EQ(v.asTruth(), row.truth);
  }
}

TEST(BindingPropertyLooseTest, HugeFloatPrintsEveryDigit) {
  BindingProperty v;
  v.setDouble(1e300);
  const std::string text = v.asText();
  EXPECT_EQ(text.size(), 301u + 7u);
  EXPECT_EQ(text.substr(0, 2), "10");
  EXPECT_EQ(text.substr(text.size() - 7), ".000000");
}

// RFC 4648 section 10 test vectors.
TEST(Base64Test, StandardVectors) {
  const std::pair<const char*, const char*> rows[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [in, out] : rows) {
    std::string_view s(in);
    EXPECT_EQ(base64Encode({reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}), out) << in;
  }
  const std::uint8_t high[] = {0xFB, 0xFF, 0xBF};
  EXPECT_EQ(base64Encode(high), "+/+/");
}

// ---- Deep trees ----

// Trees as deep as readers accept are copied, reset and destroyed without
// exhausting the stack.
TEST(BindingPropertyDeepTest, DeepTreesCopyResetAndDestroy) {
  constexpr int kDepth = 1100;
  for (bool structures : {false, true}) {
    SCOPED_TRACE(structures ? "structures" : "collections");
    BindingProperty root;
    BindingProperty* cur = &root;
    for (int i = 0; i < kDepth; ++i) cur = structures ? &cur->member("k") : &cur->append();
    cur->setString("leaf");
    BindingProperty copy(root);
    const BindingProperty* walk = &copy;
    int depth = 0;
    while (walk->kind() != Kind::String) {
      walk = structures ? &walk->get("k") : &walk->get(0);
      ++depth;
    }
    EXPECT_EQ(depth, kDepth);
    EXPECT_EQ(walk->asString(), "leaf");
    copy.reset();
    EXPECT_EQ(copy.arena()->stringCount(), 0u);
    EXPECT_EQ(copy.arena()->pageCount(), 0u);
  }
}

// ---- BindingResult ----

TEST(BindingResultTest, FreshErrorAndReset) {
  BindingResult r;
  EXPECT_TRUE(r.ok);
  EXPECT_TRUE(r.value.isEmpty());
  EXPECT_EQ(r.errorText(), "");

  r.value.setInt64(3);
  r.setError("Something failed");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.value.kind(), Kind::Structure);
  EXPECT_EQ(memberNames(r.value), (std::vector<std::string>{"error"}));
  EXPECT_EQ(r.errorText(), "Something failed");

  r.setError(r.errorText());  // message taken from the value being replaced
  EXPECT_EQ(r.errorText(), "Something failed");

  r.value.member("error").setInt64(1);
  EXPECT_EQ(r.errorText(), "");
  r.value.reset();
  EXPECT_EQ(r.errorText(), "");

  r.resetOk();
  EXPECT_TRUE(r.ok);
  EXPECT_TRUE(r.value.isEmpty());
}

}  // namespace
}  // namespace qor
