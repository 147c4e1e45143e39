// Building the remote inventory service's URLs.
#include "inventory/InventoryUrl.h"

namespace qor {
namespace {

constexpr std::string_view kInventoriesPath = "/qorinventoryservice/v2/inventories?puuid=";

bool isUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

void appendEncoded(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (isUnreserved(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
}

// The part of both URLs in front of the type query.
std::string urlHead(const InventoryUrlParts& parts) {
  std::string url;
  url.reserve(parts.baseServiceUrl.size() + kInventoriesPath.size() + parts.puuid.size() + 1);
  url += parts.baseServiceUrl;
  url += kInventoriesPath;
  appendEncoded(url, parts.puuid);
  url += '&';
  return url;
}

void appendTail(std::string& url, const InventoryUrlParts& parts) {
  url += "location=";
  appendEncoded(url, parts.location);
  url += "&accountId=";
  url += std::to_string(parts.accountId);
}

std::optional<std::string> bounded(std::string url) {
  if (url.size() > kMaxInventoryUrlLength) return std::nullopt;
  return url;
}

}  // namespace

std::string percentEncode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  appendEncoded(out, text);
  return out;
}

std::optional<std::string> plainInventoryUrl(const InventoryUrlParts& parts,
                                             const std::vector<std::string>& inventoryTypes) {
  std::string url = urlHead(parts);
  for (const std::string& type : inventoryTypes) {
    url += "inventoryTypes=";
    appendEncoded(url, type);
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
  appendEncoded(url, inventoryType);
  url += '&';
  appendTail(url, parts);
  url += "&signed=true";
  return bounded(std::move(url));
}

}  // namespace qor
