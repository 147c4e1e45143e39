// Tests of the core event names derived from resource URIs.
#include "host/CoreEventName.h"

#include <gtest/gtest.h>

namespace qor::host {
namespace {

TEST(CoreEventName, FollowsThePieceRule) {
  const struct {
    const char* uri;
    const char* name;
  } rows[] = {
      {"/qor-login/v1/session", "OnJsonApiEvent_qor-login_v1_session"},
      {"/qor-login/v1/session/a/b", "OnJsonApiEvent_qor-login_v1_session"},
      {"/qor-platform-config/v1/namespaces/Inventory",
       "OnJsonApiEvent_qor-platform-config_v1_namespaces_Inventory"},
      {"/qor-platform-config/v1/namespaces/Inventory/x/y",
       "OnJsonApiEvent_qor-platform-config_v1_namespaces_Inventory_x"},
      {"/vane-messaging-service/v1/message/cap/v1/entitlements",
       "OnJsonApiEvent_vane-messaging-service_v1_message"},
      {"/vane-messaging-service/v1/message/store/v1/inventory",
       "OnJsonApiEvent_vane-messaging-service_v1_message"},
      {"/qor-inventory/v1/inventory/emotes", "OnJsonApiEvent_qor-inventory_v1_inventory"},
      {"/vaneclient/region-locale", "OnJsonApiEvent_vaneclient_region-locale"},
      {"//a///b/", "OnJsonApiEvent_a_b"},
      {"no-slash", "OnJsonApiEvent_no-slash"},
      {"", "OnJsonApiEvent"},
      {"/", "OnJsonApiEvent"},
      // Only the second piece counts: a later "qor-platform-config" does not.
      {"/x/qor-platform-config/a/b/c/d", "OnJsonApiEvent_x_qor-platform-config_a"},
  };
  for (const auto& row : rows) EXPECT_EQ(coreEventName(row.uri), row.name) << row.uri;
}

}  // namespace
}  // namespace qor::host
