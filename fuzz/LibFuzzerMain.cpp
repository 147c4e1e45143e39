// The libFuzzer entry of one fuzz program; QOR_FUZZ_ENTRY names the target
// function it feeds.
#include <cstddef>
#include <cstdint>

#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return qor::fuzz::QOR_FUZZ_ENTRY(data, size);
}
