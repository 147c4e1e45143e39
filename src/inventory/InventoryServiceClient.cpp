// InventoryServiceClient: URLs, one GET through the core, the decoded answer.
#include "inventory/InventoryServiceClient.h"

#include "binding/FormatMessage.h"
#include "protocol/PercentEncode.h"
#include "formats/JsonReader.h"

#include <utility>

namespace qor {
namespace {

// The two further settings of every remote inventory request.
constexpr std::uint32_t kRemoteSetting1 = 20;
constexpr std::uint32_t kRemoteSetting2 = 1;

constexpr std::string_view kInventoriesPath = "/qorinventoryservice/v2/inventories?puuid=";

// The part of both URLs in front of the type query.
std::string urlHead(const InventoryUrlParts& parts) {
  std::string url;
  url.reserve(parts.baseServiceUrl.size() + kInventoriesPath.size() + parts.puuid.size() + 1);
  url += parts.baseServiceUrl;
  url += kInventoriesPath;
  appendPercentEncoded(url, parts.puuid);
  url += '&';
  return url;
}

void appendTail(std::string& url, const InventoryUrlParts& parts) {
  url += "location=";
  appendPercentEncoded(url, parts.location);
  url += "&accountId=";
  url += std::to_string(parts.accountId);
}

std::optional<std::string> bounded(std::string url) {
  if (url.size() > kMaxInventoryUrlLength) return std::nullopt;
  return url;
}

RequestError fetchError(std::string message) {
  RequestError error;
  error.code = kFetchFailedCode;
  error.message = std::move(message);
  return error;
}

}  // namespace

std::optional<std::string> plainInventoryUrl(const InventoryUrlParts& parts,
                                             const std::vector<std::string>& inventoryTypes) {
  std::string url = urlHead(parts);
  for (const std::string& type : inventoryTypes) {
    url += "inventoryTypes=";
    appendPercentEncoded(url, type);
    url += '&';
    // Stop growing a URL that can no longer be sent.
    if (url.size() > kMaxInventoryUrlLength) return std::nullopt;
  }
  appendTail(url, parts);
  return bounded(std::move(url));
}

std::optional<std::string> signedInventoryUrl(const InventoryUrlParts& parts,
                                              std::string_view inventoryType) {
  std::string url = urlHead(parts);
  url += "inventoryTypes=";
  appendPercentEncoded(url, inventoryType);
  url += '&';
  appendTail(url, parts);
  url += "&signed=true";
  return bounded(std::move(url));
}

InventoryServiceClient::InventoryServiceClient(Sender send, const TypeRegistry& registry)
    : send_(std::move(send)), registry_(registry) {}

RequestResult<Api::InventoryResponseDTO> InventoryServiceClient::fetchInventory(
    const InventoryFetchRequest& request, const std::vector<std::string>& inventoryTypes) const {
  return get(request, plainInventoryUrl(request.url, inventoryTypes));
}

RequestResult<Api::InventoryResponseDTO> InventoryServiceClient::fetchSignedInventory(
    const InventoryFetchRequest& request, std::string_view inventoryType) const {
  return get(request, signedInventoryUrl(request.url, inventoryType));
}

RequestResult<Api::InventoryResponseDTO> InventoryServiceClient::get(
    const InventoryFetchRequest& request, const std::optional<std::string>& url) const {
  if (!url) return fetchError(formatMessage(kFetchFailedTemplate, kUrlTooLongText));
  HttpRequest outgoing;
  outgoing.method = HttpMethod::Get;
  outgoing.url = *url;
  outgoing.headers = request.headers;
  outgoing.setting1 = kRemoteSetting1;
  outgoing.setting2 = kRemoteSetting2;
  const HttpResponse response = send_(outgoing);
  if (!response.error.empty() || response.outcome != CORE_OUTCOME_OK || response.status < 200 ||
      response.status > 299 || response.conversionStatus != 0) {
    return fetchError(formatMessage(kFetchFailedTemplate, response.error));
  }
  Api::InventoryResponseDTO decoded;
  if (!readJsonInto(response.body, decoded, registry_)) {
    // The whole body, so that the caller sees what the service said.
    return fetchError(formatMessage(kUndecodableTemplate, response.body));
  }
  return decoded;
}

}  // namespace qor
