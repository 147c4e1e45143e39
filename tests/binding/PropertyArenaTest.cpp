// Tests of a tree's storage: the slot pools, the shared page pool and its
// block accounting, and the interned-string table.
#include "binding/PropertyArena.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "binding/BindingProperty.h"
#include "binding/PagePool.h"

namespace qor {
namespace {

TEST(InternedStringTest, Fnv1aVectors) {
  EXPECT_EQ(fnv1a32(""), 0x811c9dc5u);
  EXPECT_EQ(fnv1a32("a"), 0xe40c292cu);
  EXPECT_EQ(fnv1a32("foobar"), 0xbf9cf968u);
  EXPECT_EQ(fnv1a32("\xff"), (0x811c9dc5u ^ 0xffu) * 16777619u);  // bytes hash unsigned
}

// ---- Interned strings ----

class PropertyArenaStrings : public ::testing::Test {
 protected:
  PropertyArena arena;
};

TEST_F(PropertyArenaStrings, SameTextSharesOneCountedRecord) {
  InternedString* a = arena.intern("hello");
  InternedString* b = arena.intern(std::string("hello"));
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->count, 2u);
  EXPECT_EQ(a->hash, fnv1a32("hello"));
  EXPECT_EQ(arena.stringCount(), 1u);
  arena.release(a);
  EXPECT_EQ(arena.find("hello"), b);
  EXPECT_EQ(b->count, 1u);
  arena.release(b);
  EXPECT_EQ(arena.find("hello"), nullptr);
  EXPECT_EQ(arena.stringCount(), 0u);
}

TEST_F(PropertyArenaStrings, EmptyTextUsesTheUncountedSharedRecord) {
  InternedString* e = arena.intern("");
  EXPECT_TRUE(e->isEmptyRecord());
  EXPECT_EQ(e, InternedString::emptyRecord());
  EXPECT_EQ(e->count, 0u);
  EXPECT_EQ(arena.stringCount(), 0u);
  arena.release(e);
  arena.release(e);
  EXPECT_EQ(e->count, 0u);
}

TEST_F(PropertyArenaStrings, TableStartsAtEightBucketsAndKeepsLoadAtMostOne) {
  EXPECT_EQ(arena.bucketCount(), 8u);
  std::vector<InternedString*> records;
  for (int i = 0; i < 1000; ++i) {
    records.push_back(arena.intern("s" + std::to_string(i)));
    EXPECT_LE(arena.stringCount(), arena.bucketCount());
    EXPECT_EQ(arena.bucketCount() & (arena.bucketCount() - 1), 0u);
  }
  EXPECT_GE(arena.bucketCount(), 1024u);
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(arena.find("s" + std::to_string(i)), records[i]);
  for (int i = 0; i < 1000; i += 2) arena.release(records[i]);
  EXPECT_EQ(arena.stringCount(), 500u);
  for (int i = 1; i < 1000; i += 2) EXPECT_EQ(arena.find("s" + std::to_string(i))->view(), "s" + std::to_string(i));
  for (int i = 1; i < 1000; i += 2) arena.release(records[i]);
  EXPECT_EQ(arena.stringCount(), 0u);
}

// Short texts live in slots, long ones on the heap; both are found, counted,
// NUL-terminated and freed alike.
TEST_F(PropertyArenaStrings, ShortAndLongTextsBehaveAlike) {
  for (std::size_t length : {1u, 30u, 47u, 48u, 55u, 56u, 200u, 5000u}) {
    SCOPED_TRACE(length);
    const std::string text(length, 'x');
    InternedString* a = arena.intern(text);
    EXPECT_EQ(a->view(), text);
    EXPECT_EQ(a->data()[length], '\0');
    EXPECT_EQ(arena.intern(text), a);
    EXPECT_EQ(a->count, 2u);
    arena.release(a);
    arena.release(a);
    EXPECT_EQ(arena.find(text), nullptr);
  }
  EXPECT_EQ(arena.stringCount(), 0u);
  EXPECT_EQ(arena.pageCount(), 0u);
  // Records still held when the arena goes are freed with it (checked by
  // the sanitizer build's leak detector).
  arena.intern(std::string(300, 'y'));
  arena.intern("short");
}

// Records leave the table in orders that break probe runs in the middle, at
// their ends and across the wrap-around; every record still present must stay
// reachable and every released one must be gone.
TEST_F(PropertyArenaStrings, ReleaseInAnyOrderKeepsTheOthersFindable) {
  constexpr int kCount = 300;
  const std::vector<int> strides = {1, 7, 13, 101};
  for (int stride : strides) {
    SCOPED_TRACE(stride);
    PropertyArena local;
    std::vector<InternedString*> records;
    for (int i = 0; i < kCount; ++i) records.push_back(local.intern("k" + std::to_string(i)));
    std::vector<bool> gone(kCount, false);
    for (int n = 0, i = 0; n < kCount; ++n, i = (i + stride) % kCount) {
      while (gone[i]) i = (i + 1) % kCount;
      local.release(records[i]);
      gone[i] = true;
      if (n % 37 != 0) continue;
      for (int k = 0; k < kCount; ++k) {
        const InternedString* found = local.find("k" + std::to_string(k));
        if (gone[k])
          ASSERT_EQ(found, nullptr) << k;
        else
          ASSERT_EQ(found, records[k]) << k;
      }
    }
    EXPECT_EQ(local.stringCount(), 0u);
    // The emptied table takes the same texts again.
    EXPECT_EQ(local.intern("k5")->count, 1u);
  }
}

TEST_F(PropertyArenaStrings, TextsDifferingAfterANulAreDistinct) {
  InternedString* a = arena.intern(std::string_view("a\0b", 3));
  InternedString* b = arena.intern(std::string_view("a\0c", 3));
  EXPECT_NE(a, b);
  EXPECT_EQ(arena.stringCount(), 2u);
}

// Value-level interning: empty strings are never counted, equal texts share.
TEST(PropertyArenaValueStrings, TreeStringsAreInterned) {
  BindingProperty tree;
  tree.member("a").setString("");
  const std::size_t namesOnly = tree.arena()->stringCount();
  EXPECT_EQ(namesOnly, 1u);  // the member name "a"
  tree.member("b").setString("same");
  tree.member("c").setString("same");
  const InternedString* record = tree.arena()->find("same");
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->count, 2u);
  tree.member("b").reset();
  EXPECT_EQ(record->count, 1u);
  EXPECT_EQ(tree.get("c").asString(), "same");
  // A member name and a string value with the same text share too.
  tree.member("same");
  EXPECT_EQ(record->count, 2u);
  tree.reset();
  EXPECT_EQ(tree.arena()->stringCount(), 0u);
}

