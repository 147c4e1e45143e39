// The API help records: their registration as builtin structures and
// buildApiHelp, which describes a registry's contents with them.
#include "binding/BindingHelp.h"

#include <algorithm>

#include "binding/BuiltinTypes.h"
#include "binding/TypeRegistration.h"

namespace qor {
namespace {

// The identifier `type` of one code with its descriptor.
std::string identifierName(BindingTypeCode code, const TypeDescriptor* descriptor) {
  if (code == BindingTypeCode::Enum || code == BindingTypeCode::Struct) {
    if (descriptor != nullptr) return descriptor->name;
  }
  return typeCodeName(code);
}

template <class T>
void sortByName(std::vector<T>& items) {
  std::sort(items.begin(), items.end(), [](const T& a, const T& b) { return a.name < b.name; });
}

}  // namespace

BindingFullTypeIdentifier typeIdentifier(const TypeRef& type) {
  if (type.code == BindingTypeCode::Vector || type.code == BindingTypeCode::Map) {
    return {typeCodeName(type.code), identifierName(type.elementCode, type.descriptor)};
  }
  return {identifierName(type.code, type.descriptor), {}};
}

BindingFullApiHelp buildApiHelp(const TypeRegistry& registry) {
  BindingFullApiHelp help;
  for (const FunctionDescriptor* f : registry.snapshotFunctions()) {
    BindingFullFunctionHelp& h = help.functions.emplace_back();
    h.name = f->name;
    h.nameSpace = f->nameSpace;
    for (const ArgumentDescriptor& a : f->arguments) {
      h.arguments.push_back({a.name, a.description, typeIdentifier(a.type), a.optional});
    }
    h.returns = typeIdentifier(f->returns);
    h.description = f->description;
    h.help = f->help;
    h.threadSafe = f->threadSafe;
    if (f->async) h.async = h.returns.type;
    h.tags = f->tags;
  }
  for (const TypeDescriptor* t : registry.snapshotTypes()) {
    BindingFullTypeHelp& h = help.types.emplace_back();
    h.name = t->name;
    h.nameSpace = t->nameSpace;
    h.size = t->size;
    h.description = t->description;
    h.tags = t->tags;
    for (const FieldDescriptor& f : t->fields) {
      h.fields.push_back({f.name, f.description, f.offset, typeIdentifier(f.type), f.optional});
    }
    if (t->fields.empty()) {
      for (const auto& [name, v] : t->values) h.values.push_back({v.name, v.description, v.value});
    }
  }
  for (const EventDescriptor* e : registry.snapshotEvents()) {
    BindingFullEventHelp& h = help.events.emplace_back();
    h.name = e->name;
    h.nameSpace = e->nameSpace;
    h.type = {e->type != nullptr ? e->type->name : std::string("struct"), {}};
    h.description = e->description;
    h.tags = e->tags;
  }
  sortByName(help.functions);
  sortByName(help.types);
  sortByName(help.events);
  return help;
}

void registerHelpTypes(TypeRegistry& registry) {
  const std::initializer_list<std::string_view> tags = {kBuiltinNameSpace, "help", "", ""};
  const std::string_view ns = kBuiltinNameSpace;

  registerStruct<BindingFullTypeIdentifier>(registry, "BindingFullTypeIdentifier", tags, ns)
      .description("Describes the type of a value.")
      .field("type", &BindingFullTypeIdentifier::type)
      .field("elementType", &BindingFullTypeIdentifier::elementType);

  registerStruct<BindingFullArgumentHelp>(registry, "BindingFullArgumentHelp", tags, ns)
      .description("Describes a function parameter.")
      .field("name", &BindingFullArgumentHelp::name)
      .field("description", &BindingFullArgumentHelp::description)
      .field("type", &BindingFullArgumentHelp::type)
      .field("optional", &BindingFullArgumentHelp::optional);

  registerStruct<BindingFullFunctionHelp>(registry, "BindingFullFunctionHelp", tags, ns)
      .description("Describes a function.")
      .field("name", &BindingFullFunctionHelp::name)
      .field("nameSpace", &BindingFullFunctionHelp::nameSpace)
      .field("arguments", &BindingFullFunctionHelp::arguments)
      .field("returns", &BindingFullFunctionHelp::returns)
      .field("description", &BindingFullFunctionHelp::description)
      .field("help", &BindingFullFunctionHelp::help)
      .field("threadSafe", &BindingFullFunctionHelp::threadSafe)
      .field("async", &BindingFullFunctionHelp::async)
      .field("tags", &BindingFullFunctionHelp::tags);

  registerStruct<BindingFullEnumValueHelp>(registry, "BindingFullEnumValueHelp", tags, ns)
      .description("Describes an enumerator.")
      .field("name", &BindingFullEnumValueHelp::name)
      .field("description", &BindingFullEnumValueHelp::description)
      .field("value", &BindingFullEnumValueHelp::value);

  registerStruct<BindingFullFieldHelp>(registry, "BindingFullFieldHelp", tags, ns)
      .description("Describes a member of a struct.")
      .field("name", &BindingFullFieldHelp::name)
      .field("description", &BindingFullFieldHelp::description)
      .field("offset", &BindingFullFieldHelp::offset)
      .field("type", &BindingFullFieldHelp::type)
      .field("optional", &BindingFullFieldHelp::optional);

  registerStruct<BindingFullTypeHelp>(registry, "BindingFullTypeHelp", tags, ns)
      .description("Describes a struct or enum type.")
      .field("name", &BindingFullTypeHelp::name)
      .field("nameSpace", &BindingFullTypeHelp::nameSpace)
      .field("size", &BindingFullTypeHelp::size)
      .field("description", &BindingFullTypeHelp::description)
      .field("tags", &BindingFullTypeHelp::tags)
      .field("fields", &BindingFullTypeHelp::fields)
      .field("values", &BindingFullTypeHelp::values);

  registerStruct<BindingFullEventHelp>(registry, "BindingFullEventHelp", tags, ns)
      .description("Describes an event.")
      .field("name", &BindingFullEventHelp::name)
      .field("nameSpace", &BindingFullEventHelp::nameSpace)
      .field("type", &BindingFullEventHelp::type)
      .field("description", &BindingFullEventHelp::description)
      .field("tags", &BindingFullEventHelp::tags);

  registerStruct<BindingFullApiHelp>(registry, "BindingFullApiHelp", tags, ns)
      .description("Describes the exposed native API.")
      .field("functions", &BindingFullApiHelp::functions)
      .field("types", &BindingFullApiHelp::types)
      .field("events", &BindingFullApiHelp::events);

  registerEnum<BindingHelpFormat>(registry, "BindingHelpFormat", tags, ns)
      .description("Help format for binding functions and types.")
      .value("Full", BindingHelpFormat::Full, "Native help format")
      .value("Epytext", BindingHelpFormat::Epytext, "Python epytext format");
}

}  // namespace qor
