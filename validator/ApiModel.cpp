// ApiModel: reading and checking a plug-in's API table.
#include "validator/ApiModel.h"

#include <algorithm>
#include <set>
#include <sstream>

namespace qor::validator {
namespace {

// More records than this in one array means the count is garbage.
constexpr std::uint32_t kMaxRecords = 100000;

class Reader {
 public:
  explicit Reader(std::vector<std::string>& problems) : problems_(problems) {}

  void problem(const std::string& where, const std::string& what) {
    problems_.push_back(where + ": " + what);
  }

  // A text field: null is malformed (empty texts point to an empty string).
  std::string text(const char* value, const std::string& where, const char* field) {
    if (value == nullptr) {
      problem(where, std::string(field) + " is a null pointer");
      return {};
    }
    return value;
  }

  std::vector<std::string> tags(const char* const* tags, std::uint32_t count, const std::string& where) {
    std::vector<std::string> out;
    if (count == 0) return out;
    if (tags == nullptr) {
      problem(where, std::to_string(count) + " tags at a null pointer");
      return out;
    }
    if (count > kMaxRecords) {
      problem(where, "tag count " + std::to_string(count));
      return out;
    }
    for (std::uint32_t i = 0; i < count; ++i) out.push_back(text(tags[i], where, "a tag"));
    return out;
  }

  TypeRefModel typeRef(std::uint32_t code, std::uint32_t element, const char* name,
                       const std::string& where, bool allowNone) {
    TypeRefModel ref;
    ref.code = code;
    ref.element = element;
    ref.name = text(name, where, "the type name");
    if (code > CORE_TYPE_MAP || (code == CORE_TYPE_NONE && !allowNone))
      problem(where, "type code " + std::to_string(code) + " is not a type");
    const bool container = code == CORE_TYPE_VECTOR || code == CORE_TYPE_MAP;
    if (container && (element == CORE_TYPE_NONE || element > CORE_TYPE_MAP))
      problem(where, std::string(coreTypeName(code)) + " with element code " + std::to_string(element));
    if (!container && element != 0)
      problem(where, std::string(coreTypeName(code)) + " with element code " + std::to_string(element) +
                         " (only vectors and maps have one)");
    return ref;
  }

  // Walks an array both by index and by its next pointers: both must agree.
  template <class Record, class Next>
  bool chain(const Record* first, std::uint32_t count, Next next, const std::string& what) {
    if (count == 0) {
      if (first != nullptr) {
        // Allowed: an empty array may still point somewhere; nothing to read.
      }
      return true;
    }
    if (first == nullptr) {
      problem(what, std::to_string(count) + " records at a null pointer");
      return false;
    }
    if (count > kMaxRecords) {
      problem(what, "record count " + std::to_string(count));
      return false;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
      const void* expected = i + 1 < count ? static_cast<const void*>(first + i + 1) : nullptr;
      const void* actual = next(first[i]);
      if (actual != expected) {
        problem(what + " " + std::to_string(i),
                actual == nullptr ? "the list ends here although the count is " + std::to_string(count)
                                  : "next does not point at the following record");
      }
    }
    return true;
  }

