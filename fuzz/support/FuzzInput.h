// FuzzInput: takes a fuzz input apart into the pieces a target needs (bytes,
// numbers, choices, texts). Every read succeeds: past the end it yields
// zeros and empty texts, so any input, however short, drives a whole run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace qor::fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) noexcept : data_(data), size_(size) {}

  bool empty() const noexcept { return pos_ >= size_; }
  std::size_t remaining() const noexcept { return pos_ < size_ ? size_ - pos_ : 0; }

  std::uint8_t byte() noexcept { return pos_ < size_ ? data_[pos_++] : 0; }
  bool flag() noexcept { return (byte() & 1) != 0; }
  std::uint16_t u16() noexcept { return static_cast<std::uint16_t>(byte() | (byte() << 8)); }
  std::uint32_t u32() noexcept { return u16() | (static_cast<std::uint32_t>(u16()) << 16); }
  std::uint64_t u64() noexcept { return u32() | (static_cast<std::uint64_t>(u32()) << 32); }
  double f64() noexcept {
    const std::uint64_t bits = u64();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }
  // A number below `bound` (0 when bound is 0).
  std::size_t below(std::size_t bound) noexcept { return bound == 0 ? 0 : byte() % bound; }

  // A text that ends at a lone backslash (a doubled one stands for one
  // backslash) or at the end of the input, at most `maxLength` bytes: the
  // same scheme as libFuzzer's data provider, friendly to its mutations.
  std::string text(std::size_t maxLength = 256) {
    std::string out;
    while (pos_ < size_ && out.size() < maxLength) {
      char c = static_cast<char>(data_[pos_++]);
      if (c == '\\' && pos_ < size_) {
        c = static_cast<char>(data_[pos_++]);
        if (c != '\\') break;
      }
      out += c;
    }
    return out;
  }
  // Everything that is left.
  std::string_view rest() noexcept {
    std::string_view out(reinterpret_cast<const char*>(data_ + (pos_ < size_ ? pos_ : size_)), remaining());
    pos_ = size_;
    return out;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace qor::fuzz
