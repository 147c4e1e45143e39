// InventoryCache: the item cache and the signed cache of the inventory
// service, and every rule about what they hold.
//
// - Whose they are: both caches belong to one player. Only a login decides
//   that (adoptOwner); a player other than the owner empties both first. A
//   session that ends leaves them to the last player, and an answer fetched
//   for anyone but the owner is not stored.
// - Item entries: a fetched list answers getInventory. Notifications file
//   items too; an entry they create for a type never fetched is partial: it
//   does not answer getInventory, and the fetch that completes it keeps the
//   notified items the fetched list lacks, after it.
// - Signed entries: served while valid and unexpired; a notification for
//   the type invalidates the entry and any signed fetch of the type still in
//   flight, whose answer is then not stored.
//
// The cache takes no lock and knows nothing of the core: its owner serialises
// every call (the plug-in calls it under its mutex, never across a request).
#pragma once

#include "inventory/InventoryRecords.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qor {

namespace Api = Vane::Client::Inventory::Api;

// The player an identity-bound request or cache entry belongs to. The empty
// identity is nobody.
struct PlayerIdentity {
  std::string puuid;
  std::uint64_t accountId = 0;
  bool operator==(const PlayerIdentity&) const = default;
};

// Milliseconds since 1970-01-01 UTC of an "expires" time stamp. A text that
// does not parse, or lies before 1970, is already expired (0).
std::uint64_t expiryMillis(std::string_view expires);

class InventoryCache {
 public:
  using ItemList = std::vector<Api::InventoryItem>;
  // The current time in milliseconds since 1970-01-01 UTC.
  using Clock = std::function<std::uint64_t()>;

  // Reads the system's UTC clock unless given another.
  explicit InventoryCache(Clock clock = {});

  // ---- Whose the caches are ----
  // A login captured `player`: when that is not the owner, both caches are
  // emptied and now belong to `player`.
  void adoptOwner(const PlayerIdentity& player);
  const PlayerIdentity& owner() const noexcept { return owner_; }

  // ---- Item cache ----
  // The fetched list of a type, or null when the type must be fetched (no
  // entry, or only notified items).
  const ItemList* fetchedItems(const std::string& type) const;
  // Everything cached for a type, fetched or notified (empty when nothing).
  ItemList items(const std::string& type) const;
  // Files the list fetched for `fetchedFor` under `type` and returns what the
  // caller answers for the type. Not stored when `fetchedFor` is not the
  // owner. A partial entry is completed: the fetched list, then its notified
  // items whose instance id the list lacks (returned as well). An entry that
  // was already fetched stays as it is.
  ItemList storeFetched(const PlayerIdentity& fetchedFor, const std::string& type, ItemList items);
  // A notified item replaces the item of the same instance (the later one
  // goes to the end of the list).
  void addOrReplace(const Api::InventoryItem& item);
  // A notified item goes to the end of its list, even when the instance is
  // already there.
  void append(const Api::InventoryItem& item);

  // ---- Signed cache ----
  // The signed text of a type while its entry is valid and expires later
  // than now (an entry expiring this millisecond is expired).
  std::optional<std::string> signedText(const std::string& type) const;
  // A signed fetch of `type` for `player` is about to be sent. Every begun
  // fetch must be ended with finishSignedFetch, answered or not.
  struct SignedFetch {
    std::string type;
    PlayerIdentity player;
    std::uint64_t invalidationStamp = 0;
  };
  SignedFetch beginSignedFetch(const std::string& type, const PlayerIdentity& player);
  // Ends a signed fetch; `answer` is null when it failed. The answer is
  // stored (valid, expiring at its "expires") unless the type was
  // invalidated while the fetch was out or it was not made for the owner.
  void finishSignedFetch(const SignedFetch& fetch, const Api::InventoryDTO* answer);
  // Marks the type's entry invalid (none is created) and spoils any signed
  // fetch of the type in flight.
  void invalidateSigned(const std::string& type);

  // The entry of a type, for inspection.
  std::optional<Api::CacheEntry> signedEntry(const std::string& type) const;

 private:
  struct ItemEntry {
    ItemList items;
    bool partial = false;  // made by notifications, never fetched
  };
  // Signed fetches of one type in flight, and the stamp of the newest
  // invalidation of that type seen while they were.
  struct PendingSigned {
    int fetches = 0;
    std::uint64_t invalidationStamp = 0;
  };
  // The entry of the item's type, created partial when there is none.
  ItemList* notifiedList(const Api::InventoryItem& item);

  Clock clock_;
  PlayerIdentity owner_;
  std::map<std::string, ItemEntry> items_;
  std::unordered_map<std::string, Api::CacheEntry> signed_;
  std::unordered_map<std::string, PendingSigned> pendingSigned_;
  std::uint64_t invalidations_ = 0;
};

}  // namespace qor
