// The query of the stand-in inventory service's inventories request.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/PercentEncode.h"

namespace qor::standin {

// "puuid=P&inventoryTypes=A&inventoryTypes=B&location=L&accountId=N[&signed=true]".
// Keys and values are percent-decoded ("+" is a blank). "inventoryTypes"
// may repeat and keeps its order; any other repeated key takes its last value.
struct InventoryQuery {
  std::string puuid;
  std::vector<std::string> inventoryTypes;
  std::string location;
  std::optional<std::uint64_t> accountId;
  bool signedInventory = false;
};

// Percent-decodes `text`; a "%" not followed by two hex digits is an error.
std::optional<std::string> percentDecode(std::string_view text);

// Parses the part after "?" (a leading "?" is skipped). Returns the error
// text on malformed input: a bad escape, an accountId that is not an
// unsigned decimal, a "signed" other than "true" or "false".
struct InventoryQueryResult {
  InventoryQuery query;
  std::string error;  // empty on success
};
InventoryQueryResult parseInventoryQuery(std::string_view queryText);

}  // namespace qor::standin
