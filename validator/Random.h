// Random: the validator's one source of chance. A run is repeatable because
// every test seeds its own generator from the run's seed and the test's name,
// so `--only NAME --seed N` replays exactly what the full run did for NAME
// (thread scheduling aside).
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

namespace qor::validator {

// xoshiro256** seeded through splitmix64: small, fast and the same on every
// platform and word size (std::uniform_int_distribution is not).
class Random {
 public:
  explicit Random(std::uint64_t seed = 0) { reseed(seed); }

  void reseed(std::uint64_t seed) {
    for (auto& word : state_) word = splitMix(seed);
  }

  std::uint64_t next() {
    const std::uint64_t result = rotate(state_[1] * 5, 7) * 9;
    const std::uint64_t t = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= t;
    state_[3] = rotate(state_[3], 45);
    return result;
  }

  // Uniform in [0, bound); 0 when bound is 0.
  std::uint64_t below(std::uint64_t bound) { return bound == 0 ? 0 : next() % bound; }
  // Uniform in [low, high].
  std::int64_t between(std::int64_t low, std::int64_t high) {
    return low + static_cast<std::int64_t>(below(static_cast<std::uint64_t>(high - low) + 1));
  }
  // True with probability percent / 100.
  bool chance(unsigned percent) { return below(100) < percent; }
  template <class Container>
  const auto& pick(const Container& items) {
    return items[static_cast<std::size_t>(below(std::size(items)))];
  }
  // A generator for another thread or sub-task, independent of this one.
  Random fork() { return Random(next()); }

  // A stable 64-bit hash (FNV-1a) for deriving seeds from names.
  static std::uint64_t hash(std::string_view text, std::uint64_t seed = 0xcbf29ce484222325ull) {
    std::uint64_t h = seed;
    for (unsigned char c : text) {
      h ^= c;
      h *= 0x100000001b3ull;
    }
    return h;
  }

 private:
  static std::uint64_t rotate(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  static std::uint64_t splitMix(std::uint64_t& x) {
    std::uint64_t z = (x += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
  std::uint64_t state_[4] = {};
};

}  // namespace qor::validator
