// TypeRegistry, its builders and the descriptor helpers. The registry mutex
// guards only the maps and the generation counter; descriptors are filled and
// read without it.
#include "binding/TypeRegistry.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "binding/BuiltinTypes.h"
#include "protocol/ProtocolNames.h"

namespace qor {

const char* typeCodeName(BindingTypeCode code) noexcept {
  const auto raw = static_cast<std::uint32_t>(code);
  return raw == CORE_TYPE_NONE || raw > CORE_TYPE_MAP ? "" : coreTypeName(raw);
}

std::uint32_t nameHash(std::string_view name) noexcept { return fnv1a32(name); }

std::size_t TypeRegistry::IdHash::operator()(std::uint32_t id) const noexcept {
  // The id's four bytes, low byte first.
  const char bytes[4] = {static_cast<char>(id), static_cast<char>(id >> 8),
                         static_cast<char>(id >> 16), static_cast<char>(id >> 24)};
  return fnv1a32(std::string_view(bytes, sizeof bytes));
}

// ---- Descriptors ----------------------------------------------------------

const EnumValueDescriptor* TypeDescriptor::findValue(std::int32_t value) const noexcept {
  for (const auto& [name, v] : values) {
    if (v.value == value) return &v;
  }
  return nullptr;
}

const EnumValueDescriptor* TypeDescriptor::findValue(std::string_view name) const noexcept {
  auto it = values.find(std::string(name));
  return it == values.end() ? nullptr : &it->second;
}

const FieldDescriptor* TypeDescriptor::findField(std::string_view name) const noexcept {
  for (const FieldDescriptor& f : fields) {
    if (f.name == name) return &f;
  }
  return nullptr;
}

// ---- Builders ---------------------------------------------------------------

TypeBuilder& TypeBuilder::addField(std::string_view name, std::string_view description,
                                   std::uint32_t offset, const StaticType& staticType, TypeRef type,
                                   TypeRef extraType, std::uint32_t flags,
                                   std::unique_ptr<FieldConverter> converter, bool optional) {
  if (alreadyRegistered_) return *this;
  if (const TypeDescriptor* d = registry_->findType(staticType); d != nullptr && d->isEnum) {
    type = TypeRef{BindingTypeCode::Enum, BindingTypeCode::None, d};
  }
  FieldDescriptor& f = descriptor_->fields.emplace_back();
  f.name = std::string(name);
  f.nameHash = nameHash(name);
  f.description = std::string(description);
  f.staticType = &staticType;
  f.offset = offset;
  f.type = type;
  f.extraType = extraType;
  f.flags = flags;
  f.converter = std::move(converter);
  f.owner = descriptor_;
  f.optional = optional;
  // Keep the name-ordered index that lets the structure rule walk a
  // structure's (name-ordered) members alongside the fields.
  auto& order = descriptor_->fieldsByName;
  const auto& fields = descriptor_->fields;
  auto at = std::upper_bound(order.begin(), order.end(), f.name,
                             [&fields](const std::string& n, std::uint32_t i) { return n < fields[i].name; });
  order.insert(at, static_cast<std::uint32_t>(fields.size() - 1));
  ++fieldIndex_;
  return *this;
}

TypeBuilder& TypeBuilder::addValue(std::string_view name, std::int32_t value,
                                   std::string_view description) {
  if (alreadyRegistered_) return *this;
  EnumValueDescriptor& v = descriptor_->values[std::string(name)];
  v.value = value;
  v.name = std::string(name);
  v.description = std::string(description);
  v.owner = descriptor_;
  return *this;
}

TypeBuilder& TypeBuilder::setDescription(std::string_view text) {
  if (!alreadyRegistered_) descriptor_->description = std::string(text);
  return *this;
}

TypeBuilder& TypeBuilder::setNameSpace(std::string_view text) {
  if (!alreadyRegistered_) descriptor_->nameSpace = std::string(text);
  return *this;
}

TypeBuilder& TypeBuilder::addTag(std::string_view text) {
  if (!alreadyRegistered_ && !text.empty()) descriptor_->tags.emplace_back(text);
  return *this;
}

FunctionBuilder& FunctionBuilder::addArgument(std::string_view name, std::string_view description,
                                              TypeRef extraType, std::uint32_t location) {
  if (alreadyRegistered_) return *this;
  auto& args = descriptor_->arguments;
  if (argumentIndex_ >= args.size()) args.resize(argumentIndex_ + 1);
  ArgumentDescriptor& a = args[argumentIndex_++];
  a.name = std::string(name);
  a.nameHash = nameHash(name);
  a.description = std::string(description);
  if (extraType.code != BindingTypeCode::None) a.extraType = extraType;
  a.location = location;
  a.function = descriptor_;
  return *this;
}

FunctionBuilder& FunctionBuilder::setArgumentType(std::size_t index, TypeRef type, bool optional) {
  if (alreadyRegistered_) return *this;
  auto& args = descriptor_->arguments;
  if (index >= args.size()) args.resize(index + 1);
  ArgumentDescriptor& a = args[index];
  a.type = type;
  a.optional = optional;
  a.function = descriptor_;
  return *this;
}

FunctionBuilder& FunctionBuilder::setReturns(TypeRef type, TypeRef extraType) {
  if (alreadyRegistered_) return *this;
  descriptor_->returns = type;
  descriptor_->extraReturns = extraType;
  return *this;
}

FunctionBuilder& FunctionBuilder::setNameSpace(std::string_view text) {
  if (!alreadyRegistered_) descriptor_->nameSpace = std::string(text);
  return *this;
}

FunctionBuilder& FunctionBuilder::setDescription(std::string_view text) {
  if (!alreadyRegistered_) descriptor_->description = std::string(text);
  return *this;
}

FunctionBuilder& FunctionBuilder::setHelp(std::string_view text) {
  if (!alreadyRegistered_) descriptor_->help = std::string(text);
  return *this;
}

FunctionBuilder& FunctionBuilder::setThreadSafe(bool threadSafe) {
  if (!alreadyRegistered_) descriptor_->threadSafe = threadSafe;
  return *this;
}

FunctionBuilder& FunctionBuilder::setAsync(bool async) {
  if (!alreadyRegistered_) descriptor_->async = async;
  return *this;
}

FunctionBuilder& FunctionBuilder::addTag(std::string_view text) {
  if (!alreadyRegistered_ && !text.empty()) descriptor_->tags.emplace_back(text);
  return *this;
}

EventBuilder& EventBuilder::setDescription(std::string_view text) {
  if (!alreadyRegistered_) descriptor_->description = std::string(text);
  return *this;
}

EventBuilder& EventBuilder::setNameSpace(std::string_view text) {
  if (!alreadyRegistered_) descriptor_->nameSpace = std::string(text);
  return *this;
}

EventBuilder& EventBuilder::addTag(std::string_view text) {
  if (!alreadyRegistered_ && !text.empty()) descriptor_->tags.emplace_back(text);
  return *this;
}

// ---- Registry ---------------------------------------------------------------

TypeRegistry::TypeRegistry()
    : functions_(8), events_(8), typesByName_(8), typesById_(8) {
  functions_.max_load_factor(1.0f);
  events_.max_load_factor(1.0f);
  typesByName_.max_load_factor(1.0f);
  typesById_.max_load_factor(1.0f);
}

TypeRegistry::~TypeRegistry() { clear(); }

TypeBuilder TypeRegistry::registerType(std::uint32_t size, std::string_view name,
                                       const StaticType& staticType, bool isEnum,
                                       std::string_view nameSpace) {
  std::lock_guard<platform::Mutex> guard(lock_);
  if (auto it = typesByName_.find(name); it != typesByName_.end()) {
    return TypeBuilder(this, it->second.get(), true);
  }
  auto descriptor = std::make_unique<TypeDescriptor>();
  descriptor->size = size;
  descriptor->isEnum = isEnum;
  descriptor->name = std::string(name);
  descriptor->typeId = staticType.id;
  descriptor->staticType = &staticType;
  descriptor->nameSpace = std::string(nameSpace);
  descriptor->registry = this;
  TypeDescriptor* d = descriptor.get();
  typesByName_.emplace(d->name, std::move(descriptor));
  if (staticType.id != StaticType::placeholder().id) typesById_[staticType.id] = d;
  return TypeBuilder(this, d, false);
}

const TypeDescriptor* TypeRegistry::findType(const StaticType& staticType) const {
  return findTypeById(staticType.id);
}

const TypeDescriptor* TypeRegistry::findTypeById(std::uint32_t id) const {
  std::lock_guard<platform::Mutex> guard(lock_);
  auto it = typesById_.find(id);
  return it == typesById_.end() ? nullptr : it->second;
}

const TypeDescriptor* TypeRegistry::findTypeByName(std::string_view name) const {
  std::lock_guard<platform::Mutex> guard(lock_);
  auto it = typesByName_.find(name);
  return it == typesByName_.end() ? nullptr : it->second.get();
}

std::unique_ptr<FunctionDescriptor> TypeRegistry::createDetachedFunction(std::string_view name,
                                                                         std::size_t argumentCount) {
  auto f = std::make_unique<FunctionDescriptor>();
  f->name = std::string(name);
  f->arguments.resize(argumentCount);
  for (ArgumentDescriptor& a : f->arguments) a.function = f.get();
  f->registry = this;
  return f;
}

FunctionBuilder TypeRegistry::registerFunction(std::string_view name, std::size_t argumentCount) {
  return FunctionBuilder(adoptFunction(createDetachedFunction(name, argumentCount)));
}

FunctionDescriptor* TypeRegistry::adoptFunction(std::unique_ptr<FunctionDescriptor> function) {
  if (!function) return nullptr;
  function->registry = this;
  FunctionDescriptor* f = function.get();
  std::unique_ptr<FunctionDescriptor> replaced;  // destroyed after the lock is released
  {
    std::lock_guard<platform::Mutex> guard(lock_);
    auto [it, inserted] = functions_.try_emplace(f->name);
    if (!inserted) replaced = std::move(it->second);
    it->second = std::move(function);
    ++functionGeneration_;
  }
  return f;
}

FunctionDescriptor* TypeRegistry::findFunction(std::string_view name) const {
  std::lock_guard<platform::Mutex> guard(lock_);
  auto it = functions_.find(name);
  return it == functions_.end() ? nullptr : it->second.get();
}

bool TypeRegistry::removeFunction(const FunctionDescriptor* function) {
  if (function == nullptr) return false;
  std::unique_ptr<FunctionDescriptor> removed;
  {
    std::lock_guard<platform::Mutex> guard(lock_);
    auto it = functions_.find(function->name);
    if (it == functions_.end() || it->second.get() != function) return false;
    removed = std::move(it->second);
    functions_.erase(it);
    ++functionGeneration_;
  }
  removed->invoker.reset();
  return true;
}

std::uint32_t TypeRegistry::functionGeneration() const {
  std::lock_guard<platform::Mutex> guard(lock_);
  return functionGeneration_;
}

EventBuilder TypeRegistry::registerEvent(std::string_view name, const TypeDescriptor* payloadType,
                                         std::string_view nameSpace) {
  std::lock_guard<platform::Mutex> guard(lock_);
  auto [it, inserted] = events_.try_emplace(std::string(name));
  if (!inserted) return EventBuilder(it->second.get(), true);
  it->second = std::make_unique<EventDescriptor>();
  EventDescriptor* e = it->second.get();
  e->name = std::string(name);
  e->type = payloadType;
  e->nameSpace = std::string(nameSpace);
  return EventBuilder(e, false);
}

const EventDescriptor* TypeRegistry::findEvent(std::string_view name) const {
  std::lock_guard<platform::Mutex> guard(lock_);
  auto it = events_.find(name);
  return it == events_.end() ? nullptr : it->second.get();
}

bool TypeRegistry::removeEvent(std::string_view name) {
  std::unique_ptr<EventDescriptor> removed;
  std::lock_guard<platform::Mutex> guard(lock_);
  auto it = events_.find(name);
  if (it == events_.end()) return false;
  removed = std::move(it->second);
  events_.erase(it);
  return true;
}

std::vector<const FunctionDescriptor*> TypeRegistry::snapshotFunctions() const {
  std::lock_guard<platform::Mutex> guard(lock_);
  std::vector<const FunctionDescriptor*> out;
  out.reserve(functions_.size());
  for (const auto& [name, f] : functions_) out.push_back(f.get());
  return out;
}

std::vector<const EventDescriptor*> TypeRegistry::snapshotEvents() const {
  std::lock_guard<platform::Mutex> guard(lock_);
  std::vector<const EventDescriptor*> out;
  out.reserve(events_.size());
  for (const auto& [name, e] : events_) out.push_back(e.get());
  return out;
}

std::vector<const TypeDescriptor*> TypeRegistry::snapshotTypes() const {
  std::lock_guard<platform::Mutex> guard(lock_);
  std::vector<const TypeDescriptor*> out;
  out.reserve(typesByName_.size());
  for (const auto& [name, t] : typesByName_) out.push_back(t.get());
  return out;
}

void TypeRegistry::clear() {
  if (!populated_) return;
  // Events first (they refer to types), then types, then functions one by
  // one, each removal counting as a generation. Descriptors are destroyed
  // outside the lock so that an invoker's destructor may use the registry.
  for (;;) {
    std::unique_ptr<EventDescriptor> e;
    {
      std::lock_guard<platform::Mutex> guard(lock_);
      if (events_.empty()) break;
      auto it = events_.begin();
      e = std::move(it->second);
      events_.erase(it);
    }
  }
  NameMap<TypeDescriptor> types;
  {
    std::lock_guard<platform::Mutex> guard(lock_);
    typesById_.clear();
    types.swap(typesByName_);
  }
  types.clear();
  for (;;) {
    std::unique_ptr<FunctionDescriptor> f;
    {
      std::lock_guard<platform::Mutex> guard(lock_);
      if (functions_.empty()) break;
      auto it = functions_.begin();
      f = std::move(it->second);
      functions_.erase(it);
      ++functionGeneration_;
    }
  }
  populated_ = false;
}

void TypeRegistry::initialize() {
  clear();
  registerBuiltinTypes(*this);
  populated_ = true;
}

}  // namespace qor
