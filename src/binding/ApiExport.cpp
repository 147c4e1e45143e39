// Writing the packed API description records from registry snapshots.
#include "binding/ApiExport.h"

#include <cstring>
#include <unordered_map>

#include "binding/TypeRegistry.h"

namespace qor {
namespace {

const char* text(const std::string& s) { return s.empty() ? "" : s.c_str(); }

// The descriptors of the snapshot by native identity, for references made
// before their type was registered.
using DescribedTypes = std::unordered_map<const StaticType*, const TypeDescriptor*>;

// The name a type reference carries: the descriptor's for the codes that
// name one, else the empty string.
const char* typeName(const TypeRef& t, const DescribedTypes& described) {
  switch (t.code) {
    case BindingTypeCode::Vector:
    case BindingTypeCode::Enum:
    case BindingTypeCode::Struct:
    case BindingTypeCode::Map: {
      if (t.descriptor != nullptr) return text(t.descriptor->name);
      if (t.described == nullptr) return "";
      auto it = described.find(t.described);
      return it != described.end() ? text(it->second->name) : "";
    }
    default:
      return "";
  }
}

const TypeRef& effective(const TypeRef& type, const TypeRef& extra) {
  return extra.code != BindingTypeCode::None ? extra : type;
}

// Appends the tag pointers of one record; returns where they start.
const char* const* writeTags(std::vector<const char*>& tags, const std::vector<std::string>& from) {
  if (from.empty()) return nullptr;
  std::size_t start = tags.size();
  for (const std::string& t : from) tags.push_back(text(t));
  return tags.data() + start;
}

template <class R>
R* appendLinked(std::vector<R>& records, R*& previous) {
  R& r = records.emplace_back();
  std::memset(static_cast<void*>(&r), 0, sizeof r);
  if (previous != nullptr) previous->next = &r;
  previous = &r;
  return &r;
}

}  // namespace

void ApiExport::build(const std::vector<const FunctionDescriptor*>& functions,
                      const std::vector<const TypeDescriptor*>& types,
                      const std::vector<const EventDescriptor*>& events) {
  std::size_t argumentCount = 0, fieldCount = 0, enumeratorCount = 0, tagCount = 0;
  for (const FunctionDescriptor* f : functions) {
    argumentCount += f->arguments.size();
    tagCount += f->tags.size();
  }
  for (const TypeDescriptor* t : types) {
    fieldCount += t->fields.size();
    enumeratorCount += t->values.size();
    tagCount += t->tags.size();
  }
  for (const EventDescriptor* e : events) tagCount += e->tags.size();
  DescribedTypes described;
  for (const TypeDescriptor* t : types)
    if (t->staticType != nullptr) described.emplace(t->staticType, t);

  // Sized up front: records point at each other, so no array may reallocate.
  functions_.clear();
  arguments_.clear();
  types_.clear();
  fields_.clear();
  enumerators_.clear();
  events_.clear();
  tags_.clear();
  functions_.reserve(functions.size());
  arguments_.reserve(argumentCount);
  types_.reserve(types.size());
  fields_.reserve(fieldCount);
  enumerators_.reserve(enumeratorCount);
  events_.reserve(events.size());
  tags_.reserve(tagCount);

  ApiFunctionExport* previousFunction = nullptr;
  for (const FunctionDescriptor* f : functions) {
    const ApiArgumentRecord* firstArgument = nullptr;
    ApiArgumentRecord* previousArgument = nullptr;
    for (const ArgumentDescriptor& a : f->arguments) {
      ApiArgumentRecord* r = appendLinked(arguments_, previousArgument);
      if (firstArgument == nullptr) firstArgument = r;
      const TypeRef& type = effective(a.type, a.extraType);
      r->name = text(a.name);
      r->description = text(a.description);
      r->typeCode = static_cast<std::uint32_t>(type.code);
      r->elementCode = static_cast<std::uint32_t>(type.elementCode);
      r->typeName = typeName(type, described);
      r->optional = a.optional ? 1 : 0;
    }
    const char* const* tags = writeTags(tags_, f->tags);
    ApiFunctionExport* r = appendLinked(functions_, previousFunction);
    const TypeRef& returns = effective(f->returns, f->extraReturns);
    r->name = text(f->name);
    r->nameSpace = text(f->nameSpace);
    r->arguments = firstArgument;
    r->argumentCount = static_cast<std::uint32_t>(f->arguments.size());
    r->returnCode = static_cast<std::uint32_t>(returns.code);
    r->returnElementCode = static_cast<std::uint32_t>(returns.elementCode);
    r->returnTypeName = typeName(returns, described);
    r->description = text(f->description);
    r->help = text(f->help);
    r->threadSafe = f->threadSafe ? 1 : 0;
    r->asyncTypeName = f->async && f->returns.descriptor != nullptr
                           ? text(f->returns.descriptor->name)
                           : "";
    r->tags = tags;
    r->tagCount = static_cast<std::uint32_t>(f->tags.size());
  }

  ApiTypeRecord* previousType = nullptr;
  for (const TypeDescriptor* t : types) {
    const ApiFieldRecord* firstField = nullptr;
    ApiFieldRecord* previousField = nullptr;
    for (const FieldDescriptor& fd : t->fields) {
      ApiFieldRecord* r = appendLinked(fields_, previousField);
      if (firstField == nullptr) firstField = r;
      const TypeRef& type = effective(fd.type, fd.extraType);
      r->name = text(fd.name);
      r->description = text(fd.description);
      r->offset = fd.offset;
      r->typeCode = static_cast<std::uint32_t>(type.code);
      r->elementCode = static_cast<std::uint32_t>(type.elementCode);
      r->typeName = typeName(type, described);
      r->optional = fd.optional ? 1 : 0;
    }
    const ApiEnumeratorRecord* firstEnumerator = nullptr;
    ApiEnumeratorRecord* previousEnumerator = nullptr;
    for (const auto& [name, v] : t->values) {
      ApiEnumeratorRecord* r = appendLinked(enumerators_, previousEnumerator);
      if (firstEnumerator == nullptr) firstEnumerator = r;
      r->name = text(v.name);
      r->description = text(v.description);
      r->value = v.value;
    }
    const char* const* tags = writeTags(tags_, t->tags);
    ApiTypeRecord* r = appendLinked(types_, previousType);
    r->name = text(t->name);
    r->nameSpace = text(t->nameSpace);
    r->size = t->size;
    r->description = text(t->description);
    r->tags = tags;
    r->tagCount = static_cast<std::uint32_t>(t->tags.size());
    if (!t->fields.empty()) {
      r->fields = firstField;
      r->count = static_cast<std::uint32_t>(t->fields.size());
    } else {
      r->enumerators = firstEnumerator;
      r->count = static_cast<std::uint32_t>(t->values.size());
    }
  }

  ApiEventRecord* previousEvent = nullptr;
  for (const EventDescriptor* e : events) {
    const char* const* tags = writeTags(tags_, e->tags);
    ApiEventRecord* r = appendLinked(events_, previousEvent);
    r->name = text(e->name);
    r->nameSpace = text(e->nameSpace);
    const TypeDescriptor* payload = e->type;
    if (payload == nullptr && e->payload != nullptr) {
      auto it = described.find(e->payload);
      if (it != described.end()) payload = it->second;
    }
    r->typeName = payload != nullptr ? text(payload->name) : "";
    r->description = text(e->description);
    r->tags = tags;
    r->tagCount = static_cast<std::uint32_t>(e->tags.size());
  }
}

void ApiExport::build(const TypeRegistry& registry) {
  build(registry.snapshotFunctions(), registry.snapshotTypes(), registry.snapshotEvents());
}

}  // namespace qor
