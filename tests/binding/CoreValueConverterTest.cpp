// Tests of the conversions between BindingProperty and CoreValue: every tag
// both ways, ownership of what this side allocates, and refusal of bad input
// from the core (unknown tags, null pointers, excessive nesting).
#include "binding/CoreValueConverter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "binding/TypeRegistration.h"
#include "TestValues.h"

namespace qor {
namespace {

// Reads a field of a packed record by value: a reference to it could be misaligned.
template <class T>
T V(T value) {
  return value;
}

using namespace qor::test;

enum class Mood : std::int32_t { Calm = 3 };

CoreValue tagged(std::uint32_t kind) {
  CoreValue v;
  std::memset(&v, 0, sizeof v);
  v.kind = kind;
  return v;
}

TEST(CoreValueConverterTest, TagNames) {
  const char* names[] = {"", "bool", "signed", "unsigned", "float", "string", "string",
                         "blob", "blob", "collection", "structure", ""};
  for (std::uint32_t t = 0; t < std::size(names); ++t) EXPECT_STREQ(coreValueTagName(t), names[t]);
}

TEST(CoreValueConverterTest, ScalarsToCoreValue) {
  CoreValue v;
  toCoreValue(Empty(), v, nullptr);
  EXPECT_EQ(V(v.kind), CORE_VALUE_EMPTY);
  toCoreValue(B(true), v, nullptr);
  EXPECT_EQ(V(v.kind), CORE_VALUE_BOOL);
  EXPECT_EQ(V(v.u.boolean), 1);
  toCoreValue(S(-5), v, nullptr);
  EXPECT_EQ(V(v.kind), CORE_VALUE_SIGNED);
  EXPECT_EQ(V(v.u.i64), -5);
  toCoreValue(U(18446744073709551615u), v, nullptr);
  EXPECT_EQ(V(v.kind), CORE_VALUE_UNSIGNED);
  EXPECT_EQ(V(v.u.u64), 18446744073709551615u);
  toCoreValue(F(0.25), v, nullptr);
  EXPECT_EQ(V(v.kind), CORE_VALUE_DOUBLE);
  EXPECT_EQ(V(v.u.f64), 0.25);

  toCoreValue(Str("hi"), v, nullptr);
  EXPECT_EQ(V(v.kind), CORE_VALUE_STRING_OWNED);
  EXPECT_EQ(V(v.u.block.count), 2u);
  EXPECT_STREQ(static_cast<const char*>(v.u.block.data), "hi");
  releaseCoreValue(v);
  EXPECT_EQ(V(v.kind), CORE_VALUE_EMPTY);

  toCoreValue(Blob(std::string_view("a\0b", 3)), v, nullptr);
  EXPECT_EQ(V(v.kind), CORE_VALUE_BLOB_OWNED);
  ASSERT_EQ(V(v.u.block.count), 3u);
  EXPECT_EQ(V(std::memcmp(v.u.block.data, "a\0b", 3)), 0);
  releaseCoreValue(v);
}

TEST(CoreValueConverterTest, EnumsBecomeNamesWithARegistry) {
  TypeRegistry r;
  registerEnum<Mood>(r, "Mood").value("Calm", Mood::Calm);
  CoreValue v;
  toCoreValue(E(3, &staticType<Mood>()), v, &r);
  ASSERT_EQ(V(v.kind), CORE_VALUE_STRING_OWNED);
  EXPECT_STREQ(static_cast<const char*>(v.u.block.data), "Calm");
  releaseCoreValue(v);
  toCoreValue(E(4, &staticType<Mood>()), v, &r);
  EXPECT_EQ(V(v.kind), CORE_VALUE_SIGNED) << "a value without enumerator stays a number";
  EXPECT_EQ(V(v.u.i64), 4);
  toCoreValue(E(-3, &staticType<Mood>()), v, nullptr);
  EXPECT_EQ(V(v.kind), CORE_VALUE_SIGNED);
  EXPECT_EQ(V(v.u.i64), -3);
}

TEST(CoreValueConverterTest, ContainersRoundTrip) {
  BindingProperty tree = Struct({{"b", Coll({S(1), Str("x"), Empty(), Struct({{"z", B(false)}})})},
                                 {"a", F(1.5)},
                                 {"c", Blob("")}});
  CoreValue v;
  toCoreValue(tree, v, nullptr);
  ASSERT_EQ(V(v.kind), CORE_VALUE_STRUCT);
  ASSERT_EQ(V(v.u.block.count), 3u);
  const auto* members = static_cast<const CoreStructMember*>(v.u.block.data);
  EXPECT_STREQ(members[0].key, "a") << "members in name order";
  EXPECT_STREQ(members[1].key, "b");
  EXPECT_EQ(V(members[1].ownsKey), 1);
  EXPECT_EQ(V(members[1].value.kind), CORE_VALUE_ARRAY);
  EXPECT_EQ(V(members[1].value.u.block.count), 4u);

  BindingResult back;
  fromCoreValue(back, v, "<value>");
  ASSERT_TRUE(back.ok) << back.errorText();
  EXPECT_EQ(V(back.value.get("a").asDouble()), 1.5);
  const BindingProperty& list = back.value.get("b");
  ASSERT_EQ(V(list.size()), 4u);
  EXPECT_EQ(V(list.get(std::size_t{0}).asInt64()), 1);
  EXPECT_EQ(V(list.get(std::size_t{1}).asString()), "x");
  EXPECT_TRUE(list.get(std::size_t{2}).isEmpty());
  EXPECT_EQ(V(list.get(std::size_t{3}).get("z").kind()), BindingPropertyKind::Bool);
  EXPECT_EQ(V(back.value.get("c").kind()), BindingPropertyKind::Blob);
  releaseCoreValue(v);
}

// Empty containers have no member or element array: converting them must not
// touch a null array (an empty map is a common function result).
TEST(CoreValueConverterTest, EmptyContainersRoundTrip) {
  for (bool structure : {true, false}) {
    BindingProperty value;
    if (structure) value.makeStructure(); else value.makeCollection();
    CoreValue v;
    toCoreValue(value, v, nullptr);
    EXPECT_EQ(V(v.kind), structure ? CORE_VALUE_STRUCT : CORE_VALUE_ARRAY);
    EXPECT_EQ(V(v.u.block.count), 0u);
    BindingResult back;
    fromCoreValue(back, v, "<value>");
    ASSERT_TRUE(back.ok) << back.errorText();
    EXPECT_EQ(back.value.kind(),
              structure ? BindingPropertyKind::Structure : BindingPropertyKind::Collection);
    EXPECT_EQ(V(back.value.size()), 0u);
    releaseCoreValue(v);
  }
}

// Records written by the core: borrowed texts, duplicate keys, and every
// refusal of input that must not be trusted.
TEST(CoreValueConverterTest, ReadingTheCoresRecords) {
  char text[] = "borrowed";
  CoreValue s = tagged(CORE_VALUE_STRING_BORROWED);
  s.u.block.data = text;
  CoreValue n = tagged(CORE_VALUE_SIGNED);
  n.u.i64 = 1;
  CoreValue n2 = tagged(CORE_VALUE_SIGNED);
  n2.u.i64 = 2;
  CoreStructMember members[3];
  std::memset(members, 0, sizeof members);
  members[0].key = "k";
  members[0].value = n;
  members[1].key = "s";
  members[1].value = s;
  members[2].key = "k";
  members[2].value = n2;
  CoreValue st = tagged(CORE_VALUE_STRUCT);
  st.u.block.data = members;
  st.u.block.count = 3;
  BindingResult r;
  fromCoreValue(r, st, "body");
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(V(r.value.size()), 2u);
  EXPECT_EQ(V(r.value.get("k").asInt64()), 2) << "a later key overwrites an earlier one";
  EXPECT_EQ(V(r.value.get("s").asString()), "borrowed");
  EXPECT_EQ(V(std::string(text)), "borrowed") << "the core's record is left as it was";

  CoreValue nullText = tagged(CORE_VALUE_STRING_OWNED);
  fromCoreValue(r, nullText, "body");
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(V(r.value.kind()), BindingPropertyKind::String);
  EXPECT_EQ(V(r.value.size()), 0u);

  struct Case {
    const char* label;
    CoreValue in;
    const char* message;
  };
  CoreValue badTag = tagged(11);
  CoreValue hugeTag = tagged(0xffffffffu);
  CoreValue nullArray = tagged(CORE_VALUE_ARRAY);
  nullArray.u.block.count = 5;
  CoreValue nullBlob = tagged(CORE_VALUE_BLOB_BORROWED);
  nullBlob.u.block.count = 1;
  CoreValue nullMembers = tagged(CORE_VALUE_STRUCT);
  nullMembers.u.block.count = 2;
  CoreStructMember nullKey;
  std::memset(&nullKey, 0, sizeof nullKey);
  CoreValue nullKeyStruct = tagged(CORE_VALUE_STRUCT);
  nullKeyStruct.u.block.data = &nullKey;
  nullKeyStruct.u.block.count = 1;
  CoreValue nestedBad = tagged(CORE_VALUE_ARRAY);
  nestedBad.u.block.data = &badTag;
  nestedBad.u.block.count = 1;
  Case cases[] = {
      {"tag 11", badTag,
       "Couldn't assign value to 'body' of type object because the input is of an incompatible "
       "type ''."},
      {"tag max", hugeTag,
       "Couldn't assign value to 'body' of type object because the input is of an incompatible "
       "type ''."},
      {"nested tag", nestedBad,
       "Couldn't assign value to 'body' of type object because the input is of an incompatible "
       "type ''."},
      {"null array", nullArray, "Couldn't assign value to 'body' because the input holds a null pointer."},
      {"null blob", nullBlob, "Couldn't assign value to 'body' because the input holds a null pointer."},
      {"null members", nullMembers,
       "Couldn't assign value to 'body' because the input holds a null pointer."},
      {"null key", nullKeyStruct,
       "Couldn't assign value to 'body' because the input holds a null pointer."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    BindingResult failed;
    fromCoreValue(failed, c.in, "body");
    ASSERT_FALSE(failed.ok);
    EXPECT_EQ(V(failed.errorText()), c.message);
  }
}

// 1,024 nested containers are accepted; the 1,025th is refused.
TEST(CoreValueConverterTest, NestingIsBounded) {
  for (unsigned depth : {kMaxCoreValueDepth, kMaxCoreValueDepth + 1, 100000u}) {
    SCOPED_TRACE(depth);
    std::vector<CoreValue> chain(depth);
    for (unsigned i = 0; i < depth; ++i) {
      chain[i] = tagged(CORE_VALUE_ARRAY);
      if (i + 1 < depth) {
        chain[i].u.block.data = &chain[i + 1];
        chain[i].u.block.count = 1;
      }
    }
    BindingResult r;
    fromCoreValue(r, chain[0], "deep");
    if (depth <= kMaxCoreValueDepth) {
      EXPECT_TRUE(r.ok) << r.errorText();
    } else {
      ASSERT_FALSE(r.ok);
      EXPECT_EQ(V(r.errorText()),
                "Couldn't assign value to 'deep' of type object because the input is nested too "
                "deeply.");
    }
  }
}

TEST(CoreValueConverterTest, FailedResultIsLeftAlone) {
  BindingResult r;
  r.setError("earlier");
  CoreValue v = tagged(CORE_VALUE_SIGNED);
  fromCoreValue(r, v, "x");
  EXPECT_EQ(V(r.errorText()), "earlier");
}

TEST(CoreValueConverterTest, ReleaseLeavesBorrowedDataAlone) {
  char text[] = "mine";
  CoreValue v = tagged(CORE_VALUE_STRING_BORROWED);
  v.u.block.data = text;
  releaseCoreValue(v);
  EXPECT_EQ(V(v.kind), CORE_VALUE_EMPTY);
  EXPECT_STREQ(text, "mine");
}

}  // namespace
}  // namespace qor
