// RouteMatcher: a URI template compiled once into a matcher for request paths.
// The plug-in routes calls with it; the host and the validator judge which
// paths fit a route with the same code, so the three never disagree.
// Templates hold literal text and variables in braces: {name} (one path
// segment), {+name} (anything, slashes included) and {#name} (a "#" followed
// by anything).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qor {

enum class RouteVariableKind : std::uint8_t { Simple = 1, Reserved = 2, Fragment = 3 };

struct RouteVariable {
  RouteVariableKind kind;
  std::string name;
};

// A template compiles into literal pieces and captures. Matching gives the
// same answers and the same captured texts as the ECMAScript regular
// expression that pattern() returns (variables as "([^/]*)", "(.*)" and
// "#(.*)", literal text escaped), matched against the whole path, but
// without a regular-expression engine: captures are tried longest first and
// backtracked exactly as that expression's greedy groups are.
//
// A matcher is immutable once built, so one matcher serves every thread.
class RouteMatcher {
 public:
  RouteMatcher() = default;
  explicit RouteMatcher(std::string_view uriTemplate);

  // A template without "{" is a literal: it matches only its own bytes.
  bool isLiteral() const noexcept { return literal_; }
  const std::string& uriTemplate() const noexcept { return template_; }
  // The equivalent ECMAScript pattern; empty for a literal template.
  const std::string& pattern() const noexcept { return pattern_; }
  // One entry per pair of braces, in template order.
  const std::vector<RouteVariable>& variables() const noexcept { return variables_; }

  // Matches the whole path. On success `captures` holds one raw (not yet
  // URL-decoded) view into `path` per variable, in variable order.
  bool match(std::string_view path, std::vector<std::string_view>& captures) const;

 private:
  struct Piece {
    std::string text;         // literal pieces
    std::int32_t variable;    // capture pieces: index into variables_; -1 for a literal
    bool anyCharacter;        // capture pieces: true for "(.*)", false for "([^/]*)"
  };
  bool matchFrom(std::size_t piece, std::size_t pos, std::string_view path,
                 std::vector<std::string_view>& captures) const;

  std::string template_;
  std::string pattern_;
  std::vector<RouteVariable> variables_;
  std::vector<Piece> pieces_;
  bool literal_ = true;
};

// A route's template as routers compile it: one trailing "/" after the first
// character is dropped ("/a/b/" routes as "/a/b"; "/" stays "/").
std::string_view routeTemplateText(std::string_view uriTemplate) noexcept;

// Whether `path` (no query) fits the route `uriTemplate`, exactly as the
// plug-in's router decides it; for callers that match a path once (the host
// and the validator), where a router keeps compiled matchers.
bool routeMatches(std::string_view uriTemplate, std::string_view path);

}  // namespace qor
