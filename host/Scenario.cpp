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

std::string checkStep(const nlohmann::json& step) {
  if (!step.is_object()) return "is not an object";
  const auto method = step.find("method");
  if (method == step.end() || !method->is_string() ||
      (*method != "PUT" && *method != "DELETE"))
    return "needs \"method\" PUT or DELETE";
  const auto uri = step.find("uri");
  if (uri == step.end() || !uri->is_string() || uri->get_ref<const std::string&>().empty() ||
      uri->get_ref<const std::string&>().front() != '/')
    return "needs a \"uri\" that starts with /";
  const auto body = step.find("body");
  if (*method == "PUT" && body == step.end()) return "is a PUT without \"body\"";
  const auto merge = step.find("merge");
  if (merge != step.end()) {
    if (!merge->is_boolean()) return "has a \"merge\" that is not true or false";
    if (merge->get<bool>() && (body == step.end() || !body->is_object()))
      return "merges a body that is not an object";
  }
  return "";
}

}  // namespace

std::string checkScenes(const nlohmann::json& scenes) {
  if (!scenes.is_array()) return "\"scenes\" must be an array";
  for (std::size_t i = 0; i < scenes.size(); ++i) {
    const nlohmann::json& scene = scenes[i];
    const std::string where = "scene " + std::to_string(i);
    if (!scene.is_object()) return where + " is not an object";
    const auto name = scene.find("name");
    if (name == scene.end() || !name->is_string() || name->get_ref<const std::string&>().empty())
      return where + " needs a \"name\"";
    const auto steps = scene.find("steps");
    if (steps == scene.end() || !steps->is_array() || steps->empty())
      return where + " (" + name->get<std::string>() + ") needs a non-empty \"steps\" array";
    for (std::size_t j = 0; j < steps->size(); ++j) {
      const std::string fault = checkStep((*steps)[j]);
      if (!fault.empty())
        return where + " (" + name->get<std::string>() + "), step " + std::to_string(j) + " " + fault;
    }
  }
  return "";
}

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
  if (const auto it = filled.find("scenes"); it != filled.end()) {
    result.error = checkScenes(*it);
    if (!result.error.empty()) return result;
    result.scenario.scenes = *it;
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
