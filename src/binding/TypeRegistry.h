// TypeRegistry: the description of everything a plug-in exposes (structures,
// enumerations, functions and events), with the descriptors and the builders
// that fill them.
//
// Lifetime: descriptors are allocated one by one and never move. A pointer
// returned by a look-up stays valid after the registry lock is released,
// until removeFunction (for that function) or clear() destroys it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "PluginAbi.h"
#include "binding/StaticType.h"
#include "platform/Mutex.h"

namespace qor {

class BindingProperty;
struct BindingResult;
class TypeRegistry;
struct TypeDescriptor;
struct FunctionDescriptor;

// The type of a field, argument, result or element: the protocol's type
// codes, which the API description records carry as they are.
enum class BindingTypeCode : std::uint32_t {
  None = CORE_TYPE_NONE,
  Bool = CORE_TYPE_BOOL,
  Int8 = CORE_TYPE_INT8,
  Uint8 = CORE_TYPE_UINT8,
  Int16 = CORE_TYPE_INT16,
  Uint16 = CORE_TYPE_UINT16,
  Int32 = CORE_TYPE_INT32,
  Uint32 = CORE_TYPE_UINT32,
  Int64 = CORE_TYPE_INT64,
  Uint64 = CORE_TYPE_UINT64,
  Float = CORE_TYPE_FLOAT,
  Double = CORE_TYPE_DOUBLE,
  String = CORE_TYPE_STRING,
  Object = CORE_TYPE_OBJECT,  // an unconverted BindingProperty
  Blob = CORE_TYPE_BLOB,
  Vector = CORE_TYPE_VECTOR,
  Enum = CORE_TYPE_ENUM,
  Struct = CORE_TYPE_STRUCT,
  Callback = CORE_TYPE_CALLBACK,
  Map = CORE_TYPE_MAP,  // string keys
};

// "bool", "int8", ..., "map"; "" for None and any unknown code.
const char* typeCodeName(BindingTypeCode code) noexcept;

// The full type of a field, argument or result. Only one level of nesting is
// expressible: elementCode names the elements of a vector or the values of a
// map; descriptor is the enumeration or structure named by code (or by
// elementCode for a vector or map of them).
struct TypeRef {
  BindingTypeCode code = BindingTypeCode::None;
  BindingTypeCode elementCode = BindingTypeCode::None;
  const TypeDescriptor* descriptor = nullptr;
  // The identity of the enumeration or structure named (element or value
  // type for containers), when it comes from a native type: the API export
  // finds the descriptor through it when the type was registered after the
  // reference was made, so registration order does not matter.
  const StaticType* described = nullptr;
};

// The 32-bit FNV-1a hash of a name.
std::uint32_t nameHash(std::string_view name) noexcept;

// Field flags.
inline constexpr std::uint32_t kFieldOmitDefault = 1;  // omit the member on output when default
inline constexpr std::uint32_t kFieldRequired = 2;     // the member must be present on input

// Converts one native field to and from a BindingProperty. One object per
// registered field, owned by its FieldDescriptor. `descriptor` is the
// descriptor of the field's enumeration or structure type (for containers,
// of their element type), or null when the field names none or it was not
// registered when the field was.
class FieldConverter {
 public:
  virtual ~FieldConverter() = default;
  virtual void fromProperty(BindingResult& result, void* native, const BindingProperty& source,
                            std::string_view fieldName, const TypeDescriptor* descriptor,
                            const TypeRegistry& registry) const = 0;
  // Writes the field's value into `out`, a value inside any tree. A failure
  // sets status's error; the caller must not touch `out` afterwards.
  virtual void toProperty(BindingResult& status, BindingProperty& out, const void* native,
                          const TypeDescriptor* descriptor, const TypeRegistry& registry) const = 0;
};

struct FieldDescriptor {
  std::string name;
  std::uint32_t nameHash = 0;
  std::string description;
  const StaticType* staticType = nullptr;
  std::uint32_t offset = 0;
  TypeRef type;
  TypeRef extraType;  // replaces `type` in the API description when its code is not 0
  std::uint32_t flags = 0;
  std::unique_ptr<FieldConverter> converter;
  TypeDescriptor* owner = nullptr;
  bool optional = false;  // written to the API description; conversions ignore it
};

struct EnumValueDescriptor {
  std::int32_t value = 0;
  std::string name;
  std::string description;
  TypeDescriptor* owner = nullptr;
};

struct TypeDescriptor {
  std::uint32_t size = 0;
  bool isEnum = false;
  std::string name;
  std::uint32_t typeId = 0;
  const StaticType* staticType = nullptr;
  std::string nameSpace;
  std::string description;
  std::vector<std::string> tags;
  std::vector<FieldDescriptor> fields;                // structures, registration order
  std::vector<std::uint32_t> fieldsByName;            // indices into fields, byte-wise name order
  std::map<std::string, EnumValueDescriptor> values;  // enumerations, by name
  TypeRegistry* registry = nullptr;

