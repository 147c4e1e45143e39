// The fuzz targets: one entry function per input surface. The libFuzzer
// programs (the fuzz preset) call one of them per input; the regression test
// of every build replays the inputs kept under fuzz/regressions/<name>/
// through the same functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace qor::fuzz {

using FuzzEntry = int (*)(const std::uint8_t* data, std::size_t size);

struct FuzzTarget {
  const char* name;  // also the folder name under corpus/ and regressions/
  FuzzEntry entry;
};

int fuzzJsonReader(const std::uint8_t* data, std::size_t size);
int fuzzMsgPackReader(const std::uint8_t* data, std::size_t size);
int fuzzYamlReader(const std::uint8_t* data, std::size_t size);
int fuzzCoreValue(const std::uint8_t* data, std::size_t size);
int fuzzFormatMessage(const std::uint8_t* data, std::size_t size);
int fuzzLogLine(const std::uint8_t* data, std::size_t size);
int fuzzUtcTimestamp(const std::uint8_t* data, std::size_t size);
int fuzzRouteBinding(const std::uint8_t* data, std::size_t size);
int fuzzDispatchEntry(const std::uint8_t* data, std::size_t size);
int fuzzInventoryRemote(const std::uint8_t* data, std::size_t size);
int fuzzInventoryEvents(const std::uint8_t* data, std::size_t size);

std::span<const FuzzTarget> fuzzTargets();
const FuzzTarget* findFuzzTarget(std::string_view name);

}  // namespace qor::fuzz
