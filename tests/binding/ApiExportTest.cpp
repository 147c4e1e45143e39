// Tests of the packed API description records written from a registry.
#include "binding/ApiExport.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "binding/TypeRegistration.h"
#include "binding/TypeRegistry.h"

namespace qor {
namespace {

// Reads a field of a packed record by value: a reference to it could be misaligned.
template <class T>
T V(T value) {
  return value;
}

enum class Shade : std::int32_t { Dark = 2, Light = 1 };
struct Foo {
  std::int32_t a = 0;
  Shade shade = Shade::Dark;
  std::vector<std::int32_t> list;
  std::map<std::string, Foo*>* unused = nullptr;  // not registered
};

class ApiExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registerEnum<Shade>(registry, "Shade", {"ns", "colour"}, "ns")
        .description("shades")
        .value("Light", Shade::Light, "bright")
        .value("Dark", Shade::Dark, "dim");
    registerStruct<Foo>(registry, "Foo", {}, "ns")
        .description("a foo")
        .field("zeta", &Foo::a, {.description = "first by registration"})
        .field("shade", &Foo::shade, {.optional = true})
        .field("list", &Foo::list, {.extraType = TypeRef{BindingTypeCode::String}});
    FunctionBuilder f = registry.registerFunction("GetFoo", 0);
    f.addArgument("ids", "the ids").setArgumentType(0, typeRefOf<std::vector<std::int32_t>>(registry), true);
    f.addArgument("foos", "");
    f.setArgumentType(1, typeRefOf<std::vector<Foo>>(registry), false);
    f.setReturns(typeRefOf<Foo>(registry)).setAsync(true).setThreadSafe(true);
    f.setNameSpace("ns").setDescription("gets").setHelp("help text").addTag("t1").addTag("t2");
    registry.registerEvent("OnFoo", registry.findTypeByName("Foo"), "ns").setDescription("fired");
  }

  const ApiTypeRecord* type(const char* name) const {
    for (const ApiTypeRecord* t = exported.types(); t != nullptr; t = t->next) {
      if (std::string(t->name) == name) return t;
    }
    return nullptr;
  }

  TypeRegistry registry;
  ApiExport exported;
};

TEST_F(ApiExportTest, FunctionRecords) {
  exported.build(registry);
  ASSERT_EQ(V(exported.functionCount()), 1u);
  const ApiFunctionExport& f = exported.functions()[0];
  EXPECT_EQ(V(f.next), nullptr);
  EXPECT_EQ(V(f.zero), 0u);
  EXPECT_EQ(V(f.callContext), nullptr);
  EXPECT_STREQ(f.name, "GetFoo");
  EXPECT_STREQ(f.nameSpace, "ns");
  EXPECT_EQ(V(f.returnCode), 17u);
  EXPECT_EQ(V(f.returnElementCode), 0u);
  EXPECT_STREQ(f.returnTypeName, "Foo");
  EXPECT_STREQ(f.asyncTypeName, "Foo");
  EXPECT_STREQ(f.description, "gets");
  EXPECT_STREQ(f.help, "help text");
  EXPECT_EQ(V(f.threadSafe), 1);
  ASSERT_EQ(V(f.tagCount), 2u);
  EXPECT_STREQ(f.tags[0], "t1");
  EXPECT_STREQ(f.tags[1], "t2");
  ASSERT_EQ(V(f.argumentCount), 2u);
  const ApiArgumentRecord& ids = f.arguments[0];
  EXPECT_STREQ(ids.name, "ids");
  EXPECT_STREQ(ids.description, "the ids");
  EXPECT_EQ(V(ids.typeCode), 15u);
  EXPECT_EQ(V(ids.elementCode), 6u);
  EXPECT_STREQ(ids.typeName, "") << "a vector of int32 names no type";
  EXPECT_EQ(V(ids.optional), 1);
  EXPECT_EQ(V(ids.next), &f.arguments[1]);
  const ApiArgumentRecord& foos = f.arguments[1];
  EXPECT_EQ(V(foos.typeCode), 15u);
  EXPECT_EQ(V(foos.elementCode), 17u);
  EXPECT_STREQ(foos.typeName, "Foo");
  EXPECT_EQ(V(foos.next), nullptr);
}

