// The API help records: a typed description of an API (its functions, types
// and events) that every registry carries as builtin structures, and
// buildApiHelp, which fills them from a registry. The plug-in itself never
// calls buildApiHelp: the records belong to every registry's builtin types,
// which the core and the host read from the API table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qor {

class TypeRegistry;
struct TypeRef;

enum class BindingHelpFormat : std::int32_t {
  Full = 1,     // native help format
  Epytext = 2,  // Python epytext format
};

// Names a type: a vector is {"vector", element}, a map {"map", value type},
// an enumeration or structure its registered name ("enum" / "struct" when it
// has no descriptor), every other type its type-code name.
struct BindingFullTypeIdentifier {
  std::string type;
  std::string elementType;
};

struct BindingFullArgumentHelp {
  std::string name;
  std::string description;
  BindingFullTypeIdentifier type;
  bool optional = false;
};

struct BindingFullFunctionHelp {
  std::string name;
  std::string nameSpace;
  std::vector<BindingFullArgumentHelp> arguments;
  BindingFullTypeIdentifier returns;
  std::string description;
  std::string help;
  bool threadSafe = false;
  std::string async;  // the result type's name for an asynchronous function
  std::vector<std::string> tags;
};

struct BindingFullEnumValueHelp {
  std::string name;
  std::string description;
  std::int32_t value = 0;
};

struct BindingFullFieldHelp {
  std::string name;
  std::string description;
  std::uint32_t offset = 0;
  BindingFullTypeIdentifier type;
  bool optional = false;
};

struct BindingFullTypeHelp {
  std::string name;
  std::string nameSpace;
  std::uint32_t size = 0;
  std::string description;
  std::vector<std::string> tags;
  std::vector<BindingFullFieldHelp> fields;
  std::vector<BindingFullEnumValueHelp> values;
};

struct BindingFullEventHelp {
  std::string name;
  std::string nameSpace;
  BindingFullTypeIdentifier type;
  std::string description;
  std::vector<std::string> tags;
};

struct BindingFullApiHelp {
  std::vector<BindingFullFunctionHelp> functions;
  std::vector<BindingFullTypeHelp> types;
  std::vector<BindingFullEventHelp> events;
};

BindingFullTypeIdentifier typeIdentifier(const TypeRef& type);

// The help records of everything the registry holds, each list sorted by name.
BindingFullApiHelp buildApiHelp(const TypeRegistry& registry);

// Registers "BindingHelpFormat" and the eight help records (part of
// registerBuiltinTypes).
void registerHelpTypes(TypeRegistry& registry);

}  // namespace qor
