// Tests of the group-tag table: predefined tags, new tags, the full table.
#include "logging/LogGroupTable.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace qor {
namespace {

TEST(LogGroupTable, PredefinedTags) {
  const char* tags[] = {"DBG", "GEN", "XTR", "PRF", "MEM", "DSK", "NET", "TST"};
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(logGroupMask(tags[i]), LogGroupMask{1} << i) << tags[i];
    EXPECT_EQ(logGroupTag(i), tags[i]);
  }
  // Only the first three characters count.
  EXPECT_EQ(logGroupMask("NETWORK"), kLogGroupNet);
  EXPECT_EQ(logGroupMask(""), 0u);
  EXPECT_EQ(logGroupTag(63), "???");
  EXPECT_EQ(logGroupTag(64), "");
}

TEST(LogGroupTable, FormatsMasksInBitOrder) {
  EXPECT_EQ(formatLogGroups(0), "");
  EXPECT_EQ(formatLogGroups(kLogGroupNet | kLogGroupDbg), "DBG;NET");
  EXPECT_EQ(formatLogGroups(LogGroupMask{1} << 63), "???");
}

// Runs in a child process: it uses up the table's free slots.
TEST(LogGroupTableDeathTest, NewTagsTakeFreeSlotsUntilTheTableIsFull) {
  EXPECT_EXIT(
      {
        int failures = 0;
        auto check = [&](bool ok, const char* what) {
          if (!ok) {
            std::fprintf(stderr, "failed: %s\n", what);
            ++failures;
          }
        };
        check(logGroupSlotsDefined() == 8, "eight slots at start");
        check(logGroupMask("ABC") == LogGroupMask{1} << 8, "ABC takes bit 8");
        check(logGroupMask("ABC") == LogGroupMask{1} << 8, "ABC keeps bit 8");
        check(logGroupMask("ABCD") == LogGroupMask{1} << 8, "ABCD is ABC");
        check(logGroupMask("AB") == LogGroupMask{1} << 9, "AB is a tag of its own");
        check(logGroupTag(8) == "ABC" && logGroupTag(9) == "AB", "tags stored");
        check(formatLogGroups(kLogGroupDbg | LogGroupMask{1} << 8) == "DBG;ABC", "formatted");
        // Threads entering the same names agree on their bits.
        std::vector<std::thread> threads;
        std::vector<std::vector<LogGroupMask>> seen(4);
        for (int t = 0; t < 4; ++t)
          threads.emplace_back([&seen, t] {
            for (int i = 0; i < 20; ++i) {
              char name[16];
              std::snprintf(name, sizeof name, "T%02d", i);
              seen[t].push_back(logGroupMask(name));
            }
          });
        for (auto& th : threads) th.join();
        std::set<LogGroupMask> distinct(seen[0].begin(), seen[0].end());
        check(distinct.size() == 20, "twenty distinct bits");
        for (int t = 1; t < 4; ++t) check(seen[t] == seen[0], "same bits on every thread");
        check(logGroupSlotsDefined() == 30, "thirty slots defined");
        // Fill the rest; the 65th tag gets no bit.
        for (int i = 30; i < 64; ++i) {
          char name[16];
          std::snprintf(name, sizeof name, "F%02d", i);
          check(logGroupMask(name) == LogGroupMask{1} << i, "free slot taken in order");
        }
        check(logGroupMask("ZZZ") == 0, "full table gives mask 0");
        check(logGroupMask("ZZZ") == 0, "still 0");
        check(logGroupMask("ABC") == LogGroupMask{1} << 8, "known tags still found");
        std::exit(failures == 0 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace qor
