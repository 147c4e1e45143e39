// ApiModel: a plug-in's API table read into plain C++ values, with every
// problem found on the way. The validator derives everything it calls and
// sends from this model: functions with their routes and argument types,
// structures with their fields, enumerations with their enumerators, events
// with their payload types.
#pragma once

#include "PluginAbi.h"
#include "protocol/ProtocolNames.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qor::validator {


struct TypeRefModel {
  std::uint32_t code = 0;
  std::uint32_t element = 0;
  std::string name;  // the registered enumeration or structure, or ""
  std::string describe() const;
};

struct ArgumentModel {
  std::string name;
  std::string description;
  TypeRefModel type;
  bool optional = false;
  std::uint32_t location = CORE_LOCATION_ANYWHERE;
};

// One variable of a route template: {name} (segment), {+name} (any rest),
// {#name} (fragment).
struct RouteVariable {
  enum Kind { kSegment = 1, kReserved = 2, kFragment = 3 } kind = kSegment;
  std::string name;
};

struct FunctionModel {
  const ApiFunctionRecord* record = nullptr;
  std::string name;
  std::string nameSpace;
  std::string description;
  std::string help;
  TypeRefModel returns;
  std::string asyncType;
  std::vector<std::string> tags;
  std::vector<ArgumentModel> arguments;
  ApiDispatchFn dispatch = nullptr;
  const void* callContext = nullptr;
  std::uint32_t method = 0;
  std::string methodName;
  std::string uriTemplate;
  std::vector<RouteVariable> variables;
  bool templateParses = false;

  // "GET /a/{id}"
  std::string routeText() const;
  const ArgumentModel* argument(std::string_view name) const;
};

struct FieldModel {
  std::string name;
  std::string description;
  std::uint32_t offset = 0;
  TypeRefModel type;
  bool optional = false;
};

struct EnumeratorModel {
  std::string name;
  std::string description;
  std::int32_t value = 0;
};

struct TypeModel {
  std::string name;
  std::string nameSpace;
  std::uint32_t size = 0;
  std::string description;
  std::vector<std::string> tags;
  bool isEnumeration = false;  // no field pointer: the enumerators describe it
  // Neither fields nor enumerators: an empty structure and an empty
  // enumeration are written alike, so either reading is accepted.
  bool isEmpty = false;
  std::vector<FieldModel> fields;
  std::vector<EnumeratorModel> enumerators;
};

struct EventModel {
  std::string name;
  std::string nameSpace;
  std::string typeName;
  std::string description;
  std::vector<std::string> tags;
};

// Parses a route template: it starts with "/", its braces pair up without
// nesting, every variable has a name. False with `problem` set otherwise.
bool parseRouteTemplate(std::string_view uriTemplate, std::vector<RouteVariable>& variables,
                        std::string* problem);

struct ApiModel {
  std::vector<FunctionModel> functions;
  std::vector<TypeModel> types;
  std::vector<EventModel> events;
  std::vector<std::string> problems;  // every malformed record, one line each

  // Reads the table; records it cannot read safely (null arrays with a
  // count, counts past any sensible size) are reported and skipped.
  static ApiModel read(const PluginApiTable* table);

  const TypeModel* findType(std::string_view name) const;
  // Indexes the types by name (read() does; a model made by hand calls it).
  void indexTypes();
  const EventModel* findEvent(std::string_view name) const;
  // A text of everything read, to compare the table over time.
  std::string fingerprint() const;

 private:
  void checkReferences();
  std::map<std::string, std::size_t, std::less<>> typeIndex_;
};

}  // namespace qor::validator
