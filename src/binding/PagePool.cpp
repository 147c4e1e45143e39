// PagePool: 4 KiB pages from 64 KiB operating-system blocks, under one mutex.
#include "binding/PagePool.h"

#include <algorithm>
#include <mutex>

#include "platform/VirtualMemory.h"

namespace qor {

PagePool& PagePool::instance() {
  // Deliberately leaked: arenas held by static objects may release pages
  // during static destruction.
  static PagePool* pool = new PagePool();
  return *pool;
}

std::size_t PagePool::findBlock(std::uintptr_t page) const noexcept {
  auto it = std::upper_bound(blocks_.begin(), blocks_.end(), page,
                             [](std::uintptr_t p, const Block& b) { return p < b.base; });
  return static_cast<std::size_t>(it - blocks_.begin()) - 1;
}

void PagePool::pushFree(FreePage* page) noexcept {
  page->prev = nullptr;
  page->next = freeHead_;
  if (freeHead_) freeHead_->prev = page;
  freeHead_ = page;
  ++freeCount_;
}

void PagePool::unlinkFree(FreePage* page) noexcept {
  if (page->prev)
    page->prev->next = page->next;
  else
    freeHead_ = page->next;
  if (page->next) page->next->prev = page->prev;
  --freeCount_;
}

void* PagePool::acquirePage() {
  std::lock_guard<platform::Mutex> lock(mutex_);
  FreePage* page = freeHead_;
  if (page) {
    unlinkFree(page);
  } else {
    // Pages of the newest block are handed out in ascending order straight
    // from the block, so a page is first written when it is used.
    if (untouchedPages_ == 0 && !reserveNewBlock()) return nullptr;
    page = reinterpret_cast<FreePage*>(untouchedBase_ + (kPagesPerBlock - untouchedPages_) * kPageSize);
    --untouchedPages_;
  }
  --blocks_[findBlock(reinterpret_cast<std::uintptr_t>(page))].freePages;
  return page;
}

bool PagePool::reserveNewBlock() {
  // While blocks are taken one after another with none given back, a tree
  // is growing and will use this block whole: map all its pages at once.
  // Otherwise (a small tree, the first block of a burst) map the few pages
  // any tree takes (each slot size in use has a page of its own) and leave
  // the rest to be mapped as they are first used.
  void* block = platform::reserveBlock(kBlockSize, growing_ ? kBlockSize : kFirstPages * kPageSize);
  if (!block) return false;
  growing_ = true;
  auto base = reinterpret_cast<std::uintptr_t>(block);
  auto pos = std::upper_bound(blocks_.begin(), blocks_.end(), base,
                              [](std::uintptr_t p, const Block& b) { return p < b.base; });
  try {
    blocks_.insert(pos, Block{base, kPagesPerBlock});
  } catch (...) {
    platform::releaseBlock(block, kBlockSize);
    throw;
  }
  untouchedBase_ = base;
  untouchedPages_ = kPagesPerBlock;
  return true;
}

void PagePool::releasePage(void* page) noexcept {
  if (!page) return;
  std::lock_guard<platform::Mutex> lock(mutex_);
  auto addr = reinterpret_cast<std::uintptr_t>(page);
  std::size_t index = findBlock(addr);
  Block& block = blocks_[index];
  pushFree(static_cast<FreePage*>(page));
  if (++block.freePages < kPagesPerBlock) return;
  // Every page of the block is free: those handed out before are on the free
  // list, the rest (of the newest block only) were never touched.
  std::size_t handedOut = kPagesPerBlock;
  if (block.base == untouchedBase_) {
    handedOut -= untouchedPages_;
    untouchedBase_ = 0;
    untouchedPages_ = 0;
  }
  for (std::size_t i = 0; i < handedOut; ++i)
    unlinkFree(reinterpret_cast<FreePage*>(block.base + i * kPageSize));
  void* base = reinterpret_cast<void*>(block.base);
  growing_ = false;
  blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(index));
  platform::releaseBlock(base, kBlockSize);
}

PagePool::Stats PagePool::stats() const {
  std::lock_guard<platform::Mutex> lock(mutex_);
  return Stats{blocks_.size(), freeCount_ + untouchedPages_};
}

}  // namespace qor
