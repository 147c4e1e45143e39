// The core event name derived from a resource URI.
#include "protocol/CoreEventName.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

TEST(CoreEventName, JoinsAtMostFourPiecesOrSixForPlatformConfig) {
  const std::pair<const char*, const char*> rows[] = {
      {"/qor-login/v1/session", "OnJsonApiEvent_qor-login_v1_session"},
      {"/qor-login/v1/session/a/b", "OnJsonApiEvent_qor-login_v1_session"},
      {"/qor-platform-config/v1/namespaces/Inventory",
       "OnJsonApiEvent_qor-platform-config_v1_namespaces_Inventory"},
      {"/qor-platform-config/v1/namespaces/Inventory/Enabled/x",
       "OnJsonApiEvent_qor-platform-config_v1_namespaces_Inventory_Enabled"},
      {"/vane-messaging-service/v1/message/cap/v1/entitlements",
       "OnJsonApiEvent_vane-messaging-service_v1_message"},
      {"/vane-messaging-service/v1/message/store/v1/inventory",
       "OnJsonApiEvent_vane-messaging-service_v1_message"},
      {"/qor-inventory/v1/inventory/emotes", "OnJsonApiEvent_qor-inventory_v1_inventory"},
      // Only the first piece decides the longer form.
      {"/x/qor-platform-config/a/b/c", "OnJsonApiEvent_x_qor-platform-config_a"},
      {"/vaneclient/region-locale", "OnJsonApiEvent_vaneclient_region-locale"},
      {"//a///b/", "OnJsonApiEvent_a_b"},
      {"a/b", "OnJsonApiEvent_a_b"},
      {"no-slash", "OnJsonApiEvent_no-slash"},
      {"/", "OnJsonApiEvent"},
      {"", "OnJsonApiEvent"},
  };
  for (const auto& [uri, name] : rows) EXPECT_EQ(coreEventName(uri), name) << uri;
}

}  // namespace
}  // namespace qor
