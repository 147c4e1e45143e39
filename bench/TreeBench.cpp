// Value-tree benchmarks: building, copying and moving trees with our
// BindingProperty against RapidJSON documents and nlohmann::json, and the
// peak memory one 100,000-item tree takes.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <string>
#include <vector>

#include "binding/BindingProperty.h"
#include "binding/PagePool.h"

// ---- Heap accounting ----
// The malloc family is wrapped so that every allocator is counted alike:
// operator new, RapidJSON's CrtAllocator and our element arrays all end here.
extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);
extern "C" void __libc_free(void*);

namespace {

std::atomic<bool> gCounting{false};
std::atomic<std::int64_t> gLiveBytes{0};
std::atomic<std::int64_t> gPeakBytes{0};

void countAdd(void* p) {
  if (!p || !gCounting.load(std::memory_order_relaxed)) return;
  const auto now = gLiveBytes.fetch_add(static_cast<std::int64_t>(malloc_usable_size(p)), std::memory_order_relaxed) +
                   static_cast<std::int64_t>(malloc_usable_size(p));
  auto peak = gPeakBytes.load(std::memory_order_relaxed);
  while (now > peak && !gPeakBytes.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
  }
}

void countRemove(void* p) {
  if (!p || !gCounting.load(std::memory_order_relaxed)) return;
  gLiveBytes.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
}

}  // namespace

extern "C" {
void* malloc(std::size_t n) {
  void* p = __libc_malloc(n);
  countAdd(p);
  return p;
}
void* calloc(std::size_t n, std::size_t size) {
  void* p = __libc_calloc(n, size);
  countAdd(p);
  return p;
}
void* realloc(void* old, std::size_t n) {
  countRemove(old);
  void* p = __libc_realloc(old, n);
  countAdd(p ? p : (n ? old : nullptr));
  return p;
}
void free(void* p) {
  countRemove(p);
  __libc_free(p);
}
}

