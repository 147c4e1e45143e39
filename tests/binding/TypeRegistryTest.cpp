// Tests of the type registry: registration rules, look-ups, functions and
// their generation counter, events, snapshots, clear/initialize, the builtin
// records and concurrent look-ups.
#include "binding/TypeRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <thread>

#include "binding/BindingHelp.h"
#include "binding/BuiltinTypes.h"
#include "binding/PropertyConverter.h"
#include "binding/TypeRegistration.h"
#include "TestValues.h"

namespace qor {
namespace {

struct Plain {
  std::int32_t a = 0;
};
struct Other {
  std::int32_t b = 0;
};

std::set<std::string> typeNames(const TypeRegistry& r) {
  std::set<std::string> names;
  for (const TypeDescriptor* t : r.snapshotTypes()) names.insert(t->name);
  return names;
}

// Counts destructions so removal and replacement can be observed.
class CountingInvoker : public FunctionInvoker {
 public:
  explicit CountingInvoker(int& destroyed) : destroyed_(destroyed) {}
  ~CountingInvoker() override { ++destroyed_; }

 private:
  int& destroyed_;
};

TEST(TypeRegistryTest, TypeCodeNames) {
  const char* names[] = {"",       "bool",   "int8",   "uint8",  "int16",  "uint16", "int32",
                         "uint32", "int64",  "uint64", "float",  "double", "string", "object",
                         "blob",   "vector", "enum",   "struct", "callback", "map"};
  for (std::uint32_t code = 0; code < std::size(names); ++code) {
    EXPECT_STREQ(typeCodeName(static_cast<BindingTypeCode>(code)), names[code]) << code;
  }
  EXPECT_STREQ(typeCodeName(static_cast<BindingTypeCode>(20)), "");
  EXPECT_STREQ(typeCodeName(static_cast<BindingTypeCode>(0xffffffffu)), "");
}

TEST(TypeRegistryTest, NameHashIsFnv1a) {
  EXPECT_EQ(nameHash(""), 0x811c9dc5u);
  EXPECT_EQ(nameHash("a"), 0xe40c292cu);
  EXPECT_EQ(nameHash("foobar"), 0xbf9cf968u);
}

TEST(TypeRegistryTest, RegisterAndFindTypes) {
  TypeRegistry r;
  TypeBuilder b = r.registerType(4, "PlainType", staticType<Plain>(), false, "ns");
  EXPECT_FALSE(b.alreadyRegistered());
  b.setDescription("first").addTag("t1").addTag("").addTag("t2");
  const TypeDescriptor* d = r.findType(staticType<Plain>());
  ASSERT_EQ(d, b.descriptor());
  EXPECT_EQ(r.findTypeByName("PlainType"), d);
  EXPECT_EQ(r.findTypeById(staticType<Plain>().id), d);
  EXPECT_EQ(d->size, 4u);
  EXPECT_FALSE(d->isEnum);
  EXPECT_EQ(d->typeId, staticType<Plain>().id);
  EXPECT_EQ(d->staticType, &staticType<Plain>());
  EXPECT_EQ(d->nameSpace, "ns");
  EXPECT_EQ(d->description, "first");
  EXPECT_EQ(d->tags, (std::vector<std::string>{"t1", "t2"}));
  EXPECT_EQ(d->registry, &r);
  EXPECT_EQ(r.findType(staticType<Other>()), nullptr);
  EXPECT_EQ(r.findTypeByName("Nope"), nullptr);
}

// A name registered twice keeps its first description; builder calls are ignored.
TEST(TypeRegistryTest, SecondRegistrationOfANameChangesNothing) {
  TypeRegistry r;
  registerStruct<Plain>(r, "Dup", {"first"}).description("one").field("a", &Plain::a);
  auto again = registerStruct<Other>(r, "Dup", {"second"});
  EXPECT_TRUE(again.builder().alreadyRegistered());
  again.description("two").field("b", &Other::b);
  again.builder().addValue("X", 1, "").setNameSpace("changed");
  const TypeDescriptor* d = r.findTypeByName("Dup");
  EXPECT_EQ(d->description, "one");
  EXPECT_EQ(d->tags, std::vector<std::string>{"first"});
  ASSERT_EQ(d->fields.size(), 1u);
  EXPECT_EQ(d->fields[0].name, "a");
  EXPECT_TRUE(d->values.empty());
  EXPECT_EQ(d->nameSpace, "");
  EXPECT_EQ(r.findType(staticType<Other>()), nullptr) << "the ignored type is not entered by id";
}

// The placeholder identity is found by name only; a later type with an
// existing identity replaces the earlier one in the id table.
TEST(TypeRegistryTest, IdentityTable) {
  TypeRegistry r;
  r.registerType(1, "P1", StaticType::placeholder(), false);
  r.registerType(1, "P2", StaticType::placeholder(), false);
  EXPECT_NE(r.findTypeByName("P1"), nullptr);
  EXPECT_NE(r.findTypeByName("P2"), nullptr);
  EXPECT_EQ(r.findType(StaticType::placeholder()), nullptr);

  r.registerType(4, "First", staticType<Plain>(), false);
  r.registerType(4, "Second", staticType<Plain>(), false);
  EXPECT_EQ(r.findType(staticType<Plain>())->name, "Second");
  EXPECT_EQ(r.findTypeByName("First")->name, "First");
}

TEST(TypeRegistryTest, EnumValues) {
  TypeRegistry r;
  enum class E : std::int32_t { A = 1 };
  TypeBuilder b = r.registerType(4, "E", staticType<E>(), true);
  b.addValue("B", 2, "bee").addValue("A", 1, "ay").addValue("B", 3, "overwritten");
  const TypeDescriptor* d = r.findTypeByName("E");
  ASSERT_EQ(d->values.size(), 2u);
  EXPECT_EQ(d->values.begin()->first, "A") << "enumerators are ordered by name";
  EXPECT_EQ(d->values.at("B").value, 3);
  EXPECT_EQ(d->values.at("B").description, "overwritten");
  EXPECT_EQ(d->values.at("B").owner, d);
  EXPECT_EQ(d->findValue(3)->name, "B");
  EXPECT_EQ(d->findValue(2), nullptr);
  EXPECT_EQ(d->findValue(std::string_view("A"))->value, 1);

  // A field whose static type is a registered enumeration gets the enum TypeRef.
  TypeBuilder s = r.registerType(8, "S", staticType<Plain>(), false);
  s.addField("e", "", 0, staticType<E>(), TypeRef{BindingTypeCode::Int32}, {}, 0, nullptr, false);
  const FieldDescriptor& f = r.findTypeByName("S")->fields[0];
  EXPECT_EQ(f.type.code, BindingTypeCode::Enum);
  EXPECT_EQ(f.type.elementCode, BindingTypeCode::None);
  EXPECT_EQ(f.type.descriptor, d);
}

TEST(TypeRegistryTest, FunctionsReplaceAndCountGenerations) {
  TypeRegistry r;
  int destroyed = 0;
  std::uint32_t g0 = r.functionGeneration();
  FunctionBuilder fb = r.registerFunction("Get", 2);
  fb.descriptor()->invoker = std::make_unique<CountingInvoker>(destroyed);
  EXPECT_EQ(r.functionGeneration(), g0 + 1);
  FunctionDescriptor* f = r.findFunction("Get");
  ASSERT_EQ(f, fb.descriptor());
  EXPECT_EQ(f->registry, &r);
  ASSERT_EQ(f->arguments.size(), 2u);
  EXPECT_EQ(f->arguments[1].function, f);

  fb.addArgument("first", "d1", {}, 1).addArgument("second", "d2", TypeRef{BindingTypeCode::String})
      .addArgument("third", "grows");
  fb.setArgumentType(0, TypeRef{BindingTypeCode::Int32}, true);
  ASSERT_EQ(f->arguments.size(), 3u);
  EXPECT_EQ(f->arguments[0].name, "first");
  EXPECT_EQ(f->arguments[0].nameHash, nameHash("first"));
  EXPECT_EQ(f->arguments[0].location, 1u);
  EXPECT_TRUE(f->arguments[0].optional);
  EXPECT_EQ(f->arguments[0].type.code, BindingTypeCode::Int32);
  EXPECT_EQ(f->arguments[1].extraType.code, BindingTypeCode::String);
  EXPECT_EQ(f->arguments[2].function, f);

  // Same name: the old descriptor and its invoker go, the generation moves.
  r.registerFunction("Get", 0);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(r.functionGeneration(), g0 + 2);
  EXPECT_NE(r.findFunction("Get"), nullptr);
  EXPECT_EQ(r.findFunction("Get")->arguments.size(), 0u);

  FunctionDescriptor* g = r.findFunction("Get");
  g->invoker = std::make_unique<CountingInvoker>(destroyed);
  EXPECT_TRUE(r.removeFunction(g));
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(r.functionGeneration(), g0 + 3) << "removal counts like registration";
  EXPECT_EQ(r.findFunction("Get"), nullptr);
  EXPECT_FALSE(r.removeFunction(nullptr));
  EXPECT_EQ(r.functionGeneration(), g0 + 3);
}

TEST(TypeRegistryTest, DetachedFunctionsStayOutUntilAdopted) {
  TypeRegistry r;
  std::uint32_t g0 = r.functionGeneration();
  auto detached = r.createDetachedFunction("Loose", 1);
  EXPECT_EQ(r.findFunction("Loose"), nullptr);
  EXPECT_EQ(r.functionGeneration(), g0);
  EXPECT_FALSE(r.removeFunction(detached.get())) << "a detached descriptor is not removable";
  FunctionDescriptor* raw = detached.get();
  EXPECT_EQ(r.adoptFunction(std::move(detached)), raw);
  EXPECT_EQ(r.findFunction("Loose"), raw);
  EXPECT_EQ(r.functionGeneration(), g0 + 1);
}

TEST(TypeRegistryTest, EventsKeepTheirFirstDescription) {
  TypeRegistry r;
  registerStruct<Plain>(r, "Payload").field("a", &Plain::a);
  EventBuilder e = registerEventOf<Plain>(r, "OnThing", "first", {"t", ""}, "ns");
  EXPECT_FALSE(e.alreadyRegistered());
  EventBuilder again = registerEventOf<Plain>(r, "OnThing", "second", {"u"});
  EXPECT_TRUE(again.alreadyRegistered());
  const EventDescriptor* d = r.findEvent("OnThing");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->type, r.findTypeByName("Payload"));
  EXPECT_EQ(d->description, "first");
  EXPECT_EQ(d->nameSpace, "ns");
  EXPECT_EQ(d->tags, std::vector<std::string>{"t"});
  EXPECT_TRUE(r.removeEvent("OnThing"));
  EXPECT_FALSE(r.removeEvent("OnThing"));
  EXPECT_EQ(r.findEvent("OnThing"), nullptr);
}

TEST(TypeRegistryTest, InitializeRegistersTheBuiltins) {
  TypeRegistry r;
  EXPECT_FALSE(r.populated());
  r.initialize();
  EXPECT_TRUE(r.populated());
  std::set<std::string> expected = {
      "BindingFullTypeIdentifier", "BindingFullArgumentHelp", "BindingFullFunctionHelp",
      "BindingFullEnumValueHelp",  "BindingFullFieldHelp",    "BindingFullTypeHelp",
      "BindingFullEventHelp",      "BindingFullApiHelp",      "BindingHelpFormat",
      "BindingAsyncState",         "BindingGenericEvent",     "BindingCallbackEvent",
      "BindingGenericAsyncEvent",  "BindingAsyncFailureEvent", "BindingAsyncCancelEvent"};
  EXPECT_EQ(typeNames(r), expected);
  auto events = r.snapshotEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]->name, "OnCallback");
  EXPECT_EQ(events[0]->type, r.findTypeByName("BindingCallbackEvent"));
  EXPECT_EQ(events[0]->description, "Fired when a callback is invoked.");
  EXPECT_EQ(events[0]->tags, std::vector<std::string>{"$builtin"});
  EXPECT_EQ(events[0]->nameSpace, "$builtin");

  for (const TypeDescriptor* t : r.snapshotTypes()) {
    SCOPED_TRACE(t->name);
    EXPECT_EQ(t->nameSpace, "$builtin");
    ASSERT_FALSE(t->tags.empty());
    EXPECT_EQ(t->tags[0], "$builtin");
    bool help = t->name.rfind("BindingFull", 0) == 0 || t->name == "BindingHelpFormat";
    if (help) {
      EXPECT_EQ(t->tags, (std::vector<std::string>{"$builtin", "help"}));
    }
  }
}

