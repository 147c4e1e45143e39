// CoreValues: the value records the validator's core hands to a plug-in and
// the checks it runs on the records a plug-in hands back.
//
// ValueArena owns every block of the values it builds (strings, blobs,
// arrays, members), all borrowed kinds, so a plug-in that keeps or frees
// them is caught. Blobs are allocated at their exact size without a
// terminator, so a reader that runs past the end meets the sanitizer.
#pragma once

#include "PluginAbi.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qor::validator {

class ValueArena {
 public:
  ValueArena() = default;
  ValueArena(const ValueArena&) = delete;
  ValueArena& operator=(const ValueArena&) = delete;

  static CoreValue empty() { return CoreValue{}; }
  static CoreValue boolean(bool value);
  static CoreValue signedNumber(std::int64_t value);
  static CoreValue unsignedNumber(std::uint64_t value);
  static CoreValue number(double value);
  // A raw record of any kind and payload words, for values a plug-in must refuse.
  static CoreValue raw(std::uint32_t kind, const void* data, std::uint32_t count);

  CoreValue string(std::string_view text);  // kind 5, NUL-terminated copy
  CoreValue blob(std::string_view bytes);   // kind 7, exact-size copy
  CoreValue array(const std::vector<CoreValue>& elements);
  CoreValue structure(const std::vector<std::pair<std::string, CoreValue>>& members);
  // A copy of `text` that stays valid as long as the arena (NUL-terminated).
  const char* text(std::string_view text);
  // An exact-size copy of `bytes` without a terminator.
  const char* bytes(std::string_view bytes);

  std::size_t blocks() const { return strings_.size() + blobs_.size() + arrays_.size() + members_.size(); }

 private:
  std::deque<std::string> strings_;
  std::deque<std::unique_ptr<char[]>> blobs_;
  std::deque<std::vector<CoreValue>> arrays_;
  std::deque<std::vector<CoreStructMember>> members_;
};

// How deep and wide a value a plug-in hands back may be before the checker
// calls it malformed (a plug-in's own readers refuse more than 1,024 levels).
struct ValueLimits {
  unsigned maxDepth = 1100;
  std::uint64_t maxNodes = 50'000'000;
  std::uint32_t maxCount = 1u << 26;
};

// Checks a value a plug-in wrote: a known kind, non-null pointers where a
// block is announced, member names set and unique, within the limits.
// Returns "" when it is well formed, else what is wrong and where ("$.a[3]").
std::string checkCoreValue(const CoreValue& value, const ValueLimits& limits = {});

// Compact JSON-like text of a value, cut after `maxLength` characters.
std::string describeCoreValue(const CoreValue& value, std::size_t maxLength = 160);

// The name of a CoreValue kind ("string", "array", ...).
const char* coreValueKindName(std::uint32_t kind);

}  // namespace qor::validator
