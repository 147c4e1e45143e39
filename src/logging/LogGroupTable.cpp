// The group-tag table. Each slot is one atomic word holding up to three
// characters, so readers never race with a thread that defines a new tag.
#include "logging/LogGroupTable.h"

#include <atomic>
#include <cstdint>

namespace qor {

namespace {

constexpr std::uint32_t pack(std::string_view s) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 3 && i < s.size(); ++i)
    v |= static_cast<std::uint32_t>(static_cast<unsigned char>(s[i])) << (8 * i);
  return v;
}

struct GroupTable {
  std::atomic<std::uint32_t> slots[kLogGroupSlots];
  std::atomic<std::uint32_t> defined;
  std::atomic_flag inserting;  // held while a new tag is entered
};

constexpr std::string_view kPredefined[] = {"DBG", "GEN", "XTR", "PRF",
                                            "MEM", "DSK", "NET", "TST"};
constexpr std::uint32_t kUndefined = pack("???");

GroupTable& table() {
  // Built once, never destroyed: logging may run during static destruction.
  static GroupTable* t = [] {
    auto* g = new GroupTable;
    for (std::size_t i = 0; i < kLogGroupSlots; ++i)
      g->slots[i].store(i < 8 ? pack(kPredefined[i]) : kUndefined, std::memory_order_relaxed);
    g->defined.store(8, std::memory_order_release);
    g->inserting.clear();
    return g;
  }();
  return *t;
}

std::string unpack(std::uint32_t v) {
  std::string s;
  for (int i = 0; i < 3; ++i) {
    char c = static_cast<char>((v >> (8 * i)) & 0xFFu);
    if (c == '\0') break;
    s.push_back(c);
  }
  return s;
}

int findSlot(const GroupTable& t, std::uint32_t key, std::uint32_t defined) {
  for (std::uint32_t i = 0; i < defined; ++i)
    if (t.slots[i].load(std::memory_order_relaxed) == key) return static_cast<int>(i);
  return -1;
}

}  // namespace

LogGroupMask logGroupMask(std::string_view tagName) {
  std::string_view name = tagName.substr(0, tagName.find('\0'));
  if (name.empty()) return 0;
  const std::uint32_t key = pack(name);
  GroupTable& t = table();
  int slot = findSlot(t, key, t.defined.load(std::memory_order_acquire));
  if (slot < 0) {
    while (t.inserting.test_and_set(std::memory_order_acquire)) {
    }
    // Another thread may have entered the same name meanwhile.
    std::uint32_t defined = t.defined.load(std::memory_order_relaxed);
    slot = findSlot(t, key, defined);
    if (slot < 0 && defined < kLogGroupSlots) {
      t.slots[defined].store(key, std::memory_order_relaxed);
      t.defined.store(defined + 1, std::memory_order_release);
      slot = static_cast<int>(defined);
    }
    t.inserting.clear(std::memory_order_release);
  }
  return slot < 0 ? 0 : LogGroupMask{1} << slot;
}

std::string logGroupTag(std::size_t slot) {
  if (slot >= kLogGroupSlots) return {};
  return unpack(table().slots[slot].load(std::memory_order_acquire));
}

std::size_t logGroupSlotsDefined() { return table().defined.load(std::memory_order_acquire); }

std::string formatLogGroups(LogGroupMask mask) {
  std::string out;
  GroupTable& t = table();
  for (std::size_t i = 0; i < kLogGroupSlots; ++i) {
    if ((mask >> i & 1u) == 0) continue;
    if (!out.empty()) out.push_back(';');
    out += unpack(t.slots[i].load(std::memory_order_acquire));
  }
  return out;
}

}  // namespace qor
