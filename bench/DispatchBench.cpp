// Benchmarks of request dispatch: a full call through the API table against
// the handler plus result conversion alone, and route matching against
// std::regex over the same pattern.
#include <benchmark/benchmark.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "binding/CoreValueConverter.h"
#include "binding/PropertyConverter.h"
#include "binding/TypeRegistration.h"
#include "dispatch/ApiDispatcher.h"
#include "protocol/RouteMatcher.h"

namespace {

using namespace qor;

enum class BenchOwnership : std::int32_t { Owned = 0, Rented = 1, F2P = 2 };

struct BenchItem {
  std::string instanceId;
  std::string itemId;
  BenchOwnership ownershipType = BenchOwnership::Owned;
};

std::vector<BenchItem> makeItems() {
  std::vector<BenchItem> items;
  for (int i = 0; i < 100; ++i) {
    items.push_back({"c0ffee00-0000-4000-8000-" + std::to_string(100000000000 + i),
                     "e1b2c3d4-" + std::to_string(i), static_cast<BenchOwnership>(i % 3)});
  }
  return items;
}

void registerBenchTypes(TypeRegistry& registry) {
  registerEnum<BenchOwnership>(registry, "BenchOwnership")
      .value("OWNED", BenchOwnership::Owned)
      .value("RENTED", BenchOwnership::Rented)
      .value("F2P", BenchOwnership::F2P);
  registerStruct<BenchItem>(registry, "BenchItem")
      .field("instanceId", &BenchItem::instanceId)
      .field("itemId", &BenchItem::itemId)
      .field("ownershipType", &BenchItem::ownershipType);
}

FunctionResult<std::vector<BenchItem>> answer(const std::vector<BenchItem>& items,
                                              const std::vector<std::string>& types) {
  benchmark::DoNotOptimize(types.data());
  return FunctionResult<std::vector<BenchItem>>::ok(items);
}

void BM_FullDispatch(benchmark::State& state) {
  TypeRegistry registry;
  ApiDispatcher dispatcher(registry);
  registerBenchTypes(registry);
  const std::vector<BenchItem> items = makeItems();
  dispatcher
      .registerFunction(HttpMethod::Get, "/qor-inventory/v1/inventory",
                        [&items](std::vector<std::string> types) { return answer(items, types); })
      .queryArgument("inventoryTypes");
  const PluginApiTable* table = dispatcher.buildApiTable();
  const ApiFunctionRecord& record = table->functions[0];

  CoreRequest request;
  std::memset(&request, 0, sizeof request);
  request.method = 2;
  request.uri = "/qor-inventory/v1/inventory?inventoryTypes=%5B%22EMOTE%22%5D";
  request.callContext = record.head.callContext;
  for (auto _ : state) {
    CoreResponse response;
    record.dispatch(&response, &request);
    if (response.hasError != 0 || response.body.u.block.count != 100) state.SkipWithError("bad call");
    response.release(&response);
  }
}
BENCHMARK(BM_FullDispatch)->Name("dispatch/ours/full_call");

// The floor: the same handler called directly with its argument, its result
// converted to a value and to the core's value form, then released.
void BM_HandlerAndConversion(benchmark::State& state) {
  TypeRegistry registry;
  registry.initialize();
  registerBenchTypes(registry);
  const std::vector<BenchItem> items = makeItems();
  for (auto _ : state) {
    const std::vector<std::string> types{"EMOTE"};
    FunctionResult<std::vector<BenchItem>> result = answer(items, types);
    BindingResult value;
    toProperty(value, result.value, registry);
    CoreValue core;
    toCoreValue(value.value, core, &registry);
    if (core.u.block.count != 100) state.SkipWithError("bad conversion");
    releaseCoreValue(core);
  }
}
BENCHMARK(BM_HandlerAndConversion)->Name("dispatch/floor/full_call");

constexpr const char* kTemplate = "/qor-inventory/v1/{type}/items/{+rest}";
constexpr const char* kUri = "/qor-inventory/v1/EMOTE/items/2024/summer/bundle.json";

void BM_MatchOurs(benchmark::State& state) {
  const RouteMatcher matcher(kTemplate);
  const std::string uri = kUri;
  std::vector<std::string_view> captures;
  for (auto _ : state) {
    const bool matched = matcher.match(uri, captures);
    benchmark::DoNotOptimize(matched);
    benchmark::DoNotOptimize(captures.data());
  }
}
BENCHMARK(BM_MatchOurs)->Name("dispatch/ours/match_template");

void BM_MatchStdRegex(benchmark::State& state) {
  const std::regex pattern(RouteMatcher(kTemplate).pattern(), std::regex::ECMAScript);
  const std::string uri = kUri;
  std::smatch match;
  for (auto _ : state) {
    const bool matched = std::regex_match(uri, match, pattern);
    benchmark::DoNotOptimize(matched);
    benchmark::DoNotOptimize(match);
  }
}
BENCHMARK(BM_MatchStdRegex)->Name("dispatch/std_regex/match_template");

}  // namespace