namespace {

using qor::BindingProperty;
using Json = nlohmann::json;

constexpr int kItems = 100000;
constexpr int kNumbers = 1000000;
const char* const kKeys[5] = {"id", "name", "owner", "state", "type"};

// Member values: three distinct per item, two drawn from small sets.
const std::vector<std::string>& itemTexts() {
  static const std::vector<std::string> texts = [] {
    const char* types[] = {"GEAR", "EMOTE", "SPRAY", "TITLE"};
    std::vector<std::string> t;
    t.reserve(std::size_t{kItems} * 5);
    for (int i = 0; i < kItems; ++i) {
      t.push_back("item-" + std::to_string(i));
      t.push_back("Item number " + std::to_string(i));
      t.push_back("owner-" + std::to_string(i % 1000));
      t.push_back(i % 3 ? "active" : "expired");
      t.push_back(types[i % 4]);
    }
    return t;
  }();
  return texts;
}

// ---- Builders ----

void buildOurs(BindingProperty& root) {
  const auto& texts = itemTexts();
  root.makeCollection();
  for (int i = 0; i < kItems; ++i) {
    BindingProperty& item = root.append();
    for (int k = 0; k < 5; ++k) item.member(kKeys[k]).setString(texts[std::size_t(i) * 5 + k]);
  }
}

void buildRapid(rapidjson::Document& doc) {
  const auto& texts = itemTexts();
  auto& alloc = doc.GetAllocator();
  doc.SetArray();
  for (int i = 0; i < kItems; ++i) {
    rapidjson::Value item(rapidjson::kObjectType);
    for (int k = 0; k < 5; ++k) {
      const std::string& s = texts[std::size_t(i) * 5 + k];
      item.AddMember(rapidjson::StringRef(kKeys[k]),
                     rapidjson::Value(s.data(), static_cast<rapidjson::SizeType>(s.size()), alloc), alloc);
    }
    doc.PushBack(item, alloc);
  }
}

void buildNlohmann(Json& root) {
  const auto& texts = itemTexts();
  root = Json::array();
  for (int i = 0; i < kItems; ++i) {
    Json& item = root.emplace_back(Json::object());
    for (int k = 0; k < 5; ++k) item[kKeys[k]] = texts[std::size_t(i) * 5 + k];
  }
}

// Peak heap (plus our arena blocks) while one tree is built and held.
template <typename Build>
double peakBytes(Build&& build) {
  const std::size_t blocksBefore = qor::PagePool::instance().stats().liveBlocks;
  gLiveBytes = 0;
  gPeakBytes = 0;
  gCounting = true;
  double peak = 0;
  build([&] {
    const std::size_t blocks = qor::PagePool::instance().stats().liveBlocks - blocksBefore;
    peak = static_cast<double>(gPeakBytes.load()) + static_cast<double>(blocks * qor::PagePool::kBlockSize);
  });
  gCounting = false;
  return peak;
}

// ---- tree_build ----

void treeBuildOurs(benchmark::State& state) {
  itemTexts();
  state.counters["peak_bytes"] = peakBytes([](auto&& measure) {
    BindingProperty root;
    buildOurs(root);
    measure();
  });
  for (auto _ : state) {
    BindingProperty root;
    buildOurs(root);
    benchmark::DoNotOptimize(root);
  }
}

void treeBuildRapid(benchmark::State& state) {
  itemTexts();
  state.counters["peak_bytes"] = peakBytes([](auto&& measure) {
    rapidjson::Document doc;
    buildRapid(doc);
    measure();
  });
  for (auto _ : state) {
    rapidjson::Document doc;
    buildRapid(doc);
    benchmark::DoNotOptimize(doc);
  }
}

void treeBuildNlohmann(benchmark::State& state) {
  itemTexts();
  state.counters["peak_bytes"] = peakBytes([](auto&& measure) {
    Json root;
    buildNlohmann(root);
    measure();
  });
  for (auto _ : state) {
    Json root;
    buildNlohmann(root);
    benchmark::DoNotOptimize(root);
  }
}

// ---- numbers ----

void numbersOurs(benchmark::State& state) {
  for (auto _ : state) {
    BindingProperty root;
    root.makeCollection();
    for (int i = 0; i < kNumbers; ++i) root.append().setInt64(std::int64_t{i} * 7919);
    benchmark::DoNotOptimize(root);
  }
}

void numbersRapid(benchmark::State& state) {
  for (auto _ : state) {
    rapidjson::Document doc;
    auto& alloc = doc.GetAllocator();
    doc.SetArray();
    for (int i = 0; i < kNumbers; ++i) doc.PushBack(rapidjson::Value(std::int64_t{i} * 7919), alloc);
    benchmark::DoNotOptimize(doc);
  }
}

void numbersNlohmann(benchmark::State& state) {
  for (auto _ : state) {
    Json root = Json::array();
    for (int i = 0; i < kNumbers; ++i) root.push_back(std::int64_t{i} * 7919);
    benchmark::DoNotOptimize(root);
  }
}

// ---- copy: a deep copy of the tree; destroying the copy is not timed ----

void copyOurs(benchmark::State& state) {
  BindingProperty source;
  buildOurs(source);
  for (auto _ : state) {
    auto* copy = new BindingProperty(source);
    benchmark::DoNotOptimize(copy);
    state.PauseTiming();
    delete copy;
    state.ResumeTiming();
  }
}

void copyRapid(benchmark::State& state) {
  rapidjson::Document source;
  buildRapid(source);
  for (auto _ : state) {
    auto* copy = new rapidjson::Document();
    copy->CopyFrom(source, copy->GetAllocator());
    benchmark::DoNotOptimize(copy);
    state.PauseTiming();
    delete copy;
    state.ResumeTiming();
  }
}

void copyNlohmann(benchmark::State& state) {
  Json source;
  buildNlohmann(source);
  for (auto _ : state) {
    auto* copy = new Json(source);
    benchmark::DoNotOptimize(copy);
    state.PauseTiming();
    delete copy;
    state.ResumeTiming();
  }
}

// ---- move: the tree passes between two roots and back ----

void moveOurs(benchmark::State& state) {
  BindingProperty a, b;
  buildOurs(a);
  for (auto _ : state) {
    b = std::move(a);
    a = std::move(b);
    benchmark::DoNotOptimize(a);
  }
}

void moveRapid(benchmark::State& state) {
  rapidjson::Document a, b;
  buildRapid(a);
  for (auto _ : state) {
    b = std::move(a);
    a = std::move(b);
    benchmark::DoNotOptimize(a);
  }
}

void moveNlohmann(benchmark::State& state) {
  Json a, b;
  buildNlohmann(a);
  for (auto _ : state) {
    b = std::move(a);
    a = std::move(b);
    benchmark::DoNotOptimize(a);
  }
}

}  // namespace

BENCHMARK(treeBuildOurs)->Name("tree_build/ours/100k")->Unit(benchmark::kMillisecond);
BENCHMARK(treeBuildRapid)->Name("tree_build/rapidjson/100k")->Unit(benchmark::kMillisecond);
BENCHMARK(treeBuildNlohmann)->Name("tree_build/nlohmann/100k")->Unit(benchmark::kMillisecond);
BENCHMARK(numbersOurs)->Name("numbers/ours/1m")->Unit(benchmark::kMillisecond);
BENCHMARK(numbersRapid)->Name("numbers/rapidjson/1m")->Unit(benchmark::kMillisecond);
BENCHMARK(numbersNlohmann)->Name("numbers/nlohmann/1m")->Unit(benchmark::kMillisecond);
BENCHMARK(copyOurs)->Name("copy/ours/100k")->Unit(benchmark::kMillisecond);
BENCHMARK(copyRapid)->Name("copy/rapidjson/100k")->Unit(benchmark::kMillisecond);
BENCHMARK(copyNlohmann)->Name("copy/nlohmann/100k")->Unit(benchmark::kMillisecond);
BENCHMARK(moveOurs)->Name("move/ours/100k");
BENCHMARK(moveRapid)->Name("move/rapidjson/100k");
BENCHMARK(moveNlohmann)->Name("move/nlohmann/100k");
