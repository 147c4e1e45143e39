// Registration of the inventory records and the small rules tied to them
// (cap item types, ownership of fetched items).
#include "inventory/InventoryRecords.h"

#include "binding/TypeRegistration.h"

#include <string>

namespace Vane::Client::Inventory::Api {
namespace {

using qor::registerEnum;
using qor::registerStruct;
using qor::TypeRegistry;

// Registers T under the route name plus `name` and gives it the tags. A type
// registered before keeps everything it had (the builder skips each call).
template <class T>
qor::StructRegistration<T> structOf(TypeRegistry& registry, std::string_view routeName,
                                    std::string_view name, const std::vector<std::string>& tags) {
  auto registration = registerStruct<T>(registry, std::string(routeName) + std::string(name));
  for (const std::string& tag : tags) registration.builder().addTag(tag);
  return registration;
}

template <class E>
qor::EnumRegistration<E> enumOf(TypeRegistry& registry, std::string_view routeName,
                                std::string_view name, const std::vector<std::string>& tags) {
  auto registration = registerEnum<E>(registry, std::string(routeName) + std::string(name));
  for (const std::string& tag : tags) registration.builder().addTag(tag);
  return registration;
}

}  // namespace

const CapItemType* findCapItemType(std::string_view typeId) noexcept {
  for (const CapItemType& row : kCapItemTypes) {
    if (row.typeId == typeId) return &row;
  }
  return nullptr;
}

ItemOwnershipType ownershipOf(const InventoryItemDTO& dto) noexcept {
  if (dto.f2p) return ItemOwnershipType::F2P;
  if (dto.rental) return ItemOwnershipType::Rented;
  return ItemOwnershipType::Owned;
}

void registerInventoryRecords(TypeRegistry& registry, std::string_view routeName,
                              const std::vector<std::string>& tags) {
  // Order matters: a field of enumeration or structure type takes the
  // descriptor registered at the moment it is added.
  structOf<CacheEntry>(registry, routeName, "CacheEntry", tags)
      .field("signedInventoryJwt", &CacheEntry::signedInventoryJwt)
      .field("expirationMS", &CacheEntry::expirationMS)
      .field("valid", &CacheEntry::valid);

  enumOf<ItemOwnershipType>(registry, routeName, "ItemOwnershipType", tags)
      .value("OWNED", ItemOwnershipType::Owned)
      .value("RENTED", ItemOwnershipType::Rented)
      .value("F2P", ItemOwnershipType::F2P);

  structOf<InventoryItem>(registry, routeName, "InventoryItem", tags)
      .field("itemId", &InventoryItem::itemId)
      .field("inventoryType", &InventoryItem::inventoryType)
      .field("ownershipType", &InventoryItem::ownershipType);

  structOf<InventoryItemDTO>(registry, routeName, "InventoryItemDTO", tags)
      .field("itemId", &InventoryItemDTO::itemId)
      .field("inventoryType", &InventoryItemDTO::inventoryType)
      .field("expirationDate", &InventoryItemDTO::expirationDate)
      .field("purchaseDate", &InventoryItemDTO::purchaseDate)
      .field("quantity", &InventoryItemDTO::quantity)
      .field("usedInGameDate", &InventoryItemDTO::usedInGameDate)
      .field("entitlementId", &InventoryItemDTO::entitlementId)
      .field("eneitlementTypeId", &InventoryItemDTO::eneitlementTypeId)
      .field("instanceId", &InventoryItemDTO::instanceId)
      .field("instanceTypeId", &InventoryItemDTO::instanceTypeId)
      .field("f2p", &InventoryItemDTO::f2p)
      .field("rental", &InventoryItemDTO::rental)
      .field("lsb", &InventoryItemDTO::lsb)
      .field("wins", &InventoryItemDTO::wins);

  structOf<InventoryDTO>(registry, routeName, "InventoryDTO", tags)
      .field("puuid", &InventoryDTO::puuid)
      .field("accountId", &InventoryDTO::accountId)
      .field("summonerId", &InventoryDTO::summonerId)
      .field("items", &InventoryDTO::items)
      .field("expires", &InventoryDTO::expires)
      .field("itemsJwt", &InventoryDTO::itemsJwt);

  structOf<InventoryResponseDTO>(registry, routeName, "InventoryResponseDTO", tags)
      .field("data", &InventoryResponseDTO::data);

  enumOf<LoginSessionStates>(registry, routeName, "LoginSessionStates", tags)
      .value("IN_PROGRESS", LoginSessionStates::InProgress)
      .value("ERROR", LoginSessionStates::Error)
      .value("SUCCEEDED", LoginSessionStates::Succeeded)
      .value("LOGGING_OUT", LoginSessionStates::LoggingOut);

  structOf<LoginSession>(registry, routeName, "LoginSession", tags)
      .field("state", &LoginSession::state)
      .field("summonerId", &LoginSession::summonerId)
      .field("accountId", &LoginSession::accountId)
      .field("idToken", &LoginSession::idToken)
      .field("gasToken", &LoginSession::gasToken)
      .field("puuid", &LoginSession::puuid);

  structOf<AccessTokenResource>(registry, routeName, "AccessTokenResource", tags)
      .field("token", &AccessTokenResource::token)
      .field("scopes", &AccessTokenResource::scopes)
      .field("expiry", &AccessTokenResource::expiry);

  structOf<VaneMessagingServiceMessage>(registry, routeName, "VaneMessagingServiceMessage", tags)
      .field("resource", &VaneMessagingServiceMessage::resource)
      .field("service", &VaneMessagingServiceMessage::service)
      .field("version", &VaneMessagingServiceMessage::version)
      .field("timestamp", &VaneMessagingServiceMessage::timestamp)
      .field("payload", &VaneMessagingServiceMessage::payload);

  structOf<VmsEntitlementPayload>(registry, routeName, "VmsEntitlementPayload", tags)
      .field("itemId", &VmsEntitlementPayload::itemId)
      .field("itemTypeId", &VmsEntitlementPayload::itemTypeId);

  structOf<VmsStoreEntitlementItem>(registry, routeName, "VmsStoreEntitlementItem", tags)
      .field("inventoryType", &VmsStoreEntitlementItem::inventoryType)
      .field("itemId", &VmsStoreEntitlementItem::itemId);

  structOf<VmsStoreEntitlementPayload>(registry, routeName, "VmsStoreEntitlementPayload", tags)
      .field("transactionId", &VmsStoreEntitlementPayload::transactionId)
      .field("items", &VmsStoreEntitlementPayload::items);

  structOf<CatalogItem>(registry, routeName, "CatalogItem", tags)
      .field("itemId", &CatalogItem::itemId)
      .field("inventoryType", &CatalogItem::inventoryType)
      .field("itemInstanceId", &CatalogItem::itemInstanceId, {.optional = true});
}

}  // namespace Vane::Client::Inventory::Api
