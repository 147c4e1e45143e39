// PluginIdentity: the names a plug-in goes by, and the full-name rule that
// joins its type's prefix and its short name.
#pragma once

#include <string>
#include <string_view>

namespace qor {

struct PluginIdentity {
  std::string fullName;   // type prefix + short name ("pmx-be-qor-inventory")
  std::string shortName;  // the name given to the handshake
  std::string typeName;   // "backend" or "frontend"
  std::string typeExtra;  // empty for both known types
};

// "pmx-be-" for exactly "backend", "pmx-fe-" for exactly "frontend", else
// "pmx-xx-" with an error line naming both texts; then the short name.
std::string fullNameFromShortNameAndType(std::string_view shortName, std::string_view typeName);

PluginIdentity makePluginIdentity(std::string_view shortName, std::string_view typeName);

}  // namespace qor
