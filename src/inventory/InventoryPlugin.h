// InventoryPlugin: the inventory service's plug-in object. It follows the
// login, token, configuration, region and messaging resources, answers the
// three inventory functions and the notifications, and publishes the emote
// list. What it knows of the player is PlayerSession's, the caches and their
// rules are InventoryCache's; the remote service is reached through
// InventoryServiceClient.
//
// Threads: API calls and resource events arrive on different core threads.
// One mutex guards the player session and the cache; it is never held while a
// request to the core or to the remote service is outstanding, nor while
// logging. A fetch copies what it needs under the lock, sends without it, and
// re-takes it to hand the answer to the cache, whose rules decide what of it
// is kept.
#pragma once

#include "dispatch/FunctionResult.h"
#include "inventory/InventoryCache.h"
#include "inventory/InventoryRecords.h"
#include "inventory/InventoryServiceClient.h"
#include "inventory/PlayerSession.h"
#include "platform/Mutex.h"
#include "runtime/HttpRequest.h"
#include "runtime/PluginBase.h"
#include "runtime/RequestError.h"
#include "runtime/Resource.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qor {

// The short name the export hands to the handshake.
inline constexpr std::string_view kInventoryShortName = "qor-inventory";

// The URI of the emote list, both as a function and as a resource event.
inline constexpr std::string_view kEmotesUri = "/qor-inventory/v1/inventory/emotes";

class InventoryPlugin final : public PluginBase {
 public:
  using ItemList = InventoryCache::ItemList;
  using SignedMap = std::unordered_map<std::string, std::string>;

  InventoryPlugin();
  ~InventoryPlugin() override;

  // Registers the records and the three GET functions.
  void RegisterApi() override;
  // Watches the six resources (each is read at once); always true.
  bool OnStart() override;

  // ---- API functions ----
  // Items of the named types: cached types from the cache, the others in one
  // fetch (whose answer fills the cache). Empty while the service is off.
  FunctionResult<ItemList> getInventory(std::vector<std::string> inventoryTypes);
  // Signed inventory text per type, from the signed cache while valid and
  // unexpired, else fetched type by type. Empty while the service is off.
  FunctionResult<SignedMap> getSignedInventory(std::vector<std::string> inventoryTypes);
  // getInventory for "EMOTE".
  FunctionResult<ItemList> getEmotes();

  // ---- Resource handlers ----
  void onLoginSession(const std::string& uri, ResourceEventType type,
                      const Api::LoginSession& data);
  void onAccessToken(const std::string& uri, ResourceEventType type,
                     const Api::AccessTokenResource& data);
  void onPlatformConfig(const std::string& uri, ResourceEventType type,
                        const BindingProperty& data);
  void onRegionLocale(const std::string& uri, ResourceEventType type,
                      const BindingProperty& data);
  void onEntitlementMessage(const std::string& uri, ResourceEventType type,
                            const Api::VaneMessagingServiceMessage& message);
  void onStoreInventoryMessage(const std::string& uri, ResourceEventType type,
                               const Api::VaneMessagingServiceMessage& message);

  // The first catalog entry standing for the instance id; 500 when the
  // catalog cannot be read, 404 when no entry matches.
  RequestResult<Api::CatalogItem> findCatalogItem(const std::string& instanceId);

 private:
  // Decodes a notification payload (JSON text) into T.
  template <class T>
  bool decodePayload(const std::string& payload, T& out) const;
  // Publishes the current emote list. Concurrent callers are folded into
  // the running publisher, which sends again until it has sent the latest
  // list, so events never go out of order and no lock is held while sending.
  void publishEmotes();

  InventoryServiceClient client_;

  mutable platform::Mutex mutex_;
  // Guarded by mutex_.
  PlayerSession session_;
  InventoryCache cache_;
  bool emotePublishing_ = false;
  bool emotePublishPending_ = false;
};

}  // namespace qor
