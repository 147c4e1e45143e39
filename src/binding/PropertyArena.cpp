// PropertyArena: slot pools and the interned-string table of one value tree.
#include "binding/PropertyArena.h"

#include <cstring>

namespace qor {

PropertyArena::PropertyArena() noexcept : initialBuckets_{}, buckets_(initialBuckets_) {
  for (std::size_t i = 0; i < kPoolCount; ++i)
    pools_[i].init(static_cast<std::uint16_t>((i + 1) * 4), inline_[i], static_cast<std::uint16_t>(kInlineChunk));
}

PropertyArena::~PropertyArena() {
  freeStrings();
  if (buckets_ != initialBuckets_) delete[] buckets_;
}

void PropertyArena::freeStrings() noexcept {
  for (std::size_t b = 0; b < bucketCount_; ++b) {
    InternedString* s = buckets_[b];
    buckets_[b] = nullptr;
    while (s) {
      InternedString* next = s->next;
      delete s;
      s = next;
    }
  }
  stringCount_ = 0;
}

void PropertyArena::clear() noexcept {
  freeStrings();
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
    if (s->hash == h && s->text.size() == text.size() && std::memcmp(s->text.data(), text.data(), text.size()) == 0)
      return s;
  return nullptr;
}

InternedString* PropertyArena::intern(std::string_view text) {
  if (text.empty()) return InternedString::emptyRecord();
  const std::uint32_t h = fnv1a32(text);
  InternedString** bucket = &buckets_[h & (bucketCount_ - 1)];
  for (InternedString* s = *bucket; s; s = s->next) {
    if (s->hash == h && s->text.size() == text.size() &&
        std::memcmp(s->text.data(), text.data(), text.size()) == 0) {
      ++s->count;
      return s;
    }
  }
  if (stringCount_ + 1 > bucketCount_) {
    grow();
    bucket = &buckets_[h & (bucketCount_ - 1)];
  }
  auto* s = new InternedString{std::string(text), h, 1, *bucket};
  *bucket = s;
  ++stringCount_;
  return s;
}

void PropertyArena::grow() {
  const std::size_t count = bucketCount_ * 2;
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
  delete record;
}

}  // namespace qor
