// Tests of the JSON reader: the mapping of JSON onto values, merging of
// repeated keys, reading within the given size, deep nesting, and reading
// into a registered record.
#include "formats/JsonReader.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "binding/TypeRegistration.h"
#include "binding/TypeRegistry.h"
#include "formats/ValueText.h"

namespace qor {
namespace {

using test::valueDepth;
using test::valueText;

struct JsonCase {
  const char* input;
  const char* expected;  // rendered by valueText

  friend void PrintTo(const JsonCase& c, std::ostream* os) { *os << c.input; }
};

class JsonMappingTest : public ::testing::TestWithParam<JsonCase> {};

TEST_P(JsonMappingTest, BuildsValue) {
  BindingResult r = readJson(GetParam().input);
  ASSERT_TRUE(r.ok) << r.errorText();
  EXPECT_EQ(valueText(r.value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Scalars, JsonMappingTest,
    ::testing::Values(JsonCase{"", "~"}, JsonCase{" \t\r\n ", "~"}, JsonCase{"null", "~"},
                      JsonCase{"true", "true"}, JsonCase{" false ", "false"}, JsonCase{"5", "u5"},
                      JsonCase{"-5", "i-5"}, JsonCase{"-0", "i0"}, JsonCase{"5.0", "f5"},
                      JsonCase{"5e0", "f5"}, JsonCase{"-2.5E-1", "f-0.25"},
                      JsonCase{"4294967296", "u4294967296"},
                      JsonCase{"-2147483649", "i-2147483649"},
                      JsonCase{"18446744073709551615", "u18446744073709551615"},
                      JsonCase{"18446744073709551616", "f1.8446744073709552e+19"},
                      JsonCase{"-9223372036854775808", "i-9223372036854775808"},
                      JsonCase{"-9223372036854775809", "f-9.2233720368547758e+18"},
                      JsonCase{R"("a\"b\\c\/\n\t")", R"("a\x22b\x5Cc/\x0A\x09")"},
                      JsonCase{R"("\u00e9")", R"("\xC3\xA9")"},
                      JsonCase{R"("\ud83d\ude00")", R"("\xF0\x9F\x98\x80")"},
                      JsonCase{R"("")", R"("")"}));

INSTANTIATE_TEST_SUITE_P(
    Containers, JsonMappingTest,
    ::testing::Values(JsonCase{"[1, null, true]", "[u1,~,true]"}, JsonCase{"[]", "[]"},
                      JsonCase{"{}", "{}"}, JsonCase{R"({"a":null})", "{a:~}"},
                      JsonCase{R"({"b":1,"a":2,"B":3})", "{B:u3,a:u2,b:u1}"},
                      JsonCase{R"([[1,[2]],{"x":[{}]}])", "[[u1,[u2]],{x:[{}]}]"},
                      JsonCase{R"({"":1})", "{:u1}"}));

// A repeated key reuses its member: scalars replace, objects merge, arrays
// append, and null keeps what the member holds.
INSTANTIATE_TEST_SUITE_P(
    RepeatedKeys, JsonMappingTest,
    ::testing::Values(JsonCase{R"({"a":1,"a":2})", "{a:u2}"},
                      JsonCase{R"({"a":{"x":1},"a":{"y":2}})", "{a:{x:u1,y:u2}}"},
                      JsonCase{R"({"a":[1],"a":[2]})", "{a:[u1,u2]}"},
                      JsonCase{R"({"a":[1],"a":{"x":1}})", "{a:{x:u1}}"},
                      JsonCase{R"({"a":{"x":1},"a":5})", "{a:u5}"},
                      JsonCase{R"({"a":5,"a":null})", "{a:u5}"},
                      JsonCase{R"({"a":{"x":1,"x":{"y":[true]}},"a":{"x":{"z":"s"}}})",
                               R"({a:{x:{y:[true],z:"s"}}})"}));

TEST(JsonReaderTest, NullPointerIsEmptyText) {
  BindingResult r = readJson(static_cast<const char*>(nullptr));
  EXPECT_TRUE(r.ok);
  EXPECT_TRUE(r.value.isEmpty());
}

// Reading stops at the first NUL byte or at the end of the view, and never
// reads past the view: the buffers below hold exactly the view's bytes, so
// ASan reports any read beyond them.
TEST(JsonReaderTest, ReadsWithinSizeAndFirstNul) {
  struct Row {
    std::string bytes;
    bool ok;
    const char* expected;  // value text or error message
  };
  const Row rows[] = {
      {"[1,2]", true, "[u1,u2]"},
      {std::string("[1]\0garbage", 11), true, "[u1]"},
      {std::string("  \0[1]", 6), true, "~"},
      {"12345", true, "u12345"},
      {"\"abc", false, "Error: Missing a closing quotation mark in string. at offset 4."},
      {"[1,", false, "Error: Invalid value. at offset 3."},
      {"{\"a\":1", false, "Error: Missing a comma or '}' after an object member. at offset 6."},
      {"tru", false, "Error: Invalid value. at offset 3."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.bytes);
    std::unique_ptr<char[]> exact(new char[row.bytes.size()]);
    std::memcpy(exact.get(), row.bytes.data(), row.bytes.size());
    BindingResult r = readJson(std::string_view(exact.get(), row.bytes.size()));
    ASSERT_EQ(r.ok, row.ok) << r.errorText();
    EXPECT_EQ(row.ok ? valueText(r.value) : std::string(r.errorText()), row.expected);
  }
}

TEST(JsonReaderTest, StdStringStopsAtEmbeddedNul) {
  std::string text("{\"a\":1}\0{", 9);
  BindingResult r = readJson(text);
  ASSERT_TRUE(r.ok) << r.errorText();
  EXPECT_EQ(valueText(r.value), "{a:u1}");
}

TEST(JsonReaderTest, ViewEndsBeforeTrailingText) {
  const char text[] = "[1,2]xyz";
  BindingResult r = readJson(std::string_view(text, 5));
  ASSERT_TRUE(r.ok) << r.errorText();
  EXPECT_EQ(valueText(r.value), "[u1,u2]");
}

// Every strict prefix of an object is incomplete: each must fail with a
// message (never crash or read past the cut), and the whole text must succeed.
TEST(JsonReaderTest, EveryTruncationFailsCleanly) {
  const std::string doc =
      R"({"s":"a\u00e9\ud83d\ude00\n","n":[-1,0,1.5e3,18446744073709551615,-9223372036854775808],)"
      R"("b":[true,false,null],"o":{"x":{"y":[]}},"e":{}})";
  ASSERT_TRUE(readJson(doc).ok);
  for (std::size_t n = 1; n < doc.size(); ++n) {
    std::unique_ptr<char[]> exact(new char[n]);
    std::memcpy(exact.get(), doc.data(), n);
    BindingResult r = readJson(std::string_view(exact.get(), n));
    ASSERT_FALSE(r.ok) << "prefix " << n;
    EXPECT_EQ(r.errorText().substr(0, 7), "Error: ") << "prefix " << n;
  }
}

// The reader does not validate UTF-8 (default syntax): bytes pass unchanged.
TEST(JsonReaderTest, InvalidUtf8PassesThrough) {
  BindingResult r = readJson(std::string_view("[\"\xff\xfe\xc3\", \"\xed\xa0\x80\"]"));
  ASSERT_TRUE(r.ok) << r.errorText();
  EXPECT_EQ(valueText(r.value), R"(["\xFF\xFE\xC3","\xED\xA0\x80"])");
}

class JsonNestingTest : public ::testing::Test {
 protected:
  // Runs `fn` on a thread whose stack holds `bytes`; a stack overflow
  // crashes the test program.
  template <typename F>
  static void runOnSmallStack(std::size_t bytes, F&& fn) {
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, bytes), 0);
    pthread_t thread;
    auto body = [](void* p) -> void* {
      (*static_cast<F*>(p))();
      return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, body, &fn), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
  }

  static std::string arrays(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }
};

TEST_F(JsonNestingTest, AcceptsLimitDepth) {
  BindingResult r = readJson(arrays(kJsonMaxDepth));
  ASSERT_TRUE(r.ok) << r.errorText();
  EXPECT_EQ(valueDepth(r.value), kJsonMaxDepth);
}

TEST_F(JsonNestingTest, RefusesOneMoreAtItsBracket) {
  struct Row {
    std::string text;
    const char* message;
  };
  std::string objects;
  for (std::size_t i = 0; i < kJsonMaxDepth + 1; ++i) objects += "{\"a\":";
  const Row rows[] = {
      {arrays(kJsonMaxDepth + 1), "Error: The document is nested too deeply. at offset 1024."},
      {"  " + arrays(kJsonMaxDepth + 1), "Error: The document is nested too deeply. at offset 1026."},
      {objects, "Error: The document is nested too deeply. at offset 5120."},
      {std::string(100000, '['), "Error: The document is nested too deeply. at offset 1024."},
  };
  for (const Row& row : rows) {
    BindingResult r = readJson(row.text);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errorText(), row.message);
  }
}

// The reader recurses once per open container: with the depth limit it fits
// a 1 MiB thread stack (the default on Windows) at the limit and beyond it.
TEST_F(JsonNestingTest, DeepInputFitsASmallThreadStack) {
  const std::string atLimit = arrays(kJsonMaxDepth);
  const std::string tooDeep = std::string(100000, '[');
  std::string objects;
  for (std::size_t i = 0; i < kJsonMaxDepth; ++i) objects += "{\"a\":";
  objects += "1" + std::string(kJsonMaxDepth, '}');
  bool results[3] = {};
  runOnSmallStack(1 << 20, [&] {
    results[0] = readJson(atLimit).ok;
    results[1] = readJson(tooDeep).ok;
    results[2] = readJson(objects).ok;
  });
  EXPECT_TRUE(results[0]);
  EXPECT_FALSE(results[1]);
  EXPECT_TRUE(results[2]);
}

// Siblings do not add depth: many containers side by side at the limit.
TEST_F(JsonNestingTest, DepthCountsOpenContainersOnly) {
  std::string text = std::string(kJsonMaxDepth - 1, '[');
  for (int i = 0; i < 50; ++i) text += (i ? ",[]" : "[]");
  text += std::string(kJsonMaxDepth - 1, ']');
  BindingResult r = readJson(text);
  ASSERT_TRUE(r.ok) << r.errorText();
  EXPECT_EQ(valueDepth(r.value), kJsonMaxDepth);
}

struct Point {
  std::int32_t x = 0;
  std::string label;
  std::vector<std::uint32_t> tags;
};

class JsonIntoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registerStruct<Point>(registry_, "TestPoint", {"Test"})
        .field("x", &Point::x)
        .field("label", &Point::label)
        .field("tags", &Point::tags);
  }
  TypeRegistry registry_;
};

TEST_F(JsonIntoTest, FillsRecord) {
  Point p;
  ASSERT_TRUE(readJsonInto(R"({"x":-3,"label":"p","tags":[1,2],"extra":null})", p, registry_));
  EXPECT_EQ(p.x, -3);
  EXPECT_EQ(p.label, "p");
  EXPECT_EQ(p.tags, (std::vector<std::uint32_t>{1, 2}));
}

TEST_F(JsonIntoTest, FailsOnSyntaxOrConversion) {
  const char* inputs[] = {
      R"({"x":1,)",                // syntax error
      R"({"x":4294967296})",       // out of range for int32
      R"({"tags":{"a":1}})",       // not a collection
      R"([1])",                    // not a structure
      "",                          // empty value: required
  };
  for (const char* input : inputs) {
    Point p;
    EXPECT_FALSE(readJsonInto(input, p, registry_)) << input;
  }
}

}  // namespace
}  // namespace qor
