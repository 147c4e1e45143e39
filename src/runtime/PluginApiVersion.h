// PluginApiVersion: the version of the plug-in API spoken between the core and
// a plug-in, the compatibility rule and the version text.
#pragma once

#include "PluginAbi.h"

#include <cstdint>
#include <string>

namespace qor {

struct PluginApiVersion {
  std::uint32_t major = 0;  // incompatible changes
  std::uint32_t minor = 0;  // additions
  std::uint32_t patch = 0;  // fixes
  std::string prerelease;   // may be empty
  std::string build;        // may be empty
};

// The version this plug-in is built for.
inline constexpr std::uint32_t kPluginApiMajor = CORE_API_VERSION_MAJOR;
inline constexpr std::uint32_t kPluginApiMinor = CORE_API_VERSION_MINOR;
inline constexpr std::uint32_t kPluginApiPatch = CORE_API_VERSION_PATCH;
PluginApiVersion pluginApiVersion();

// The two plug-in types the framework knows.
inline constexpr const char* kBackendPluginType = "backend";
inline constexpr const char* kFrontendPluginType = "frontend";

// A core is compatible when its major equals the plug-in's and its
// minor.patch is at least the plug-in's; prerelease and build are ignored.
bool isCompatibleCore(const PluginApiVersion& core, const PluginApiVersion& plugin) noexcept;

// "major.minor.patch", then "-prerelease" and "+build" when they are set.
std::string versionText(const PluginApiVersion& version);

}  // namespace qor