// ---- Slot pools ----

TEST(SizeClassPoolTest, SlotSizesRoundUpToTheirPool) {
  PropertyArena arena;
  for (std::size_t bytes = 1; bytes <= PropertyArena::kMaxSlot; ++bytes)
    EXPECT_EQ(arena.poolFor(bytes).slotSize(), (bytes + 3) / 4 * 4) << bytes;
  EXPECT_EQ(PropertyArena::slotBytes<std::uint64_t[3]>(), 24u);
  EXPECT_EQ(PropertyArena::slotBytes<char[5]>(), 8u);
}

// Slots come first from the arena's own chunk, then from pages; they never
// overlap, and every page goes back when its last slot is freed.
TEST(SizeClassPoolTest, SlotsAreDistinctAlignedAndPagesReturn) {
  for (std::size_t size : {4u, 8u, 12u, 24u, 40u, 64u, 72u}) {
    SCOPED_TRACE(size);
    PropertyArena arena;
    SizeClassPool& pool = arena.poolFor(size);
    std::vector<unsigned char*> slots;
    slots.push_back(static_cast<unsigned char*>(arena.allocate(size)));
    EXPECT_EQ(pool.pageCount(), 0u);  // served from the inline chunk
    for (int i = 0; i < 3000; ++i) slots.push_back(static_cast<unsigned char*>(arena.allocate(size)));
    EXPECT_GT(pool.pageCount(), 0u);
    for (auto* s : slots) {
      std::fill(s, s + size, static_cast<unsigned char>(size));
      if (size % 8 == 0) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(s) % 8, 0u);
      }
    }
    std::vector<unsigned char*> sorted = slots;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 1; i < sorted.size(); ++i) ASSERT_GE(sorted[i] - sorted[i - 1], static_cast<std::ptrdiff_t>(size));
    for (auto* s : slots)
      ASSERT_EQ(s[size - 1], static_cast<unsigned char>(size));  // no slot was overwritten by another
    // Free in an interleaved order: chunks move between full and available.
    for (std::size_t i = 0; i < slots.size(); i += 2) arena.deallocate(slots[i], size);
    for (std::size_t i = 0; i < slots.size(); i += 2) slots[i] = static_cast<unsigned char*>(arena.allocate(size));
    for (auto* s : slots) arena.deallocate(s, size);
    EXPECT_EQ(pool.pageCount(), 0u);
    EXPECT_EQ(arena.pageCount(), 0u);
  }
}

TEST(SizeClassPoolTest, FreedSlotIsReusedFirst) {
  PropertyArena arena;
  void* a = arena.allocate(16);
  void* b = arena.allocate(16);
  arena.deallocate(a, 16);
  EXPECT_EQ(arena.allocate(16), a);
  arena.deallocate(b, 16);
  arena.deallocate(a, 16);
}

// ---- Page pool ----

// Drains the free pages so that the next page comes from a fresh block.
class PagePoolTest : public ::testing::Test {
 protected:
  PagePool& pool = PagePool::instance();
  std::vector<void*> held;
  void TearDown() override {
    for (void* p : held) pool.releasePage(p);
  }
  void drain() {
    while (pool.stats().freePages) held.push_back(pool.acquirePage());
  }
};

