// SizeClassPool: fixed-size slots for the small objects of one value tree,
// carved from a chunk held inside the arena and then from PagePool pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qor {

class SizeClassPool {
 public:
  SizeClassPool() noexcept = default;
  SizeClassPool(const SizeClassPool&) = delete;
  SizeClassPool& operator=(const SizeClassPool&) = delete;
  // Gives every page back; the slots must no longer be in use.
  ~SizeClassPool() { releasePages(); }

  // Sets the slot size and formats the first chunk, which lives in storage
  // the caller owns (inside the arena) and is never given back.
  void init(std::uint16_t slotSize, void* inlineChunk, std::uint16_t inlineSize) noexcept;

  // A slot of slotSize() bytes; throws std::bad_alloc when no page is left.
  // The common case (a chunk with a free slot) is inline.
  void* allocate() {
    ChunkHeader* chunk = available_ ? available_ : addPage();
    auto* slot = reinterpret_cast<unsigned char*>(chunk) + std::size_t{chunk->firstFree} * slotSize_;
    const std::uint16_t next = loadIndex(slot);
    chunk->firstFree = next;
    ++chunk->used;
    if (next == 0) moveToFull(chunk);
    return slot;
  }
  void deallocate(void* slot) noexcept;

  std::uint16_t slotSize() const noexcept { return slotSize_; }
  // Pages currently taken from the PagePool.
  std::size_t pageCount() const noexcept { return pages_; }

 private:
  struct ChunkHeader {
    ChunkHeader* next;
    ChunkHeader* prev;
    std::uint16_t size;       // bytes, header included
    std::uint16_t used;       // slots in use
    std::uint16_t firstFree;  // slot index, 0 when the chunk is full
  };

  // A free slot holds the index of the next free one, stored unaligned.
  static std::uint16_t loadIndex(const unsigned char* slot) noexcept {
    std::uint16_t v;
    std::memcpy(&v, slot, sizeof v);
    return v;
  }
  static void storeIndex(unsigned char* slot, std::uint16_t v) noexcept { std::memcpy(slot, &v, sizeof v); }

  void format(ChunkHeader* chunk, std::uint16_t size) noexcept;
  // Takes a page from the PagePool and makes it the first available chunk.
  ChunkHeader* addPage();
  void moveToFull(ChunkHeader* chunk) noexcept {
    unlink(available_, chunk);
    link(full_, chunk);
  }
  void releasePages() noexcept;
  ChunkHeader* chunkOf(void* slot) const noexcept;
  static void link(ChunkHeader*& head, ChunkHeader* chunk) noexcept;
  static void unlink(ChunkHeader*& head, ChunkHeader* chunk) noexcept;

  ChunkHeader* available_ = nullptr;  // chunks with a free slot
  ChunkHeader* full_ = nullptr;       // chunks without one, kept to be freed at the end
  ChunkHeader* inline_ = nullptr;
  std::size_t pages_ = 0;
  std::uint16_t slotSize_ = 0;
  std::uint16_t firstIndex_ = 0;  // slots the header covers
};

}  // namespace qor
