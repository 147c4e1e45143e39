// SizeClassPool: chunks of equal slots chained through 16-bit free indices.
#include "binding/SizeClassPool.h"

#include <cstring>
#include <new>

#include "binding/PagePool.h"

namespace qor {

void SizeClassPool::init(std::uint16_t slotSize, void* inlineChunk, std::uint16_t inlineSize) noexcept {
  slotSize_ = slotSize;
  firstIndex_ = static_cast<std::uint16_t>((sizeof(ChunkHeader) + slotSize - 1) / slotSize);
  inline_ = static_cast<ChunkHeader*>(inlineChunk);
  format(inline_, inlineSize);
  if (inline_->firstFree)
    link(available_, inline_);
  else
    link(full_, inline_);
}

void SizeClassPool::format(ChunkHeader* chunk, std::uint16_t size) noexcept {
  chunk->next = chunk->prev = nullptr;
  chunk->size = size;
  chunk->used = 0;
  const std::uint16_t end = static_cast<std::uint16_t>(size / slotSize_);
  auto* base = reinterpret_cast<unsigned char*>(chunk);
  chunk->firstFree = firstIndex_ < end ? firstIndex_ : 0;
  for (std::uint16_t i = firstIndex_; i < end; ++i)
    storeIndex(base + std::size_t{i} * slotSize_, static_cast<std::uint16_t>(i + 1 < end ? i + 1 : 0));
}

void SizeClassPool::link(ChunkHeader*& head, ChunkHeader* chunk) noexcept {
  chunk->prev = nullptr;
  chunk->next = head;
  if (head) head->prev = chunk;
  head = chunk;
}

void SizeClassPool::unlink(ChunkHeader*& head, ChunkHeader* chunk) noexcept {
  if (chunk->prev)
    chunk->prev->next = chunk->next;
  else
    head = chunk->next;
  if (chunk->next) chunk->next->prev = chunk->prev;
  chunk->next = chunk->prev = nullptr;
}

SizeClassPool::ChunkHeader* SizeClassPool::chunkOf(void* slot) const noexcept {
  auto addr = reinterpret_cast<std::uintptr_t>(slot);
  auto in = reinterpret_cast<std::uintptr_t>(inline_);
  if (addr >= in && addr < in + inline_->size) return inline_;
  return reinterpret_cast<ChunkHeader*>(addr & ~(std::uintptr_t{PagePool::kPageSize} - 1));
}

SizeClassPool::ChunkHeader* SizeClassPool::addPage() {
  void* page = PagePool::instance().acquirePage();
  if (!page) throw std::bad_alloc();
  ++pages_;
  auto* chunk = static_cast<ChunkHeader*>(page);
  format(chunk, static_cast<std::uint16_t>(PagePool::kPageSize));
  link(available_, chunk);
  return chunk;
}

void SizeClassPool::deallocate(void* p) noexcept {
  if (!p) return;
  ChunkHeader* chunk = chunkOf(p);
  auto* slot = static_cast<unsigned char*>(p);
  if (chunk->firstFree == 0) {
    unlink(full_, chunk);
    link(available_, chunk);
  }
  storeIndex(slot, chunk->firstFree);
  chunk->firstFree = static_cast<std::uint16_t>((slot - reinterpret_cast<unsigned char*>(chunk)) / slotSize_);
  if (--chunk->used == 0 && chunk != inline_) {
    unlink(available_, chunk);
    --pages_;
    PagePool::instance().releasePage(chunk);
  }
}

void SizeClassPool::releasePages() noexcept {
  for (ChunkHeader** list : {&available_, &full_}) {
    ChunkHeader* chunk = *list;
    *list = nullptr;
    while (chunk) {
      ChunkHeader* next = chunk->next;
      if (chunk != inline_) PagePool::instance().releasePage(chunk);
      chunk = next;
    }
  }
  pages_ = 0;
}

}  // namespace qor
