// Tests of the JSON reader's error results: one row per malformed text with
// the exact message, reason and byte offset included.
#include <gtest/gtest.h>

#include "formats/JsonReader.h"

namespace qor {
namespace {

struct JsonErrorCase {
  const char* input;
  const char* message;

  friend void PrintTo(const JsonErrorCase& c, std::ostream* os) { *os << c.input; }
};

class JsonErrorTest : public ::testing::TestWithParam<JsonErrorCase> {};

TEST_P(JsonErrorTest, FailsWithMessage) {
  BindingResult r = readJson(GetParam().input);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.errorText(), GetParam().message);
  // The failed value holds the message and nothing of the partial tree.
  EXPECT_EQ(r.value.kind(), BindingPropertyKind::Structure);
  EXPECT_EQ(r.value.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Document, JsonErrorTest,
    ::testing::Values(
        JsonErrorCase{"{} a", "Error: The document root must not be followed by other values. at offset 3."},
        JsonErrorCase{"[1] [2]", "Error: The document root must not be followed by other values. at offset 4."},
        JsonErrorCase{"1 2", "Error: The document root must not be followed by other values. at offset 2."},
        // A text whose first token cannot start a value is invalid, not empty.
        JsonErrorCase{"]", "Error: Invalid value. at offset 0."},
        JsonErrorCase{"  ]", "Error: Invalid value. at offset 2."},
        JsonErrorCase{"\n}", "Error: Invalid value. at offset 1."},
        JsonErrorCase{",", "Error: Invalid value. at offset 0."},
        JsonErrorCase{" :", "Error: Invalid value. at offset 1."},
        JsonErrorCase{"x", "Error: Invalid value. at offset 0."},
        JsonErrorCase{"-", "Error: Invalid value. at offset 1."}));

// Only the default syntax: no trailing commas, comments, NaN, Infinity or
// single quotes.
INSTANTIATE_TEST_SUITE_P(
    Syntax, JsonErrorTest,
    ::testing::Values(
        JsonErrorCase{"  [1,]", "Error: Invalid value. at offset 5."},
        JsonErrorCase{"{\"a\":1,}", "Error: Missing a name for object member. at offset 7."},
        JsonErrorCase{"// c\n1", "Error: Invalid value. at offset 0."},
        JsonErrorCase{"NaN", "Error: Invalid value. at offset 0."},
        JsonErrorCase{"[Infinity]", "Error: Invalid value. at offset 1."},
        JsonErrorCase{"'a'", "Error: Invalid value. at offset 0."},
        JsonErrorCase{"{1:2}", "Error: Missing a name for object member. at offset 1."},
        JsonErrorCase{"{\"a\" 1}", "Error: Missing a colon after a name of object member. at offset 5."},
        JsonErrorCase{"{\"a\":1 \"b\":2}", "Error: Missing a comma or '}' after an object member. at offset 7."},
        JsonErrorCase{"[1 2]", "Error: Missing a comma or ']' after an array element. at offset 3."},
        JsonErrorCase{"[", "Error: Invalid value. at offset 1."},
        JsonErrorCase{"{", "Error: Missing a name for object member. at offset 1."}));

INSTANTIATE_TEST_SUITE_P(
    Strings, JsonErrorTest,
    ::testing::Values(
        // Escape errors are reported at the offset of their backslash.
        JsonErrorCase{R"("\u12g4")", "Error: Incorrect hex digit after \\u escape in string. at offset 1."},
        JsonErrorCase{R"(["\ud800"])", "Error: The surrogate pair in string is invalid. at offset 2."},
        JsonErrorCase{R"("ab\ud800\u0041")", "Error: The surrogate pair in string is invalid. at offset 3."},
        JsonErrorCase{R"("\q")", "Error: Invalid escape character in string. at offset 1."},
        JsonErrorCase{R"("abc)", "Error: Missing a closing quotation mark in string. at offset 4."},
        // A raw control character counts as a bad escape.
        JsonErrorCase{"\"a\x01\"", "Error: Invalid escape character in string. at offset 2."}));

INSTANTIATE_TEST_SUITE_P(
    Numbers, JsonErrorTest,
    ::testing::Values(JsonErrorCase{"1e400", "Error: Number too big to be stored in double. at offset 0."},
                      JsonErrorCase{"[-1e309]", "Error: Number too big to be stored in double. at offset 1."},
                      JsonErrorCase{"1.", "Error: Miss fraction part in number. at offset 2."},
                      JsonErrorCase{"1.e5", "Error: Miss fraction part in number. at offset 2."},
                      JsonErrorCase{"1e", "Error: Miss exponent in number. at offset 2."},
                      JsonErrorCase{"1e+", "Error: Miss exponent in number. at offset 3."},
                      JsonErrorCase{"01", "Error: The document root must not be followed by other values. at offset 1."}));

}  // namespace
}  // namespace qor
