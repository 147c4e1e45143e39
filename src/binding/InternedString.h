// InternedString: one reference-counted text shared by every value of a tree
// that holds the same bytes, and the FNV-1a hash the arena's table keys it by.
#pragma once

#include "binding/Fnv1a.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace qor {

// Byte-wise comparisons for the short texts of a tree (member names above
// all), done inline: a library call costs more than the compare itself.
// Eight bytes at a time while they agree, then byte by byte.
inline bool sameBytes(const char* a, const char* b, std::size_t n) noexcept {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) return false;
  }
  for (; i < n; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

// strcmp order on unsigned bytes, then by length: <0, 0 or >0.
inline int compareBytes(std::string_view a, std::string_view b) noexcept {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a.data() + i, 8);
    std::memcpy(&y, b.data() + i, 8);
    if (x != y) break;
  }
  for (; i < n; ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
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
