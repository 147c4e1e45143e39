// PropertyArena: slot pools and the interned-string table of one value tree.
#include "binding/PropertyArena.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace qor {

PropertyArena::PropertyArena() noexcept : initialBuckets_{}, buckets_(initialBuckets_) {
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

void PropertyArena::clear() noexcept {
  freeLargeStrings();
  for (std::size_t b = 0; b < bucketCount_; ++b) buckets_[b] = nullptr;
  stringCount_ = 0;
  for (auto& pool : pools_) pool.releaseAll();
}

std::size_t PropertyArena::pageCount() const noexcept {
  std::size_t n = 0;
  for (const auto& pool : pools_) n += pool.pageCount();
  return n;
}

const InternedString* PropertyArena::find(std::string_view text) const noexcept {
  if (text.empty()) return InternedString::emptyRecord();
  const std::uint32_t h = fnv1a32(text);
  for (InternedString* s = buckets_[h & (bucketCount_ - 1)]; s; s = s->next)
    if (s->hash == h && s->size == text.size() && std::memcmp(s->data(), text.data(), text.size()) == 0) return s;
  return nullptr;
}

InternedString* PropertyArena::intern(std::string_view text, std::uint32_t h) {
  if (text.empty()) return InternedString::emptyRecord();
  InternedString** bucket = &buckets_[h & (bucketCount_ - 1)];
  for (InternedString* s = *bucket; s; s = s->next) {
    if (s->hash == h && s->size == text.size() && std::memcmp(s->data(), text.data(), text.size()) == 0) {
      ++s->count;
      return s;
    }
  }
  if (text.size() > UINT32_MAX) throw std::length_error("interned string too long");
  // Growing at half load keeps most chains to one record, which matters
  // because each step of a chain is a likely cache miss.
  if (2 * (stringCount_ + 1) > bucketCount_) {
    rehash(bucketCount_ * 2);
    bucket = &buckets_[h & (bucketCount_ - 1)];
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
  s->next = *bucket;
  s->hash = h;
  s->count = 1;
  s->size = static_cast<std::uint32_t>(text.size());
  char* data = reinterpret_cast<char*>(s + 1);
  std::memcpy(data, text.data(), text.size());
  data[text.size()] = '\0';
  *bucket = s;
  ++stringCount_;
  return s;
}

void PropertyArena::reserveStrings(std::size_t count) {
  std::size_t buckets = bucketCount_;
  while (buckets < 2 * count) buckets *= 2;
  if (buckets != bucketCount_) rehash(buckets);
}

void PropertyArena::rehash(std::size_t count) {
  auto** buckets = new InternedString*[count]();
  for (std::size_t b = 0; b < bucketCount_; ++b) {
    InternedString* s = buckets_[b];
    while (s) {
      InternedString* next = s->next;
      InternedString*& head = buckets[s->hash & (count - 1)];
      s->next = head;
      head = s;
      s = next;
    }
  }
  if (buckets_ != initialBuckets_) delete[] buckets_;
  buckets_ = buckets;
  bucketCount_ = count;
}

void PropertyArena::release(InternedString* record) noexcept {
  if (!record || record->isEmptyRecord()) return;
  if (--record->count != 0) return;
  InternedString** link = &buckets_[record->hash & (bucketCount_ - 1)];
  while (*link != record) link = &(*link)->next;
  *link = record->next;
  --stringCount_;
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