TEST_F(PagePoolTest, BlockIsReleasedWhenAllSixteenPagesAreFree) {
  drain();
  const auto before = pool.stats();
  std::vector<void*> block;
  for (std::size_t i = 0; i < PagePool::kPagesPerBlock; ++i) {
    void* page = pool.acquirePage();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(page) % PagePool::kPageSize, 0u);
    block.push_back(page);
  }
  EXPECT_EQ(pool.stats().liveBlocks, before.liveBlocks + 1);
  EXPECT_EQ(pool.stats().freePages, 0u);
  EXPECT_EQ(std::set<void*>(block.begin(), block.end()).size(), PagePool::kPagesPerBlock);
  // Pages come in ascending order from one 64 KiB span.
  auto [lo, hi] = std::minmax_element(block.begin(), block.end());
  EXPECT_EQ(static_cast<char*>(*hi) - static_cast<char*>(*lo),
            static_cast<std::ptrdiff_t>(PagePool::kBlockSize - PagePool::kPageSize));

  for (std::size_t i = 0; i + 1 < block.size(); ++i) pool.releasePage(block[i]);
  EXPECT_EQ(pool.stats().liveBlocks, before.liveBlocks + 1);
  EXPECT_EQ(pool.stats().freePages, PagePool::kPagesPerBlock - 1);
  // A page handed out again keeps the block alive.
  void* again = pool.acquirePage();
  pool.releasePage(block.back());
  EXPECT_EQ(pool.stats().liveBlocks, before.liveBlocks + 1);
  pool.releasePage(again);
  EXPECT_EQ(pool.stats().liveBlocks, before.liveBlocks);
  EXPECT_EQ(pool.stats().freePages, 0u);
}

// A block goes back once the pages handed out from it are free again, even
// when the rest were never handed out; the free list stays intact.
TEST_F(PagePoolTest, BlockPartlyHandedOutIsReleased) {
  drain();
  const auto before = pool.stats();
  std::vector<void*> full;  // block A, handed out whole
  for (std::size_t i = 0; i < PagePool::kPagesPerBlock; ++i) full.push_back(pool.acquirePage());
  void* b1 = pool.acquirePage();  // block B: two pages out, fourteen never touched
  void* b2 = pool.acquirePage();
  std::memset(b1, 0xCD, PagePool::kPageSize);
  std::memset(b2, 0xCD, PagePool::kPageSize);
  EXPECT_EQ(pool.stats().liveBlocks, before.liveBlocks + 2);
  EXPECT_EQ(pool.stats().freePages, PagePool::kPagesPerBlock - 2);

  pool.releasePage(b1);
  void* again = pool.acquirePage();  // a freed page is handed out before untouched ones
  EXPECT_EQ(again, b1);
  for (void* p : full) pool.releasePage(p);
  EXPECT_EQ(pool.stats().liveBlocks, before.liveBlocks + 1);  // A went back whole
  pool.releasePage(again);
  pool.releasePage(b2);
  EXPECT_EQ(pool.stats().liveBlocks, before.liveBlocks);  // B went back with untouched pages
  EXPECT_EQ(pool.stats().freePages, 0u);

  // The pool still hands out and takes back whole blocks afterwards.
  std::vector<void*> next;
  for (std::size_t i = 0; i < PagePool::kPagesPerBlock + 1; ++i) next.push_back(pool.acquirePage());
  EXPECT_EQ(std::set<void*>(next.begin(), next.end()).size(), next.size());
  for (void* p : next) pool.releasePage(p);
  EXPECT_EQ(pool.stats().liveBlocks, before.liveBlocks);
  EXPECT_EQ(pool.stats().freePages, 0u);
}

// A large tree takes pages from the pool; destroying it gives every block back.
TEST_F(PagePoolTest, TreeDestructionReturnsItsBlocks) {
  drain();
  const auto before = pool.stats();
  {
    BindingProperty tree;
    for (int i = 0; i < 20000; ++i) {
      auto& item = tree.append();
      item.member("name").setString("item-" + std::to_string(i));
      item.member("kind").setEnum(i, nullptr);
    }
    EXPECT_GT(tree.arena()->pageCount(), PagePool::kPagesPerBlock);
    EXPECT_GT(pool.stats().liveBlocks, before.liveBlocks);
  }
  EXPECT_EQ(pool.stats().liveBlocks, before.liveBlocks);
  EXPECT_EQ(pool.stats().freePages, 0u);
}

// Resetting a tree node by node also frees every page (the arena stays).
TEST_F(PagePoolTest, ResetReturnsPagesSlotBySlot) {
  drain();
  const auto before = pool.stats();
  BindingProperty tree;
  for (int i = 0; i < 5000; ++i) tree.append().member("k").setBlob("xyz", 3);
  EXPECT_GT(tree.arena()->pageCount(), 0u);
  tree.reset();
  EXPECT_EQ(tree.arena()->pageCount(), 0u);
  EXPECT_EQ(pool.stats().liveBlocks, before.liveBlocks);
}

}  // namespace
}  // namespace qor
