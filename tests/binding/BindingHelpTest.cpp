// Tests of the API help records: type identifiers, buildApiHelp over a
// registry, and conversion of the help records through their own builtin
// registrations.
#include "binding/BindingHelp.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "binding/PropertyConverter.h"
#include "binding/TypeRegistration.h"

namespace qor {
namespace {

enum class Tone : std::int32_t { Low = 1, High = 2 };
struct Note {
  Tone tone = Tone::Low;
  std::vector<Tone> tones;
  std::map<std::string, std::string> labels;
};

class BindingHelpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry.initialize();
    registerEnum<Tone>(registry, "Tone", {"music"}).description("a tone").value("High", Tone::High).value("Low", Tone::Low);
    registerStruct<Note>(registry, "Note", {"music"})
        .field("tone", &Note::tone, {.description = "pitch"})
        .field("tones", &Note::tones, {.optional = true})
        .field("labels", &Note::labels);
    FunctionBuilder f = registry.registerFunction("Play", 1);
    f.addArgument("note", "what to play").setArgumentType(0, typeRefOf<Note>(registry), true);
    f.setReturns(typeRefOf<std::vector<Note>>(registry)).setAsync(true).setThreadSafe(true);
    registerEventOf<Note>(registry, "OnNote", "played", {"music"});
  }
  TypeRegistry registry;
};

TEST_F(BindingHelpTest, TypeIdentifiers) {
  const TypeDescriptor* note = registry.findTypeByName("Note");
  struct Case {
    TypeRef ref;
    const char* type;
    const char* element;
  } cases[] = {
      {{BindingTypeCode::Int32}, "int32", ""},
      {{BindingTypeCode::None}, "", ""},
      {{BindingTypeCode::Struct, BindingTypeCode::None, note}, "Note", ""},
      {{BindingTypeCode::Struct}, "struct", ""},
      {{BindingTypeCode::Enum}, "enum", ""},
      {{BindingTypeCode::Vector, BindingTypeCode::Struct, note}, "vector", "Note"},
      {{BindingTypeCode::Vector, BindingTypeCode::String}, "vector", "string"},
      {{BindingTypeCode::Map, BindingTypeCode::Double}, "map", "double"},
      {{BindingTypeCode::Map, BindingTypeCode::Enum}, "map", "enum"},
  };
  for (const Case& c : cases) {
    BindingFullTypeIdentifier id = typeIdentifier(c.ref);
    EXPECT_EQ(id.type, c.type);
    EXPECT_EQ(id.elementType, c.element);
  }
}

TEST_F(BindingHelpTest, BuildsHelpFromTheRegistry) {
  BindingFullApiHelp help = buildApiHelp(registry);
  ASSERT_EQ(help.functions.size(), 1u);
  const BindingFullFunctionHelp& play = help.functions[0];
  EXPECT_EQ(play.name, "Play");
  EXPECT_EQ(play.returns.type, "vector");
  EXPECT_EQ(play.returns.elementType, "Note");
  EXPECT_EQ(play.async, "vector");
  EXPECT_TRUE(play.threadSafe);
  ASSERT_EQ(play.arguments.size(), 1u);
  EXPECT_EQ(play.arguments[0].type.type, "Note");
  EXPECT_TRUE(play.arguments[0].optional);

  ASSERT_EQ(help.types.size(), 17u);
  const BindingFullTypeHelp* note = nullptr;
  const BindingFullTypeHelp* tone = nullptr;
  for (const auto& t : help.types) {
    if (t.name == "Note") note = &t;
    if (t.name == "Tone") tone = &t;
  }
  ASSERT_NE(note, nullptr);
  ASSERT_NE(tone, nullptr);
  ASSERT_EQ(note->fields.size(), 3u);
  EXPECT_EQ(note->fields[0].name, "tone");
  EXPECT_EQ(note->fields[0].description, "pitch");
  EXPECT_EQ(note->fields[0].type.type, "Tone");
  EXPECT_EQ(note->fields[1].type.elementType, "Tone");
  EXPECT_TRUE(note->fields[1].optional);
  EXPECT_TRUE(note->values.empty());
  EXPECT_TRUE(tone->fields.empty());
  ASSERT_EQ(tone->values.size(), 2u);
  EXPECT_EQ(tone->values[0].name, "High");
  EXPECT_EQ(tone->values[0].value, 2);

  ASSERT_EQ(help.events.size(), 2u);
  EXPECT_EQ(help.events[0].name, "OnCallback");
  EXPECT_EQ(help.events[1].type.type, "Note");
}

// The help records convert through their builtin registrations, both ways.
TEST_F(BindingHelpTest, HelpRecordsConvert) {
  BindingFullApiHelp help = buildApiHelp(registry);
  BindingResult out;
  toProperty(out, help, registry);
  ASSERT_TRUE(out.ok) << out.errorText();
  EXPECT_EQ(out.value.get("functions").get(std::size_t{0}).get("async").asString(), "vector");
  BindingFullApiHelp back;
  BindingResult in;
  fromProperty(in, back, out.value, kTopLevelFieldName, registry);
  ASSERT_TRUE(in.ok) << in.errorText();
  ASSERT_EQ(back.types.size(), help.types.size());
  EXPECT_EQ(back.types[5].name, help.types[5].name);
  EXPECT_EQ(back.functions[0].arguments[0].description, "what to play");
}

}  // namespace
}  // namespace qor
