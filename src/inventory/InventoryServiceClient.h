// InventoryServiceClient: the remote inventory service as the plug-in sees
// it. It builds the plain URL (several inventory types) and the signed URL
// (one type), with caller text percent-encoded and a bound on their length,
// sends one GET through the core's outside request, and decodes the answer
// into an InventoryResponseDTO. Every failure is the error 500.
#pragma once

#include "inventory/InventoryRecords.h"
#include "runtime/HttpRequest.h"
#include "runtime/RequestError.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qor {

class TypeRegistry;
namespace Api = Vane::Client::Inventory::Api;

// The longest URL the service sends; a longer one is refused, never cut.
inline constexpr std::size_t kMaxInventoryUrlLength = 4095;

// What both URLs are built from, as the plug-in knows it when a fetch starts.
struct InventoryUrlParts {
  std::string baseServiceUrl;  // used as it is: no "/" added or removed
  std::string puuid;
  std::string location;
  std::uint64_t accountId = 0;
};

// Messages of failed fetches.
inline constexpr std::string_view kFetchFailedTemplate =
    "Could not get inventory from qorinventoryservice: %1";
inline constexpr std::string_view kUndecodableTemplate = "Couldn't deserialize inventory response: %1";
inline constexpr std::string_view kUrlTooLongText = "URL too long";
inline constexpr std::int32_t kFetchFailedCode = 500;


// <base>/qorinventoryservice/v2/inventories?puuid=P&inventoryTypes=A&...&location=L&accountId=N,
// one "inventoryTypes=" pair per type in order (none for an empty list).
// Empty when the URL would be longer than kMaxInventoryUrlLength.
std::optional<std::string> plainInventoryUrl(const InventoryUrlParts& parts,
                                             const std::vector<std::string>& inventoryTypes);

// <base>/qorinventoryservice/v2/inventories?puuid=P&inventoryTypes=T&location=L&accountId=N&signed=true.
// Empty when the URL would be longer than kMaxInventoryUrlLength.
std::optional<std::string> signedInventoryUrl(const InventoryUrlParts& parts,
                                              std::string_view inventoryType);

// One fetch's request: where and for whom (the URL parts) and the headers
// that authenticate it.
struct InventoryFetchRequest {
  InventoryUrlParts url;
  HttpHeaders headers;
};

class InventoryServiceClient {
 public:
  // Sends one outside request and waits for the answer (the plug-in's
  // sendExternalRequest, which adds the user agent).
  using Sender = std::function<HttpResponse(const HttpRequest&)>;

  // `registry` must know the inventory records; both must outlive the client.
  InventoryServiceClient(Sender send, const TypeRegistry& registry);

  // The items of several types (the plain URL).
  RequestResult<Api::InventoryResponseDTO> fetchInventory(
      const InventoryFetchRequest& request, const std::vector<std::string>& inventoryTypes) const;
  // The signed inventory of one type (the signed URL).
  RequestResult<Api::InventoryResponseDTO> fetchSignedInventory(
      const InventoryFetchRequest& request, std::string_view inventoryType) const;

 private:
  // Sends a GET for `url` (none: the URL was too long) and decodes the answer.
  RequestResult<Api::InventoryResponseDTO> get(const InventoryFetchRequest& request,
                                               const std::optional<std::string>& url) const;

  Sender send_;
  const TypeRegistry& registry_;
};

}  // namespace qor
