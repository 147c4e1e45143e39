// PropertyArena: slot pools and the interned-string table of one value tree.
#include "binding/PropertyArena.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace qor {

PropertyArena::PropertyArena() noexcept : initialBuckets_{}, recent_{}, buckets_(initialBuckets_) {
  static_assert(offsetof(LargeString, record) + sizeof(InternedString) == sizeof(LargeString),
                "a large record's text follows its header directly");
  for (std::size_t i = 0; i < kPoolCount; ++i)
    pools_[i].init(static_cast<std::uint16_t>((i + 1) * 4), inline_[i], static_cast<std::uint16_t>(kInlineChunk));
}

PropertyArena::~PropertyArena() {
  // Short records go with the pools' pages.
  freeLargeStrings();
  if (buckets_ != initialBuckets_) delete[] buckets_;
}

void PropertyArena::freeLargeStrings() noexcept {
  while (large_) {
    LargeString* next = large_->next;
    std::free(large_);
    large_ = next;
  }
}

std::size_t PropertyArena::heapPayloadCount() const noexcept {
  std::size_t n = 0;
  for (HeapLink* chain : heapChains_)
    for (HeapLink* link = chain; link; link = link->next) ++n;
  return n;
}

std::size_t PropertyArena::pageCount() const noexcept {
  std::size_t n = 0;
  for (const auto& pool : pools_) n += pool.pageCount();
  return n;
}

const InternedString* PropertyArena::find(std::string_view text) const noexcept {
  if (text.empty()) return InternedString::emptyRecord();
  const std::uint32_t h = fnv1a32(text);
  const std::size_t mask = bucketCount_ - 1;
  for (std::size_t i = h & mask;; i = (i + 1) & mask) {
    const Bucket& b = buckets_[i];
    if (!b.record) return nullptr;
    if (b.hash == h && b.record->size == text.size() && sameBytes(b.record->data(), text.data(), text.size()))
      return b.record;
  }
}

InternedString* PropertyArena::intern(std::string_view text, std::uint32_t h) {
  if (text.empty()) return InternedString::emptyRecord();
  std::size_t mask = bucketCount_ - 1;
  std::size_t i = h & mask;
  for (;; i = (i + 1) & mask) {
    const Bucket& b = buckets_[i];
    if (!b.record) break;
    if (b.hash == h && b.record->size == text.size() && sameBytes(b.record->data(), text.data(), text.size())) {
      ++b.record->count;
      return b.record;
    }
  }
  if (text.size() > UINT32_MAX) throw std::length_error("interned string too long");
  // Growing at half load keeps probe runs short.
  if (2 * (stringCount_ + 1) > bucketCount_) {
    rehash(bucketCount_ * 2);
    mask = bucketCount_ - 1;
    for (i = h & mask; buckets_[i].record; i = (i + 1) & mask) {
    }
  }
  InternedString* s;
  if (text.size() <= kMaxSlotText) {
    s = static_cast<InternedString*>(allocate(recordBytes(text.size())));
  } else {
    auto* large = static_cast<LargeString*>(std::malloc(sizeof(LargeString) + text.size() + 1));
    if (!large) throw std::bad_alloc();
    large->prev = nullptr;
    large->next = large_;
    if (large_) large_->prev = large;
    large_ = large;
    s = &large->record;
  }
  s->hash = h;
  s->count = 1;
  s->size = static_cast<std::uint32_t>(text.size());
  char* data = reinterpret_cast<char*>(s + 1);
  std::memcpy(data, text.data(), text.size());
  data[text.size()] = '\0';
  buckets_[i] = Bucket{s, h};
  ++stringCount_;
  return s;
}

void PropertyArena::reserveStrings(std::size_t count) {
  std::size_t buckets = bucketCount_;
  while (buckets < 2 * count) buckets *= 2;
  if (buckets != bucketCount_) rehash(buckets);
}

void PropertyArena::rehash(std::size_t count) {
  auto* buckets = new Bucket[count]();
  const std::size_t mask = count - 1;
  for (std::size_t b = 0; b < bucketCount_; ++b) {
    const Bucket& old = buckets_[b];
    if (!old.record) continue;
    std::size_t i = old.hash & mask;
    while (buckets[i].record) i = (i + 1) & mask;
    buckets[i] = old;
  }
  if (buckets_ != initialBuckets_) delete[] buckets_;
  buckets_ = buckets;
  bucketCount_ = count;
}

std::size_t PropertyArena::slotOf(const InternedString* record) const noexcept {
  const std::size_t mask = bucketCount_ - 1;
  std::size_t i = record->hash & mask;
  while (buckets_[i].record != record) i = (i + 1) & mask;
  return i;
}

void PropertyArena::release(InternedString* record) noexcept {
  if (!record || record->isEmptyRecord()) return;
  if (--record->count != 0) return;
  // Backward-shift deletion: later entries of the same probe run move up
  // into the hole, so every remaining record stays reachable from its home.
  const std::size_t mask = bucketCount_ - 1;
  std::size_t hole = slotOf(record);
  for (std::size_t j = (hole + 1) & mask; buckets_[j].record; j = (j + 1) & mask) {
    const std::size_t home = buckets_[j].hash & mask;
    // The entry at j may fill the hole when its home is not in (hole, j].
    if (((j - home) & mask) >= ((j - hole) & mask)) {
      buckets_[hole] = buckets_[j];
      hole = j;
    }
  }
  buckets_[hole] = Bucket{nullptr, 0};
  --stringCount_;
  InternedString*& recent = recent_[recentSlot(record->view())];
  if (recent == record) recent = nullptr;
  if (record->size <= kMaxSlotText) {
    deallocate(record, recordBytes(record->size));
    return;
  }
  auto* large = reinterpret_cast<LargeString*>(reinterpret_cast<char*>(record) - offsetof(LargeString, record));
  if (large->prev)
    large->prev->next = large->next;
  else
    large_ = large->next;
  if (large->next) large->next->prev = large->prev;
  std::free(large);
}

}  // namespace qor
