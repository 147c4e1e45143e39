// Reading scenario files.
#include "host/Scenario.h"

#include <fstream>
#include <sstream>

namespace qor::host {
namespace {

std::string substituteText(const std::string& text,
                           const std::map<std::string, std::string>& vars) {
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t open = text.find("${", pos);
    if (open == std::string::npos) break;
    const std::size_t close = text.find('}', open + 2);
    if (close == std::string::npos) break;
    out.append(text, pos, open - pos);
    const auto it = vars.find(text.substr(open + 2, close - open - 2));
    if (it != vars.end()) {
      out += it->second;
    } else {
      out.append(text, open, close - open + 1);
    }
    pos = close + 1;
  }
  out.append(text, pos, std::string::npos);
  return out;
}

}  // namespace

nlohmann::json substituteVariables(const nlohmann::json& value,
                                   const std::map<std::string, std::string>& vars) {
  if (value.is_string()) return substituteText(value.get_ref<const std::string&>(), vars);
  if (value.is_array()) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& element : value) out.push_back(substituteVariables(element, vars));
    return out;
  }
  if (value.is_object()) {
    nlohmann::json out = nlohmann::json::object();
    for (const auto& [key, element] : value.items())
      out[substituteText(key, vars)] = substituteVariables(element, vars);
    return out;
  }
  return value;
}

ScenarioResult parseScenario(const std::string& text,
                             const std::map<std::string, std::string>& vars) {
  ScenarioResult result;
  const nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object()) {
    result.error = "the scenario is not a JSON object";
    return result;
  }
  const nlohmann::json filled = substituteVariables(parsed, vars);
  if (const auto it = filled.find("resources"); it != filled.end()) {
    if (!it->is_object()) {
      result.error = "\"resources\" must be an object of URI to value";
      return result;
    }
    result.scenario.resources = *it;
  }
  if (const auto it = filled.find("inventoryService"); it != filled.end()) {
    if (!it->is_object()) {
      result.error = "\"inventoryService\" must be an object";
      return result;
    }
    result.scenario.inventoryService = *it;
  }
  return result;
}

ScenarioResult loadScenario(const std::string& path,
                            const std::map<std::string, std::string>& vars) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ScenarioResult result;
    result.error = "cannot read " + path;
    return result;
  }
  std::stringstream text;
  text << in.rdbuf();
  ScenarioResult result = parseScenario(text.str(), vars);
  if (!result.error.empty()) result.error = path + ": " + result.error;
  return result;
}

}  // namespace qor::host
