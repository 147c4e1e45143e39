// Tests of URI templates: compilation, matching (checked against the
// equivalent std::regex), route identifiers, URL decoding and route choice.
#include "protocol/RouteMatcher.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

#include "dispatch/FunctionRoute.h"
#include "dispatch/RouteIdentifier.h"
#include "dispatch/UrlDecode.h"

namespace qor {
namespace {

// ---- Equivalence with the ECMAScript pattern --------------------------------

const char* const kTemplates[] = {
    "/items/{id}",        "/files/{+path}",     "/v1.0/{x}",           "/a/{x}/b/{y}",
    "/a/{x}{y}",          "/r/{+a}/x/{+b}",     "/f{#frag}",           "/x/{+p}.json",
    "/q/{a}-{b}",         "/a(b)/{x}",          "/s/{a}/{+b}",         "/[x]/{y}",
    "/$^|?*/{z}",         "/back\\slash/{v}",   "/{+a}{b}",            "/{a}",
    "/{+all}",            "/{#f}/{g}",          "/a/{x}/{x}",          "/t/{a}.{b}.{+c}",
    "/u/{}",              "/w/{a}}",            "/open/{x",            "/{a}/{+b}/{c}",
};

const char* const kPaths[] = {
    "",           "/",           "/items/42",     "/items/",       "/items/4/2",
    "/files/a/b", "/files/",     "/v1.0/x",       "/v1x0/x",       "/a/1/b/2",
    "/a//b/",     "/a/1/b/2/3",  "/r/1/x/2/x/3",  "/r//x/",        "/f#abc",
    "/f#",        "/f",          "/x/a/b.json",   "/x/.json.json", "/x/.json",
    "/q/a-b-c",   "/q/-",        "/a(b)/1",       "/ab/1",         "/s/a/b/c",
    "/[x]/1",     "/x/1",        "/$^|?*/z",      "/back\\slash/v", "/line\nbreak",
    "/a\r",       "/a/x\ny",     "/t/1.2.3.4",    "/t/..",         "/u/",
    "/w/a}",      "/open/",      "/open/{x",      "/#x/y",         "/a/b/c/d",
    "/a/1/1",     "/a/1/2",      "//",            "/a/",           "/%2F/x",
};

void expectSameAsRegex(const std::string& tmpl, const std::string& path) {
  const RouteMatcher matcher(tmpl);
  std::vector<std::string_view> captures;
  const bool ours = matcher.match(path, captures);
  ASSERT_FALSE(matcher.isLiteral());
  const std::regex re(matcher.pattern(), std::regex::ECMAScript);
  std::smatch m;
  const bool theirs = std::regex_match(path, m, re);
  ASSERT_EQ(ours, theirs) << "template " << tmpl << " path " << path;
  if (!ours) return;
  ASSERT_EQ(captures.size() + 1, m.size()) << tmpl;
  for (std::size_t i = 0; i < captures.size(); ++i) {
    EXPECT_EQ(std::string(captures[i]), m[i + 1].str())
        << "template " << tmpl << " path " << path << " group " << i;
  }
}

TEST(RouteMatcherRegexEquivalence, TableOfTemplatesAndPaths) {
  for (const char* tmpl : kTemplates) {
    for (const char* path : kPaths) expectSameAsRegex(tmpl, path);
  }
}

// Random short paths over the characters the templates care about, so that
// every backtracking order the templates allow is exercised.
TEST(RouteMatcherRegexEquivalence, RandomPaths) {
  std::mt19937 random(12345);
  const std::string alphabet = "/ab.-#x\n";
  for (const char* tmpl : kTemplates) {
    for (int n = 0; n < 300; ++n) {
      std::string path = "/";
      const int length = static_cast<int>(random() % 12);
      for (int i = 0; i < length; ++i) path.push_back(alphabet[random() % alphabet.size()]);
      expectSameAsRegex(tmpl, path);
    }
  }
}

TEST(RouteMatcher, PatternTextEscapesAndVariables) {
  struct Row {
    const char* tmpl;
    const char* pattern;
    std::vector<std::pair<RouteVariableKind, std::string>> variables;
  };
  const Row rows[] = {
      {"/items/{id}", "/items/([^/]*)", {{RouteVariableKind::Simple, "id"}}},
      {"/files/{+path}", "/files/(.*)", {{RouteVariableKind::Reserved, "path"}}},
      {"/doc{#part}", "/doc#(.*)", {{RouteVariableKind::Fragment, "part"}}},
      {"/v1.0/{x+y}", "/v1\\.0/([^/]*)", {{RouteVariableKind::Simple, "x+y"}}},
      {"/^$*?()[]|\\/{a}", "/\\^\\$\\*\\?\\(\\)\\[\\]\\|\\\\/([^/]*)", {{RouteVariableKind::Simple, "a"}}},
      {"/{a}/{+b}", "/([^/]*)/(.*)",
       {{RouteVariableKind::Simple, "a"}, {RouteVariableKind::Reserved, "b"}}},
  };
  for (const Row& row : rows) {
    const RouteMatcher matcher(row.tmpl);
    EXPECT_FALSE(matcher.isLiteral()) << row.tmpl;
    EXPECT_EQ(matcher.pattern(), row.pattern) << row.tmpl;
    ASSERT_EQ(matcher.variables().size(), row.variables.size()) << row.tmpl;
    for (std::size_t i = 0; i < row.variables.size(); ++i) {
      EXPECT_EQ(matcher.variables()[i].kind, row.variables[i].first) << row.tmpl;
      EXPECT_EQ(matcher.variables()[i].name, row.variables[i].second) << row.tmpl;
    }
  }
}

TEST(RouteMatcher, LiteralTemplateMatchesOnlyItsOwnBytes) {
  const RouteMatcher matcher("/v1.0/x");
  EXPECT_TRUE(matcher.isLiteral());
  EXPECT_TRUE(matcher.pattern().empty());
  std::vector<std::string_view> captures;
  EXPECT_TRUE(matcher.match("/v1.0/x", captures));
  EXPECT_TRUE(captures.empty());
  for (const char* other : {"/v1x0/x", "/v1.0/x/", "/v1.0/", "", "/V1.0/x"}) {
    EXPECT_FALSE(matcher.match(other, captures)) << other;
  }
}

TEST(RouteMatcher, CapturesOfTheDocumentedCases) {
  struct Row {
    const char* tmpl;
    const char* path;
    bool matches;
    std::vector<std::string> captures;
  };
  const Row rows[] = {
      {"/items/{id}", "/items/42", true, {"42"}},
      {"/items/{id}", "/items/", true, {""}},
      {"/items/{id}", "/items/4/2", false, {}},
      {"/files/{+path}", "/files/a/b", true, {"a/b"}},
      {"/v1.0/{x}", "/v1x0/y", false, {}},
      {"/v1.0/{x}", "/v1.0/y", true, {"y"}},
      {"/a/{x}{y}", "/a/bc", true, {"bc", ""}},
      {"/x/{+p}.json", "/x/a.json.json", true, {"a.json"}},
  };
  for (const Row& row : rows) {
    std::vector<std::string_view> captures;
    const RouteMatcher matcher(row.tmpl);
    ASSERT_EQ(matcher.match(row.path, captures), row.matches) << row.tmpl << " " << row.path;
    ASSERT_EQ(captures.size(), row.captures.size());
    for (std::size_t i = 0; i < captures.size(); ++i) EXPECT_EQ(captures[i], row.captures[i]);
  }
}

// ---- Route identifiers ----------------------------------------------------

TEST(RouteIdentifier, JoinsMethodAndTemplateInCapitalisedWords) {
  struct Row {
    const char* method;
    const char* tmpl;
    const char* identifier;
  };
  const Row rows[] = {
      {"GET", "/qor-inventory/v1/inventory", "GetQorInventoryV1Inventory"},
      {"GET", "/qor-inventory/v1/signedInventory", "GetQorInventoryV1SignedInventory"},
      {"GET", "/qor-inventory/v1/inventory/emotes", "GetQorInventoryV1InventoryEmotes"},
      {"GET", "/a/{id}", "GetAById"},
      {"", "qor-inventory", "QorInventory"},
      {"DELETE", "/x_y!z+w.v", "DeleteXYZWV"},
      {"get", "/a", "GetA"},
      {"pOsT", "/a/{+path}", "PostAByPath"},
      {"PUT", "", "Put"},
      {"", "", ""},
      {"", "/{a}{b}", "ByAByB"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(routeIdentifier(row.method, row.tmpl), row.identifier) << row.method << row.tmpl;
  }
  EXPECT_EQ(routeName("qor-inventory"), "QorInventory");
}

// ---- URL decoding -----------------------------------------------------------

TEST(UrlDecode, DecodesEscapesAndKeepsBrokenOnes) {
  struct Row {
    std::string in;
    std::string out;
  };
  const Row rows[] = {
      {"a%2Fb+c", "a/b c"},
      {"x%4", "x4"},           // fewer than two characters after "%": the "%" goes
      {"%", ""},
      {"%4", "4"},
      {"%zz", "%zz"},          // not hexadecimal: copied as it stands
      {"%4g", "%4g"},
      {"%%41", "%A"},
      {"%41%62", "Ab"},
      {"%e9%E9", "\xe9\xe9"},
      {"%00a", std::string("\0a", 2)},
      {"plain", "plain"},
      {"", ""},
      {"++", "  "},
  };
  for (const Row& row : rows) EXPECT_EQ(urlDecode(row.in), row.out) << row.in;
}

// ---- Route choice -------------------------------------------------------------

class MatchRoutesTest : public ::testing::Test {
 protected:
  FunctionRoute makeRoute(const char* tmpl, HttpMethod method = HttpMethod::Get,
                          const char* methodName = "") {
    FunctionRoute route;
    route.setUriTemplate(tmpl);
    route.setMethod(method, methodName);
    return route;
  }
  RouteMatch request(const char* uri, HttpMethod method = HttpMethod::Get,
                     const char* methodName = "") {
    RouteMatch match;
    match.method = method;
    match.methodName = methodName;
    match.uri = uri;
    return match;
  }
};

TEST_F(MatchRoutesTest, TemplateLosesOneTrailingSlash) {
  EXPECT_EQ(makeRoute("/a/").uriTemplate, "/a");
  EXPECT_EQ(makeRoute("/a//").uriTemplate, "/a/");
  EXPECT_EQ(makeRoute("/").uriTemplate, "/");
  EXPECT_EQ(makeRoute("").uriTemplate, "");
}

TEST_F(MatchRoutesTest, MethodMustFit) {
  const FunctionRoute get = makeRoute("/a");
  const FunctionRoute any = makeRoute("/a", HttpMethod::None);
  const FunctionRoute other = makeRoute("/a", HttpMethod::Other, "PURGE");
  struct Row {
    const FunctionRoute* route;
    HttpMethod method;
    const char* name;
    bool fits;
  };
  const Row rows[] = {
      {&get, HttpMethod::Get, "", true},       {&get, HttpMethod::Post, "", false},
      {&get, HttpMethod::None, "", false},     {&any, HttpMethod::Delete, "", true},
      {&any, HttpMethod::None, "", true},      {&other, HttpMethod::Other, "PURGE", true},
      {&other, HttpMethod::Other, "purge", false}, {&other, HttpMethod::Other, "", false},
      {&other, HttpMethod::Get, "PURGE", false},
  };
  for (const Row& row : rows) {
    RouteMatch match = request("/a", row.method, row.name);
    const FunctionRoute* routes[] = {row.route};
    EXPECT_EQ(matchRoutes(routes, match), row.fits) << row.name;
  }
  // A route's method name is cleared whenever a method other than Other is set.
  FunctionRoute reset = makeRoute("/a", HttpMethod::Other, "PURGE");
  reset.setMethod(HttpMethod::Get);
  EXPECT_TRUE(reset.methodName.empty());
}

TEST_F(MatchRoutesTest, PathIsMatchedWithoutTheQuery) {
  const FunctionRoute literal = makeRoute("/qor-inventory/v1/inventory");
  const FunctionRoute templated = makeRoute("/items/{id}");
  RouteMatch match = request("/qor-inventory/v1/inventory?inventoryTypes=%5B%5D");
  const FunctionRoute* routes[] = {&literal};
  EXPECT_TRUE(matchRoutes(routes, match));
  EXPECT_EQ(match.query(), "inventoryTypes=%5B%5D");

  RouteMatch second = request("/items/42?x=1?y");
  const FunctionRoute* routes2[] = {&templated};
  ASSERT_TRUE(matchRoutes(routes2, second));
  ASSERT_EQ(second.captured.size(), 1u);
  EXPECT_EQ(second.captured[0].second, "42");
  EXPECT_EQ(second.query(), "x=1?y");
}

TEST_F(MatchRoutesTest, CapturesAreDecodedAndARepeatedNameTakesTheLastValue) {
  const FunctionRoute route = makeRoute("/a/{x}/{y}/{x}");
  RouteMatch match = request("/a/a%2Fb+c/%4/2");
  const FunctionRoute* routes[] = {&route};
  ASSERT_TRUE(matchRoutes(routes, match));
  ASSERT_EQ(match.captured.size(), 2u);
  EXPECT_EQ(match.captured[0], (std::pair<std::string, std::string>{"x", "2"}));
  EXPECT_EQ(match.captured[1], (std::pair<std::string, std::string>{"y", "4"}));
  EXPECT_EQ(match.matchedTemplate, "/a/{x}/{y}/{x}");
}

TEST_F(MatchRoutesTest, BestRouteRule) {
  const FunctionRoute longer = makeRoute("/a/{+rest}");
  const FunctionRoute shorter = makeRoute("/a/{x}/{y}");
  const FunctionRoute sameLength = makeRoute("/a/{p}/{q}");
  const FunctionRoute literal = makeRoute("/a/b/c");
  const FunctionRoute wrongMethod = makeRoute("/a/b/c", HttpMethod::Post);
  {
    // Shorter total capture wins over an earlier route.
    RouteMatch match = request("/a/b/c");
    const FunctionRoute* routes[] = {&longer, &shorter};
    ASSERT_TRUE(matchRoutes(routes, match));
    EXPECT_EQ(match.route, &shorter);
  }
  {
    // On a tie the earlier route stays.
    RouteMatch match = request("/a/b/c");
    const FunctionRoute* routes[] = {&shorter, &sameLength};
    ASSERT_TRUE(matchRoutes(routes, match));
    EXPECT_EQ(match.route, &shorter);
  }
  {
    // A fitting route without variables ends the search; an unfit one is skipped.
    RouteMatch match = request("/a/b/c");
    const FunctionRoute* routes[] = {&wrongMethod, &longer, &literal, &shorter};
    ASSERT_TRUE(matchRoutes(routes, match));
    EXPECT_EQ(match.route, &literal);
    EXPECT_TRUE(match.captured.empty());
  }
  {
    RouteMatch match = request("/b");
    const FunctionRoute* routes[] = {&longer, &literal, nullptr};
    EXPECT_FALSE(matchRoutes(routes, match));
    EXPECT_EQ(match.route, nullptr);
  }
}

}  // namespace
}  // namespace qor
