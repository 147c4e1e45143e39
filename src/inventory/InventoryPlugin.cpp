// InventoryPlugin: state handlers, notifications, catalog look-ups and the
// three inventory functions.
#include "inventory/InventoryPlugin.h"

#include "binding/FormatMessage.h"
#include "binding/PropertyConverter.h"
#include "dispatch/ApiDispatcher.h"
#include "formats/JsonReader.h"
#include "logging/AssertionReport.h"
#include "logging/LogManager.h"

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

constexpr const char* kCatalogUnreadable = "Could not retrieve catalog items: %1";
constexpr const char* kNotInCatalog = "Could not find item in catalog";
constexpr std::int32_t kServerError = 500;
constexpr std::int32_t kNotFound = 404;

RequestError requestError(std::int32_t code, std::string message) {
  RequestError error;
  error.code = code;
  error.message = std::move(message);
  return error;
}

bool isKnownEventType(ResourceEventType type) {
  const auto code = static_cast<std::int32_t>(type);
  return code >= 0 && code <= 2;
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

InventoryPlugin::InventoryPlugin()
    : client_([this](const HttpRequest& request) { return sendExternalRequest(request); },
              registry()) {}

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
    session_.logout();
    return;
  }
  if (std::optional<PlayerIdentity> player = session_.login(data)) cache_.adoptOwner(*player);
}

void InventoryPlugin::onAccessToken(const std::string&, ResourceEventType type,
                                    const Api::AccessTokenResource& data) {
  if (!isKnownEventType(type)) return;
  Lock lock(mutex_);
  if (type == ResourceEventType::Delete) {
    session_.clearAccessToken();
    return;
  }
  session_.setAccessToken(data.token);
}

void InventoryPlugin::onPlatformConfig(const std::string&, ResourceEventType type,
                                       const BindingProperty& data) {
  if (!isKnownEventType(type)) return;
  bool missingUrl = false;
  {
    Lock lock(mutex_);
    if (type == ResourceEventType::Delete) {
      session_.clearBaseServiceUrl();
      return;
    }
    missingUrl = !session_.applyPlatformConfig(data);
  }
  if (missingUrl) logMessage(LogLevel::Error, kLogGroupDbg, "JMX missing BaseServiceURL config!");
}

void InventoryPlugin::onRegionLocale(const std::string&, ResourceEventType type,
                                     const BindingProperty&) {
  if (!isKnownEventType(type)) return;
  std::uint64_t ticket = 0;
  {
    Lock lock(mutex_);
    ticket = session_.beginRegionRead();
    if (type == ResourceEventType::Delete) {
      session_.clearLocation(ticket);
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
  session_.storeLocation(ticket, std::move(location));
}

// ---- API functions -------------------------------------------------------------

FunctionResult<InventoryPlugin::ItemList> InventoryPlugin::getInventory(
    std::vector<std::string> inventoryTypes) {
  ItemList result;
  std::vector<std::string> missing;
  InventoryFetchRequest request;
  {
    Lock lock(mutex_);
    if (!session_.enabled()) return FunctionResult<ItemList>::ok({});
    for (const std::string& name : inventoryTypes) {
      if (const ItemList* cached = cache_.fetchedItems(name)) {
        result.insert(result.end(), cached->begin(), cached->end());
      } else {
        missing.push_back(name);
      }
    }
    if (missing.empty()) return FunctionResult<ItemList>::ok(std::move(result));
    request = session_.fetchRequest();
  }

  RequestResult<Api::InventoryResponseDTO> fetched = client_.fetchInventory(request, missing);
  if (!fetched.ok()) {
    return FunctionResult<ItemList>::fail(fetched.error().message,
                                          static_cast<std::uint32_t>(fetched.error().code));
  }

  // Convert every type of the answer without the lock.
  struct Converted {
    const std::string* type;
    ItemList items;
  };
  std::vector<Converted> converted;
  converted.reserve(fetched.value().data.items.size());
  for (const auto& [type, value] : fetched.value().data.items) {
    std::vector<Api::InventoryItemDTO> dtos;
    BindingResult status;
    fromProperty(status, dtos, value, kTopLevelFieldName, registry());
    if (!status.ok) {
      // Answered empty and not cached, so that the next call fetches the type again.
      const std::string message(status.errorText());
      logMessage(LogLevel::Error, kLogGroupDbg, "Could not convert inventory items for %s: %s",
                 type.c_str(), message.c_str());
      continue;
    }
    Converted entry{&type, {}};
    entry.items.reserve(dtos.size());
    for (const Api::InventoryItemDTO& dto : dtos) entry.items.push_back(itemFrom(dto));
    converted.push_back(std::move(entry));
  }

  const PlayerIdentity player{request.url.puuid, request.url.accountId};
  Lock lock(mutex_);
  for (Converted& entry : converted) {
    ItemList answered = cache_.storeFetched(player, *entry.type, std::move(entry.items));
    result.insert(result.end(), std::make_move_iterator(answered.begin()),
                  std::make_move_iterator(answered.end()));
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
    if (!session_.enabled()) return FunctionResult<SignedMap>::ok(std::move(result));
  }
  for (const std::string& type : inventoryTypes) {
    InventoryFetchRequest request;
    InventoryCache::SignedFetch pending;
    {
      Lock lock(mutex_);
      if (std::optional<std::string> cached = cache_.signedText(type)) {
        result[type] = std::move(*cached);
        continue;
      }
      request = session_.fetchRequest();
      pending = cache_.beginSignedFetch(type, session_.player());
    }

    RequestResult<Api::InventoryResponseDTO> fetched = client_.fetchSignedInventory(request, type);

    Lock lock(mutex_);
    cache_.finishSignedFetch(pending, fetched.ok() ? &fetched.value().data : nullptr);
    if (!fetched.ok()) {
      return FunctionResult<SignedMap>::fail(fetched.error().message,
                                             static_cast<std::uint32_t>(fetched.error().code));
    }
    // The answer goes to this caller whether or not the cache kept it.
    result[type] = fetched.value().data.itemsJwt;
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
    return requestError(kServerError, formatMessage(kCatalogUnreadable, reason));
  }
  for (Api::CatalogItem& item : catalog.value()) {
    if (item.itemInstanceId && *item.itemInstanceId == instanceId) return std::move(item);
  }
  return requestError(kNotFound, kNotInCatalog);
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
    cache_.invalidateSigned(item.inventoryType);
    cache_.addOrReplace(item);
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
    cache_.append(item);
    cache_.invalidateSigned(element.inventoryType);
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
      emotes = cache_.items(std::string(Api::kEmoteInventoryType));
    }
    BindingResult data;
    toProperty(data, emotes, registry());
    if (!data.ok) continue;
    Resource resource;
    resource.uri = std::string(kEmotesUri);
    resource.eventType = ResourceEventType::Update;
    resource.data = std::move(data.value);
    // A core that cannot be reached has no subscribers to tell: the list is
    // read afresh at the next notification, so a failed send is not retried.
    static_cast<void>(Publish(resource, kAllEventsName));
  }
}

}  // namespace qor
