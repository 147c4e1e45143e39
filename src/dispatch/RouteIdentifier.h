// routeIdentifier: the name a routed function is registered under, joined
// from its method and URI template in capitalised words
// (GET "/qor-inventory/v1/inventory" gives GetQorInventoryV1Inventory).
#pragma once

#include <string>
#include <string_view>

namespace qor {

// With an empty method name only the template is rewritten, which gives a
// plug-in's route name from its short name ("qor-inventory" gives QorInventory).
// "!", "+", "-", ".", "/" and "_" are dropped and capitalise the next
// character; "{" becomes "By" and capitalises the next character; "}" is dropped.
std::string routeIdentifier(std::string_view methodName, std::string_view uriTemplate);

// The plug-in's route name: routeIdentifier("", shortName).
inline std::string routeName(std::string_view shortName) { return routeIdentifier({}, shortName); }

}  // namespace qor
