// Tests of scenario files: variables and the checks on scenes.
#include "host/Scenario.h"

#include <gtest/gtest.h>

namespace qor::host {
namespace {

using nlohmann::json;

TEST(Scenario, FillsVariablesInResourcesAndScenes) {
  const ScenarioResult result = parseScenario(R"({
    "resources": {"/cfg": {"BaseServiceUrl": "${URL}", "Other": "${UNKNOWN}"}},
    "scenes": [{"name": "On", "steps": [{"method": "PUT", "uri": "/cfg", "merge": true,
                                         "body": {"BaseServiceUrl": "${URL}/v2"}}]}]
  })", {{"URL", "http://127.0.0.1:9"}});
  ASSERT_EQ(result.error, "");
  EXPECT_EQ(result.scenario.resources["/cfg"],
            json({{"BaseServiceUrl", "http://127.0.0.1:9"}, {"Other", "${UNKNOWN}"}}));
  EXPECT_EQ(result.scenario.scenes[0]["steps"][0]["body"]["BaseServiceUrl"], "http://127.0.0.1:9/v2");
}

TEST(Scenario, RefusesMalformedScenes) {
  const struct {
    const char* scenes;
    const char* error;
  } rows[] = {
      {R"({})", "\"scenes\" must be an array"},
      {R"([{"steps": [{"method": "DELETE", "uri": "/a"}]}])", "scene 0 needs a \"name\""},
      {R"([{"name": "A", "steps": []}])", "scene 0 (A) needs a non-empty \"steps\" array"},
      {R"([{"name": "A", "steps": [{"method": "POST", "uri": "/a"}]}])",
       "scene 0 (A), step 0 needs \"method\" PUT or DELETE"},
      {R"([{"name": "A", "steps": [{"method": "DELETE", "uri": "a"}]}])",
       "scene 0 (A), step 0 needs a \"uri\" that starts with /"},
      {R"([{"name": "A", "steps": [{"method": "PUT", "uri": "/a"}]}])",
       "scene 0 (A), step 0 is a PUT without \"body\""},
      {R"([{"name": "A", "steps": [{"method": "PUT", "uri": "/a", "merge": true, "body": [1]}]}])",
       "scene 0 (A), step 0 merges a body that is not an object"},
      {R"([{"name": "A", "steps": [{"method": "DELETE", "uri": "/a"}]}, 5])", "scene 1 is not an object"},
  };
  for (const auto& row : rows) {
    const ScenarioResult result = parseScenario(std::string(R"({"scenes": )") + row.scenes + "}", {});
    EXPECT_EQ(result.error, row.error) << row.scenes;
  }
}

TEST(Scenario, TheExampleScenarioLoads) {
  const ScenarioResult result = loadScenario(QOR_EXAMPLE_SCENARIO, {{"SERVICE_URL", "http://x"}});
  ASSERT_EQ(result.error, "");
  EXPECT_EQ(result.scenario.resources["/qor-platform-config/v1/namespaces/Inventory"]["BaseServiceUrl"],
            "http://x");
  EXPECT_GE(result.scenario.scenes.size(), 5u);
}

}  // namespace
}  // namespace qor::host
