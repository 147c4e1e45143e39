// Tests of argument binding: sources and their order, dotted paths, locations,
// empty texts, the core's argument list and the body.
#include "dispatch/ArgumentBinder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "binding/TypeRegistry.h"
#include "dispatch/FunctionRoute.h"
#include "dispatch/HandlerInvoker.h"
#include "dispatch/QueryMap.h"

namespace qor {
namespace {

using Kind = BindingPropertyKind;
using Code = BindingTypeCode;

TEST(QueryMap, RepeatedKeyKeepsItsPlaceAndTakesTheLastValue) {
  const QueryMap query("a=1&a=2&b&c=x%3Dy+z&=v&&d=");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"a", "2"}, {"b", ""}, {"c", "x=y z"}, {"", "v"}, {"d", ""}};
  EXPECT_EQ(query.entries(), expected);
  ASSERT_NE(query.find("c"), nullptr);
  EXPECT_EQ(*query.find("c"), "x=y z");
  EXPECT_EQ(query.find("zz"), nullptr);
  EXPECT_TRUE(QueryMap("").entries().empty());
}

TEST(QueryMap, ManyKeysStayInFirstAppearanceOrder) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "k" + std::to_string(i % 40) + "=" + std::to_string(i) + "&";
  const QueryMap query(text);
  ASSERT_EQ(query.entries().size(), 40u);
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(query.entries()[i].first, "k" + std::to_string(i));
    EXPECT_EQ(query.entries()[i].second, std::to_string(i + 80 < 100 ? i + 80 : i + 40));
  }
}

TEST(HeaderMap, LastValueWinsAndNullsAreSafe) {
  const CoreHeader headers[] = {
      {"x", "1"}, {nullptr, "ignored"}, {"x", "2"}, {"y", nullptr}};
  const HeaderMap map(headers, 4);
  std::string_view value;
  ASSERT_TRUE(map.find("x", value));
  EXPECT_EQ(value, "2");
  ASSERT_TRUE(map.find("y", value));
  EXPECT_EQ(value, "");
  EXPECT_FALSE(map.find("X", value));
  EXPECT_FALSE(HeaderMap(nullptr, 5).find("x", value));
}

struct ArgSpec {
  const char* name;
  Code code;
  ArgumentLocation location;
  bool optional;
};

class ArgumentBinderTest : public ::testing::Test {
 protected:
  void define(std::initializer_list<ArgSpec> specs) {
    function_.name = "F";
    function_.arguments.clear();
    route_.locations.clear();
    for (const ArgSpec& spec : specs) {
      ArgumentDescriptor argument;
      argument.name = spec.name;
      argument.type.code = spec.code;
      argument.optional = spec.optional;
      argument.location = static_cast<std::uint32_t>(spec.location);
      function_.arguments.push_back(argument);
      route_.locations.push_back(spec.location);
    }
  }

  void SetUp() override {
    define({{"list", Code::Vector, ArgumentLocation::Anywhere, false},
            {"id", Code::Int32, ArgumentLocation::Path, false},
            {"flag", Code::Bool, ArgumentLocation::Anywhere, false},
            {"optFlag", Code::Bool, ArgumentLocation::Anywhere, true},
            {"obj", Code::Struct, ArgumentLocation::Anywhere, false},
            {"n", Code::Int32, ArgumentLocation::Query, false},
            {"payload", Code::Object, ArgumentLocation::Body, false},
            {"Count", Code::String, ArgumentLocation::Header, false}});
  }

  // Binds one named text on a freshly prepared list.
  BindingResult bindText(std::string_view key, std::string_view text,
                         ArgumentLocation source = ArgumentLocation::Query) {
    ArgumentBinder binder(function_, route_);
    binder.prepare(list_);
    BindingResult status;
    binder.bindNamedText(status, list_, key, text, source);
    return status;
  }

  BindingResult bindAll(const BindingSources& sources) {
    ArgumentBinder binder(function_, route_);
    BindingResult status;
    binder.bind(status, sources, list_);
    return status;
  }

  const BindingProperty& value(const char* name) const {
    for (std::size_t i = 0; i < function_.arguments.size(); ++i) {
      if (function_.arguments[i].name == name) return list_.values[i];
    }
    return BindingProperty::emptyValue();
  }
  bool bound(const char* name) const {
    for (std::size_t i = 0; i < function_.arguments.size(); ++i) {
      if (function_.arguments[i].name == name) return list_.bound[i] != 0;
    }
    return false;
  }

