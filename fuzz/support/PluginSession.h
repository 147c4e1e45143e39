// PluginSession: one plug-in object, made through the export and started
// against the fake core, as a core would drive it: calls through the API
// table's dispatch entries, resource events through the plug-in's own
// subscriptions. At the end it is stopped and the fake core's books are
// checked: every response the plug-in received was released exactly once.
#pragma once

#include <cstdint>
#include <string>

#include "PluginAbi.h"
#include "support/FakeCore.h"

namespace qor::fuzz {

// Resources the inventory service follows, and what it asks the core for.
inline constexpr const char* kSessionUri = "/qor-login/v1/session";
inline constexpr const char* kTokenUri = "/vso-auth/v1/authorization/access-token";
inline constexpr const char* kConfigUri = "/qor-platform-config/v1/namespaces/Inventory";
inline constexpr const char* kEntitlementUri = "/vane-messaging-service/v1/message/cap/v1/entitlements";
inline constexpr const char* kStoreUri = "/vane-messaging-service/v1/message/store/v1/inventory";
inline constexpr const char* kRegionUri = "/vaneclient/region-locale";
inline constexpr const char* kRegionDataUri = "/data-store/v1/system-settings/region_data";
inline constexpr const char* kCatalogUri = "/qor-store/v1/catalog";

inline constexpr const char* kInventoryTemplate = "/qor-inventory/v1/inventory";
inline constexpr const char* kSignedTemplate = "/qor-inventory/v1/signedInventory";
inline constexpr const char* kEmotesTemplate = "/qor-inventory/v1/inventory/emotes";

class PluginSession {
 public:
  PluginSession();
  ~PluginSession();
  PluginSession(const PluginSession&) = delete;
  PluginSession& operator=(const PluginSession&) = delete;

  // The fixtures of a signed-in player with the service switched on.
  void readyFixtures();
  // Runs the handshake and Start; false when either fails (a finding).
  bool start();

  // Function records of the API table.
  std::uint32_t functionCount() const;
  const ApiFunctionRecord* function(std::uint32_t index) const;
  const ApiFunctionRecord* function(const char* uriTemplate) const;

  // Calls through the record's dispatch entry, checks that the response is
  // well formed and releases it. Returns the status.
  std::uint32_t call(const ApiFunctionRecord* record, CoreRequest request);
  std::uint32_t get(const char* uriTemplate, const std::string& uri);

  // Delivers a resource event {uri, eventType, data} under the URI's core
  // event name; false when the plug-in has no subscription for it.
  bool deliver(const std::string& uri, const CoreValue& eventType, const CoreValue& data);

  testing::FakeCore core;

 private:
  PluginHandshake handshake_{};
  bool started_ = false;
};

}  // namespace qor::fuzz
