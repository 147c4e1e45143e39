// The full-name rule of plug-in identities.
#include "runtime/PluginIdentity.h"

#include "binding/FormatMessage.h"
#include "runtime/RuntimeLog.h"

namespace qor {

std::string fullNameFromShortNameAndType(std::string_view shortName, std::string_view typeName) {
  const char* prefix = "pmx-xx-";
  if (typeName == "backend") {
    prefix = "pmx-be-";
  } else if (typeName == "frontend") {
    prefix = "pmx-fe-";
  } else {
    const std::string message = formatMessage(
        "GetFullNameFromShortNameAndType(\"%1\", \"%2\") called with an unknown type", shortName,
        typeName);
    runtimeLog(LogLevel::Error, "            Plugin Manager| %s", message.c_str());
  }
  std::string name = prefix;
  name.append(shortName);
  return name;
}

PluginIdentity makePluginIdentity(std::string_view shortName, std::string_view typeName) {
  PluginIdentity id;
  id.fullName = fullNameFromShortNameAndType(shortName, typeName);
  id.shortName = std::string(shortName);
  id.typeName = std::string(typeName);
  return id;
}

}  // namespace qor
