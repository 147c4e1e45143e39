// Reader benchmarks: our JSON, MessagePack and YAML readers against
// RapidJSON, nlohmann::json, simdjson, msgpack-c, yaml-cpp and libyaml's bare
// event loop, on inventory responses and a generic nested document; and the
// memory a value read from the largest response holds.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <yaml.h>

#include <msgpack.hpp>
#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/reader.h>
#include <simdjson.h>
#include <yaml-cpp/yaml.h>

#include <cstdint>
#include <string>

#include "BenchInputs.h"
#include "binding/PagePool.h"
#include "formats/JsonReader.h"
#include "formats/MsgPackReader.h"
#include "formats/YamlReader.h"

namespace {

using qor::bench::BenchDocument;

void setBytes(benchmark::State& state, std::size_t bytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}

// ---- JSON ----

void jsonOurs(benchmark::State& state, const BenchDocument& doc) {
  for (auto _ : state) {
    qor::BindingResult r = qor::readJson(doc.json);
    if (!r.ok) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(r);
  }
  setBytes(state, doc.json.size());
}

void jsonRapidDocument(benchmark::State& state, const BenchDocument& doc) {
  for (auto _ : state) {
    rapidjson::Document d;
    d.Parse(doc.json.c_str());
    if (d.HasParseError()) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(d);
  }
  setBytes(state, doc.json.size());
}

void jsonRapidSaxNull(benchmark::State& state, const BenchDocument& doc) {
  for (auto _ : state) {
    rapidjson::Reader reader;
    rapidjson::BaseReaderHandler<> handler;
    rapidjson::StringStream stream(doc.json.c_str());
    if (!reader.Parse(stream, handler)) state.SkipWithError("parse failed");
  }
  setBytes(state, doc.json.size());
}

void jsonNlohmann(benchmark::State& state, const BenchDocument& doc) {
  for (auto _ : state) {
    nlohmann::json j = nlohmann::json::parse(doc.json);
    benchmark::DoNotOptimize(j);
  }
  setBytes(state, doc.json.size());
}

void jsonSimdjson(benchmark::State& state, const BenchDocument& doc) {
  simdjson::padded_string padded(doc.json);
  simdjson::dom::parser parser;
  for (auto _ : state) {
    simdjson::dom::element root;
    if (parser.parse(padded).get(root) != simdjson::SUCCESS) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(root);
  }
  setBytes(state, doc.json.size());
}

// ---- MessagePack ----

void msgpackOurs(benchmark::State& state, const BenchDocument& doc) {
  for (auto _ : state) {
    qor::MsgPackReadResult r = qor::readMsgPack(doc.msgpack.data(), doc.msgpack.size());
    if (!r.result.ok) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(r);
  }
  setBytes(state, doc.msgpack.size());
}

void msgpackC(benchmark::State& state, const BenchDocument& doc) {
  for (auto _ : state) {
    msgpack::object_handle handle =
        msgpack::unpack(reinterpret_cast<const char*>(doc.msgpack.data()), doc.msgpack.size());
    benchmark::DoNotOptimize(handle.get());
  }
  setBytes(state, doc.msgpack.size());
}

// ---- YAML ----

void yamlOurs(benchmark::State& state, const BenchDocument& doc) {
  for (auto _ : state) {
    qor::BindingResult r = qor::readYaml(doc.yaml);
    if (!r.ok) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(r);
  }
  setBytes(state, doc.yaml.size());
}

void yamlCpp(benchmark::State& state, const BenchDocument& doc) {
  for (auto _ : state) {
    YAML::Node node = YAML::Load(doc.yaml);
    benchmark::DoNotOptimize(node);
  }
  setBytes(state, doc.yaml.size());
}

// The floor: libyaml producing and freeing every event, building nothing.
void yamlLibyamlEvents(benchmark::State& state, const BenchDocument& doc) {
  for (auto _ : state) {
    yaml_parser_t parser;
    yaml_parser_initialize(&parser);
    yaml_parser_set_encoding(&parser, YAML_UTF8_ENCODING);
    yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(doc.yaml.data()),
                                 doc.yaml.size());
    yaml_event_t event;
    bool done = false;
    while (!done) {
      if (!yaml_parser_parse(&parser, &event)) {
        state.SkipWithError("parse failed");
        break;
      }
      done = event.type == YAML_STREAM_END_EVENT;
      yaml_event_delete(&event);
    }
    yaml_parser_delete(&parser);
  }
  setBytes(state, doc.yaml.size());
}