TEST(TypeRegistryTest, BuiltinDescriptions) {
  TypeRegistry r;
  r.initialize();
  const TypeDescriptor* state = r.findTypeByName("BindingAsyncState");
  ASSERT_NE(state, nullptr);
  EXPECT_TRUE(state->isEnum);
  EXPECT_EQ(state->size, 4u);
  EXPECT_EQ(state->description, "Possible states of an asynchronous operation.");
  EXPECT_EQ(state->tags, (std::vector<std::string>{"$builtin", "async"}));
  struct V {
    const char* name;
    std::int32_t value;
    const char* description;
  } values[] = {{"None", 0, "Invalid state"},
                {"Running", 1, "The operation is in flight"},
                {"Cancelling", 2, "A request to cancel the operation has been made"},
                {"Cancelled", 3, "The operation was cancelled"},
                {"Succeeded", 4, "The operation completed successfully"},
                {"Failed", 5, "The operation encountered an error"}};
  ASSERT_EQ(state->values.size(), std::size(values));
  for (const V& v : values) {
    const EnumValueDescriptor* e = state->findValue(std::string_view(v.name));
    ASSERT_NE(e, nullptr) << v.name;
    EXPECT_EQ(e->value, v.value);
    EXPECT_EQ(e->description, v.description);
  }

  struct F {
    const char* type;
    const char* field;
    BindingTypeCode code;
    BindingTypeCode element;
    const char* description;
  } fields[] = {
      {"BindingGenericEvent", "data", BindingTypeCode::Object, BindingTypeCode::None, "Event data"},
      {"BindingCallbackEvent", "id", BindingTypeCode::Uint32, BindingTypeCode::None,
       "ID of the callback being invoked"},
      {"BindingCallbackEvent", "parameters", BindingTypeCode::Vector, BindingTypeCode::Object,
       "Callback parameters"},
      {"BindingGenericAsyncEvent", "asyncToken", BindingTypeCode::Uint32, BindingTypeCode::None,
       "Asynchronous operation token"},
      {"BindingAsyncFailureEvent", "error", BindingTypeCode::String, BindingTypeCode::None,
       "Error message"},
      {"BindingAsyncCancelEvent", "asyncToken", BindingTypeCode::Uint32, BindingTypeCode::None,
       "Asynchronous operation token"},
      {"BindingFullFunctionHelp", "arguments", BindingTypeCode::Vector, BindingTypeCode::Struct, ""},
      {"BindingFullTypeHelp", "tags", BindingTypeCode::Vector, BindingTypeCode::String, ""},
      {"BindingFullFieldHelp", "offset", BindingTypeCode::Uint32, BindingTypeCode::None, ""},
  };
  for (const F& f : fields) {
    SCOPED_TRACE(std::string(f.type) + "." + f.field);
    const TypeDescriptor* t = r.findTypeByName(f.type);
    ASSERT_NE(t, nullptr);
    const FieldDescriptor* d = t->findField(f.field);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->type.code, f.code);
    EXPECT_EQ(d->type.elementCode, f.element);
    EXPECT_EQ(d->description, f.description);
    EXPECT_EQ(d->flags, 0u);
    EXPECT_FALSE(d->optional);
  }
  EXPECT_EQ(r.findTypeByName("BindingGenericEvent")->tags, std::vector<std::string>{"$builtin"});
  EXPECT_EQ(r.findTypeByName("BindingAsyncFailureEvent")->size, sizeof(BindingAsyncFailureEvent));
  const TypeDescriptor* arg = r.findTypeByName("BindingFullArgumentHelp");
  EXPECT_EQ(arg->findField("type")->type.descriptor, r.findTypeByName("BindingFullTypeIdentifier"));
}

