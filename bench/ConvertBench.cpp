// Conversion of 10,000 inventory-item records between native structures and
// dynamic values, in both directions, against nlohmann::json's generated
// to_json / from_json.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "binding/PropertyConverter.h"
#include "binding/TypeRegistry.h"
#include "inventory/InventoryRecords.h"

namespace Vane::Client::Inventory::Api {
// nlohmann's generated conversions of the plug-in's own record.
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(InventoryItemDTO, itemId, inventoryType, expirationDate,
                                   purchaseDate, quantity, usedInGameDate, entitlementId,
                                   eneitlementTypeId, instanceId, instanceTypeId, f2p, rental, lsb,
                                   wins)
}  // namespace Vane::Client::Inventory::Api

namespace convert_bench {

using Vane::Client::Inventory::Api::InventoryItemDTO;

constexpr int kItems = 10000;

std::vector<InventoryItemDTO> makeItems() {
  std::vector<InventoryItemDTO> items(kItems);
  for (int i = 0; i < kItems; ++i) {
    InventoryItemDTO& it = items[i];
    it.itemId = 100000 + i;
    it.inventoryType = i % 3 == 0 ? "CHAMPION_SKIN" : (i % 3 == 1 ? "EMOTE" : "WARD_SKIN");
    it.expirationDate = "";
    it.purchaseDate = "20230415T101530.000Z";
    it.quantity = 1 + i % 4;
    it.usedInGameDate = "20230416T080000.000Z";
    it.entitlementId = "e" + std::to_string(i) + "-4c3f-9a1b-7d2e5f6a8b9c";
    it.eneitlementTypeId = "8a7b6c5d-4e3f-2a1b-0c9d-8e7f6a5b4c3d";
    it.instanceId = "i" + std::to_string(i * 7919);
    it.instanceTypeId = "";
    it.f2p = i % 5 == 0;
    it.rental = i % 11 == 0;
    it.lsb = false;
    it.wins = static_cast<std::uint64_t>(i) * 3;
  }
  return items;
}

const qor::TypeRegistry& registry() {
  static const qor::TypeRegistry* r = [] {
    auto* reg = new qor::TypeRegistry;
    reg->initialize();
    Vane::Client::Inventory::Api::registerInventoryRecords(*reg, "Bench", {});
    return reg;
  }();
  return *r;
}

void oursToValue(benchmark::State& state) {
  const auto items = makeItems();
  const qor::TypeRegistry& reg = registry();
  for (auto _ : state) {
    qor::BindingResult result;
    qor::toProperty(result, items, reg);
    if (!result.ok) state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(result.value.size());
  }
  state.SetItemsProcessed(state.iterations() * kItems);
}

void nlohmannToValue(benchmark::State& state) {
  const auto items = makeItems();
  for (auto _ : state) {
    nlohmann::json value = items;
    benchmark::DoNotOptimize(value.size());
  }
  state.SetItemsProcessed(state.iterations() * kItems);
}

void oursFromValue(benchmark::State& state) {
  const auto items = makeItems();
  const qor::TypeRegistry& reg = registry();
  qor::BindingResult source;
  qor::toProperty(source, items, reg);
  for (auto _ : state) {
    std::vector<InventoryItemDTO> back;
    qor::BindingResult result;
    qor::fromProperty(result, back, source.value, qor::kTopLevelFieldName, reg);
    if (!result.ok || back.size() != items.size()) state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(back.data());
  }
  state.SetItemsProcessed(state.iterations() * kItems);
}

void nlohmannFromValue(benchmark::State& state) {
  const auto items = makeItems();
  const nlohmann::json source = items;
  for (auto _ : state) {
    auto back = source.get<std::vector<InventoryItemDTO>>();
    if (back.size() != items.size()) state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(back.data());
  }
  state.SetItemsProcessed(state.iterations() * kItems);
}

BENCHMARK(oursToValue)->Name("convert/ours/to_value")->Unit(benchmark::kMillisecond);
BENCHMARK(nlohmannToValue)->Name("convert/nlohmann/to_value")->Unit(benchmark::kMillisecond);
BENCHMARK(oursFromValue)->Name("convert/ours/from_value")->Unit(benchmark::kMillisecond);
BENCHMARK(nlohmannFromValue)->Name("convert/nlohmann/from_value")->Unit(benchmark::kMillisecond);

}  // namespace convert_bench
