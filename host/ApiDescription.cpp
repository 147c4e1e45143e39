// API table reading for the host.
#include "host/ApiDescription.h"

#include <vector>

#include "protocol/ProtocolNames.h"
#include "protocol/RouteMatcher.h"

namespace qor::host {
namespace {

using nlohmann::json;

std::string text(const char* value) { return value == nullptr ? std::string() : value; }

json tagList(const char* const* tags, std::uint32_t count) {
  json list = json::array();
  for (std::uint32_t i = 0; tags != nullptr && i < count; ++i) list.push_back(text(tags[i]));
  return list;
}

json typeRef(std::uint32_t code, std::uint32_t element, const char* name) {
  json ref = {{"type", coreTypeName(code)}};
  if (element != 0) ref["element"] = coreTypeName(element);
  if (name != nullptr && *name != '\0') ref["typeName"] = name;
  return ref;
}

// The identifier type of a type that is not a container.
std::string identifierType(std::uint32_t code, const char* name) {
  if ((code == CORE_TYPE_ENUM || code == CORE_TYPE_STRUCT) && name != nullptr && *name != '\0') return name;
  return coreTypeName(code);
}

json typeIdentifier(std::uint32_t code, std::uint32_t element, const char* name) {
  if (code == CORE_TYPE_VECTOR || code == CORE_TYPE_MAP)
    return {{"type", coreTypeName(code)}, {"elementType", identifierType(element, name)}};
  return {{"type", identifierType(code, name)}, {"elementType", ""}};
}

json describeFunction(const ApiFunctionRecord& record) {
  const ApiFunctionExport& head = record.head;
  json function = {{"name", text(head.name)},
                   {"nameSpace", text(head.nameSpace)},
                   {"method", record.method == CORE_METHOD_OTHER ? text(record.methodName)
                                                 : std::string(coreMethodName(record.method))},
                   {"uri", text(record.uriTemplate)},
                   {"description", text(head.description)},
                   {"help", text(head.help)},
                   {"threadSafe", head.threadSafe != 0},
                   {"returns", typeRef(head.returnCode, head.returnElementCode, head.returnTypeName)},
                   {"tags", tagList(head.tags, head.tagCount)}};
  if (head.asyncTypeName != nullptr && *head.asyncTypeName != '\0')
    function["asyncType"] = head.asyncTypeName;
  json arguments = json::array();
  const ApiArgumentLocationEntry* location = record.locations;
  for (std::uint32_t i = 0; head.arguments != nullptr && i < head.argumentCount; ++i) {
    const ApiArgumentRecord& argument = head.arguments[i];
    json entry = typeRef(argument.typeCode, argument.elementCode, argument.typeName);
    entry["name"] = text(argument.name);
    entry["description"] = text(argument.description);
    entry["optional"] = argument.optional != 0;
    entry["location"] = coreLocationName(location != nullptr ? location->location : 0);
    if (location != nullptr) location = location->next;
    arguments.push_back(std::move(entry));
  }
  function["arguments"] = std::move(arguments);
  return function;
}

json describeType(const ApiTypeRecord& record) {
  json type = {{"name", text(record.name)},
               {"nameSpace", text(record.nameSpace)},
               {"size", static_cast<std::uint32_t>(record.size)},
               {"description", text(record.description)},
               {"tags", tagList(record.tags, record.tagCount)}};
  if (record.fields != nullptr) {
    json fields = json::array();
    for (std::uint32_t i = 0; i < record.count; ++i) {
      const ApiFieldRecord& field = record.fields[i];
      json entry = typeRef(field.typeCode, field.elementCode, field.typeName);
      entry["name"] = text(field.name);
      entry["description"] = text(field.description);
      entry["offset"] = static_cast<std::uint32_t>(field.offset);
      entry["optional"] = field.optional != 0;
      fields.push_back(std::move(entry));
    }
    type["fields"] = std::move(fields);
  } else {
    json values = json::array();
    for (std::uint32_t i = 0; record.enumerators != nullptr && i < record.count; ++i) {
      const ApiEnumeratorRecord& value = record.enumerators[i];
      values.push_back({{"name", text(value.name)},
                        {"value", static_cast<std::int32_t>(value.value)},
                        {"description", text(value.description)}});
    }
    type["enumerators"] = std::move(values);
  }
  return type;
}

}  // namespace

const ApiFunctionRecord* findFunction(const PluginApiTable* table, std::uint32_t method,
                                      std::string_view methodNameText, std::string_view path) {
  if (table == nullptr || table->functions == nullptr) return nullptr;
  const ApiFunctionRecord* withVariables = nullptr;
  for (std::uint32_t i = 0; i < table->functionCount; ++i) {
    const ApiFunctionRecord& record = table->functions[i];
    if (record.dispatch == nullptr || record.uriTemplate == nullptr) continue;
    if (record.method != 0) {
      if (record.method != method) continue;
      if (method == CORE_METHOD_OTHER && text(record.methodName) != methodNameText) continue;
    }
    if (!routeMatches(record.uriTemplate, path)) continue;
    if (std::string_view(record.uriTemplate).find('{') == std::string_view::npos) return &record;
    if (withVariables == nullptr) withVariables = &record;
  }
  return withVariables;
}

json describeApiTable(const PluginApiTable* table) {
  json description = {{"functions", json::array()}, {"types", json::array()},
                      {"events", json::array()}};
  if (table == nullptr) return description;
  for (std::uint32_t i = 0; table->functions != nullptr && i < table->functionCount; ++i)
    description["functions"].push_back(describeFunction(table->functions[i]));
  for (std::uint32_t i = 0; table->types != nullptr && i < table->typeCount; ++i)
    description["types"].push_back(describeType(table->types[i]));
  for (std::uint32_t i = 0; table->events != nullptr && i < table->eventCount; ++i) {
    const ApiEventRecord& event = table->events[i];
    description["events"].push_back({{"name", text(event.name)},
                                     {"nameSpace", text(event.nameSpace)},
                                     {"typeName", text(event.typeName)},
                                     {"description", text(event.description)},
                                     {"tags", tagList(event.tags, event.tagCount)}});
  }
  return description;
}

json describeApiHelp(const PluginApiTable* table) {
  json help = {{"functions", json::array()}, {"types", json::array()}, {"events", json::array()}};
  if (table == nullptr) return help;
  for (std::uint32_t i = 0; table->functions != nullptr && i < table->functionCount; ++i) {
    const ApiFunctionExport& head = table->functions[i].head;
    json arguments = json::array();
    for (std::uint32_t a = 0; head.arguments != nullptr && a < head.argumentCount; ++a) {
      const ApiArgumentRecord& argument = head.arguments[a];
      arguments.push_back(
          {{"name", text(argument.name)},
           {"description", text(argument.description)},
           {"type", typeIdentifier(argument.typeCode, argument.elementCode, argument.typeName)},
           {"optional", argument.optional != 0}});
    }
    help["functions"].push_back(
        {{"name", text(head.name)},
         {"nameSpace", text(head.nameSpace)},
         {"arguments", std::move(arguments)},
         {"returns", typeIdentifier(head.returnCode, head.returnElementCode, head.returnTypeName)},
         {"description", text(head.description)},
         {"help", text(head.help)},
         {"threadSafe", head.threadSafe != 0},
         {"async", text(head.asyncTypeName)},
         {"tags", tagList(head.tags, head.tagCount)}});
  }
  for (std::uint32_t i = 0; table->types != nullptr && i < table->typeCount; ++i) {
    const ApiTypeRecord& record = table->types[i];
    json fields = json::array();
    json values = json::array();
    if (record.fields != nullptr) {
      for (std::uint32_t f = 0; f < record.count; ++f) {
        const ApiFieldRecord& field = record.fields[f];
        fields.push_back({{"name", text(field.name)},
                          {"description", text(field.description)},
                          {"offset", static_cast<std::uint32_t>(field.offset)},
                          {"type", typeIdentifier(field.typeCode, field.elementCode, field.typeName)},
                          {"optional", field.optional != 0}});
      }
    } else {
      for (std::uint32_t v = 0; record.enumerators != nullptr && v < record.count; ++v) {
        const ApiEnumeratorRecord& value = record.enumerators[v];
        values.push_back({{"name", text(value.name)},
                          {"description", text(value.description)},
                          {"value", static_cast<std::int32_t>(value.value)}});
      }
    }
    help["types"].push_back({{"name", text(record.name)},
                             {"nameSpace", text(record.nameSpace)},
                             {"size", static_cast<std::uint32_t>(record.size)},
                             {"description", text(record.description)},
                             {"tags", tagList(record.tags, record.tagCount)},
                             {"fields", std::move(fields)},
                             {"values", std::move(values)}});
  }
  for (std::uint32_t i = 0; table->events != nullptr && i < table->eventCount; ++i) {
    const ApiEventRecord& event = table->events[i];
    help["events"].push_back({{"name", text(event.name)},
                              {"nameSpace", text(event.nameSpace)},
                              {"type", {{"type", text(event.typeName)}, {"elementType", ""}}},
                              {"description", text(event.description)},
                              {"tags", tagList(event.tags, event.tagCount)}});
  }
  return help;
}

}  // namespace qor::host
