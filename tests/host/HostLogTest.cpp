// Tests of the host's log: kept lines and listeners.
#include "host/HostLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qor::host {
namespace {

TEST(HostLog, ListenersGetTheKeptLinesThenEveryNewOneUntilRemoved) {
  HostLog log(nullptr, 2);
  log.write(CORE_LOG_OKAY, "host", "dropped: only two lines are kept");
  log.write(CORE_LOG_WARN, "host", "first kept\n");
  log.write(CORE_LOG_ERROR, "plug", "second kept");
  std::vector<std::string> seen;
  const int id = log.addListener([&](const nlohmann::json& entry) {
    seen.push_back(entry["level"].get<std::string>() + " " + entry["source"].get<std::string>() +
                   " " + entry["message"].get<std::string>());
  });
  log.write(CORE_LOG_ALWAYS, "plug", "new");
  log.removeListener(id);
  log.write(CORE_LOG_ALWAYS, "plug", "after removal");
  EXPECT_EQ(seen, (std::vector<std::string>{"WARN host first kept", "ERROR plug second kept",
                                            "ALWAYS plug new"}));
  const nlohmann::json recent = log.recent();
  ASSERT_EQ(recent.size(), 2u);
  EXPECT_EQ(recent[1]["message"], "after removal");
}

}  // namespace
}  // namespace qor::host