  FunctionDescriptor function_;
  FunctionRoute route_;
  ArgumentList list_;
};

TEST_F(ArgumentBinderTest, PreparedListHasFalseForRequiredBoolsOnly) {
  const BindingResult status = bindAll({});
  ASSERT_TRUE(status.ok);
  ASSERT_EQ(list_.values.size(), 8u);
  EXPECT_EQ(value("flag").kind(), Kind::Bool);
  EXPECT_FALSE(value("flag").asBool(true));
  EXPECT_TRUE(value("optFlag").isEmpty());
  EXPECT_TRUE(value("list").isEmpty());
  for (std::uint8_t b : list_.bound) EXPECT_EQ(b, 0);
}

TEST_F(ArgumentBinderTest, NamedTextFailures) {
  struct Row {
    const char* key;
    const char* text;
    ArgumentLocation source;
    const char* message;
  };
  const Row rows[] = {
      {"zzz", "1", ArgumentLocation::Query, "Unknown argument 'zzz' for 'F'."},
      {"zzz.0", "1", ArgumentLocation::Query, "Unknown argument 'zzz' for 'F'."},
      {"id", "1", ArgumentLocation::Query,
       "Argument 'id' for 'F' was specified in an invalid location."},
      {"id.x", "1", ArgumentLocation::Header,
       "Argument 'id' for 'F' was specified in an invalid location."},
      {"n", "1", ArgumentLocation::Path, "Argument 'n' for 'F' was specified in an invalid location."},
      {"n", "", ArgumentLocation::Query, "Expected value for argument 'n'."},
      {"Count", "", ArgumentLocation::Header, "Expected value for argument 'Count'."},
      {"list.1z", "a", ArgumentLocation::Query, "Index 1z is in an incorrect format"},
      {"list.08", "a", ArgumentLocation::Query, "Index 08 is in an incorrect format"},
      {"list.0x", "a", ArgumentLocation::Query, "Index 0x is in an incorrect format"},
      {"list.1.2x.a", "a", ArgumentLocation::Query, "Index 2x is in an incorrect format"},
      {"list.2147483648", "a", ArgumentLocation::Query, "Index 2147483648 is out of range"},
      {"list.65536", "a", ArgumentLocation::Query, "Index 65536 is out of range"},
      {"list.0x10000", "a", ArgumentLocation::Query, "Index 0x10000 is out of range"},
      {"list.99999999999999999999999999", "a", ArgumentLocation::Query,
       "Index 99999999999999999999999999 is out of range"},
  };
  for (const Row& row : rows) {
    const BindingResult status = bindText(row.key, row.text, row.source);
    ASSERT_FALSE(status.ok) << row.key;
    EXPECT_EQ(status.errorText(), row.message) << row.key;
  }
}

TEST_F(ArgumentBinderTest, DottedIndexGrowsTheCollection) {
  ASSERT_TRUE(bindText("list.2", "c").ok);
  const BindingProperty& list = value("list");
  ASSERT_EQ(list.kind(), Kind::Collection);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_TRUE(list.get(0).isEmpty());
  EXPECT_TRUE(list.get(1).isEmpty());
  EXPECT_EQ(list.get(2).asString(), "c");
  EXPECT_TRUE(bound("list"));
}

TEST_F(ArgumentBinderTest, DottedIndexBasesAndTheLargestIndex) {
  struct Row {
    const char* key;
    std::size_t size;
  };
  const Row rows[] = {{"list.0x10", 17}, {"list.010", 9}, {"list.0", 1}, {"list.65535", 65536}};
  for (const Row& row : rows) {
    ASSERT_TRUE(bindText(row.key, "v").ok) << row.key;
    EXPECT_EQ(value("list").size(), row.size) << row.key;
    EXPECT_EQ(value("list").get(row.size - 1).asString(), "v") << row.key;
  }
}

TEST_F(ArgumentBinderTest, DottedMemberAndNestedPaths) {
  ASSERT_TRUE(bindText("list.x1", "v").ok);
  EXPECT_EQ(value("list").kind(), Kind::Structure);
  EXPECT_EQ(value("list").get("x1").asString(), "v");

  ASSERT_TRUE(bindText("obj.items.1.name", "[1]").ok);
  const BindingProperty& items = value("obj").get("items");
  ASSERT_EQ(items.kind(), Kind::Collection);
  ASSERT_EQ(items.size(), 2u);
  // The last segment is decoded without sniffing: the text stays a string.
  EXPECT_EQ(items.get(1).get("name").asString(), "[1]");
}

