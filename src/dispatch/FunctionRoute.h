// FunctionRoute: how one registered function is reached by URI (method,
// template, argument locations), and RouteMatch with matchRoutes, which pick
// the route that fits a request.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dispatch/HttpMethod.h"
#include "protocol/RouteMatcher.h"

namespace qor {

struct FunctionDescriptor;
class HandlerInvoker;
class ApiDispatcher;
struct FunctionRoute;

// The call entry's context handed to the core (two words). The core passes
// it back with every call, which leads the dispatch entry to the route.
struct RouteCallContext {
  ApiDispatcher* dispatcher = nullptr;
  FunctionRoute* route = nullptr;
};

struct FunctionRoute {
  const FunctionDescriptor* function = nullptr;
  HandlerInvoker* handler = nullptr;  // owned by the function's descriptor
  std::string uriTemplate;
  HttpMethod method = HttpMethod::None;  // None accepts every method
  std::string methodName;                // compared only for HttpMethod::Other
  std::vector<ArgumentLocation> locations;  // by argument position; missing entries are Anywhere
  RouteMatcher matcher;                  // compiled from uriTemplate when it is set
  RouteCallContext callContext;

  // Stores the template (one trailing "/" dropped when the template is
  // longer than one character) and compiles its matcher.
  void setUriTemplate(std::string_view text);
  // Sets the method and clears methodName; setMethod(Other, name) keeps the given name.
  void setMethod(HttpMethod code, std::string_view name = {});
  ArgumentLocation location(std::size_t index) const noexcept {
    return index < locations.size() ? locations[index] : ArgumentLocation::Anywhere;
  }
};

// One request's match state.
struct RouteMatch {
  HttpMethod method = HttpMethod::None;
  std::string_view methodName;  // set only for HttpMethod::Other
  std::string_view uri;         // as received, query included
  const FunctionDescriptor* function = nullptr;
  const FunctionRoute* route = nullptr;
  // Decoded path variables by name, in template order; a repeated name keeps
  // its first position and takes the last value.
  std::vector<std::pair<std::string, std::string>> captured;
  std::string_view matchedTemplate;

  // The path part of the URI: everything before its first "?".
  std::string_view path() const noexcept { return uri.substr(0, uri.find('?')); }
  // The query part: everything after the first "?" (empty without one).
  std::string_view query() const noexcept {
    const std::size_t q = uri.find('?');
    return q == std::string_view::npos ? std::string_view{} : uri.substr(q + 1);
  }
};

// Matches the request in `match` (method, methodName, uri) against the
// routes, in order, by their path. A fitting route without captured
// variables wins at once; otherwise the fitting route with the shortest total
// of captured text wins, the earlier one on a tie. Returns false, with
// `match.route` null, when no route fits.
bool matchRoutes(std::span<const FunctionRoute* const> routes, RouteMatch& match);

}  // namespace qor
