// A scenario file: the resources the host starts with and the data of the
// local inventory service, with ${NAME} variables filled in.
#pragma once

#include <nlohmann/json.hpp>

#include <map>
#include <string>

namespace qor::host {

// {"resources": {"<uri>": <value>, ...}, "inventoryService": {...},
//  "scenes": [...]}
//
// A scene is a named series of resource changes that plays one moment of
// the platform's life (a log-in, a pushed notification ...), offered by the
// host's page as one action:
//   {"name": "...", "description": "...", "steps": [
//     {"method": "PUT", "uri": "/...", "body": <value>, "merge": false},
//     {"method": "DELETE", "uri": "/..."}]}
// A PUT step with "merge" true sets the members of its object body on the
// resource's current value instead of replacing it.
struct Scenario {
  nlohmann::json resources = nlohmann::json::object();
  nlohmann::json inventoryService = nlohmann::json::object();
  nlohmann::json scenes = nlohmann::json::array();
};

struct ScenarioResult {
  Scenario scenario;
  std::string error;  // empty on success
};

// Replaces every "${NAME}" inside the strings of `value` (keys included) by
// vars[NAME]; unknown names are left as they are.
nlohmann::json substituteVariables(const nlohmann::json& value,
                                   const std::map<std::string, std::string>& vars);

// Checks the shape of a "scenes" array; returns the first fault, or "".
std::string checkScenes(const nlohmann::json& scenes);

ScenarioResult parseScenario(const std::string& text,
                             const std::map<std::string, std::string>& vars);
ScenarioResult loadScenario(const std::string& path,
                            const std::map<std::string, std::string>& vars);

}  // namespace qor::host
