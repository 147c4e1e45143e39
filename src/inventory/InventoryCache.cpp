// InventoryCache: ownership, partial entries, merging, invalidation and expiry.
#include "inventory/InventoryCache.h"

#include "logging/TimeStamp.h"

#include <algorithm>
#include <utility>

namespace qor {
namespace {

bool sameInstance(const Api::InventoryItem& a, const Api::InventoryItem& b) {
  return a.instanceId == b.instanceId;
}

}  // namespace

std::uint64_t expiryMillis(std::string_view expires) {
  const std::int64_t seconds = parseUtcTimestamp(expires);
  if (seconds < 0) return 0;
  return static_cast<std::uint64_t>(seconds) * 1000u;
}

InventoryCache::InventoryCache(Clock clock) : clock_(std::move(clock)) {
  if (!clock_) clock_ = &currentTimeMillis;
  signed_.max_load_factor(1.0f);
  signed_.rehash(8);
}

void InventoryCache::adoptOwner(const PlayerIdentity& player) {
  if (player == owner_) return;
  items_.clear();
  signed_.clear();
  owner_ = player;
}

// ---- Item cache ------------------------------------------------------------------

const InventoryCache::ItemList* InventoryCache::fetchedItems(const std::string& type) const {
  auto entry = items_.find(type);
  if (entry == items_.end() || entry->second.partial) return nullptr;
  return &entry->second.items;
}

InventoryCache::ItemList InventoryCache::items(const std::string& type) const {
  auto entry = items_.find(type);
  return entry == items_.end() ? ItemList{} : entry->second.items;
}

InventoryCache::ItemList InventoryCache::storeFetched(const PlayerIdentity& fetchedFor,
                                                     const std::string& type, ItemList items) {
  if (fetchedFor != owner_) return items;
  auto entry = items_.find(type);
  if (entry == items_.end()) {
    items_.emplace(type, ItemEntry{items, false});
    return items;
  }
  if (!entry->second.partial) return items;
  // Notified items the fetched list does not hold yet stay, after it.
  ItemList& notified = entry->second.items;
  const std::size_t fetched = items.size();
  for (Api::InventoryItem& item : notified) {
    const auto end = items.begin() + static_cast<std::ptrdiff_t>(fetched);
    const bool known = std::any_of(items.begin(), end, [&](const Api::InventoryItem& cached) {
      return sameInstance(cached, item);
    });
    if (!known) items.push_back(std::move(item));
  }
  notified = items;
  entry->second.partial = false;
  return items;
}

InventoryCache::ItemList* InventoryCache::notifiedList(const Api::InventoryItem& item) {
  auto [entry, created] = items_.try_emplace(item.inventoryType);
  if (created) entry->second.partial = true;
  return &entry->second.items;
}

void InventoryCache::addOrReplace(const Api::InventoryItem& item) {
  ItemList& list = *notifiedList(item);
  auto same = std::find_if(list.begin(), list.end(),
                           [&](const Api::InventoryItem& cached) { return sameInstance(cached, item); });
  if (same != list.end()) list.erase(same);
  list.push_back(item);
}

void InventoryCache::append(const Api::InventoryItem& item) { notifiedList(item)->push_back(item); }

// ---- Signed cache ----------------------------------------------------------------

std::optional<std::string> InventoryCache::signedText(const std::string& type) const {
  auto entry = signed_.find(type);
  if (entry == signed_.end() || !entry->second.valid) return std::nullopt;
  if (entry->second.expirationMS <= clock_()) return std::nullopt;
  return entry->second.signedInventoryJwt;
}

InventoryCache::SignedFetch InventoryCache::beginSignedFetch(const std::string& type,
                                                             const PlayerIdentity& player) {
  PendingSigned& pending = pendingSigned_[type];
  ++pending.fetches;
  return SignedFetch{type, player, pending.invalidationStamp};
}

void InventoryCache::finishSignedFetch(const SignedFetch& fetch, const Api::InventoryDTO* answer) {
  bool invalidated = false;
  auto pending = pendingSigned_.find(fetch.type);
  if (pending != pendingSigned_.end()) {
    invalidated = pending->second.invalidationStamp != fetch.invalidationStamp;
    if (--pending->second.fetches == 0) pendingSigned_.erase(pending);
  }
  if (answer == nullptr || invalidated || fetch.player != owner_) return;
  Api::CacheEntry& entry = signed_[fetch.type];
  entry.signedInventoryJwt = answer->itemsJwt;
  entry.expirationMS = expiryMillis(answer->expires);
  entry.valid = true;
}

void InventoryCache::invalidateSigned(const std::string& type) {
  auto entry = signed_.find(type);
  if (entry != signed_.end()) entry->second.valid = false;
  // A fetch of this type in flight was answered before the change.
  auto pending = pendingSigned_.find(type);
  if (pending != pendingSigned_.end()) pending->second.invalidationStamp = ++invalidations_;
}

std::optional<Api::CacheEntry> InventoryCache::signedEntry(const std::string& type) const {
  auto entry = signed_.find(type);
  if (entry == signed_.end()) return std::nullopt;
  return entry->second;
}

}  // namespace qor
