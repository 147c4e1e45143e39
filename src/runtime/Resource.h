// Resource: the change record of a resource published through the core, and
// the other platform records every plug-in declares in the "vclient"
// namespace (plug-in manager state, LCDS and service-proxy messages).
#pragma once

#include "PluginAbi.h"
#include "binding/BindingProperty.h"

#include <cstdint>
#include <string>

namespace qor {

class TypeRegistry;

enum class PluginResourceEventType : std::int32_t {
  Create = CORE_RESOURCE_CREATE,
  Update = CORE_RESOURCE_UPDATE,
  Delete = CORE_RESOURCE_DELETE,
};
using ResourceEventType = PluginResourceEventType;

// Registered as "PluginResourceEvent".
struct Resource {
  std::string uri;
  PluginResourceEventType eventType = PluginResourceEventType::Create;
  BindingProperty data;  // meaningless for Delete
};

enum class PluginManagerState : std::int32_t { NotReady = 0, PluginsInitialized = 1 };

struct PluginManagerResource {
  PluginManagerState state = PluginManagerState::NotReady;
};

struct PluginLcdsEvent {
  std::string clientId;
  std::string subtopic;
  std::string typeName;
  BindingProperty body;
};

struct PluginLcdsResponse {
  std::string typeName;
  BindingProperty body;
};

struct PluginServiceProxyResponse {
  std::string uuid;
  std::string serviceName;
  std::string methodName;
  std::string payload;
  std::string status;
  std::string error;
};

// Registers the "vclient" types above and the five platform events
// ("OnJsonApiEvent", "OnLcdsEvent" and the three service-proxy events).
// Names registered before keep their first description.
void registerPlatformTypes(TypeRegistry& registry);

}  // namespace qor