// ---- Memory held by the value read from the largest response ----

// Heap bytes in use (small chunks plus mmap'd large ones) and the arena
// blocks of our page pool, which bypass malloc.
double bytesInUse() {
  struct mallinfo2 info = mallinfo2();
  const double pages = static_cast<double>(qor::PagePool::instance().stats().liveBlocks) *
                       static_cast<double>(qor::PagePool::kBlockSize);
  return static_cast<double>(info.uordblks) + static_cast<double>(info.hblkhd) + pages;
}

template <class Read>
void memoryHeld(benchmark::State& state, Read&& read) {
  double held = 0;
  for (auto _ : state) {
    const double before = bytesInUse();
    auto value = read();
    held = bytesInUse() - before;
    benchmark::DoNotOptimize(value);
  }
  state.counters["held_bytes"] = held;
}

const BenchDocument& documentNamed(const char* name) {
  for (const BenchDocument& d : qor::bench::benchDocuments())
    if (d.name == name) return d;
  return qor::bench::benchDocuments().front();
}

void memoryOurs(benchmark::State& state) {
  const BenchDocument& doc = documentNamed("inventory_20000");
  memoryHeld(state, [&] { return qor::readJson(doc.json); });
}

void memoryRapidDocument(benchmark::State& state) {
  const BenchDocument& doc = documentNamed("inventory_20000");
  memoryHeld(state, [&] {
    auto d = std::make_unique<rapidjson::Document>();
    d->Parse(doc.json.c_str());
    return d;
  });
}

void memoryNlohmann(benchmark::State& state) {
  const BenchDocument& doc = documentNamed("inventory_20000");
  memoryHeld(state, [&] { return nlohmann::json::parse(doc.json); });
}

template <class F>
void add(const std::string& name, F fn, const BenchDocument& doc) {
  benchmark::RegisterBenchmark(name.c_str(), [fn, &doc](benchmark::State& s) { fn(s, doc); })
      ->Unit(benchmark::kMicrosecond);
}

bool registerReaderBenchmarks() {
  for (const BenchDocument& doc : qor::bench::benchDocuments()) {
    add("json/ours/" + doc.name, jsonOurs, doc);
    add("json/rapidjson_document/" + doc.name, jsonRapidDocument, doc);
    add("json/rapidjson_sax_null/" + doc.name, jsonRapidSaxNull, doc);
    add("json/nlohmann/" + doc.name, jsonNlohmann, doc);
    add("json/simdjson/" + doc.name, jsonSimdjson, doc);
  }
  for (const BenchDocument& doc : qor::bench::benchDocuments()) {
    add("msgpack/ours/" + doc.name, msgpackOurs, doc);
    add("msgpack/msgpack_c/" + doc.name, msgpackC, doc);
  }
  for (const BenchDocument& doc : qor::bench::benchDocuments()) {
    add("yaml/ours/" + doc.name, yamlOurs, doc);
    add("yaml/yaml_cpp/" + doc.name, yamlCpp, doc);
    add("yaml/libyaml_events/" + doc.name, yamlLibyamlEvents, doc);
  }
  benchmark::RegisterBenchmark("memory/ours/inventory_20000", memoryOurs)->Iterations(3);
  benchmark::RegisterBenchmark("memory/rapidjson_document/inventory_20000", memoryRapidDocument)->Iterations(3);
  benchmark::RegisterBenchmark("memory/nlohmann/inventory_20000", memoryNlohmann)->Iterations(3);
  return true;
}

// Benchmarks with generated names register at start-up.
const bool kRegistered = registerReaderBenchmarks();

}  // namespace
