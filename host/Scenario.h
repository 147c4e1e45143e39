// A scenario file: the resources the host starts with and the data of the
// local inventory service, with ${NAME} variables filled in.
#pragma once

#include <nlohmann/json.hpp>

#include <map>
#include <string>

namespace qor::host {

// {"resources": {"<uri>": <value>, ...}, "inventoryService": {...}}
struct Scenario {
  nlohmann::json resources = nlohmann::json::object();
  nlohmann::json inventoryService = nlohmann::json::object();
};

struct ScenarioResult {
  Scenario scenario;
  std::string error;  // empty on success
};

// Replaces every "${NAME}" inside the strings of `value` (keys included) by
// vars[NAME]; unknown names are left as they are.
nlohmann::json substituteVariables(const nlohmann::json& value,
                                   const std::map<std::string, std::string>& vars);

ScenarioResult parseScenario(const std::string& text,
                             const std::map<std::string, std::string>& vars);
ScenarioResult loadScenario(const std::string& path,
                            const std::map<std::string, std::string>& vars);

}  // namespace qor::host
