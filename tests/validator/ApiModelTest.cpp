// Reading a plug-in's API table: a sound table reads without a problem, and
// each way of breaking it gives the one problem line that names the record
// and what is wrong with it (the line a failing api.table test shows).
#include "validator/ApiModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace qor::validator {
namespace {

void QOR_CDECL dispatchNothing(CoreResponse*, const CoreRequest*) {}

// Two functions (GET /greeter/v1/greetings/{id} with a path and a query
// argument, POST /greeter/v1/greetings without), a structure with two
// fields, an enumeration of two, and an event carrying the structure.
struct SoundTable {
  ApiArgumentRecord arguments[2]{};
  ApiArgumentLocationEntry locations[2]{};
  ApiFunctionRecord functions[2]{};
  ApiFieldRecord fields[2]{};
  ApiEnumeratorRecord enumerators[2]{};
  ApiTypeRecord types[2]{};
  ApiEventRecord events[1]{};
  PluginApiTable table{};
  int callContext = 0;

  SoundTable() {
    arguments[0] = {&arguments[1], "id", "", CORE_TYPE_STRING, 0, "", 0};
    arguments[1] = {nullptr, "tone", "", CORE_TYPE_ENUM, 0, "Tone", 1};
    locations[0] = {&locations[1], CORE_LOCATION_PATH};
    locations[1] = {nullptr, CORE_LOCATION_QUERY};
    function(functions[0], &functions[1], "GetGreeting", "/greeter/v1/greetings/{id}", CORE_METHOD_GET);
    functions[0].head.arguments = arguments;
    functions[0].head.argumentCount = 2;
    functions[0].head.returnCode = CORE_TYPE_STRUCT;
    functions[0].head.returnTypeName = "Greeting";
    functions[0].locations = locations;
    function(functions[1], nullptr, "PostGreeting", "/greeter/v1/greetings", CORE_METHOD_POST);
    fields[0] = {&fields[1], "text", "", 0, CORE_TYPE_STRING, 0, "", 0};
    fields[1] = {nullptr, "tone", "", 8, CORE_TYPE_ENUM, 0, "Tone", 0};
    enumerators[0] = {&enumerators[1], "Plain", "", 0};
    enumerators[1] = {nullptr, "Formal", "", 1};
    types[0] = {&types[1], "Greeting", "", 16, "", nullptr, 0, fields, nullptr, 2};
    types[1] = {nullptr, "Tone", "", 4, "", nullptr, 0, nullptr, enumerators, 2};
    events[0] = {nullptr, "OnGreeting", "", "Greeting", "", nullptr, 0};
    table = {functions, 2, types, 2, events, 1};
  }

