// InventoryPlugin: state handlers, remote fetches, caches, notifications,
// catalog look-ups and the three inventory functions.
#include "inventory/InventoryPlugin.h"

#include "binding/FormatMessage.h"
#include "binding/PropertyConverter.h"
#include "dispatch/ApiDispatcher.h"
#include "formats/JsonReader.h"
#include "logging/AssertionReport.h"
#include "logging/LogManager.h"
#include "logging/TimeStamp.h"

#include <algorithm>
#include <mutex>
#include <utility>

namespace qor {
namespace {

using Lock = std::lock_guard<platform::Mutex>;

constexpr const char* kLoginSessionUri = "/qor-login/v1/session";
constexpr const char* kAccessTokenUri = "/vso-auth/v1/authorization/access-token";
constexpr const char* kPlatformConfigUri = "/qor-platform-config/v1/namespaces/Inventory";
constexpr const char* kEntitlementsUri = "/vane-messaging-service/v1/message/cap/v1/entitlements";
constexpr const char* kStoreInventoryUri = "/vane-messaging-service/v1/message/store/v1/inventory";
constexpr const char* kRegionLocaleUri = "/vaneclient/region-locale";
constexpr const char* kRegionDataUri = "/data-store/v1/system-settings/region_data";
constexpr const char* kCatalogUri = "/qor-store/v1/catalog";
constexpr const char* kInventoryUri = "/qor-inventory/v1/inventory";
constexpr const char* kSignedInventoryUri = "/qor-inventory/v1/signedInventory";
constexpr const char* kInventoryTypesArgument = "inventoryTypes";
constexpr const char* kAllEventsName = "OnJsonApiEvent";

constexpr const char* kFetchFailed = "Could not get inventory from qorinventoryservice: %1";
constexpr const char* kUndecodable = "Couldn't deserialize inventory response: %1";
constexpr const char* kUrlTooLong = "URL too long";
constexpr const char* kCatalogUnreadable = "Could not retrieve catalog items: %1";
constexpr const char* kNotInCatalog = "Could not find item in catalog";
constexpr std::int32_t kServerError = 500;
constexpr std::int32_t kNotFound = 404;

// The two further settings of every remote inventory request.
constexpr std::uint32_t kRemoteSetting1 = 20;
constexpr std::uint32_t kRemoteSetting2 = 1;

RequestError serverError(std::string message) {
  RequestError error;
  error.code = kServerError;
  error.message = std::move(message);
  return error;
}

bool isKnownEventType(ResourceEventType type) {
  const auto code = static_cast<std::int32_t>(type);
  return code >= 0 && code <= 2;
}

// Milliseconds since the epoch of an "expires" text. A text that does not
// parse, or lies before 1970, is already expired.
std::uint64_t expiryMillis(std::string_view expires) {
  const std::int64_t seconds = parseUtcTimestamp(expires);
  if (seconds < 0) return 0;
  return static_cast<std::uint64_t>(seconds) * 1000u;
}

Api::InventoryItem itemFrom(const Api::InventoryItemDTO& dto) {
  Api::InventoryItem item;
  item.instanceId = dto.instanceId;
  item.itemId = dto.itemId;
  item.inventoryType = dto.inventoryType;
  item.ownershipType = Api::ownershipOf(dto);
  return item;
}

}  // namespace

InventoryPlugin::InventoryPlugin() {
  signedCache_.max_load_factor(1.0f);
  signedCache_.rehash(8);
}

InventoryPlugin::~InventoryPlugin() = default;

// ---- Registration and start --------------------------------------------------

void InventoryPlugin::RegisterApi() {
  Api::registerInventoryRecords(registry(), routeName(), registrationTags());
  dispatcher()
      .registerFunction(HttpMethod::Get, kInventoryUri, this, &InventoryPlugin::getInventory)
      .queryArgument(kInventoryTypesArgument);
  dispatcher()
      .registerFunction(HttpMethod::Get, kSignedInventoryUri, this,
                        &InventoryPlugin::getSignedInventory)
      .queryArgument(kInventoryTypesArgument);
  dispatcher().registerFunction(HttpMethod::Get, kEmotesUri, this, &InventoryPlugin::getEmotes);
}

bool InventoryPlugin::OnStart() {
  using namespace std::placeholders;
  Watch<Api::LoginSession>(kLoginSessionUri,
                           std::bind(&InventoryPlugin::onLoginSession, this, _1, _2, _3));
  Watch<Api::AccessTokenResource>(kAccessTokenUri,
                                  std::bind(&InventoryPlugin::onAccessToken, this, _1, _2, _3));
  Watch<BindingProperty>(kPlatformConfigUri,
                         std::bind(&InventoryPlugin::onPlatformConfig, this, _1, _2, _3));
  Watch<Api::VaneMessagingServiceMessage>(
      kEntitlementsUri, std::bind(&InventoryPlugin::onEntitlementMessage, this, _1, _2, _3));
  Watch<Api::VaneMessagingServiceMessage>(
      kStoreInventoryUri, std::bind(&InventoryPlugin::onStoreInventoryMessage, this, _1, _2, _3));
  Watch<BindingProperty>(kRegionLocaleUri,
                         std::bind(&InventoryPlugin::onRegionLocale, this, _1, _2, _3));
  return true;
}

// ---- State handlers ------------------------------------------------------------

void InventoryPlugin::onLoginSession(const std::string&, ResourceEventType type,
                                     const Api::LoginSession& data) {
  if (!isKnownEventType(type)) return;
  Lock lock(mutex_);
  if (type == ResourceEventType::Delete) {
    // The caches stay: they remember whom they were filled for.
    loggedIn_ = false;
    accountId_ = 0;
    puuid_.clear();
    return;
  }
  const bool wasLoggedIn = loggedIn_;
  loggedIn_ = data.state == Api::LoginSessionStates::Succeeded && data.accountId != 0 &&
              data.summonerId != 0;
  // The ids are taken only when a login completes; later events with other
  // ids while still logged in change nothing.
  if (wasLoggedIn || !loggedIn_) return;
  accountId_ = data.accountId;
  puuid_ = data.puuid;
  adoptCacheOwnerLocked(identityLocked());
}

void InventoryPlugin::onAccessToken(const std::string&, ResourceEventType type,
                                    const Api::AccessTokenResource& data) {
  if (!isKnownEventType(type)) return;
  Lock lock(mutex_);
  if (type == ResourceEventType::Delete) {
    authHeaders_.clear();
    return;
  }
  authHeaders_.erase("Authorization");
  // The token is used whole, however long it is.
  authHeaders_.emplace("Authorization", "Bearer " + data.token);
  authHeaders_.erase("Content-type");
  authHeaders_.emplace("Content-type", "application/json");
}

void InventoryPlugin::onPlatformConfig(const std::string&, ResourceEventType type,
                                       const BindingProperty& data) {
  if (!isKnownEventType(type)) return;
  bool missingUrl = false;
  {
    Lock lock(mutex_);
    if (type == ResourceEventType::Delete) {
      baseServiceUrl_.clear();
      return;
    }
    if (data.hasMember("Enabled")) enabled_ = data.get("Enabled").asTruth();
    if (data.hasMember("BaseServiceUrl")) {
      baseServiceUrl_ = data.get("BaseServiceUrl").asText();
    } else {
      missingUrl = true;
    }
  }
  if (missingUrl) logMessage(LogLevel::Error, kLogGroupDbg, "JMX missing BaseServiceURL config!");
}

void InventoryPlugin::onRegionLocale(const std::string&, ResourceEventType type,
                                     const BindingProperty&) {
  if (!isKnownEventType(type)) return;
  std::uint64_t ticket = 0;
  {
    Lock lock(mutex_);
    ticket = ++regionTickets_;
    if (type == ResourceEventType::Delete) {
      location_.clear();
      regionStored_ = ticket;
      return;
    }
  }
  RequestResult<BindingProperty> region = sendRequest(HttpMethod::Get, kRegionDataUri);
  if (!region.ok()) {
    reportAssertion("ALE-6238ECBF", "Failed to get regionSettings", nullptr, 0, nullptr);
    return;
  }
  const BindingProperty& servers = region.value().get("servers");
  if (!region.value().hasMember("servers") || !servers.hasMember("loctavian_service_location")) {
    return;
  }
  std::string location = servers.get("loctavian_service_location").asText();
  Lock lock(mutex_);
  // An answer overtaken by a later region event or delete is stale.
  if (ticket < regionStored_) return;
  location_ = std::move(location);
  regionStored_ = ticket;
}

// ---- Remote fetches ------------------------------------------------------------

InventoryPlugin::FetchContext InventoryPlugin::fetchContextLocked() const {
  FetchContext context;
  context.url.baseServiceUrl = baseServiceUrl_;
  context.url.puuid = puuid_;
  context.url.location = location_;
  context.url.accountId = accountId_;
  context.headers = authHeaders_;
  return context;
}

RequestResult<Api::InventoryResponseDTO> InventoryPlugin::sendInventoryRequest(
    const FetchContext& context, const std::string* url) {
  if (url == nullptr) return serverError(formatMessage(kFetchFailed, kUrlTooLong));
  HttpRequest request;
  request.method = HttpMethod::Get;
  request.url = *url;
  request.headers = context.headers;
  request.setting1 = kRemoteSetting1;
  request.setting2 = kRemoteSetting2;
  const HttpResponse response = sendExternalRequest(request);
  if (!response.error.empty() || response.outcome != 0 || response.status < 200 ||
      response.status > 299 || response.conversionStatus != 0) {
    return serverError(formatMessage(kFetchFailed, response.error));
  }
  Api::InventoryResponseDTO decoded;
  if (!readJsonInto(response.body, decoded, registry())) {
    // The whole body, so that the caller sees what the service said.
    return serverError(formatMessage(kUndecodable, response.body));
  }
  return decoded;
}

RequestResult<Api::InventoryResponseDTO> InventoryPlugin::fetchInventory(
    const FetchContext& context, const std::vector<std::string>& types) {
  const std::optional<std::string> url = plainInventoryUrl(context.url, types);
  return sendInventoryRequest(context, url ? &*url : nullptr);
}

RequestResult<Api::InventoryResponseDTO> InventoryPlugin::fetchSignedInventory(
    const FetchContext& context, const std::string& type) {
  const std::optional<std::string> url = signedInventoryUrl(context.url, type);
  return sendInventoryRequest(context, url ? &*url : nullptr);
}

RequestResult<Api::InventoryResponseDTO> InventoryPlugin::fetchInventory(
    const std::vector<std::string>& inventoryTypes) {
  FetchContext context;
  {
    Lock lock(mutex_);
    context = fetchContextLocked();
  }
  return fetchInventory(context, inventoryTypes);
}

RequestResult<Api::InventoryResponseDTO> InventoryPlugin::fetchSignedInventory(
    const std::string& inventoryType) {
  FetchContext context;
  {
    Lock lock(mutex_);
    context = fetchContextLocked();
  }
  return fetchSignedInventory(context, inventoryType);
}

// ---- Caches ----------------------------------------------------------------------

void InventoryPlugin::adoptCacheOwnerLocked(const Identity& owner) {
  if (owner == cacheOwner_) return;
  itemCache_.clear();
  signedCache_.clear();
  cacheOwner_ = owner;
}

void InventoryPlugin::invalidateSignedCacheLocked(const std::string& inventoryType) {
  auto entry = signedCache_.find(inventoryType);
  if (entry != signedCache_.end()) entry->second.valid = false;
  // A fetch of this type in flight was answered before the change.
  auto pending = pendingSigned_.find(inventoryType);
  if (pending != pendingSigned_.end()) pending->second.invalidationStamp = ++invalidationCounter_;
}

void InventoryPlugin::invalidateSignedCache(const std::string& inventoryType) {
  Lock lock(mutex_);
  invalidateSignedCacheLocked(inventoryType);
}

void InventoryPlugin::addOrReplaceCachedItemLocked(const Api::InventoryItem& item) {
  auto entry = itemCache_.find(item.inventoryType);
  if (entry == itemCache_.end()) {
    CachedItems created;
    created.items.push_back(item);
    created.partial = true;
    itemCache_.emplace(item.inventoryType, std::move(created));
    return;
  }
  ItemList& items = entry->second.items;
  auto same = std::find_if(items.begin(), items.end(), [&](const Api::InventoryItem& cached) {
    return cached.instanceId == item.instanceId;
  });
  if (same != items.end()) items.erase(same);
  items.push_back(item);
}

void InventoryPlugin::addOrReplaceCachedItem(const Api::InventoryItem& item) {
  Lock lock(mutex_);
  addOrReplaceCachedItemLocked(item);
}

// ---- API functions -------------------------------------------------------------

FunctionResult<InventoryPlugin::ItemList> InventoryPlugin::getInventory(
    std::vector<std::string> inventoryTypes) {
  ItemList result;
  std::vector<std::string> missing;
  FetchContext context;
  {
    Lock lock(mutex_);
    if (!enabled_) return FunctionResult<ItemList>::ok({});
    for (const std::string& name : inventoryTypes) {
      auto entry = itemCache_.find(name);
      if (entry != itemCache_.end() && !entry->second.partial) {
        const ItemList& cached = entry->second.items;
        result.insert(result.end(), cached.begin(), cached.end());
      } else {
        missing.push_back(name);
      }
    }
    if (missing.empty()) return FunctionResult<ItemList>::ok(std::move(result));
    context = fetchContextLocked();
  }

  RequestResult<Api::InventoryResponseDTO> fetched = fetchInventory(context, missing);
  if (!fetched.ok()) {
    return FunctionResult<ItemList>::fail(fetched.error().message,
                                          static_cast<std::uint32_t>(fetched.error().code));
  }

  // Convert every type of the answer without the lock.
  struct Converted {
    const std::string* type;
    ItemList items;
    bool ok;
  };
  std::vector<Converted> converted;
  converted.reserve(fetched.value().data.items.size());
  for (const auto& [type, value] : fetched.value().data.items) {
    std::vector<Api::InventoryItemDTO> dtos;
    BindingResult status;
    fromProperty(status, dtos, value, kTopLevelFieldName, registry());
    Converted entry{&type, {}, status.ok};
    if (status.ok) {
      entry.items.reserve(dtos.size());
      for (const Api::InventoryItemDTO& dto : dtos) entry.items.push_back(itemFrom(dto));
    } else {
      // Not cached, so that the next call fetches the type again.
      const std::string message(status.errorText());
      logMessage(LogLevel::Error, kLogGroupDbg, "Could not convert inventory items for %s: %s",
                 type.c_str(), message.c_str());
    }
    converted.push_back(std::move(entry));
  }

  Lock lock(mutex_);
  // An answer fetched for a player who is no longer the current one is
  // returned to this caller but not kept.
  const bool keep = context.identity() == identityLocked();
  if (keep) adoptCacheOwnerLocked(context.identity());
  for (Converted& entry : converted) {
    if (keep && entry.ok) {
      auto cached = itemCache_.find(*entry.type);
      if (cached == itemCache_.end()) {
        itemCache_.emplace(*entry.type, CachedItems{entry.items, false});
      } else if (cached->second.partial) {
        // Notified items the fetched list does not hold yet stay, after it.
        ItemList merged = entry.items;
        for (const Api::InventoryItem& notified : cached->second.items) {
          const bool known = std::any_of(entry.items.begin(), entry.items.end(),
                                         [&](const Api::InventoryItem& item) {
                                           return item.instanceId == notified.instanceId;
                                         });
          if (!known) merged.push_back(notified);
        }
        cached->second.items = merged;
        cached->second.partial = false;
        entry.items = std::move(merged);
      }
    }
    result.insert(result.end(), std::make_move_iterator(entry.items.begin()),
                  std::make_move_iterator(entry.items.end()));
  }
  return FunctionResult<ItemList>::ok(std::move(result));
}

FunctionResult<InventoryPlugin::ItemList> InventoryPlugin::getEmotes() {
  return getInventory({std::string(Api::kEmoteInventoryType)});
}

FunctionResult<InventoryPlugin::SignedMap> InventoryPlugin::getSignedInventory(
    std::vector<std::string> inventoryTypes) {
  SignedMap result;
  result.max_load_factor(1.0f);
  result.rehash(8);
  {
    Lock lock(mutex_);
    if (!enabled_) return FunctionResult<SignedMap>::ok(std::move(result));
  }
  for (const std::string& type : inventoryTypes) {
    FetchContext context;
    std::uint64_t stamp = 0;
    {
      Lock lock(mutex_);
      auto entry = signedCache_.find(type);
      if (entry != signedCache_.end() && entry->second.valid &&
          entry->second.expirationMS > currentTimeMillis()) {
        result[type] = entry->second.signedInventoryJwt;
        continue;
      }
      context = fetchContextLocked();
      PendingSigned& pending = pendingSigned_[type];
      ++pending.fetches;
      stamp = pending.invalidationStamp;
    }

    RequestResult<Api::InventoryResponseDTO> fetched = fetchSignedInventory(context, type);

    Lock lock(mutex_);
    bool invalidated = false;
    auto pending = pendingSigned_.find(type);
    if (pending != pendingSigned_.end()) {
      invalidated = pending->second.invalidationStamp != stamp;
      if (--pending->second.fetches == 0) pendingSigned_.erase(pending);
    }
    if (!fetched.ok()) {
      return FunctionResult<SignedMap>::fail(fetched.error().message,
                                             static_cast<std::uint32_t>(fetched.error().code));
    }
    const Api::InventoryDTO& data = fetched.value().data;
    // The answer goes to this caller in any case; it is kept only while it
    // still describes the current player's current inventory.
    if (!invalidated && context.identity() == identityLocked()) {
      adoptCacheOwnerLocked(context.identity());
      Api::CacheEntry& entry = signedCache_[type];
      entry.signedInventoryJwt = data.itemsJwt;
      entry.expirationMS = expiryMillis(data.expires);
      entry.valid = true;
    }
    result[type] = data.itemsJwt;
  }
  return FunctionResult<SignedMap>::ok(std::move(result));
}

// ---- Catalog -------------------------------------------------------------------

RequestResult<Api::CatalogItem> InventoryPlugin::findCatalogItem(const std::string& instanceId) {
  RequestResult<std::vector<Api::CatalogItem>> catalog =
      sendRequestList<Api::CatalogItem>(HttpMethod::Get, kCatalogUri);
  if (!catalog.ok()) {
    const std::string& reason = catalog.error().message;
    logMessage(LogLevel::Error, kLogGroupDbg, "Could not retrieve catalog items: %s",
               reason.c_str());
    return serverError(formatMessage(kCatalogUnreadable, reason));
  }
  for (Api::CatalogItem& item : catalog.value()) {
    if (item.itemInstanceId && *item.itemInstanceId == instanceId) return std::move(item);
  }
  RequestError error;
  error.code = kNotFound;
  error.message = kNotInCatalog;
  return error;
}

// ---- Notifications ---------------------------------------------------------------

template <class T>
bool InventoryPlugin::decodePayload(const std::string& payload, T& out) const {
  return readJsonInto(payload, out, registry());
}

void InventoryPlugin::onEntitlementMessage(const std::string&, ResourceEventType type,
                                           const Api::VaneMessagingServiceMessage& message) {
  logMessage(LogLevel::Always, kLogGroupDbg, "Received VMS message for /store/v1/entitlements: %s",
             message.payload.c_str());
  Api::VmsEntitlementPayload payload;
  if (!decodePayload(message.payload, payload)) {
    logMessage(LogLevel::Error, kLogGroupDbg, "Malformed VMS emote notification payload: %s",
               message.payload.c_str());
    return;
  }
  if (type != ResourceEventType::Create) return;

  Api::InventoryItem item;
  item.instanceId = payload.itemId;
  item.ownershipType = Api::ItemOwnershipType::Owned;
  if (const Api::CapItemType* cap = Api::findCapItemType(payload.itemTypeId)) {
    item.inventoryType = std::string(cap->inventoryType);
    item.itemId = Api::kCapItemId;
  } else {
    RequestResult<Api::CatalogItem> found = findCatalogItem(payload.itemId);
    if (!found.ok()) {
      logMessage(LogLevel::Error, kLogGroupDbg, "Could not retrieve catalog item: %s",
                 found.error().message.c_str());
      return;
    }
    item.itemId = found.value().itemId;
    item.inventoryType = found.value().inventoryType;
  }
  {
    Lock lock(mutex_);
    invalidateSignedCacheLocked(item.inventoryType);
    addOrReplaceCachedItemLocked(item);
  }
  if (item.inventoryType == Api::kEmoteInventoryType) publishEmotes();
}

void InventoryPlugin::onStoreInventoryMessage(const std::string&, ResourceEventType,
                                              const Api::VaneMessagingServiceMessage& message) {
  logMessage(LogLevel::Always, kLogGroupDbg, "Received VMS message for /store/v1/inventory: %s",
             message.payload.c_str());
  Api::VmsStoreEntitlementPayload payload;
  if (!decodePayload(message.payload, payload)) return;

  for (const Api::VmsStoreEntitlementItem& element : payload.items) {
    RequestResult<Api::CatalogItem> found = findCatalogItem(element.itemId);
    if (!found.ok()) {
      logMessage(LogLevel::Error, kLogGroupDbg, "Could not retrieve catalog item: %s",
                 found.error().message.c_str());
      continue;
    }
    Api::InventoryItem item;
    item.instanceId = element.itemId;
    item.itemId = found.value().itemId;
    item.inventoryType = element.inventoryType;  // the element's own type, not the catalog's
    item.ownershipType = Api::ItemOwnershipType::Owned;

    Lock lock(mutex_);
    auto entry = itemCache_.find(item.inventoryType);
    if (entry == itemCache_.end()) {
      itemCache_.emplace(item.inventoryType, CachedItems{ItemList{item}, true});
    } else {
      // Appended even when the instance is already listed.
      entry->second.items.push_back(item);
    }
    invalidateSignedCacheLocked(element.inventoryType);
  }
}

void InventoryPlugin::publishEmotes() {
  {
    Lock lock(mutex_);
    emotePublishPending_ = true;
    if (emotePublishing_) return;  // the running publisher sends the newer list
    emotePublishing_ = true;
  }
  // Should sending fail by an exception, the next notification publishes again.
  struct PublishingReset {
    InventoryPlugin* self;
    bool armed = true;
    ~PublishingReset() {
      if (!armed) return;
      Lock lock(self->mutex_);
      self->emotePublishing_ = false;
    }
  } reset{this};
  for (;;) {
    ItemList emotes;
    {
      Lock lock(mutex_);
      if (!emotePublishPending_) {
        emotePublishing_ = false;
        reset.armed = false;
        return;
      }
      emotePublishPending_ = false;
      auto entry = itemCache_.find(std::string(Api::kEmoteInventoryType));
      if (entry != itemCache_.end()) emotes = entry->second.items;
    }
    BindingResult data;
    toProperty(data, emotes, registry());
    if (!data.ok) continue;
    Resource resource;
    resource.uri = std::string(kEmotesUri);
    resource.eventType = ResourceEventType::Update;
    resource.data = std::move(data.value);
    static_cast<void>(Publish(resource, kAllEventsName));
  }
}

}  // namespace qor
