// Parsing of the stand-in inventory service's query strings.
#include "standin/InventoryQuery.h"

#include <charconv>

namespace qor::standin {
namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::string> percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      const int high = hexValue(text[i + 1]);
      const int low = hexValue(text[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

InventoryQueryResult parseInventoryQuery(std::string_view queryText) {
  InventoryQueryResult result;
  if (!queryText.empty() && queryText.front() == '?') queryText.remove_prefix(1);
  std::size_t start = 0;
  while (start <= queryText.size()) {
    std::size_t end = queryText.find('&', start);
    if (end == std::string_view::npos) end = queryText.size();
    const std::string_view piece = queryText.substr(start, end - start);
    start = end + 1;
    if (piece.empty()) continue;
    const std::size_t equals = piece.find('=');
    const auto key = percentDecode(piece.substr(0, equals));
    const auto value = percentDecode(equals == std::string_view::npos ? std::string_view()
                                                                      : piece.substr(equals + 1));
    if (!key || !value) {
      result.error = "malformed escape in query piece '" + std::string(piece) + "'";
      return result;
    }
    if (*key == "puuid") {
      result.query.puuid = *value;
    } else if (*key == "inventoryTypes") {
      result.query.inventoryTypes.push_back(*value);
    } else if (*key == "location") {
      result.query.location = *value;
    } else if (*key == "accountId") {
      std::uint64_t id = 0;
      const char* first = value->data();
      const char* last = first + value->size();
      const auto [end, ec] = std::from_chars(first, last, id);
      if (value->empty() || ec != std::errc() || end != last) {
        result.error = "accountId is not an unsigned number: '" + *value + "'";
        return result;
      }
      result.query.accountId = id;
    } else if (*key == "signed") {
      if (*value != "true" && *value != "false") {
        result.error = "signed must be true or false: '" + *value + "'";
        return result;
      }
      result.query.signedInventory = *value == "true";
    }
  }
  return result;
}

}  // namespace qor::standin
