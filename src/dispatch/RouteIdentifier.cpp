// Builds route identifiers from a method name and a URI template.
#include "dispatch/RouteIdentifier.h"

#include "binding/FormatMessage.h"

namespace qor {

namespace {

char upper(char c) noexcept { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string routeIdentifier(std::string_view methodName, std::string_view uriTemplate) {
  std::string text;
  if (!methodName.empty()) {
    std::string rest(methodName.substr(1));
    for (char& c : rest) c = lower(c);
    text = formatMessage("%1%2/", std::string_view(methodName.substr(0, 1)), rest);
  }
  text.append(uriTemplate);

  std::string id;
  id.reserve(text.size() + 8);
  bool capitalise = true;
  for (char c : text) {
    switch (c) {
      case '!': case '+': case '-': case '.': case '/': case '_':
        capitalise = true;
        break;
      case '{':
        id += "By";
        capitalise = true;
        break;
      case '}':
        break;
      default:
        id.push_back(capitalise ? upper(c) : c);
        capitalise = false;
        break;
    }
  }
  return id;
}

}  // namespace qor
