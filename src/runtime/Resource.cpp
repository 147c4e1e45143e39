// Registration of the platform records and events every plug-in declares.
#include "runtime/Resource.h"

#include "binding/TypeRegistration.h"
#include "binding/TypeRegistry.h"

namespace qor {
namespace {
constexpr std::string_view kNameSpace = "vclient";
}  // namespace

void registerPlatformTypes(TypeRegistry& registry) {
  registerEnum<PluginManagerState>(registry, "PluginManagerState", {kNameSpace}, kNameSpace)
      .value("NotReady", PluginManagerState::NotReady)
      .value("PluginsInitialized", PluginManagerState::PluginsInitialized);
  registerStruct<PluginManagerResource>(registry, "PluginManagerResource", {kNameSpace}, kNameSpace)
      .field("state", &PluginManagerResource::state);

  registerEnum<PluginResourceEventType>(registry, "PluginResourceEventType", {kNameSpace},
                                        kNameSpace)
      .value("Create", PluginResourceEventType::Create)
      .value("Update", PluginResourceEventType::Update)
      .value("Delete", PluginResourceEventType::Delete);
  registerStruct<Resource>(registry, "PluginResourceEvent", {kNameSpace}, kNameSpace)
      .field("uri", &Resource::uri)
      .field("eventType", &Resource::eventType)
      .field("data", &Resource::data);

  registerStruct<PluginLcdsEvent>(registry, "PluginLcdsEvent", {kNameSpace}, kNameSpace)
      .field("clientId", &PluginLcdsEvent::clientId)
      .field("subtopic", &PluginLcdsEvent::subtopic)
      .field("typeName", &PluginLcdsEvent::typeName)
      .field("body", &PluginLcdsEvent::body);
  registerStruct<PluginLcdsResponse>(registry, "PluginLcdsResponse", {kNameSpace}, kNameSpace)
      .field("typeName", &PluginLcdsResponse::typeName)
      .field("body", &PluginLcdsResponse::body);
  registerStruct<PluginServiceProxyResponse>(registry, "PluginServiceProxyResponse", {kNameSpace},
                                             kNameSpace)
      .field("uuid", &PluginServiceProxyResponse::uuid)
      .field("serviceName", &PluginServiceProxyResponse::serviceName)
      .field("methodName", &PluginServiceProxyResponse::methodName)
      .field("payload", &PluginServiceProxyResponse::payload)
      .field("status", &PluginServiceProxyResponse::status)
      .field("error", &PluginServiceProxyResponse::error);

  registerEventOf<Resource>(registry, "OnJsonApiEvent", "Fired when a resource is changed.",
                            {kNameSpace}, kNameSpace);
  registerEventOf<PluginLcdsEvent>(registry, "OnLcdsEvent",
                                   "Fired when a message is received over the LCDS connection.",
                                   {kNameSpace}, kNameSpace);
  registerEventOf<PluginServiceProxyResponse>(
      registry, "OnServiceProxyUuidEvent",
      "Fired when a uuid-based service proxy message is received.", {kNameSpace}, kNameSpace);
  registerEventOf<PluginServiceProxyResponse>(
      registry, "OnServiceProxyMethodEvent",
      "Fired when a method-based service proxy message is received.", {kNameSpace}, kNameSpace);
  registerEventOf<PluginServiceProxyResponse>(
      registry, "OnServiceProxyAsyncEvent",
      "Fired when an async service proxy message is received.", {kNameSpace}, kNameSpace);
}

}  // namespace qor