  // The enumerator with exactly this value, or null.
  const EnumValueDescriptor* findValue(std::int32_t value) const noexcept;
  // The enumerator of exactly this name, or null.
  const EnumValueDescriptor* findValue(std::string_view name) const noexcept;
  // The field of this name, or null.
  const FieldDescriptor* findField(std::string_view name) const noexcept;
};

// Calls the native handler of a function. The dispatch layer subclasses it;
// the registry only owns and destroys it.
class FunctionInvoker {
 public:
  virtual ~FunctionInvoker() = default;
};

struct ArgumentDescriptor {
  std::string name;
  std::uint32_t nameHash = 0;
  std::string description;
  bool optional = false;
  TypeRef type;
  TypeRef extraType;  // replaces `type` in the API description when its code is not 0
  FunctionDescriptor* function = nullptr;
  std::uint32_t location = 0;  // binding data of the dispatch layer (an ArgumentLocation code)
};

struct FunctionDescriptor {
  std::string name;
  std::vector<ArgumentDescriptor> arguments;
  TypeRef returns;
  TypeRef extraReturns;  // replaces `returns` in the API description when its code is not 0
  std::vector<std::string> tags;
  std::string nameSpace;
  std::string description;
  std::string help;
  bool threadSafe = false;
  bool async = false;
  std::unique_ptr<FunctionInvoker> invoker;
  // Handler data keyed by 32-bit keys; its meaning belongs to the layers
  // that register handlers (dispatch, runtime).
  std::unordered_map<std::uint32_t, std::shared_ptr<void>> handlerData;
  TypeRegistry* registry = nullptr;
};

struct EventDescriptor {
  std::string name;
  const TypeDescriptor* type = nullptr;  // the payload structure
  // The payload's native identity, when it was not registered yet: the API
  // export finds its descriptor through it.
  const StaticType* payload = nullptr;
  std::string nameSpace;
  std::string description;
  std::vector<std::string> tags;
};

// Fills a TypeDescriptor after registerType. Every operation does nothing
// when the type name was already registered, so a second registration of a
// name changes nothing.
class TypeBuilder {
 public:
  TypeBuilder(TypeRegistry* registry, TypeDescriptor* descriptor, bool alreadyRegistered) noexcept
      : registry_(registry), descriptor_(descriptor), alreadyRegistered_(alreadyRegistered) {}

  // Appends a field (name hash computed here). A field whose static type is
  // a registered enumeration gets type {enum, 0, that descriptor}.
  TypeBuilder& addField(std::string_view name, std::string_view description, std::uint32_t offset,
                        const StaticType& staticType, TypeRef type, TypeRef extraType,
                        std::uint32_t flags, std::unique_ptr<FieldConverter> converter,
                        bool optional);
  // Inserts or overwrites the enumerator of that name.
  TypeBuilder& addValue(std::string_view name, std::int32_t value, std::string_view description);
  TypeBuilder& setDescription(std::string_view text);
  TypeBuilder& setNameSpace(std::string_view text);
  TypeBuilder& addTag(std::string_view text);  // an empty text is ignored

  TypeRegistry* registry() const noexcept { return registry_; }
  TypeDescriptor* descriptor() const noexcept { return descriptor_; }
  std::size_t fieldIndex() const noexcept { return fieldIndex_; }
  bool alreadyRegistered() const noexcept { return alreadyRegistered_; }

 private:
  TypeRegistry* registry_;
  TypeDescriptor* descriptor_;
  std::size_t fieldIndex_ = 0;
  bool alreadyRegistered_;
};

// Fills a FunctionDescriptor after registerFunction.
class FunctionBuilder {
 public:
  FunctionBuilder(FunctionDescriptor* descriptor, bool alreadyRegistered = false) noexcept
      : descriptor_(descriptor), alreadyRegistered_(alreadyRegistered) {}

  // Fills the argument at the current index (growing the list if needed) and
  // advances the index.
  FunctionBuilder& addArgument(std::string_view name, std::string_view description,
                               TypeRef extraType = {}, std::uint32_t location = 0);
  // Sets an argument's type, optional flag and back reference (grows the list if needed).
  FunctionBuilder& setArgumentType(std::size_t index, TypeRef type, bool optional);
  FunctionBuilder& setReturns(TypeRef type, TypeRef extraType = {});
  FunctionBuilder& setNameSpace(std::string_view text);
  FunctionBuilder& setDescription(std::string_view text);
  FunctionBuilder& setHelp(std::string_view text);
  FunctionBuilder& setThreadSafe(bool threadSafe);
  FunctionBuilder& setAsync(bool async);
  FunctionBuilder& addTag(std::string_view text);  // an empty text is ignored

