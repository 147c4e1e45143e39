// Tests of the structure, vector, map, optional-string and object conversions
// in both directions, through records registered the way plug-in code does.
#include "binding/PropertyConverter.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "binding/TypeRegistration.h"
#include "TestValues.h"

namespace qor {
namespace {

using namespace qor::test;

enum class Kind : std::int32_t { None = 0, Owned = 1, Rented = 2 };

struct Item {
  std::int32_t id = 0;
  std::string name;
  Kind kind = Kind::None;
  bool rental = false;
  std::uint64_t quantity = 0;
  double price = 0;
};

struct Inventory {
  std::vector<Item> items;
  std::map<std::string, std::int32_t> counts;
  std::unordered_map<std::string, Item> byName;
  std::optional<std::string> note;
  BindingProperty extra;
  std::vector<bool> flags;
  std::int8_t small = 0;
  std::uint16_t medium = 0;
  float ratio = 0;
};

struct Flagged {
  std::int32_t a = 0;
  std::string b;
  std::int32_t c = 0;
};

struct Unregistered {
  std::int32_t a = 0;
};

class PropertyConverterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry.initialize();
    registerEnum<Kind>(registry, "TestKind", {"Test"})
        .value("NONE", Kind::None)
        .value("OWNED", Kind::Owned)
        .value("RENTED", Kind::Rented);
    registerStruct<Item>(registry, "TestItem", {"Test"})
        .field("id", &Item::id)
        .field("name", &Item::name)
        .field("kind", &Item::kind)
        .field("rental", &Item::rental)
        .field("quantity", &Item::quantity)
        .field("price", &Item::price);
    registerStruct<Inventory>(registry, "TestInventory", {"Test"})
        .field("items", &Inventory::items)
        .field("counts", &Inventory::counts)
        .field("byName", &Inventory::byName)
        .field("note", &Inventory::note, {.optional = true})
        .field("extra", &Inventory::extra)
        .field("flags", &Inventory::flags)
        .field("small", &Inventory::small)
        .field("medium", &Inventory::medium)
        .field("ratio", &Inventory::ratio);
    registerStruct<Flagged>(registry, "TestFlagged")
        .field("a", &Flagged::a, {.flags = kFieldOmitDefault})
        .field("b", &Flagged::b, {.flags = kFieldOmitDefault | kFieldRequired})
        .field("c", &Flagged::c, {.flags = kFieldRequired});
  }

  TypeRegistry registry;
};

TEST_F(PropertyConverterTest, StructureToValueAndBack) {
  Item item{42, "Sword", Kind::Rented, true, 3, 1.5};
  BindingResult r;
  toProperty(r, item, registry);
  ASSERT_TRUE(r.ok) << r.errorText();
  const BindingProperty& v = r.value;
  ASSERT_EQ(v.kind(), BindingPropertyKind::Structure);
  EXPECT_EQ(v.size(), 6u);
  EXPECT_EQ(v.get("id").asInt64(), 42);
  EXPECT_EQ(v.get("name").asString(), "Sword");
  ASSERT_NE(v.get("kind").asEnum(), nullptr);
  EXPECT_EQ(v.get("kind").asEnum()->value, 2);
  EXPECT_EQ(v.get("kind").asEnum()->type, &staticType<Kind>());
  EXPECT_TRUE(v.get("rental").asBool());
  EXPECT_EQ(v.get("quantity").kind(), BindingPropertyKind::Unsigned);
  EXPECT_EQ(v.get("quantity").asUint64(), 3u);
  EXPECT_EQ(v.get("price").asDouble(), 1.5);

  Item back;
  BindingResult in;
  fromProperty(in, back, v, kTopLevelFieldName, registry);
  ASSERT_TRUE(in.ok) << in.errorText();
  EXPECT_EQ(back.id, 42);
  EXPECT_EQ(back.name, "Sword");
  EXPECT_EQ(back.kind, Kind::Rented);
  EXPECT_TRUE(back.rental);
  EXPECT_EQ(back.quantity, 3u);
  EXPECT_EQ(back.price, 1.5);
}

