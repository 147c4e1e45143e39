// The URLs of the remote inventory service: the plain fetch for several
// inventory types and the signed fetch for one, with caller text
// percent-encoded and a bound on their length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qor {

// The longest URL the service sends; a longer one is refused, never cut.
inline constexpr std::size_t kMaxInventoryUrlLength = 4095;

// What both URLs are built from, as the service knows it when a fetch starts.
struct InventoryUrlParts {
  std::string baseServiceUrl;  // used as it is: no "/" added or removed
  std::string puuid;
  std::string location;
  std::uint64_t accountId = 0;
};

// Percent-encodes every byte except the unreserved characters A-Z, a-z, 0-9,
// "-", ".", "_" and "~" (upper-case hex digits), so that a name holding "&",
// "=", "#" or a blank cannot change the query.
std::string percentEncode(std::string_view text);

// <base>/qorinventoryservice/v2/inventories?puuid=P&inventoryTypes=A&...&location=L&accountId=N,
// one "inventoryTypes=" pair per type in order (none for an empty list).
// Empty when the URL would be longer than kMaxInventoryUrlLength.
std::optional<std::string> plainInventoryUrl(const InventoryUrlParts& parts,
                                             const std::vector<std::string>& inventoryTypes);

// <base>/qorinventoryservice/v2/inventories?puuid=P&inventoryTypes=T&location=L&accountId=N&signed=true.
// Empty when the URL would be longer than kMaxInventoryUrlLength.
std::optional<std::string> signedInventoryUrl(const InventoryUrlParts& parts,
                                              std::string_view inventoryType);

}  // namespace qor
