// PagePool: the process-wide source of 4 KiB pages for the slot pools of
// every PropertyArena. Pages are cut from 64 KiB blocks taken from the
// operating system; a block goes back as soon as all 16 of its pages are free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Mutex.h"

namespace qor {

class PagePool {
 public:
  static constexpr std::size_t kPageSize = 4096;
  static constexpr std::size_t kBlockSize = 65536;
  static constexpr std::size_t kPagesPerBlock = kBlockSize / kPageSize;
  // Pages of a block mapped up front when the pool is not growing.
  static constexpr std::size_t kFirstPages = 4;

  // Created on first use and never destroyed, so arenas that outlive static
  // destruction can still give their pages back.
  static PagePool& instance();

  // A page aligned to kPageSize, or null when the system refuses a block.
  void* acquirePage();
  // Gives back a page obtained from acquirePage.
  void releasePage(void* page) noexcept;

  struct Stats {
    std::size_t liveBlocks;  // blocks currently held from the system
    std::size_t freePages;   // pages of those blocks not handed out
  };
  Stats stats() const;

  PagePool(const PagePool&) = delete;
  PagePool& operator=(const PagePool&) = delete;

 private:
  PagePool() = default;
  ~PagePool() = default;

  // A free page links itself into the free list through its first bytes.
  struct FreePage {
    FreePage* next;
    FreePage* prev;
  };
  struct Block {
    std::uintptr_t base;
    std::size_t freePages;
  };

  std::size_t findBlock(std::uintptr_t page) const noexcept;
  bool reserveNewBlock();
  void pushFree(FreePage* page) noexcept;
  void unlinkFree(FreePage* page) noexcept;

  mutable platform::Mutex mutex_;
  FreePage* freeHead_ = nullptr;
  std::size_t freeCount_ = 0;
  std::vector<Block> blocks_;  // sorted by base address
  // The newest block's pages that were never handed out (its highest ones).
  std::uintptr_t untouchedBase_ = 0;
  std::size_t untouchedPages_ = 0;
  bool growing_ = false;  // a block was taken since the last one went back
};

}  // namespace qor