TEST_F(PropertyConverterTest, NestedContainersRoundTrip) {
  Inventory inv;
  inv.items = {{1, "a", Kind::Owned, false, 1, 0}, {2, "b", Kind::None, true, 0, 2.25}};
  inv.counts = {{"x", 1}, {"y", -2}};
  inv.byName["a"] = inv.items[0];
  inv.note = "hello";
  inv.extra = Struct({{"free", Coll({S(1), Str("two")})}});
  inv.flags = {true, false, true};
  inv.small = -8;
  inv.medium = 65535;
  inv.ratio = 0.5f;

  BindingResult r;
  toProperty(r, inv, registry);
  ASSERT_TRUE(r.ok) << r.errorText();
  EXPECT_EQ(r.value.get("items").size(), 2u);
  EXPECT_EQ(r.value.get("items").get(std::size_t{1}).get("name").asString(), "b");
  EXPECT_EQ(r.value.get("counts").get("y").asInt64(), -2);
  EXPECT_EQ(r.value.get("note").asString(), "hello");
  EXPECT_EQ(r.value.get("extra").get("free").get(std::size_t{1}).asString(), "two");

  Inventory back;
  BindingResult in;
  fromProperty(in, back, r.value, kTopLevelFieldName, registry);
  ASSERT_TRUE(in.ok) << in.errorText();
  ASSERT_EQ(back.items.size(), 2u);
  EXPECT_EQ(back.items[1].price, 2.25);
  EXPECT_EQ(back.items[0].kind, Kind::Owned);
  EXPECT_EQ(back.counts, inv.counts);
  ASSERT_EQ(back.byName.count("a"), 1u);
  EXPECT_EQ(back.byName["a"].name, "a");
  EXPECT_EQ(back.note, "hello");
  EXPECT_EQ(back.extra.get("free").get(std::size_t{0}).asInt64(), 1);
  EXPECT_EQ(back.flags, inv.flags);
  EXPECT_EQ(back.small, -8);
  EXPECT_EQ(back.medium, 65535);
  EXPECT_EQ(back.ratio, 0.5f);
}

TEST_F(PropertyConverterTest, TopLevelContainersAndScalars) {
  std::vector<Item> items = {{7, "x", Kind::Owned, false, 0, 0}};
  BindingResult r;
  toProperty(r, items, registry);
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.value.kind(), BindingPropertyKind::Collection);
  EXPECT_EQ(r.value.get(std::size_t{0}).get("id").asInt64(), 7);

  std::vector<Item> back;
  BindingResult in;
  fromProperty(in, back, r.value, kTopLevelFieldName, registry);
  ASSERT_TRUE(in.ok);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].name, "x");

  std::map<std::string, std::vector<std::string>> m = {{"k", {"a", "b"}}};
  toProperty(r, m, registry);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.value.get("k").get(std::size_t{1}).asString(), "b");

  std::int32_t n = 0;
  BindingResult missing;
  fromProperty(missing, n, Empty(), kTopLevelFieldName, registry);
  EXPECT_EQ(missing.errorText(), "A value for '<value>' is required.");
}

