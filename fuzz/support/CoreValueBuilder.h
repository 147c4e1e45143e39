// CoreValueBuilder: CoreValue trees built from fuzz input, as a core might
// hand them over: every tag (unknown ones too), borrowed and owned strings
// and blobs, empty and null arrays, member keys that are null or repeated,
// and chains of containers deeper than the plug-in accepts. The builder
// owns every block; the trees stay valid while it lives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "PluginAbi.h"
#include "support/FuzzInput.h"

namespace qor::fuzz {

class CoreValueBuilder {
 public:
  // At most `budget` records in all, so any input builds in bounded time.
  explicit CoreValueBuilder(std::size_t budget = 4096) : budget_(budget) {}

  CoreValue build(FuzzInput& in) { return build(in, 0); }
  // A string record (tag 5 or 6) of the text.
  CoreValue string(const std::string& text, bool owned = false);

 private:
  CoreValue build(FuzzInput& in, unsigned depth);
  CoreValue chain(FuzzInput& in, std::size_t length);
  const char* keep(std::string text);

  std::size_t budget_;
  std::deque<std::string> texts_;
  std::deque<std::vector<std::uint8_t>> blobs_;
  std::deque<std::vector<CoreValue>> arrays_;
  std::deque<std::vector<CoreStructMember>> members_;
};

}  // namespace qor::fuzz