// A dotted key nests the value one container per segment: a URI cannot make
// it deeper than any reader would accept.
TEST_F(ArgumentBinderTest, DottedPathsNestNoDeeperThanTheLimit) {
  std::string key = "obj";
  for (std::size_t i = 0; i < kMaxArgumentPathSegments; ++i) key += ".a";
  ASSERT_TRUE(bindText(key, "x").ok);
  std::size_t depth = 0;
  for (const BindingProperty* v = &value("obj"); v->kind() == Kind::Structure; v = &v->get("a")) ++depth;
  EXPECT_EQ(depth, kMaxArgumentPathSegments);

  key += ".0";
  BindingResult status = bindText(key, "x");
  EXPECT_FALSE(status.ok);
  EXPECT_EQ(status.errorText(), "Argument 'obj' for 'F' is nested too deeply.");
  EXPECT_TRUE(value("obj").isEmpty()) << "nothing is built for a refused key";
}

TEST_F(ArgumentBinderTest, EmptyTextsGiveTrueOrEmptyContainers) {
  ASSERT_TRUE(bindText("flag", "").ok);
  EXPECT_TRUE(value("flag").asBool());
  ASSERT_TRUE(bindText("obj", "").ok);
  EXPECT_EQ(value("obj").kind(), Kind::Structure);
  EXPECT_EQ(value("obj").size(), 0u);
  ASSERT_TRUE(bindText("list", "").ok);
  EXPECT_EQ(value("list").kind(), Kind::Collection);
  EXPECT_EQ(value("list").size(), 0u);
}

TEST_F(ArgumentBinderTest, SniffingOnlyForContainerArguments) {
  ASSERT_TRUE(bindText("list", "[1,2]").ok);
  EXPECT_EQ(value("list").kind(), Kind::Collection);
  ASSERT_TRUE(bindText("n", "[1,2]").ok);
  EXPECT_EQ(value("n").kind(), Kind::String);
  ASSERT_TRUE(bindText("obj", "  --- a: 1").ok);
  EXPECT_EQ(value("obj").kind(), Kind::Structure);
}

TEST_F(ArgumentBinderTest, InventoryTypesFromTheQuery) {
  define({{"inventoryTypes", Code::Vector, ArgumentLocation::Query, false}});
  struct Row {
    const char* query;
    Kind kind;
    std::vector<std::string> elements;
  };
  const Row rows[] = {
      {"inventoryTypes=%5B%22GEAR%22%2C%22EMOTE%22%5D", Kind::Collection, {"GEAR", "EMOTE"}},
      {"inventoryTypes=GEAR", Kind::String, {}},
      {"inventoryTypes.0=GEAR&inventoryTypes.1=EMOTE", Kind::Collection, {"GEAR", "EMOTE"}},
      {"inventoryTypes=", Kind::Collection, {}},
  };
  for (const Row& row : rows) {
    BindingSources sources;
    sources.query = row.query;
    const BindingResult status = bindAll(sources);
    ASSERT_TRUE(status.ok) << row.query << ": " << status.errorText();
    const BindingProperty& v = value("inventoryTypes");
    ASSERT_EQ(v.kind(), row.kind) << row.query;
    if (row.kind != Kind::Collection) continue;
    ASSERT_EQ(v.size(), row.elements.size()) << row.query;
    for (std::size_t i = 0; i < row.elements.size(); ++i) EXPECT_EQ(v.get(i).asString(), row.elements[i]);
  }
  BindingSources unknown;
  unknown.query = "inventoryTypes=A&other=1";
  EXPECT_EQ(bindAll(unknown).errorText(), "Unknown argument 'other' for 'F'.");
}

TEST_F(ArgumentBinderTest, HeadersAreFoundByLowerCasedArgumentName) {
  const CoreHeader headers[] = {
      {"count", "7"}, {"Count", "wrong"}, {"flag", nullptr}, {"n", "5"}, {nullptr, nullptr}};
  BindingSources sources;
  sources.headers = headers;
  sources.headerCount = 5;
  const BindingResult status = bindAll(sources);
  ASSERT_TRUE(status.ok) << status.errorText();
  EXPECT_EQ(value("Count").asString(), "7");
  EXPECT_TRUE(value("flag").asBool());  // a null value is an empty text
  EXPECT_TRUE(value("n").isEmpty());    // "n" may come only from the query
  EXPECT_FALSE(bound("n"));
}

