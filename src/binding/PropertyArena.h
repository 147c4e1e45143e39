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
  // record (never counted) for an empty text. A text met recently (member
  // names, repeated values) is found in a small front cache by its bytes
  // alone, without hashing it.
  InternedString* intern(std::string_view text) {
    if (text.empty()) return InternedString::emptyRecord();
    InternedString*& recent = recent_[recentSlot(text)];
    if (recent && recent->size == text.size() && sameBytes(recent->data(), text.data(), text.size())) {
      ++recent->count;
      return recent;
    }
    InternedString* record = intern(text, fnv1a32(text));
    recent = record;
    return record;
  }
  // The same for a text whose hash is known: `hash` must be fnv1a32(text).
  InternedString* intern(std::string_view text, std::uint32_t hash);
  // Drops one reference; the record is freed when none is left.
  void release(InternedString* record) noexcept;
  // Looks a text up without inserting it or counting; null when absent.
  const InternedString* find(std::string_view text) const noexcept;
  // Sizes the table so that `count` strings fit without growing it.
  void reserveStrings(std::size_t count);
  // Sizes the table for an estimate of the strings to come, but only up to
  // kMaxExpectedStrings: a table that big still fits the cache, while a
  // bigger one sized up front makes every early insertion miss it. Beyond
  // that the table grows as the strings come.
  static constexpr std::size_t kMaxExpectedStrings = 16384;
  void expectStrings(std::size_t estimate) {
    reserveStrings(estimate < kMaxExpectedStrings ? estimate : kMaxExpectedStrings);
  }

  std::size_t stringCount() const noexcept { return stringCount_; }
  std::size_t bucketCount() const noexcept { return bucketCount_; }
  // Pages currently taken from the PagePool by all pools of this arena.
  std::size_t pageCount() const noexcept;

  // Live payloads of this tree that own general-heap memory (element arrays
  // and blob bytes) are chained here, one chain per kind, so that a discarded
  // tree frees that memory by walking the chains instead of its values.
  struct HeapLink {
    HeapLink* prev;
    HeapLink* next;
  };
  enum HeapChain : unsigned { kElementArrays = 0, kBlobs = 1 };
  void linkHeapPayload(HeapChain chain, HeapLink* link) noexcept {
    link->prev = nullptr;
    link->next = heapChains_[chain];
    if (link->next) link->next->prev = link;
    heapChains_[chain] = link;
  }
  void unlinkHeapPayload(HeapChain chain, HeapLink* link) noexcept {
    if (link->prev)
      link->prev->next = link->next;
    else
      heapChains_[chain] = link->next;
    if (link->next) link->next->prev = link->prev;
  }
  HeapLink* heapPayloads(HeapChain chain) const noexcept { return heapChains_[chain]; }
  // Counts the chained payloads (a walk: for checks, not for hot paths).
  std::size_t heapPayloadCount() const noexcept;

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

  // The front cache: one record per slot, chosen by the text's length and
  // its first and last bytes; a record leaves it when it is freed.
  static constexpr std::size_t kRecentSlots = 64;
  static std::size_t recentSlot(std::string_view text) noexcept {
    const auto first = static_cast<unsigned char>(text.front());
    const auto last = static_cast<unsigned char>(text.back());
    return (text.size() * 7 + first * 3 + last) & (kRecentSlots - 1);
  }

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
  InternedString* recent_[kRecentSlots];
  Bucket* buckets_;
  std::size_t bucketCount_ = kInitialBuckets;
  std::size_t stringCount_ = 0;
  LargeString* large_ = nullptr;
  HeapLink* heapChains_[2] = {nullptr, nullptr};
};

}  // namespace qor
