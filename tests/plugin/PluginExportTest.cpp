// The export every plug-in library defines with QOR_PLUGIN_EXPORT: it builds
// the plug-in object and runs the handshake, and leaves the core nothing to
// call when the object cannot be built.
#include "plugin/PluginExport.h"

#include "runtime/PluginBase.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace qor {
namespace {

class QuietPlugin : public PluginBase {};

class ThrowingPlugin : public PluginBase {
 public:
  ThrowingPlugin() { throw std::runtime_error("cannot build"); }
};

}  // namespace
}  // namespace qor

QOR_PLUGIN_EXPORT(load_test_quiet, qor::QuietPlugin, "test-quiet")
QOR_PLUGIN_EXPORT(load_test_throwing, qor::ThrowingPlugin, "test-throwing")

namespace qor {
namespace {

TEST(PluginExport, BuildsTheObjectAndRunsTheHandshake) {
  PluginHandshake handshake{};
  handshake.major = CORE_API_VERSION_MAJOR;
  load_test_quiet(&handshake);
  ASSERT_NE(+handshake.callbacks, nullptr);
  ASSERT_NE(+handshake.plugin, nullptr);
  EXPECT_STREQ(+handshake.shortName, "test-quiet");
  EXPECT_NE(+handshake.apiTable, nullptr);
  handshake.callbacks->Stop(handshake.plugin);
}

TEST(PluginExport, AnObjectThatCannotBeBuiltLeavesNothingToCall) {
  PluginHandshake handshake{};
  handshake.major = CORE_API_VERSION_MAJOR;
  handshake.callbacks = reinterpret_cast<const PluginCallbacks*>(&handshake);  // garbage the export must clear
  handshake.shortName = "stale";
  load_test_throwing(&handshake);
  EXPECT_EQ(+handshake.callbacks, nullptr);
  EXPECT_EQ(+handshake.plugin, nullptr);
  EXPECT_EQ(+handshake.shortName, nullptr);
  EXPECT_EQ(+handshake.apiTable, nullptr);
  load_test_quiet(nullptr);  // a null record is ignored
}

}  // namespace
}  // namespace qor
