// The named-placeholder formatter of request errors.
#include "runtime/RequestError.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

TEST(RequestError, PlaceholdersTakeValuesByPositionAndBecomeFields) {
  const RequestError e = makeRequestError(0, "Error response for {method} {url}: {error}",
                                          {"GET", "/a/b", "boom"});
  EXPECT_EQ(e.message, "Error response for GET /a/b: boom");
  EXPECT_EQ(e.code, 0);
  ASSERT_NE(e.field("method"), nullptr);
  EXPECT_EQ(*e.field("method"), "GET");
  EXPECT_EQ(*e.field("url"), "/a/b");
  EXPECT_EQ(*e.field("error"), "boom");
  EXPECT_EQ(e.field("errorCode_int"), nullptr);  // code 0 sets no code field
}

TEST(RequestError, NonZeroCodeIsRecordedAsField) {
  const RequestError e = makeRequestError(404, "{error}", {"missing"});
  EXPECT_EQ(e.code, 404);
  ASSERT_NE(e.field("errorCode_int"), nullptr);
  EXPECT_EQ(*e.field("errorCode_int"), "404");
  EXPECT_EQ(e.message, "missing");
}

TEST(RequestError, TemplateFeatures) {
  struct Row {
    const char* tmpl;
    std::initializer_list<std::string_view> values;
    const char* message;
  };
  const Row rows[] = {
      // Doubled braces are literal braces; "%%" stays a percent sign.
      {"{{literal}} {a}", {"x"}, "{literal} x"},
      {"100%% {a}", {"done"}, "100% done"},
      // Values are inserted as they are, even when they hold % or braces.
      {"{a}", {"50% {b}"}, "50% {b}"},
      // A value of the same name later in the template is a new position.
      {"{a}-{b}-{a}", {"1", "2", "3"}, "1-2-3"},
      // Missing values leave their placeholder empty.
      {"[{a}][{b}]", {"only"}, "[only][]"},
      // An unclosed brace is copied as text.
      {"x {open", {"v"}, "x {open"},
      {"no placeholders", {}, "no placeholders"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(makeRequestError(0, row.tmpl, row.values).message, row.message) << row.tmpl;
}

TEST(RequestError, NumberPlaceholdersReportsNamesInOrder) {
  std::vector<std::string> names;
  EXPECT_EQ(numberPlaceholders("{method} {url}: {error}", &names), "%1 %2: %3");
  EXPECT_EQ(names, (std::vector<std::string>{"method", "url", "error"}));
}

TEST(RequestResult, HoldsValueOrError) {
  RequestResult<int> ok(5);
  ASSERT_TRUE(ok.ok());
  EXPECT_EQ(ok.value(), 5);
  RequestResult<int> failed(makeRequestError(3, "{e}", {"bad"}));
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error().message, "bad");
  EXPECT_EQ(failed.error().code, 3);
}

}  // namespace
}  // namespace qor