TEST_F(ApiExportTest, TypeRecords) {
  exported.build(registry);
  ASSERT_EQ(V(exported.typeCount()), 2u);
  EXPECT_EQ(V(exported.types()[0].next), &exported.types()[1]);
  EXPECT_EQ(V(exported.types()[1].next), nullptr);

  const ApiTypeRecord* foo = type("Foo");
  ASSERT_NE(V(foo), nullptr);
  EXPECT_STREQ(foo->nameSpace, "ns");
  EXPECT_EQ(V(foo->size), sizeof(Foo));
  EXPECT_STREQ(foo->description, "a foo");
  EXPECT_EQ(V(foo->tagCount), 0u);
  EXPECT_EQ(V(foo->enumerators), nullptr);
  ASSERT_EQ(V(foo->count), 3u);
  const ApiFieldRecord* f = foo->fields;
  EXPECT_STREQ(f[0].name, "zeta");
  EXPECT_STREQ(f[0].description, "first by registration");
  EXPECT_EQ(V(f[0].offset), 0u);
  EXPECT_EQ(V(f[0].typeCode), 6u);
  EXPECT_STREQ(f[0].typeName, "");
  EXPECT_EQ(V(f[1].typeCode), 16u);
  EXPECT_STREQ(f[1].typeName, "Shade");
  EXPECT_EQ(V(f[1].optional), 1);
  EXPECT_EQ(V(f[2].typeCode), 12u) << "the extra type replaces the type";
  EXPECT_EQ(V(f[2].elementCode), 0u);
  EXPECT_EQ(V(f[0].next), &f[1]);
  EXPECT_EQ(V(f[2].next), nullptr);

  const ApiTypeRecord* shade = type("Shade");
  ASSERT_NE(V(shade), nullptr);
  EXPECT_EQ(V(shade->fields), nullptr);
  ASSERT_EQ(V(shade->count), 2u);
  ASSERT_EQ(V(shade->tagCount), 2u);
  EXPECT_STREQ(shade->tags[1], "colour");
  const ApiEnumeratorRecord* e = shade->enumerators;
  EXPECT_STREQ(e[0].name, "Dark") << "enumerators in name order";
  EXPECT_EQ(V(e[0].value), 2);
  EXPECT_STREQ(e[0].description, "dim");
  EXPECT_EQ(V(e[0].next), &e[1]);
  EXPECT_STREQ(e[1].name, "Light");
  EXPECT_EQ(V(e[1].next), nullptr);
}

// A structure without fields but with enumerators is written as an enumeration.
TEST_F(ApiExportTest, StructureWithOnlyEnumerators) {
  struct Odd {};
  registry.registerType(1, "Odd", staticType<Odd>(), false).addValue("X", 9, "");
  exported.build(registry);
  const ApiTypeRecord* odd = type("Odd");
  ASSERT_NE(V(odd), nullptr);
  EXPECT_EQ(V(odd->fields), nullptr);
  ASSERT_NE(V(odd->enumerators), nullptr);
  EXPECT_EQ(V(odd->count), 1u);
  EXPECT_EQ(V(odd->enumerators[0].value), 9);
}

TEST_F(ApiExportTest, EventRecordsAndRebuild) {
  exported.build(registry);
  ASSERT_EQ(V(exported.eventCount()), 1u);
  const ApiEventRecord& e = exported.events()[0];
  EXPECT_STREQ(e.name, "OnFoo");
  EXPECT_STREQ(e.nameSpace, "ns");
  EXPECT_STREQ(e.typeName, "Foo");
  EXPECT_STREQ(e.description, "fired");
  EXPECT_EQ(V(e.tagCount), 0u);

  // A rebuild after more registrations holds the 15 builtins too, all linked.
  registry.initialize();
  exported.build(registry);
  EXPECT_EQ(V(exported.typeCount()), 17u);
  std::uint32_t walked = 0;
  for (const ApiTypeRecord* t = exported.types(); t != nullptr; t = t->next) ++walked;
  EXPECT_EQ(V(walked), 17u);
  EXPECT_NE(V(type("BindingFullApiHelp")), nullptr);
  EXPECT_EQ(V(exported.eventCount()), 2u);

  exported.build({}, {}, {});
  EXPECT_EQ(V(exported.typeCount()), 0u);
  EXPECT_EQ(V(exported.types()), nullptr);
}


// A record may be registered before the enumeration and structure it holds,
// and an event before its payload: the export still names them.
enum class LateTone : std::int32_t { Low = 0, High = 1 };
struct LateInner {
  std::int32_t n = 0;
};
struct LateOuter {
  LateTone tone = LateTone::Low;
  std::vector<LateInner> inners;
};

TEST(ApiExportOrder, TypesRegisteredLaterAreNamedAllTheSame) {
  TypeRegistry registry;
  registerStruct<LateOuter>(registry, "LateOuter")
      .field("tone", &LateOuter::tone)
      .field("inners", &LateOuter::inners);
  registerEventOf<LateInner>(registry, "OnLate", "sent late");
  registerEnum<LateTone>(registry, "LateTone").value("Low", LateTone::Low).value("High", LateTone::High);
  registerStruct<LateInner>(registry, "LateInner").field("n", &LateInner::n);

  ApiExport exported;
  exported.build(registry);
  const ApiTypeRecord* outer = nullptr;
  for (const ApiTypeRecord* t = exported.types(); t != nullptr; t = t->next)
    if (std::string(t->name) == "LateOuter") outer = t;
  ASSERT_NE(outer, nullptr);
  ASSERT_EQ(V(outer->count), 2u);
  EXPECT_STREQ(outer->fields[0].typeName, "LateTone");
  EXPECT_EQ(V(outer->fields[1].typeCode), 15u);
  EXPECT_EQ(V(outer->fields[1].elementCode), 17u);
  EXPECT_STREQ(outer->fields[1].typeName, "LateInner");
  const ApiEventRecord* late = nullptr;
  for (const ApiEventRecord* e = exported.events(); e != nullptr; e = e->next)
    if (std::string(e->name) == "OnLate") late = e;
  ASSERT_NE(late, nullptr);
  EXPECT_STREQ(late->typeName, "LateInner");
}

}  // namespace
}  // namespace qor