// Registering a builtin name again from plug-in code changes nothing.
TEST(TypeRegistryTest, BuiltinsCannotBeRedefined) {
  TypeRegistry r;
  r.initialize();
  registerEnum<BindingAsyncState>(r, "BindingAsyncState").value("Extra", BindingAsyncState::None);
  registerStruct<Plain>(r, "BindingFullApiHelp").field("a", &Plain::a);
  EXPECT_EQ(r.findTypeByName("BindingAsyncState")->values.count("Extra"), 0u);
  EXPECT_EQ(r.findTypeByName("BindingFullApiHelp")->fields.size(), 3u);
}

TEST(TypeRegistryTest, ClearAndReinitialize) {
  TypeRegistry r;
  r.initialize();
  registerStruct<Plain>(r, "Mine").field("a", &Plain::a);
  r.registerFunction("F", 0);
  r.registerFunction("G", 0);
  std::uint32_t g = r.functionGeneration();
  r.initialize();  // clears first
  EXPECT_EQ(r.findTypeByName("Mine"), nullptr);
  EXPECT_EQ(r.findType(staticType<Plain>()), nullptr);
  EXPECT_EQ(r.findFunction("F"), nullptr);
  EXPECT_EQ(r.functionGeneration(), g + 2) << "each function removal counts";
  EXPECT_EQ(typeNames(r).size(), 15u);
  r.clear();
  EXPECT_FALSE(r.populated());
  EXPECT_TRUE(r.snapshotTypes().empty());
  EXPECT_TRUE(r.snapshotEvents().empty());
}

// Look-ups from several threads while conversions run in between.
TEST(TypeRegistryTest, ConcurrentLookupsAndConversions) {
  TypeRegistry r;
  r.initialize();
  registerStruct<Plain>(r, "Plain").field("a", &Plain::a);
  std::atomic<int> failures{0};
  auto work = [&](int seed) {
    for (int i = 0; i < 2000; ++i) {
      if (r.findType(staticType<Plain>()) == nullptr) ++failures;
      if (r.findTypeByName("BindingAsyncState") == nullptr) ++failures;
      Plain p{seed + i};
      BindingResult out;
      toProperty(out, p, r);
      Plain back;
      BindingResult in;
      fromProperty(in, back, out.value, kTopLevelFieldName, r);
      if (!in.ok || back.a != p.a) ++failures;
    }
  };
  std::thread t1(work, 0), t2(work, 100000);
  t1.join();
  t2.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace qor
