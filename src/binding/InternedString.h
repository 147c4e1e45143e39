// InternedString: one reference-counted text shared by every value of a tree
// that holds the same bytes, and the FNV-1a hash the arena's table keys it by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
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

struct InternedString {
  std::string text;
  std::uint32_t hash = 0;
  std::uint32_t count = 0;
  // Next record in the same bucket of the owning arena's table.
  InternedString* next = nullptr;

  std::string_view view() const noexcept { return text; }

  // The one record every empty text refers to. It lives in no table and is
  // never counted, so it may be shared by every arena of the process.
  static InternedString* emptyRecord() noexcept;
  bool isEmptyRecord() const noexcept { return this == emptyRecord(); }
};

}  // namespace qor
