// The plug-in API version, its compatibility rule and its text.
#include "runtime/PluginApiVersion.h"

#include "binding/FormatMessage.h"

namespace qor {

PluginApiVersion pluginApiVersion() {
  return PluginApiVersion{kPluginApiMajor, kPluginApiMinor, kPluginApiPatch, {}, {}};
}

bool isCompatibleCore(const PluginApiVersion& core, const PluginApiVersion& plugin) noexcept {
  if (core.major != plugin.major) return false;
  if (core.minor != plugin.minor) return core.minor > plugin.minor;
  return core.patch >= plugin.patch;
}

std::string versionText(const PluginApiVersion& version) {
  std::string text = formatMessage("%1.%2.%3", version.major, version.minor, version.patch);
  if (!version.prerelease.empty()) text += "-" + version.prerelease;
  if (!version.build.empty()) text += "+" + version.build;
  return text;
}

}  // namespace qor
