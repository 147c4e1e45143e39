// Route set-up and the choice of the route that fits a request.
#include "dispatch/FunctionRoute.h"

#include "dispatch/UrlDecode.h"

namespace qor {

void FunctionRoute::setUriTemplate(std::string_view text) {
  uriTemplate.assign(routeTemplateText(text));
  matcher = RouteMatcher(uriTemplate);
}

void FunctionRoute::setMethod(HttpMethod code, std::string_view name) {
  method = code;
  methodName.clear();
  if (code == HttpMethod::Other) methodName.assign(name);
}

namespace {

bool methodFits(const FunctionRoute& route, const RouteMatch& match) {
  if (route.method == HttpMethod::None) return true;
  if (route.method != match.method) return false;
  const std::string_view requestName =
      match.method == HttpMethod::Other ? match.methodName : std::string_view{};
  return std::string_view(route.methodName) == requestName;
}

void storeCapture(std::vector<std::pair<std::string, std::string>>& captured,
                  const std::string& name, std::string_view raw) {
  for (auto& entry : captured) {
    if (entry.first == name) {
      urlDecode(raw, entry.second);
      return;
    }
  }
  captured.emplace_back(name, std::string());
  urlDecode(raw, captured.back().second);
}

std::size_t totalLength(const std::vector<std::pair<std::string, std::string>>& captured) {
  std::size_t total = 0;
  for (const auto& entry : captured) total += entry.second.size();
  return total;
}

}  // namespace

bool matchRoutes(std::span<const FunctionRoute* const> routes, RouteMatch& match) {
  match.function = nullptr;
  match.route = nullptr;
  match.captured.clear();
  match.matchedTemplate = {};

  const std::string_view path = match.path();
  std::vector<std::string_view> raw;
  std::vector<std::pair<std::string, std::string>> captured;
  std::size_t bestLength = 0;
  for (const FunctionRoute* route : routes) {
    if (route == nullptr || !methodFits(*route, match)) continue;
    if (!route->matcher.match(path, raw)) continue;
    captured.clear();
    const auto& variables = route->matcher.variables();
    for (std::size_t i = 0; i < raw.size(); ++i) storeCapture(captured, variables[i].name, raw[i]);
    const std::size_t length = totalLength(captured);
    if (match.route == nullptr || captured.empty() || length < bestLength) {
      match.route = route;
      match.function = route->function;
      match.matchedTemplate = route->uriTemplate;
      match.captured.swap(captured);
      bestLength = length;
      if (match.captured.empty()) break;
    }
  }
  return match.route != nullptr;
}

}  // namespace qor
