// InternedString: one reference-counted text shared by every value of a tree
// that holds the same bytes, and the FNV-1a hash the arena's table keys it by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qor {

// 32-bit FNV-1a over every byte of the text.
constexpr std::uint32_t fnv1a32(std::string_view text) noexcept {
  std::uint32_t h = 0x811c9dc5u;
  for (char c : text) {
    h ^= static_cast<unsigned char>(c);
    h *= 16777619u;
  }
  return h;
}

// The record is a header followed directly by the text and a NUL, so a
// string costs one allocation (a pool slot for short texts). Records are
// created only by PropertyArena.
// Aligned to 8 so that a slot-held record suits any pool slot on every target.
struct alignas(8) InternedString {
  std::uint32_t hash;
  std::uint32_t count;
  std::uint32_t size;

  const char* data() const noexcept { return reinterpret_cast<const char*>(this + 1); }
  std::string_view view() const noexcept { return {data(), size}; }

  // The one record every empty text refers to. It lives in no table and is
  // never counted, so it may be shared by every arena of the process.
  static InternedString* emptyRecord() noexcept;
  bool isEmptyRecord() const noexcept { return this == emptyRecord(); }
};

}  // namespace qor
