// fnv1a32: the 32-bit FNV-1a hash, the one hash of the framework: interned
// texts, registered names and the identities of static types.
#pragma once

#include <cstdint>
#include <string_view>

namespace qor {

inline constexpr std::uint32_t kFnv1aOffsetBasis = 0x811c9dc5u;
inline constexpr std::uint32_t kFnv1aPrime = 0x01000193u;

// FNV-1a over every byte of the text (bytes taken unsigned), continuing from
// `hash`.
constexpr std::uint32_t fnv1a32(std::string_view text,
                                std::uint32_t hash = kFnv1aOffsetBasis) noexcept {
  for (char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= kFnv1aPrime;
  }
  return hash;
}

}  // namespace qor