TEST_F(ArgumentBinderTest, SourcesBindInOrderAndLaterOnesWin) {
  define({{"a", Code::String, ArgumentLocation::Anywhere, false},
          {"b", Code::String, ArgumentLocation::Anywhere, false},
          {"c", Code::String, ArgumentLocation::Anywhere, false}});
  const CoreHeader headers[] = {{"a", "header"}};
  const std::vector<std::pair<std::string, std::string>> captured = {{"a", "path"}, {"b", "path"}};
  const CoreArgument arguments[] = {
      {"b", CoreValue{CORE_VALUE_STRING_BORROWED, {.block = {const_cast<char*>("core"), 4}}}}};
  BindingSources sources;
  sources.headers = headers;
  sources.headerCount = 1;
  sources.captured = &captured;
  sources.query = "a=query";
  sources.arguments = arguments;
  sources.argumentCount = 1;
  ASSERT_TRUE(bindAll(sources).ok);
  EXPECT_EQ(value("a").asString(), "query");
  EXPECT_EQ(value("b").asString(), "core");
  EXPECT_TRUE(value("c").isEmpty());
  EXPECT_FALSE(bound("c"));
}

TEST_F(ArgumentBinderTest, UnnamedCoreArgumentsFollowThePathVariables) {
  define({{"id", Code::String, ArgumentLocation::Path, false},
          {"x", Code::Int64, ArgumentLocation::Anywhere, false},
          {"y", Code::Bool, ArgumentLocation::Anywhere, false}});
  const std::vector<std::pair<std::string, std::string>> captured = {{"id", "7"}};
  CoreValue first{};
  first.kind = CORE_VALUE_SIGNED;
  first.u.i64 = -5;
  CoreValue second{};
  second.kind = CORE_VALUE_BOOL;
  second.u.boolean = 1;
  const CoreArgument arguments[] = {{nullptr, first}, {nullptr, second}, {nullptr, second}};
  BindingSources sources;
  sources.captured = &captured;
  sources.arguments = arguments;
  sources.argumentCount = 2;
  ASSERT_TRUE(bindAll(sources).ok);
  EXPECT_EQ(value("id").asString(), "7");
  EXPECT_EQ(value("x").asInt64(), -5);
  EXPECT_TRUE(value("y").asBool());

  sources.argumentCount = 3;
  EXPECT_EQ(bindAll(sources).errorText(), "Unknown argument '3' for 'F'.");
}

TEST_F(ArgumentBinderTest, CoreArgumentFailuresNameTheArgument) {
  CoreValue bad{};
  bad.kind = 77;
  const CoreArgument unknownTag[] = {{"n", bad}};
  BindingSources sources;
  sources.arguments = unknownTag;
  sources.argumentCount = 1;
  const BindingResult status = bindAll(sources);
  ASSERT_FALSE(status.ok);
  EXPECT_EQ(status.errorText(),
            "Couldn't assign value to 'n' of type object because the input is of an incompatible "
            "type ''.");

  const CoreArgument unknownName[] = {{"nope", CoreValue{}}};
  sources.arguments = unknownName;
  EXPECT_EQ(bindAll(sources).errorText(), "Unknown argument 'nope' for 'F'.");
}

TEST_F(ArgumentBinderTest, BodyGoesToTheBodyArgumentOnly) {
  const std::string body = "{\"k\":1}";
  BindingSources sources;
  sources.contentType = "application/json";
  sources.body = body.data();
  sources.bodySize = body.size();
  ASSERT_TRUE(bindAll(sources).ok);
  EXPECT_EQ(value("payload").kind(), Kind::Structure);
  EXPECT_TRUE(bound("payload"));

  sources.contentType = "text/plain";
  EXPECT_EQ(bindAll(sources).errorText(), "Unsupported body content type");

  // Without a body argument the body is ignored, whatever its type.
  define({{"a", Code::String, ArgumentLocation::Anywhere, false}});
  EXPECT_TRUE(bindAll(sources).ok);
  // A content type with a null body is no body.
  SetUp();
  sources.body = nullptr;
  EXPECT_TRUE(bindAll(sources).ok);
  EXPECT_FALSE(bound("payload"));
}

TEST_F(ArgumentBinderTest, FirstErrorEndsBinding) {
  BindingSources sources;
  sources.query = "zzz=1&n=5";
  const BindingResult status = bindAll(sources);
  EXPECT_EQ(status.errorText(), "Unknown argument 'zzz' for 'F'.");
  EXPECT_TRUE(value("n").isEmpty());
}

}  // namespace
}  // namespace qor
