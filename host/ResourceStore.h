// The resources that other plug-ins would publish, kept by URI for the host
// to answer requests with.
#pragma once

#include <nlohmann/json.hpp>

#include "PluginAbi.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace qor::host {

// Change types of a resource event.
enum class ResourceEventType : int {
  Create = CORE_RESOURCE_CREATE,
  Update = CORE_RESOURCE_UPDATE,
  Delete = CORE_RESOURCE_DELETE,
};

const char* resourceEventTypeName(ResourceEventType type);

// A thread-safe map from URI to JSON value. URIs are stored with a leading
// "/" (one is added when missing) and without a query part.
class ResourceStore {
 public:
  static std::string normalise(std::string_view uri);

  // Sets the value; Create when the URI was absent, else Update.
  ResourceEventType set(std::string_view uri, nlohmann::json value);
  // Removes the value; false when the URI was absent.
  bool erase(std::string_view uri);
  std::optional<nlohmann::json> get(std::string_view uri) const;
  // Every URI and value, in URI order.
  nlohmann::json snapshot() const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, nlohmann::json, std::less<>> values_;
};

}  // namespace qor::host