 private:
  std::vector<std::string>& problems_;
};

}  // namespace

std::string TypeRefModel::describe() const {
  std::string text = coreTypeName(code);
  if (code == CORE_TYPE_VECTOR || code == CORE_TYPE_MAP) text += std::string("<") + coreTypeName(element) + ">";
  if (!name.empty()) text += " " + name;
  return text;
}

std::string FunctionModel::routeText() const {
  std::string method = this->method == CORE_METHOD_OTHER ? methodName : coreMethodName(this->method);
  if (method.empty()) method = "*";
  return method + " " + uriTemplate;
}

const ArgumentModel* FunctionModel::argument(std::string_view wanted) const {
  for (const ArgumentModel& a : arguments)
    if (a.name == wanted) return &a;
  return nullptr;
}

bool parseRouteTemplate(std::string_view uriTemplate, std::vector<RouteVariable>& variables,
                        std::string* problem) {
  variables.clear();
  auto fail = [&](std::string what) {
    if (problem != nullptr) *problem = std::move(what);
    return false;
  };
  if (uriTemplate.empty() || uriTemplate.front() != '/') return fail("does not start with \"/\"");
  for (std::size_t i = 0; i < uriTemplate.size(); ++i) {
    const char c = uriTemplate[i];
    if (c == '}') return fail("a \"}\" at " + std::to_string(i) + " closes no variable");
    if (c != '{') continue;
    const std::size_t close = uriTemplate.find('}', i + 1);
    if (close == std::string_view::npos) return fail("the \"{\" at " + std::to_string(i) + " is never closed");
    std::string_view inside = uriTemplate.substr(i + 1, close - i - 1);
    if (inside.find('{') != std::string_view::npos) return fail("variables nest at " + std::to_string(i));
    RouteVariable variable;
    if (!inside.empty() && (inside.front() == '+' || inside.front() == '#')) {
      variable.kind = inside.front() == '+' ? RouteVariable::kReserved : RouteVariable::kFragment;
      inside.remove_prefix(1);
    }
    if (inside.empty()) return fail("a variable without a name at " + std::to_string(i));
    if (inside.find('/') != std::string_view::npos) return fail("a variable name holds \"/\" at " + std::to_string(i));
    variable.name = std::string(inside);
    for (const RouteVariable& earlier : variables)
      if (earlier.name == variable.name) return fail("the variable \"" + variable.name + "\" appears twice");
    variables.push_back(std::move(variable));
    i = close;
  }
  return true;
}

namespace {

// ---- Functions ----

void readRoute(const ApiFunctionRecord& record, FunctionModel& f, const std::string& where, Reader& r) {
  f.method = record.method;
  if (record.method > CORE_METHOD_OTHER) r.problem(where, "method code " + std::to_string(record.method));
  f.methodName = r.text(record.methodName, where, "the method name");
  if (record.method == CORE_METHOD_OTHER && f.methodName.empty()) r.problem(where, "method code 8 without a method name");
  if (record.routeFlag > 1) r.problem(where, "route flag " + std::to_string(record.routeFlag));
  f.uriTemplate = r.text(record.uriTemplate, where, "the URI template");
  std::string why;
  f.templateParses = record.uriTemplate != nullptr && parseRouteTemplate(f.uriTemplate, f.variables, &why);
  if (record.uriTemplate != nullptr && !f.templateParses)
    r.problem(where, "URI template \"" + f.uriTemplate + "\" " + why);
}

void readStringLists(const ApiFunctionRecord& record, const std::string& where, Reader& r) {
  if (record.stringListCount == 0) return;
  if (!r.chain(record.stringLists, record.stringListCount,
               [](const ApiStringListEntry& e) { return static_cast<const void*>(e.next); }, where + " string list"))
    return;
  for (std::uint32_t s = 0; s < record.stringListCount; ++s)
    r.tags(record.stringLists[s].strings, record.stringLists[s].count, where + " string list " + std::to_string(s));
}

// Arguments, each with the location entry beside it.
void readArguments(const ApiFunctionRecord& record, FunctionModel& f, const std::string& where, Reader& r) {
  const ApiFunctionExport& head = record.head;
  if (!r.chain(head.arguments, head.argumentCount,
               [](const ApiArgumentRecord& a) { return static_cast<const void*>(a.next); }, where + " argument record"))
    return;
  const ApiArgumentLocationEntry* location = record.locations;
  std::set<std::string> names;
  for (std::uint32_t a = 0; a < head.argumentCount; ++a) {
    const ApiArgumentRecord& arg = head.arguments[a];
    ArgumentModel m;
    const std::string argWhere = where + " argument " + std::to_string(a);
    m.name = r.text(arg.name, argWhere, "the name");
    if (m.name.empty()) r.problem(argWhere, "the name is empty");
    else if (!names.insert(m.name).second) r.problem(argWhere, "the name \"" + m.name + "\" appears twice");
    m.description = r.text(arg.description, argWhere, "the description");
    m.type = r.typeRef(arg.typeCode, arg.elementCode, arg.typeName, argWhere, false);
    if (arg.optional > 1) r.problem(argWhere, "optional byte " + std::to_string(arg.optional));
    m.optional = arg.optional != 0;
    if (location == nullptr) {
      r.problem(argWhere, "has no location entry");
    } else {
      m.location = location->location;
      if (!isCoreLocation(m.location)) r.problem(argWhere, "location " + std::to_string(m.location));
      location = location->next;
    }
    f.arguments.push_back(std::move(m));
  }
  if (location != nullptr) r.problem(where, "more location entries than arguments");
}

// A path argument that no template variable names is never bound, and a
// variable that no argument takes fails every call.
void checkPathArguments(const FunctionModel& f, const std::string& where, Reader& r) {
  for (const ArgumentModel& a : f.arguments) {
    if (a.location != CORE_LOCATION_PATH) continue;
    const bool named = std::any_of(f.variables.begin(), f.variables.end(),
                                   [&](const RouteVariable& v) { return v.name == a.name; });
    if (!named && f.templateParses) r.problem(where, "path argument \"" + a.name + "\" is not a variable of " + f.uriTemplate);
  }
  for (const RouteVariable& v : f.variables)
    if (f.argument(v.name) == nullptr) r.problem(where, "template variable \"" + v.name + "\" names no argument");
}

FunctionModel readFunction(const ApiFunctionRecord& record, std::uint32_t i, Reader& r) {
  const ApiFunctionExport& head = record.head;
  FunctionModel f;
  f.record = &record;
  std::string where = "function record " + std::to_string(i);
  f.name = r.text(head.name, where, "the name");
  if (!f.name.empty()) where = "function " + f.name;
  else r.problem(where, "the name is empty");
  f.nameSpace = r.text(head.nameSpace, where, "the namespace");
  f.description = r.text(head.description, where, "the description");
  f.help = r.text(head.help, where, "the help text");
  f.asyncType = r.text(head.asyncTypeName, where, "the async type name");
  f.tags = r.tags(head.tags, head.tagCount, where);
  if (head.zero != 0) r.problem(where, "the zero word after next holds " + std::to_string(head.zero));
  if (head.threadSafe > 1) r.problem(where, "threadSafe byte " + std::to_string(head.threadSafe));
  f.returns = r.typeRef(head.returnCode, head.returnElementCode, head.returnTypeName, where + " result", true);
  f.dispatch = record.dispatch;
  f.callContext = head.callContext;
  if (record.dispatch == nullptr) r.problem(where, "no dispatch entry");
  if (head.callContext == nullptr) r.problem(where, "no call context");
  readRoute(record, f, where, r);
  readStringLists(record, where, r);
  readArguments(record, f, where, r);
  checkPathArguments(f, where, r);
  return f;
}

void readFunctions(const PluginApiTable& table, ApiModel& model, Reader& r) {
  if (!r.chain(table.functions, table.functionCount, [](const ApiFunctionRecord& f) { return f.head.next; },
               "function record"))
    return;
  for (std::uint32_t i = 0; i < table.functionCount; ++i) model.functions.push_back(readFunction(table.functions[i], i, r));
}

// Two functions of one name, or of one route, cannot both be reached.
void checkFunctionsUnique(const ApiModel& model, Reader& r) {
  std::set<std::string> functionNames, routes;
  for (const FunctionModel& f : model.functions) {
    if (!f.name.empty() && !functionNames.insert(f.name).second) r.problem("function " + f.name, "the name appears twice");
    if (f.templateParses && !routes.insert(f.routeText()).second)
      r.problem("function " + f.name, "the route " + f.routeText() + " appears twice");
  }
}

// ---- Types ----

void readFields(const ApiTypeRecord& record, TypeModel& t, const std::string& where, Reader& r) {
  if (!r.chain(record.fields, record.count, [](const ApiFieldRecord& f) { return static_cast<const void*>(f.next); },
               where + " field"))
    return;
  std::set<std::string> names;
  for (std::uint32_t k = 0; k < record.count; ++k) {
    const ApiFieldRecord& field = record.fields[k];
    FieldModel m;
    const std::string fieldWhere = where + " field " + std::to_string(k);
    m.name = r.text(field.name, fieldWhere, "the name");
    if (m.name.empty()) r.problem(fieldWhere, "the name is empty");
    else if (!names.insert(m.name).second) r.problem(fieldWhere, "the name \"" + m.name + "\" appears twice");
    m.description = r.text(field.description, fieldWhere, "the description");
    m.offset = field.offset;
    if (record.size != 0 && field.offset >= record.size)
      r.problem(fieldWhere, "offset " + std::to_string(field.offset) + " lies outside the record's " +
                                std::to_string(record.size) + " bytes");
    m.type = r.typeRef(field.typeCode, field.elementCode, field.typeName, fieldWhere, false);
    if (field.optional > 1) r.problem(fieldWhere, "optional byte " + std::to_string(field.optional));
    m.optional = field.optional != 0;
    t.fields.push_back(std::move(m));
  }
}

void readEnumerators(const ApiTypeRecord& record, TypeModel& t, const std::string& where, Reader& r) {
  if (record.count == 0) return;
  if (!r.chain(record.enumerators, record.count,
               [](const ApiEnumeratorRecord& e) { return static_cast<const void*>(e.next); }, where + " enumerator"))
    return;
  std::set<std::string> names;
  for (std::uint32_t k = 0; k < record.count; ++k) {
    const ApiEnumeratorRecord& value = record.enumerators[k];
    EnumeratorModel m;
    const std::string valueWhere = where + " enumerator " + std::to_string(k);
    m.name = r.text(value.name, valueWhere, "the name");
    if (m.name.empty()) r.problem(valueWhere, "the name is empty");
    else if (!names.insert(m.name).second) r.problem(valueWhere, "the name \"" + m.name + "\" appears twice");
    m.description = r.text(value.description, valueWhere, "the description");
    m.value = value.value;
    t.enumerators.push_back(std::move(m));
  }
}

TypeModel readType(const ApiTypeRecord& record, std::uint32_t i, Reader& r) {
  TypeModel t;
  std::string where = "type record " + std::to_string(i);
  t.name = r.text(record.name, where, "the name");
  if (!t.name.empty()) where = "type " + t.name;
  else r.problem(where, "the name is empty");
  t.nameSpace = r.text(record.nameSpace, where, "the namespace");
  t.description = r.text(record.description, where, "the description");
  t.tags = r.tags(record.tags, record.tagCount, where);
  t.size = record.size;
  if (record.fields != nullptr && record.enumerators != nullptr) r.problem(where, "has both fields and enumerators");
  t.isEnumeration = record.fields == nullptr;
  t.isEmpty = record.fields == nullptr && record.enumerators == nullptr && record.count == 0;
  if (t.isEnumeration) readEnumerators(record, t, where, r);
  else readFields(record, t, where, r);
  return t;
}

void readTypes(const PluginApiTable& table, ApiModel& model, Reader& r) {
  if (!r.chain(table.types, table.typeCount, [](const ApiTypeRecord& t) { return static_cast<const void*>(t.next); },
               "type record"))
    return;
  for (std::uint32_t i = 0; i < table.typeCount; ++i) model.types.push_back(readType(table.types[i], i, r));
}

// ---- Events ----

EventModel readEvent(const ApiEventRecord& record, std::uint32_t i, std::set<std::string>& names, Reader& r) {
  EventModel e;
  std::string where = "event record " + std::to_string(i);
  e.name = r.text(record.name, where, "the name");
  if (!e.name.empty()) where = "event " + e.name;
  else r.problem(where, "the name is empty");
  if (!e.name.empty() && !names.insert(e.name).second) r.problem(where, "the name appears twice");
  e.nameSpace = r.text(record.nameSpace, where, "the namespace");
  e.typeName = r.text(record.typeName, where, "the payload type name");
  e.description = r.text(record.description, where, "the description");
  e.tags = r.tags(record.tags, record.tagCount, where);
  return e;
}

void readEvents(const PluginApiTable& table, ApiModel& model, Reader& r) {
  if (!r.chain(table.events, table.eventCount, [](const ApiEventRecord& e) { return static_cast<const void*>(e.next); },
               "event record"))
    return;
  std::set<std::string> names;
  for (std::uint32_t i = 0; i < table.eventCount; ++i) model.events.push_back(readEvent(table.events[i], i, names, r));
}

}  // namespace

ApiModel ApiModel::read(const PluginApiTable* table) {
  ApiModel model;
  Reader r(model.problems);
  if (table == nullptr) {
    r.problem("API table", "null pointer");
    return model;
  }
  readFunctions(*table, model, r);
  checkFunctionsUnique(model, r);
  readTypes(*table, model, r);
  readEvents(*table, model, r);
  model.indexTypes();
  model.checkReferences();
  return model;
}

void ApiModel::indexTypes() {
  for (std::size_t i = 0; i < types.size(); ++i) {
    if (types[i].name.empty()) continue;
    if (!typeIndex_.emplace(types[i].name, i).second)
      problems.push_back("type " + types[i].name + ": the name appears twice");
  }
}

const TypeModel* ApiModel::findType(std::string_view name) const {
  auto it = typeIndex_.find(name);
  return it == typeIndex_.end() ? nullptr : &types[it->second];
}

const EventModel* ApiModel::findEvent(std::string_view name) const {
  for (const EventModel& e : events)
    if (e.name == name) return &e;
  return nullptr;
}

void ApiModel::checkReferences() {
  // A named enumeration or structure must be in the table, and of that kind.
  auto check = [&](const TypeRefModel& ref, const std::string& where) {
    if (ref.name.empty()) return;
    const std::uint32_t named = ref.code == CORE_TYPE_VECTOR || ref.code == CORE_TYPE_MAP ? ref.element : ref.code;
    if (named != CORE_TYPE_ENUM && named != CORE_TYPE_STRUCT) return;
    const TypeModel* type = findType(ref.name);
    if (type == nullptr) {
      problems.push_back(where + ": the type \"" + ref.name + "\" is not in the API table");
    } else if (!type->isEmpty && (named == CORE_TYPE_ENUM) != type->isEnumeration) {
      problems.push_back(where + ": \"" + ref.name + "\" is described as " +
                         (type->isEnumeration ? "an enumeration" : "a structure") + " but referred to as " +
                         coreTypeName(named));
    }
  };
  for (const FunctionModel& f : functions) {
    check(f.returns, "function " + f.name + " result");
    for (const ArgumentModel& a : f.arguments) check(a.type, "function " + f.name + " argument " + a.name);
  }
  for (const TypeModel& t : types)
    for (const FieldModel& field : t.fields) check(field.type, "type " + t.name + " field " + field.name);
  for (const EventModel& e : events) {
    if (e.typeName.empty()) continue;
    bool builtin = false;
    for (std::uint32_t code = CORE_TYPE_BOOL; code <= CORE_TYPE_MAP; ++code) builtin |= e.typeName == coreTypeName(code);
    if (!builtin && findType(e.typeName) == nullptr)
      problems.push_back("event " + e.name + ": the payload type \"" + e.typeName + "\" is not in the API table");
  }
}

std::string ApiModel::fingerprint() const {
  std::ostringstream out;
  for (const FunctionModel& f : functions) {
    out << "F " << f.name << '|' << f.nameSpace << '|' << f.routeText() << '|' << f.returns.describe() << '|'
        << f.description << '|' << f.help << '|' << f.asyncType << '|' << static_cast<const void*>(f.callContext)
        << '|' << reinterpret_cast<const void*>(f.dispatch);
    for (const ArgumentModel& a : f.arguments)
      out << " A " << a.name << ':' << a.type.describe() << ':' << a.optional << ':' << a.location;
    for (const std::string& tag : f.tags) out << " T " << tag;
    out << '\n';
  }
  for (const TypeModel& t : types) {
    out << "Y " << t.name << '|' << t.nameSpace << '|' << t.size << '|' << t.description;
    for (const FieldModel& f : t.fields) out << " F " << f.name << ':' << f.offset << ':' << f.type.describe();
    for (const EnumeratorModel& e : t.enumerators) out << " E " << e.name << '=' << e.value;
    for (const std::string& tag : t.tags) out << " T " << tag;
    out << '\n';
  }
  for (const EventModel& e : events) {
    out << "E " << e.name << '|' << e.nameSpace << '|' << e.typeName << '|' << e.description;
    for (const std::string& tag : e.tags) out << " T " << tag;
    out << '\n';
  }
  return out.str();
}

}  // namespace qor::validator