  FunctionDescriptor* descriptor() const noexcept { return descriptor_; }
  std::size_t argumentIndex() const noexcept { return argumentIndex_; }
  bool alreadyRegistered() const noexcept { return alreadyRegistered_; }

 private:
  FunctionDescriptor* descriptor_;
  std::size_t argumentIndex_ = 0;
  bool alreadyRegistered_;
};

// Fills an EventDescriptor; does nothing when the event already existed.
class EventBuilder {
 public:
  EventBuilder(EventDescriptor* descriptor, bool alreadyRegistered) noexcept
      : descriptor_(descriptor), alreadyRegistered_(alreadyRegistered) {}

  EventBuilder& setDescription(std::string_view text);
  EventBuilder& setNameSpace(std::string_view text);
  EventBuilder& addTag(std::string_view text);  // an empty text is ignored

  EventDescriptor* descriptor() const noexcept { return descriptor_; }
  bool alreadyRegistered() const noexcept { return alreadyRegistered_; }

 private:
  EventDescriptor* descriptor_;
  bool alreadyRegistered_;
};

class TypeRegistry {
 public:
  TypeRegistry();
  ~TypeRegistry();
  TypeRegistry(const TypeRegistry&) = delete;
  TypeRegistry& operator=(const TypeRegistry&) = delete;

  // Registers a structure or enumeration, or returns a builder marked
  // alreadyRegistered over the existing descriptor of that name. The
  // descriptor is entered in the id table unless the identity is the
  // placeholder (a later type with the same identity replaces an earlier one
  // there).
  TypeBuilder registerType(std::uint32_t size, std::string_view name, const StaticType& staticType,
                           bool isEnum, std::string_view nameSpace = {});
  const TypeDescriptor* findType(const StaticType& staticType) const;
  const TypeDescriptor* findTypeById(std::uint32_t id) const;
  const TypeDescriptor* findTypeByName(std::string_view name) const;

  // Creates a function with argumentCount empty arguments and enters it,
  // replacing any earlier function of that name (which is destroyed).
  FunctionBuilder registerFunction(std::string_view name, std::size_t argumentCount);
  // The same descriptor, returned to the caller unregistered.
  std::unique_ptr<FunctionDescriptor> createDetachedFunction(std::string_view name,
                                                             std::size_t argumentCount);
  // Enters a detached descriptor, replacing any function of its name.
  FunctionDescriptor* adoptFunction(std::unique_ptr<FunctionDescriptor> function);
  FunctionDescriptor* findFunction(std::string_view name) const;
  // Erases the function, destroys its invoker and the descriptor. Returns
  // false (and changes nothing) when the descriptor is not registered here.
  bool removeFunction(const FunctionDescriptor* function);
  std::uint32_t functionGeneration() const;

  // Creates the event unless one of that name exists; the builder is marked
  // alreadyRegistered over the existing one otherwise.
  EventBuilder registerEvent(std::string_view name, const TypeDescriptor* payloadType,
                             std::string_view nameSpace = {});
  const EventDescriptor* findEvent(std::string_view name) const;
  bool removeEvent(std::string_view name);

  // Copies of the name maps taken under the lock (order unspecified).
  std::vector<const FunctionDescriptor*> snapshotFunctions() const;
  std::vector<const EventDescriptor*> snapshotEvents() const;
  std::vector<const TypeDescriptor*> snapshotTypes() const;

  // When populated: removes every event, type and function and resets populated.
  void clear();
  // clear(), then registers the builtin types and events, then sets populated.
  void initialize();
  bool populated() const noexcept { return populated_; }

 private:
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return nameHash(s); }
  };
  struct IdHash {
    std::size_t operator()(std::uint32_t id) const noexcept;
  };
  template <class T>
  using NameMap = std::unordered_map<std::string, std::unique_ptr<T>, NameHash, std::equal_to<>>;

  NameMap<FunctionDescriptor> functions_;
  std::uint32_t functionGeneration_ = 0;
  NameMap<EventDescriptor> events_;
  NameMap<TypeDescriptor> typesByName_;
  std::unordered_map<std::uint32_t, TypeDescriptor*, IdHash> typesById_;
  mutable platform::Mutex lock_;
  bool populated_ = false;
};

}  // namespace qor