// Each input failure names the innermost field (or "<value>"), never a path.
TEST_F(PropertyConverterTest, InputFailures) {
  struct Case {
    const char* label;
    BindingProperty source;
    const char* message;
  } cases[] = {
      {"not a structure", S(1),
       "Couldn't assign value to '<value>' of type TestInventory because the input not a structure."},
      {"vector not a collection", Struct({{"items", Str("x")}}),
       "Couldn't assign value to 'items' of type vector because the input not a collection."},
      {"map not a structure", Struct({{"counts", Coll({})}}),
       "Couldn't assign value to 'counts' of type map because the input not a structure."},
      {"wrong kind in a nested element",
       Struct({{"items", Coll({Struct({{"id", Str("zz")}})})}}),
       "Value zz for 'id' of type int32 is in an incorrect format"},
      {"unknown enumerator", Struct({{"items", Coll({Struct({{"kind", Str("LOST")}})})}}),
       "LOST is not a valid TestKind enumeration value for 'kind'."},
      {"map value", Struct({{"counts", Struct({{"a", B(true)}})}}),
       "Couldn't assign value to 'counts' of type int32 because the input is of an invalid type "
       "bool."},
      {"int8 bound", Struct({{"small", S(128)}}), "Value 128 for 'small' of type int8 is out of range"},
      {"uint16 bound", Struct({{"medium", S(-1)}}),
       "Value -1 for 'medium' of type uint16 is out of range"},
      {"optional string of wrong kind", Struct({{"note", S(3)}}),
       "Couldn't assign value to 'note' because the input is not a string."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Inventory inv;
    BindingResult r;
    fromProperty(r, inv, c.source, kTopLevelFieldName, registry);
    ASSERT_FALSE(r.ok);
    EXPECT_EQ(r.errorText(), c.message);
  }
}

TEST_F(PropertyConverterTest, MissingMembersAndEmptyElements) {
  Item item{5, "keep", Kind::Owned, true, 9, 1.0};
  BindingResult r;
  fromProperty(r, item, Struct({{"name", Str("new")}, {"id", Empty()}, {"unknown", S(1)}}),
               kTopLevelFieldName, registry);
  ASSERT_TRUE(r.ok) << r.errorText();
  EXPECT_EQ(item.id, 5) << "an empty member leaves the field";
  EXPECT_EQ(item.name, "new");
  EXPECT_EQ(item.quantity, 9u) << "a missing member leaves the field";

  std::vector<std::int32_t> numbers = {9, 9, 9, 9};
  fromProperty(r, numbers, Coll({S(1), Empty(), S(3)}), kTopLevelFieldName, registry);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(numbers, (std::vector<std::int32_t>{1, 0, 3}));

  std::map<std::string, std::int32_t> m = {{"old", 1}};
  fromProperty(r, m, Struct({{"a", S(1)}, {"b", Empty()}}), kTopLevelFieldName, registry);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(m, (std::map<std::string, std::int32_t>{{"a", 1}}));
}

TEST_F(PropertyConverterTest, OptionalString) {
  Inventory inv;
  BindingResult r;
  toProperty(r, inv, registry);
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(r.value.hasMember("note"));
  EXPECT_TRUE(r.value.get("note").isEmpty()) << "an absent optional writes an empty member";

  inv.note = "x";
  BindingResult in;
  fromProperty(in, inv, Struct({{"note", Empty()}}), kTopLevelFieldName, registry);
  ASSERT_TRUE(in.ok);
  EXPECT_EQ(inv.note, "x") << "an empty source leaves the optional as it was";
}

TEST_F(PropertyConverterTest, OmitDefaultAndRequiredFlags) {
  Flagged f;
  BindingResult r;
  toProperty(r, f, registry);
  ASSERT_TRUE(r.ok);
  EXPECT_FALSE(r.value.hasMember("a"));
  EXPECT_FALSE(r.value.hasMember("b"));
  EXPECT_TRUE(r.value.hasMember("c"));
  f.a = 4;
  f.b = "z";
  toProperty(r, f, registry);
  EXPECT_EQ(r.value.get("a").asInt64(), 4);
  EXPECT_EQ(r.value.get("b").asString(), "z");

  Flagged in;
  BindingResult missing;
  fromProperty(missing, in, Struct({{"a", S(1)}, {"c", S(2)}}), "outer", registry);
  ASSERT_FALSE(missing.ok);
  EXPECT_EQ(missing.errorText(),
            "Couldn't assign value to 'outer' of type TestFlagged because the input structure "
            "doesn't have required field 'b'.");
  EXPECT_EQ(in.a, 1) << "fields before the failure stay converted";
}

TEST_F(PropertyConverterTest, UnregisteredStructures) {
  Unregistered u;
  BindingResult out;
  toProperty(out, u, registry);
  ASSERT_FALSE(out.ok);
  EXPECT_EQ(out.errorText(), "Couldn't convert native value because it's an unregistered structure.");

  BindingResult in;
  fromProperty(in, u, Struct({{"a", S(1)}}), kTopLevelFieldName, registry);
  ASSERT_FALSE(in.ok);
  EXPECT_EQ(in.errorText(),
            "Couldn't assign value to '<value>' because the input is an unregistered structure or "
            "not a structure at all.");

  // A vector of them fails on output as soon as an element is converted.
  std::vector<Unregistered> many(2);
  toProperty(out, many, registry);
  EXPECT_FALSE(out.ok);
}

TEST_F(PropertyConverterTest, ObjectFieldIsReplacedNotMerged) {
  Inventory inv;
  inv.extra = Struct({{"old", S(1)}});
  BindingResult r;
  fromProperty(r, inv, Struct({{"extra", Coll({S(3)})}}), kTopLevelFieldName, registry);
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(inv.extra.kind(), BindingPropertyKind::Collection);
  EXPECT_EQ(inv.extra.size(), 1u);
  EXPECT_EQ(inv.extra.get(std::size_t{0}).asInt64(), 3);
}

TEST_F(PropertyConverterTest, FieldDescriptorsFollowMemberTypes) {
  const TypeDescriptor* d = registry.findTypeByName("TestInventory");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->size, sizeof(Inventory));
  Inventory probe;
  auto at = [&probe](auto member) {
    return static_cast<std::size_t>(reinterpret_cast<const char*>(&(probe.*member)) -
                                    reinterpret_cast<const char*>(&probe));
  };
  struct Expect {
    const char* name;
    BindingTypeCode code;
    BindingTypeCode element;
    const char* descriptor;
    std::size_t offset;
  } expected[] = {
      {"items", BindingTypeCode::Vector, BindingTypeCode::Struct, "TestItem", at(&Inventory::items)},
      {"counts", BindingTypeCode::Map, BindingTypeCode::Int32, nullptr, at(&Inventory::counts)},
      {"byName", BindingTypeCode::Map, BindingTypeCode::Struct, "TestItem", at(&Inventory::byName)},
      {"note", BindingTypeCode::String, BindingTypeCode::None, nullptr, at(&Inventory::note)},
      {"extra", BindingTypeCode::Object, BindingTypeCode::None, nullptr, at(&Inventory::extra)},
      {"flags", BindingTypeCode::Vector, BindingTypeCode::Bool, nullptr, at(&Inventory::flags)},
      {"small", BindingTypeCode::Int8, BindingTypeCode::None, nullptr, at(&Inventory::small)},
      {"medium", BindingTypeCode::Uint16, BindingTypeCode::None, nullptr, at(&Inventory::medium)},
      {"ratio", BindingTypeCode::Float, BindingTypeCode::None, nullptr, at(&Inventory::ratio)},
  };
  ASSERT_EQ(d->fields.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const FieldDescriptor& f = d->fields[i];
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(f.name, expected[i].name);
    EXPECT_EQ(f.nameHash, nameHash(expected[i].name));
    EXPECT_EQ(f.type.code, expected[i].code);
    EXPECT_EQ(f.type.elementCode, expected[i].element);
    EXPECT_EQ(f.offset, expected[i].offset);
    EXPECT_EQ(f.owner, d);
    if (expected[i].descriptor == nullptr) {
      EXPECT_EQ(f.type.descriptor, nullptr);
    } else {
      ASSERT_NE(f.type.descriptor, nullptr);
      EXPECT_EQ(f.type.descriptor->name, expected[i].descriptor);
    }
  }
  EXPECT_TRUE(d->fields[3].optional);
  const FieldDescriptor* kind = registry.findTypeByName("TestItem")->findField("kind");
  ASSERT_NE(kind, nullptr);
  EXPECT_EQ(kind->type.code, BindingTypeCode::Enum);
  EXPECT_EQ(kind->type.descriptor, registry.findType(staticType<Kind>()));
}

