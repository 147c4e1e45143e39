// InventoryPlugin: the inventory service's plug-in object. It follows the
// login, token, configuration, region and messaging resources, fetches
// inventories from the remote service, keeps the item and signed caches, and
// answers the three inventory functions.
//
// Threads: API calls and resource events arrive on different core threads.
// One mutex guards every field below; it is never held while a request to
// the core or to the remote service is outstanding, nor while logging. A
// fetch copies what it needs under the lock, sends without it, and re-takes
// it to store the answer, re-checking that the answer still belongs to the
// current player and that no notification invalidated it meanwhile.
#pragma once

#include "dispatch/FunctionResult.h"
#include "inventory/InventoryRecords.h"
#include "inventory/InventoryUrl.h"
#include "platform/Mutex.h"
#include "runtime/HttpRequest.h"
#include "runtime/PluginBase.h"
#include "runtime/RequestError.h"
#include "runtime/Resource.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qor {

namespace Api = Vane::Client::Inventory::Api;

// The short name the export hands to the handshake.
inline constexpr std::string_view kInventoryShortName = "qor-inventory";

// The URI of the emote list, both as a function and as a resource event.
inline constexpr std::string_view kEmotesUri = "/qor-inventory/v1/inventory/emotes";

class InventoryPlugin final : public PluginBase {
 public:
  using ItemList = std::vector<Api::InventoryItem>;
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

  // ---- Remote fetches (every failure has code 500) ----
  RequestResult<Api::InventoryResponseDTO> fetchInventory(
      const std::vector<std::string>& inventoryTypes);
  RequestResult<Api::InventoryResponseDTO> fetchSignedInventory(const std::string& inventoryType);

  // ---- Caches ----
  // Marks the type's signed entry invalid (creates none).
  void invalidateSignedCache(const std::string& inventoryType);
  // Files the item under its type, replacing the item with the same instance id.
  void addOrReplaceCachedItem(const Api::InventoryItem& item);
  // The first catalog entry standing for the instance id; 500 when the
  // catalog cannot be read, 404 when no entry matches.
  RequestResult<Api::CatalogItem> findCatalogItem(const std::string& instanceId);

 private:
  // The player the fields or the caches belong to.
  struct Identity {
    std::string puuid;
    std::uint64_t accountId = 0;
    bool operator==(const Identity&) const = default;
  };
  // Everything one fetch needs, copied under the lock.
  struct FetchContext {
    InventoryUrlParts url;
    HttpHeaders headers;
    Identity identity() const { return Identity{url.puuid, url.accountId}; }
  };
  // One item-cache entry. A partial entry was created by notifications for a
  // type never fetched: it does not answer getInventory, whose next fetch
  // merges it.
  struct CachedItems {
    ItemList items;
    bool partial = false;
  };
  // Signed fetches in flight for one type, and the stamp of the last
  // invalidation of that type seen while they were.
  struct PendingSigned {
    int fetches = 0;
    std::uint64_t invalidationStamp = 0;
  };

  FetchContext fetchContextLocked() const;
  Identity identityLocked() const { return Identity{puuid_, accountId_}; }
  // Makes the caches those of `owner`, emptying them when they belonged to
  // someone else.
  void adoptCacheOwnerLocked(const Identity& owner);
  void invalidateSignedCacheLocked(const std::string& inventoryType);
  void addOrReplaceCachedItemLocked(const Api::InventoryItem& item);
  // Sends one GET to the remote service and decodes the answer.
  RequestResult<Api::InventoryResponseDTO> sendInventoryRequest(const FetchContext& context,
                                                                const std::string* url);
  RequestResult<Api::InventoryResponseDTO> fetchInventory(const FetchContext& context,
                                                          const std::vector<std::string>& types);
  RequestResult<Api::InventoryResponseDTO> fetchSignedInventory(const FetchContext& context,
                                                                const std::string& type);
  // Decodes a notification payload (JSON text) into T.
  template <class T>
  bool decodePayload(const std::string& payload, T& out) const;
  // Publishes the current emote list. Concurrent callers are folded into
  // the running publisher, which sends again until it has sent the latest
  // list, so events never go out of order and no lock is held while sending.
  void publishEmotes();

  mutable platform::Mutex mutex_;
  // Guarded by mutex_.
  std::uint64_t accountId_ = 0;
  HttpHeaders authHeaders_;
  std::map<std::string, CachedItems> itemCache_;
  std::unordered_map<std::string, Api::CacheEntry> signedCache_;
  std::string baseServiceUrl_;
  std::string puuid_;
  std::string location_;
  bool enabled_ = false;
  bool loggedIn_ = false;
  Identity cacheOwner_;  // whose items and signed inventories the caches hold
  std::unordered_map<std::string, PendingSigned> pendingSigned_;
  std::uint64_t invalidationCounter_ = 0;
  std::uint64_t regionTickets_ = 0;  // region reads started (deletes count too)
  std::uint64_t regionStored_ = 0;   // the newest ticket that set location_
  bool emotePublishing_ = false;
  bool emotePublishPending_ = false;
};

}  // namespace qor
