// PropertyArena: the storage of one value tree. Small objects come from 18
// slot pools (4 to 72 bytes), strings from a table of shared, counted records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "binding/InternedString.h"
#include "binding/SizeClassPool.h"

namespace qor {

class PropertyArena {
 public:
  static constexpr std::size_t kMaxSlot = 72;
  static constexpr std::size_t kPoolCount = kMaxSlot / 4;
  static constexpr std::size_t kInlineChunk = 144;

  PropertyArena() noexcept;
  // Frees every string record and gives every page back.
  ~PropertyArena();
  PropertyArena(const PropertyArena&) = delete;
  PropertyArena& operator=(const PropertyArena&) = delete;

  // A slot of at least `bytes` (1..72) bytes from the pool of that size.
  void* allocate(std::size_t bytes) { return poolFor(bytes).allocate(); }
  void deallocate(void* p, std::size_t bytes) noexcept { poolFor(bytes).deallocate(p); }
  SizeClassPool& poolFor(std::size_t bytes) noexcept { return pools_[(bytes + 3) / 4 - 1]; }

  template <typename T>
  T* allocateFor() {
    static_assert(sizeof(T) <= kMaxSlot, "arena objects are at most 72 bytes");
    static_assert(alignof(T) <= 8, "slots are aligned to at most 8 bytes");
    return static_cast<T*>(allocate(slotBytes<T>()));
  }
  template <typename T>
  void deallocateFor(T* p) noexcept {
    deallocate(p, slotBytes<T>());
  }
  // Objects are placed in slots whose size is a multiple of their alignment,
  // so every slot of the pool is suitably aligned.
  template <typename T>
  static constexpr std::size_t slotBytes() noexcept {
    constexpr std::size_t a = alignof(T) < 4 ? 4 : alignof(T);
    return (sizeof(T) + a - 1) / a * a;
  }

  // The record for `text` with its count raised by one; the shared empty
  // record (never counted) for an empty text. `hash` must be fnv1a32(text).
  InternedString* intern(std::string_view text) { return intern(text, fnv1a32(text)); }
  InternedString* intern(std::string_view text, std::uint32_t hash);
  // Drops one reference; the record is freed when none is left.
  void release(InternedString* record) noexcept;
  // Looks a text up without inserting it or counting; null when absent.
  const InternedString* find(std::string_view text) const noexcept;
  // Sizes the table for `count` strings at load 1.0.
  void reserveStrings(std::size_t count);

  std::size_t stringCount() const noexcept { return stringCount_; }
  std::size_t bucketCount() const noexcept { return bucketCount_; }
  // Pages currently taken from the PagePool by all pools of this arena.
  std::size_t pageCount() const noexcept;

  // Live payloads of this tree that own general-heap memory (blobs and
  // collections). A discarded tree whose only such payload is its root's can
  // skip walking its values.
  void noteHeapPayload() noexcept { ++heapPayloads_; }
  void dropHeapPayload() noexcept { --heapPayloads_; }
  std::size_t heapPayloadCount() const noexcept { return heapPayloads_; }

  // Forgets every string and every slot at once: used when a whole tree is
  // discarded, so that its nodes need not be released one by one.
  void clear() noexcept;

 private:
  void rehash(std::size_t buckets);
  void freeLargeStrings() noexcept;

  // Texts too long for a slot live on the general heap, listed here so that
  // a discarded arena can free them without walking its table.
  struct LargeString {
    LargeString* prev;
    LargeString* next;
    InternedString record;
  };
  static constexpr std::size_t kMaxSlotText = kMaxSlot - sizeof(InternedString) - 1;
  static std::size_t recordBytes(std::size_t size) noexcept {
    return (sizeof(InternedString) + size + 1 + alignof(InternedString) - 1) / alignof(InternedString) *
           alignof(InternedString);
  }

  static constexpr std::size_t kInitialBuckets = 8;

  // One entry of the open-addressing string table: the record's hash sits
  // next to its pointer, so probing compares hashes without touching records
  // and growing the table never reads a record. A null record marks a free entry.
  struct Bucket {
    InternedString* record;
    std::uint32_t hash;
  };
  // The entry holding `record`, which must be in the table.
  std::size_t slotOf(const InternedString* record) const noexcept;

  alignas(16) unsigned char inline_[kPoolCount][kInlineChunk];
  SizeClassPool pools_[kPoolCount];
  Bucket initialBuckets_[kInitialBuckets];
  Bucket* buckets_;
  std::size_t bucketCount_ = kInitialBuckets;
  std::size_t stringCount_ = 0;
  LargeString* large_ = nullptr;
  std::size_t heapPayloads_ = 0;
};

// Allocator for standard containers whose nodes live in an arena's pools.
template <typename T>
struct ArenaAllocator {
  using value_type = T;
  PropertyArena* arena;

  explicit ArenaAllocator(PropertyArena* a) noexcept : arena(a) {}
  template <typename U>
  ArenaAllocator(const ArenaAllocator<U>& other) noexcept : arena(other.arena) {}

  T* allocate(std::size_t n) {
    if (n != 1) return static_cast<T*>(::operator new(n * sizeof(T)));
    return arena->allocateFor<T>();
  }
  void deallocate(T* p, std::size_t n) noexcept {
    if (n != 1)
      ::operator delete(p);
    else
      arena->deallocateFor<T>(p);
  }
  template <typename U>
  bool operator==(const ArenaAllocator<U>& o) const noexcept {
    return arena == o.arena;
  }
};

}  // namespace qor
