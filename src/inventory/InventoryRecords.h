// The records the inventory service exchanges with the remote inventory
// service, other plug-ins, the messaging service, the store catalog and its
// own callers, with registerInventoryRecords, which binds them all.
#pragma once

#include "binding/BindingProperty.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qor {
class TypeRegistry;
}  // namespace qor

namespace Vane::Client::Inventory::Api {

// One signed-inventory cache entry.
struct CacheEntry {
  std::string signedInventoryJwt;
  std::uint64_t expirationMS = 0;  // milliseconds since 1970-01-01 UTC
  bool valid = false;              // false once the entry has been invalidated
};

enum class ItemOwnershipType : std::int32_t { Owned = 0, Rented = 1, F2P = 2 };

// One item as the service caches and returns it.
struct InventoryItem {
  // Identity of the item instance; matches catalog entries and replaces or
  // removes items. Not registered, so it never reaches a caller.
  std::string instanceId;
  std::int32_t itemId = 0;
  std::string inventoryType;
  ItemOwnershipType ownershipType = ItemOwnershipType::Owned;
};

// One item as the remote inventory service sends it.
struct InventoryItemDTO {
  std::int32_t itemId = 0;
  std::string inventoryType;
  std::string expirationDate;
  std::string purchaseDate;
  std::uint64_t quantity = 0;
  std::string usedInGameDate;
  std::string entitlementId;
  std::string eneitlementTypeId;  // the wire name is spelled this way
  std::string instanceId;
  std::string instanceTypeId;
  bool f2p = false;
  bool rental = false;
  bool lsb = false;
  std::uint64_t wins = 0;
};

// The data block of a remote inventory response.
struct InventoryDTO {
  std::string puuid;
  std::uint64_t accountId = 0;
  std::uint64_t summonerId = 0;
  // Per inventory type name, that type's item list, left unconverted.
  std::unordered_map<std::string, qor::BindingProperty> items;
  std::string expires;  // ISO 8601 UTC time stamp
  std::string itemsJwt;
};

struct InventoryResponseDTO {
  InventoryDTO data;
};

enum class LoginSessionStates : std::int32_t {
  InProgress = 0,
  Error = 3,
  Succeeded = 1,
  LoggingOut = 2,
};

struct LoginSession {
  LoginSessionStates state = LoginSessionStates::InProgress;
  std::uint64_t summonerId = 0;
  std::uint64_t accountId = 0;
  std::string idToken;
  qor::BindingProperty gasToken;
  std::string puuid;
};

struct AccessTokenResource {
  std::string token;
  std::vector<std::string> scopes;
  std::uint64_t expiry = 0;
};

// The envelope of a message pushed by the messaging service.
struct VaneMessagingServiceMessage {
  std::string resource;
  std::string service;
  std::string version;
  std::int64_t timestamp = 0;
  std::string payload;  // the notification itself, a JSON text
};

struct VmsEntitlementPayload {
  std::string itemId;      // instance id of the entitled item
  std::string itemTypeId;  // cap item type id
};

struct VmsStoreEntitlementItem {
  std::string inventoryType;
  std::string itemId;  // instance id of the item
};

struct VmsStoreEntitlementPayload {
  std::string transactionId;
  std::vector<VmsStoreEntitlementItem> items;
};

// One entry of the store catalog.
struct CatalogItem {
  std::int32_t itemId = 0;
  std::string inventoryType;
  std::optional<std::string> itemInstanceId;  // absent for entries without an instance
};

// The inventory type of emotes, whose list is also published as a resource.
inline constexpr std::string_view kEmoteInventoryType = "EMOTE";

// A cap item type id and the inventory type its items are filed under.
struct CapItemType {
  std::string_view typeId;
  std::string_view inventoryType;
};

inline constexpr CapItemType kCapItemTypes[] = {
    {"2367c5c4-6821-454f-a3b9-2615255f6d83", "TOURNAMENT_TROPHY"},
    {"bf838603-581f-4ccc-9a5c-d71ac1b2bc72", "TOURNAMENT_FLAG"},
    {"e0a390c7-8699-4106-87f6-8e6a4c6dc9cc", "TOURNAMENT_FRAME"},
    {"9b798d99-6865-4dd3-bc46-ab5b166ae66d", "TOURNAMENT_LOGO"},
    {"e458d471-b176-4345-8fb3-3ec3e0de29a3", "GEAR"},
};

// Items filed through the cap table carry this item id.
inline constexpr std::int32_t kCapItemId = 1;

// The row whose type id equals `typeId` byte for byte, or null.
const CapItemType* findCapItemType(std::string_view typeId) noexcept;

// How an item the remote service sent is held: F2P wins over RENTED.
ItemOwnershipType ownershipOf(const InventoryItemDTO& dto) noexcept;

// Registers every record above, nested ones first, each under `routeName`
// followed by the record's name and with the given tags. Names registered
// before keep their first description.
void registerInventoryRecords(qor::TypeRegistry& registry, std::string_view routeName,
                              const std::vector<std::string>& tags);

}  // namespace Vane::Client::Inventory::Api
