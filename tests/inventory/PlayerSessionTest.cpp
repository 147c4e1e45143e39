// PlayerSession: which region answer is kept when reads are answered out of
// order, and when a login hands its identity to the caches.
#include "inventory/PlayerSession.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qor::testing {
namespace {

// One step of a region scenario: start a read (its ticket is remembered
// under `read`), answer read `read` with `location`, or delete.
struct RegionStep {
  enum Kind { Begin, Answer, Delete } kind;
  int read = 0;
  const char* location = "";
};

struct RegionRow {
  const char* name;
  std::vector<RegionStep> steps;
  const char* expected;
};

TEST(PlayerSession, RegionAnswersOvertakenByALaterReadOrDeleteAreNotStored) {
  using S = RegionStep;
  const RegionRow rows[] = {
      {"in order", {{S::Begin, 0}, {S::Answer, 0, "a"}, {S::Begin, 1}, {S::Answer, 1, "b"}}, "b"},
      {"late answer of the older read",
       {{S::Begin, 0}, {S::Begin, 1}, {S::Answer, 1, "b"}, {S::Answer, 0, "a"}}, "b"},
      {"older read answers first", {{S::Begin, 0}, {S::Begin, 1}, {S::Answer, 0, "a"}, {S::Answer, 1, "b"}}, "b"},
      {"answer after a delete", {{S::Begin, 0}, {S::Delete}, {S::Answer, 0, "a"}}, ""},
      {"read after a delete", {{S::Begin, 0}, {S::Answer, 0, "a"}, {S::Delete}, {S::Begin, 1}, {S::Answer, 1, "c"}}, "c"},
      {"only the older read answers", {{S::Begin, 0}, {S::Begin, 1}, {S::Answer, 0, "a"}}, "a"},
  };
  for (const RegionRow& row : rows) {
    PlayerSession session;
    std::uint64_t tickets[2] = {0, 0};
    for (const RegionStep& step : row.steps) {
      switch (step.kind) {
        case S::Begin: tickets[step.read] = session.beginRegionRead(); break;
        case S::Answer: session.storeLocation(tickets[step.read], step.location); break;
        case S::Delete: session.clearLocation(session.beginRegionRead()); break;
      }
    }
    EXPECT_EQ(session.fetchRequest().url.location, row.expected) << row.name;
  }
}

Api::LoginSession loginOf(const std::string& puuid, std::uint64_t accountId, std::uint64_t summonerId,
                          Api::LoginSessionStates state = Api::LoginSessionStates::Succeeded) {
  Api::LoginSession session;
  session.puuid = puuid;
  session.accountId = accountId;
  session.summonerId = summonerId;
  session.state = state;
  return session;
}

TEST(PlayerSession, ALoginHandsOverItsIdentityOnceWhenItCompletes) {
  PlayerSession session;
  EXPECT_FALSE(session.login(loginOf("p-1", 7, 0)));  // no summoner id: not logged in
  EXPECT_FALSE(session.login(loginOf("p-1", 7, 9, Api::LoginSessionStates::InProgress)));
  const auto first = session.login(loginOf("p-1", 7, 9));
  ASSERT_TRUE(first);
  EXPECT_EQ(*first, (PlayerIdentity{"p-1", 7}));
  // Still logged in: another account's event hands nothing over and changes no id.
  EXPECT_FALSE(session.login(loginOf("p-2", 8, 9)));
  EXPECT_EQ(session.player(), (PlayerIdentity{"p-1", 7}));
  session.logout();
  EXPECT_EQ(session.player(), PlayerIdentity{});
  const auto second = session.login(loginOf("p-2", 8, 9));
  ASSERT_TRUE(second);
  EXPECT_EQ(*second, (PlayerIdentity{"p-2", 8}));
}

}  // namespace
}  // namespace qor::testing
