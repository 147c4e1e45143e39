// The plug-in API version: the compatibility rule and the version text.
#include "runtime/PluginApiVersion.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

struct CompatibilityRow {
  PluginApiVersion plugin;
  PluginApiVersion core;
  bool compatible;
};

TEST(PluginApiVersion, CompatibilityFollowsMajorThenMinorThenPatch) {
  const PluginApiVersion v18{18, 0, 0, {}, {}};
  const PluginApiVersion v1825{18, 2, 5, {}, {}};
  const CompatibilityRow rows[] = {
      {v18, {18, 0, 0, {}, {}}, true},
      {v18, {18, 0, 1, {}, {}}, true},
      {v18, {18, 7, 0, {}, {}}, true},
      {v18, {18, 3, 0, {}, {}}, true},
      {v18, {17, 9, 9, {}, {}}, false},
      {v18, {19, 0, 0, {}, {}}, false},
      {v1825, {18, 2, 4, {}, {}}, false},
      {v1825, {18, 1, 9, {}, {}}, false},
      {v1825, {18, 2, 5, {}, {}}, true},
      {v1825, {18, 3, 0, {}, {}}, true},
      // Prerelease and build are never compared.
      {v18, {18, 0, 0, "beta", "abc"}, true},
      // Comparisons are unsigned: a huge minor is newer, not negative.
      {v18, {18, 0xFFFFFFFFu, 0, {}, {}}, true},
      {v1825, {18, 2, 0xFFFFFFFFu, {}, {}}, true},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(isCompatibleCore(row.core, row.plugin), row.compatible)
        << "plugin " << versionText(row.plugin) << " core " << versionText(row.core);
  }
}

TEST(PluginApiVersion, OwnVersionIs18_0_0) {
  const PluginApiVersion own = pluginApiVersion();
  EXPECT_EQ(versionText(own), "18.0.0");
  EXPECT_TRUE(own.prerelease.empty());
  EXPECT_TRUE(own.build.empty());
}

TEST(PluginApiVersion, TextAddsPrereleaseAndBuildOnlyWhenSet) {
  const std::pair<PluginApiVersion, const char*> rows[] = {
      {{1, 2, 3, {}, {}}, "1.2.3"},
      {{1, 2, 3, "rc.1", {}}, "1.2.3-rc.1"},
      {{1, 2, 3, {}, "20240101"}, "1.2.3+20240101"},
      {{1, 2, 3, "rc.1", "7"}, "1.2.3-rc.1+7"},
      {{4294967295u, 0, 10, {}, {}}, "4294967295.0.10"},
  };
  for (const auto& [version, text] : rows) EXPECT_EQ(versionText(version), text);
}

}  // namespace
}  // namespace qor