// A field list keeps registration order even when offsets descend.
TEST_F(PropertyConverterTest, FieldOrderIsRegistrationOrder) {
  struct Pair {
    std::int32_t first = 1;
    std::int32_t second = 2;
  };
  registerStruct<Pair>(registry, "TestPair").field("second", &Pair::second).field("first", &Pair::first);
  const TypeDescriptor* d = registry.findTypeByName("TestPair");
  ASSERT_EQ(d->fields.size(), 2u);
  EXPECT_EQ(d->fields[0].name, "second");
  EXPECT_GT(d->fields[0].offset, d->fields[1].offset);
  Pair p;
  BindingResult r;
  toProperty(r, p, registry);
  EXPECT_EQ(r.value.get("first").asInt64(), 1);
  EXPECT_EQ(r.value.get("second").asInt64(), 2);
}

// An enum value converted to a string field gives its enumerator name.
TEST_F(PropertyConverterTest, EnumValueIntoStringField) {
  Item item;
  BindingResult r;
  fromProperty(r, item, Struct({{"name", E(1, &staticType<Kind>())}}), kTopLevelFieldName, registry);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(item.name, "OWNED");
}

}  // namespace
}  // namespace qor

namespace qor {
namespace {

struct TwoBad {
  std::int32_t zeta = 0;
  std::int32_t alpha = 0;
  std::int32_t mid = 0;
};

// Members are paired with fields by name, but fields convert in registration
// order: the first registered bad field is the one reported, and fields
// registered before it are already written.
TEST(StructureRuleOrderTest, FirstFailureFollowsRegistrationOrder) {
  TypeRegistry registry;
  registerStruct<TwoBad>(registry, "TwoBad")
      .field("zeta", &TwoBad::zeta)
      .field("mid", &TwoBad::mid)
      .field("alpha", &TwoBad::alpha);
  TwoBad native;
  BindingResult r;
  fromProperty(r, native,
               test::Struct({{"alpha", test::Str("0x2")}, {"mid", test::S(5)}, {"zeta", test::S(1)}}),
               kTopLevelFieldName, registry);
  ASSERT_TRUE(r.ok) << r.errorText();
  EXPECT_EQ(native.zeta, 1);
  EXPECT_EQ(native.mid, 5);
  EXPECT_EQ(native.alpha, 2);
  native = TwoBad{};
  fromProperty(r, native, test::Struct({{"alpha", test::Str("x")}, {"mid", test::S(7)}, {"zeta", test::Str("y")}}),
               kTopLevelFieldName, registry);
  ASSERT_FALSE(r.ok);
  EXPECT_EQ(r.errorText(), "Value y for 'zeta' of type int32 is in an incorrect format");
  EXPECT_EQ(native.mid, 0) << "fields after the failure are not converted";
}

}  // namespace
}  // namespace qor