  void function(ApiFunctionRecord& f, const ApiFunctionRecord* next, const char* name, const char* uri,
                std::uint32_t method) {
    f.head.next = next;
    f.head.callContext = &callContext;
    f.head.name = name;
    f.head.nameSpace = "";
    f.head.returnTypeName = "";
    f.head.description = "";
    f.head.help = "";
    f.head.asyncTypeName = "";
    f.dispatch = &dispatchNothing;
    f.uriTemplate = uri;
    f.method = method;
    f.methodName = "";
  }
};

TEST(ApiModel, ASoundTableReadsWithoutProblems) {
  SoundTable sound;
  const ApiModel model = ApiModel::read(&sound.table);
  EXPECT_TRUE(model.problems.empty()) << ::testing::PrintToString(model.problems);
  ASSERT_EQ(model.functions.size(), 2u);
  EXPECT_EQ(model.functions[0].routeText(), "GET /greeter/v1/greetings/{id}");
  ASSERT_EQ(model.functions[0].arguments.size(), 2u);
  EXPECT_EQ(model.functions[0].arguments[1].location, std::uint32_t{CORE_LOCATION_QUERY});
  ASSERT_NE(model.findType("Tone"), nullptr);
  EXPECT_TRUE(model.findType("Tone")->isEnumeration);
  EXPECT_EQ(model.findType("Greeting")->fields.size(), 2u);
  EXPECT_NE(model.findEvent("OnGreeting"), nullptr);
}

TEST(ApiModel, EachBrokenRecordGivesTheLineThatNamesIt) {
  const struct {
    std::function<void(SoundTable&)> breakIt;
    const char* line;
  } rows[] = {
      {[](SoundTable& t) { t.table.functions = nullptr; }, "function record: 2 records at a null pointer"},
      {[](SoundTable& t) { t.functions[0].head.next = nullptr; },
       "function record 0: the list ends here although the count is 2"},
      {[](SoundTable& t) { t.functions[0].head.name = nullptr; }, "function record 0: the name is a null pointer"},
      {[](SoundTable& t) { t.functions[1].head.name = "GetGreeting"; }, "function GetGreeting: the name appears twice"},
      {[](SoundTable& t) { t.functions[0].head.zero = 7; }, "function GetGreeting: the zero word after next holds 7"},
      {[](SoundTable& t) { t.functions[0].dispatch = nullptr; }, "function GetGreeting: no dispatch entry"},
      {[](SoundTable& t) { t.functions[1].method = 9; }, "function PostGreeting: method code 9"},
      {[](SoundTable& t) { t.functions[1].method = CORE_METHOD_OTHER; },
       "function PostGreeting: method code 8 without a method name"},
      {[](SoundTable& t) { t.functions[0].uriTemplate = "/greeter/v1/greetings/{id"; },
       "function GetGreeting: URI template \"/greeter/v1/greetings/{id\" the \"{\" at 22 is never closed"},
      {[](SoundTable& t) {
         t.functions[1].uriTemplate = "/greeter/v1/greetings/{id}";
         t.functions[1].method = CORE_METHOD_GET;
       },
       "function PostGreeting: the route GET /greeter/v1/greetings/{id} appears twice"},
      {[](SoundTable& t) { t.locations[1].location = CORE_LOCATION_PATH; },
       "function GetGreeting: path argument \"tone\" is not a variable of /greeter/v1/greetings/{id}"},
      {[](SoundTable& t) { t.arguments[0].name = "ident"; },
       "function GetGreeting: template variable \"id\" names no argument"},
      {[](SoundTable& t) { t.arguments[0].typeCode = 42; }, "function GetGreeting argument 0: type code 42 is not a type"},
      {[](SoundTable& t) { t.arguments[1].typeCode = CORE_TYPE_VECTOR; },
       "function GetGreeting argument 1: vector with element code 0"},
      {[](SoundTable& t) { t.arguments[1].optional = 2; }, "function GetGreeting argument 1: optional byte 2"},
      {[](SoundTable& t) { t.locations[1].location = 9; }, "function GetGreeting argument 1: location 9"},
      {[](SoundTable& t) { t.functions[0].locations = nullptr; },
       "function GetGreeting argument 0: has no location entry"},
      {[](SoundTable& t) { t.functions[0].head.returnTypeName = "Missing"; },
       "function GetGreeting result: the type \"Missing\" is not in the API table"},
      {[](SoundTable& t) { t.types[0].enumerators = t.enumerators; }, "type Greeting: has both fields and enumerators"},
      {[](SoundTable& t) { t.fields[1].offset = 16; },
       "type Greeting field 1: offset 16 lies outside the record's 16 bytes"},
      {[](SoundTable& t) { t.fields[1].typeCode = CORE_TYPE_STRUCT; },
       "type Greeting field tone: \"Tone\" is described as an enumeration but referred to as struct"},
      {[](SoundTable& t) { t.enumerators[1].name = "Plain"; }, "type Tone enumerator 1: the name \"Plain\" appears twice"},
      {[](SoundTable& t) { t.types[1].name = "Greeting"; }, "type Greeting: the name appears twice"},
      {[](SoundTable& t) { t.events[0].typeName = "Nope"; },
       "event OnGreeting: the payload type \"Nope\" is not in the API table"},
      {[](SoundTable& t) { t.table.eventCount = 200000; }, "event record: record count 200000"},
  };
  for (const auto& row : rows) {
    SoundTable table;
    row.breakIt(table);
    const ApiModel model = ApiModel::read(&table.table);
    EXPECT_NE(std::find(model.problems.begin(), model.problems.end(), row.line), model.problems.end())
        << "wanted: " << row.line << "\ngot: " << ::testing::PrintToString(model.problems);
  }
}

}  // namespace
}  // namespace qor::validator
