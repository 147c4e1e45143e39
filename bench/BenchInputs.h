// BenchInputs: the documents the reader benchmarks parse, generated once per
// run: inventory-service responses of several sizes and a generic nested
// document, each as JSON text, MessagePack bytes and block-style YAML text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace qor::bench {

struct BenchDocument {
  std::string name;  // "inventory_1000", "nested_1mb", ...
  nlohmann::json tree;
  std::string json;
  std::vector<std::uint8_t> msgpack;
  std::string yaml;
};

// An inventory response {"data": {...}} with `items` items of all 14
// InventoryItemDTO members, spread over a few inventory types.
nlohmann::json inventoryResponse(std::size_t items);
// A generic document of nested objects and arrays holding every JSON kind,
// about `bytes` bytes as JSON text.
nlohmann::json nestedDocument(std::size_t bytes);
// Block-style YAML for a tree; strings are double-quoted so they stay strings.
std::string toYaml(const nlohmann::json& tree);

// The documents of the run, built on first use: inventory_10,
// inventory_1000, inventory_20000 and nested_1mb.
const std::vector<BenchDocument>& benchDocuments();

}  // namespace qor::bench
