// The validator's own parts, from outside: route templates, the checks of
// values a plug-in hands back, the type check, and the renderings of
// synthesized values, and the reading of resource files.
#include "protocol/PercentEncode.h"
#include "validator/ApiModel.h"
#include "validator/CoreValues.h"
#include "validator/Report.h"
#include "validator/RequestBuilder.h"
#include "validator/TypeCheck.h"
#include "validator/Value.h"

#include <gtest/gtest.h>

#include <cstring>

namespace qor::validator {
namespace {

TEST(RouteTemplate, ParsesVariablesAndRefusesWhatNoRouterCanMatch) {
  std::vector<RouteVariable> variables;
  std::string problem;
  ASSERT_TRUE(parseRouteTemplate("/a/{id}/b/{+rest}", variables, &problem)) << problem;
  ASSERT_EQ(variables.size(), 2u);
  EXPECT_EQ(variables[0].name, "id");
  EXPECT_EQ(variables[1].kind, RouteVariable::kReserved);
  for (const char* bad : {"", "a/b", "/a/{", "/a/}", "/a/{}", "/a/{x{y}}", "/a/{x}/{x}", "/a/{#}"})
    EXPECT_FALSE(parseRouteTemplate(bad, variables, &problem)) << bad;
}

TEST(ValueCheck, FindsEveryBrokenRule) {
  ValueArena arena;
  EXPECT_EQ(checkCoreValue(toCoreValue(Value::object({{"a", Value::array({Value::ofString("x")})}}), arena)), "");
  CoreValue twin = arena.structure({{"k", ValueArena::boolean(true)}, {"k", ValueArena::boolean(false)}});
  CoreValue badBool = ValueArena::boolean(true);
  badBool.u.boolean = 3;
  const struct {
    CoreValue value;
    const char* problem;
  } rows[] = {
      {ValueArena::raw(11, nullptr, 0), "$: unknown kind 11"},
      {ValueArena::raw(CORE_VALUE_STRING_OWNED, nullptr, 0), "$: string with a null pointer"},
      {ValueArena::raw(CORE_VALUE_ARRAY, nullptr, 2), "$: array of 2 values at a null pointer"},
      {ValueArena::raw(CORE_VALUE_BLOB_OWNED, nullptr, 1), "$: blob of 1 bytes at a null pointer"},
      {twin, "$: member 'k' appears twice"},
      {badBool, "$: bool byte 3"},
  };
  for (const auto& row : rows) EXPECT_EQ(checkCoreValue(row.value), row.problem);
  // Deeper than the limit is malformed, wherever it sits.
  ValueLimits limits;
  limits.maxDepth = 10;
  Value deep = Value::ofSigned(1);
  for (int i = 0; i < 12; ++i) deep = Value::array({deep});
  EXPECT_NE(checkCoreValue(toCoreValue(deep, arena), limits).find("nested deeper than 10"), std::string::npos);
}

TEST(TypeCheck, ResultsMustFitTheirDeclaredType) {
  ApiModel model;
  TypeModel tone;
  tone.name = "Tone";
  tone.isEnumeration = true;
  tone.enumerators = {{"Plain", "", 0}, {"Formal", "", 1}};
  TypeModel greeting;
  greeting.name = "Greeting";
  greeting.fields = {{"text", "", 0, {CORE_TYPE_STRING, 0, ""}, false}, {"tone", "", 8, {CORE_TYPE_ENUM, 0, "Tone"}, false},
                     {"count", "", 12, {CORE_TYPE_UINT8, 0, ""}, false}};
  model.types = {tone, greeting};
  model.indexTypes();
  ValueArena arena;
  const TypeRefModel list{CORE_TYPE_VECTOR, CORE_TYPE_STRUCT, "Greeting"};
  auto check = [&](const Value& v) { return checkValueAgainstType(toCoreValue(v, arena), list, model); };
  EXPECT_EQ(check(Value::array({})), "");
  EXPECT_EQ(check(Value::ofString("x")), "$: string for vector<struct> Greeting");
  EXPECT_EQ(check(Value::array({Value::object({{"tone", Value::ofString("Formal")}, {"count", Value::ofUnsigned(3)}})})), "");
  EXPECT_EQ(check(Value::array({Value::object({{"tone", Value::ofString("Loud")}})})),
            "$[0].tone: \"Loud\" is no enumerator of Tone");
  EXPECT_EQ(check(Value::array({Value::object({{"extra", Value::ofSigned(1)}})})), "$[0].extra: not a field of Greeting");
  EXPECT_EQ(checkValueAgainstType(toCoreValue(Value::ofUnsigned(300), arena), {CORE_TYPE_UINT8, 0, ""}, model),
            "$: 300 is out of range for uint8");
  EXPECT_EQ(checkValueAgainstType(toCoreValue(Value::ofSigned(-1), arena), {CORE_TYPE_UINT32, 0, ""}, model),
            "$: -1 is out of range for uint32");
}

TEST(Renderings, EachFormKeepsTheBytesItIsGiven) {
  const Value v = Value::object({{"a", Value::array({Value::ofSigned(1), Value::of(true)})},
                                 {"s", Value::ofString("\xff\"")}});
  EXPECT_EQ(toJson(v), "{\"a\":[1,true],\"s\":\"\xff\\\"\"}");
  EXPECT_EQ(toMsgPack(Value::array({Value::ofSigned(1), Value::ofString("ab")})), std::string("\x92\x01\xa2" "ab", 5));
  EXPECT_EQ(toYaml(Value::object({{"k", Value::array({Value::ofSigned(2)})}})), "---\n\"k\":\n  - 2\n");
  EXPECT_EQ(percentEncode("a b/\xc3\xa9~"), "a%20b%2F%C3%A9~");
  EXPECT_EQ(jsonQuote("ok \xc3\xa9 \xff"), "\"ok \xc3\xa9 \\u00ff\"");
}

TEST(ResourceJson, KeepsNumberKindsBytesAndMemberOrderAndNamesWhereItBreaks) {
  Value v;
  std::string why;
  ASSERT_TRUE(parseJson(" {\"z\": [-3, 4, 18446744073709551615, 1.5, 1e300], \"a\": \"\\u00e9\\ud83d\\ude00\xff\","
                        " \"n\": null, \"t\": true} ", v, &why)) << why;
  ASSERT_EQ(v.kind, Value::kObject);
  ASSERT_EQ(v.members.size(), 4u);
  EXPECT_EQ(v.members[0].first, "z");  // in the file's order
  const std::vector<Value>& numbers = v.members[0].second.elements;
  ASSERT_EQ(numbers.size(), 5u);
  EXPECT_EQ(numbers[0].kind, Value::kSigned);
  EXPECT_EQ(numbers[0].i64, -3);
  EXPECT_EQ(numbers[1].kind, Value::kUnsigned);
  EXPECT_EQ(numbers[2].u64, 18446744073709551615ull);
  EXPECT_EQ(numbers[3].kind, Value::kDouble);
  EXPECT_EQ(numbers[4].kind, Value::kDouble);
  EXPECT_EQ(v.members[1].second.text, "\xc3\xa9\xf0\x9f\x98\x80\xff");  // escapes decoded, other bytes kept
  EXPECT_EQ(v.members[2].second.kind, Value::kNull);
  EXPECT_TRUE(v.members[3].second.boolean);
  // An error names its offset; so does text after the value.
  EXPECT_FALSE(parseJson("{\"a\": [1, 2}", v, &why));
  EXPECT_NE(why.find("at offset 11"), std::string::npos) << why;
  EXPECT_FALSE(parseJson("{} x", v, &why));
  EXPECT_NE(why.find("at offset 3"), std::string::npos) << why;
  EXPECT_FALSE(parseJson(std::string(300, '[') + std::string(300, ']'), v, &why));
  EXPECT_NE(why.find("nesting deeper than 256"), std::string::npos) << why;
}

}  // namespace
}  // namespace qor::validator
