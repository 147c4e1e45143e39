// BindingProperty: the one dynamic value of the framework, and BindingResult,
// the value-plus-success pair that every reader and converter returns.
//
// A tree of values shares one PropertyArena, owned by the root. Members and
// elements are non-owning values inside the tree; a value constructed on its
// own (a local, a result, a member of a native record) is a root.
//
// Lifetime: references returned by element(), member(), get() and the
// iteration helpers point into the tree. A member reference stays valid until
// that member or the structure is reset; an element reference stays valid
// until the collection grows (append, element() past the end, reserve) or is
// reset. Views returned by asString() and asBlob() live as long as the value
// keeps its contents.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace qor {

struct StaticType;
class PropertyArena;
struct InternedString;
struct MemberNode;

enum class BindingPropertyKind : std::uint8_t {
  Empty = 0,
  Bool = 1,
  Signed = 2,
  Unsigned = 3,
  Float = 4,
  String = 5,
  Blob = 6,
  Enum = 7,
  Collection = 8,
  Structure = 9,
};

// "empty", "bool", ..., "structure"; "" for a kind above 9.
const char* kindName(BindingPropertyKind kind);
const char* kindName(std::uint8_t kind);

// Payload of an enum value: the 32-bit value and the enumeration's identity.
struct EnumPayload {
  std::int32_t value;
  const StaticType* type;
};

class BindingProperty {
 public:
  BindingProperty() noexcept = default;
  ~BindingProperty();

  // Deep copy into this value's own arena. Copying onto a value replaces its
  // contents; a source inside the destination is copied through a temporary.
  BindingProperty(const BindingProperty& other);
  BindingProperty& operator=(const BindingProperty& other);

  // Two roots exchange their trees; otherwise the source is deep-copied. The
  // source is left empty in both cases.
  BindingProperty(BindingProperty&& other) noexcept;
  BindingProperty& operator=(BindingProperty&& other) noexcept;

  // Convenience constructors for roots.
  explicit BindingProperty(bool v) { setBool(v); }
  explicit BindingProperty(std::string_view v) { setString(v); }
  explicit BindingProperty(const char* v) { setString(v); }

  // Releases the contents; the arena stays.
  void reset() noexcept;

  // Sizes the tree's string table for an estimate of the strings to come
  // (within a cap), so that a reader that can estimate them from its input
  // does not grow it step by step.
  void expectStrings(std::size_t estimate);

  // ---- Setters (each resets first) ----
  void setBool(bool v);
  void setInt64(std::int64_t v);
  void setUint64(std::uint64_t v);
  void setDouble(double v);
  void setString(const char* text);  // null or "" gives the shared empty string
  void setString(std::string_view text);
  void setString(const std::string& text) { setString(std::string_view(text)); }
  void setBlob(const void* data, std::size_t size);
  void setBlob(std::vector<std::uint8_t>&& bytes);  // the source is left empty
  void setEnum(std::int32_t value, const StaticType* type);
  // Keep the contents when the value already has the kind, else reset and
  // install an empty container.
  void makeCollection();
  void makeStructure();

  // ---- Accessors ----
  BindingPropertyKind kind() const noexcept { return kind_; }
  bool isEmpty() const noexcept { return kind_ == BindingPropertyKind::Empty; }
  bool ownsArena() const noexcept { return ownsArena_ != 0; }
  // The tree's arena; null for a root that has not needed storage yet.
  const PropertyArena* arena() const noexcept { return arena_; }
  // empty 0; string bytes; blob bytes; collection elements; structure members; else 1.
  std::size_t size() const noexcept;

  // Typed getters: the value only for its own kind, else the default.
  bool asBool(bool def = false) const noexcept;
  std::int64_t asInt64(std::int64_t def = 0) const noexcept;
  std::uint64_t asUint64(std::uint64_t def = 0) const noexcept;
  double asDouble(double def = 0.0) const noexcept;
  std::string_view asString(std::string_view def = {}) const noexcept;
  std::span<const std::uint8_t> asBlob() const noexcept;  // empty span for other kinds
  const EnumPayload* asEnum() const noexcept;             // null for other kinds

  // Loose readings that never fail.
  std::string asText() const;  // Base64 for blobs, "%f" for floats, ...
  bool asTruth() const noexcept;

  // ---- Collections ----
  // Read-only: the element, or a shared static empty value.
  const BindingProperty& get(std::size_t index) const noexcept;
  // Any integer index (so that get(0) does not read as a null name).
  template <typename I>
    requires std::is_integral_v<I> && (!std::is_same_v<I, std::size_t>) && (!std::is_same_v<I, bool>)
  const BindingProperty& get(I index) const noexcept {
    if constexpr (std::is_signed_v<I>) {
      if (index < 0) return emptyValue();
    }
    if (static_cast<std::uintmax_t>(index) > SIZE_MAX) return emptyValue();
    return get(static_cast<std::size_t>(index));
  }
  // Mutable: makes this a collection and grows it until the index exists.
  BindingProperty& element(std::size_t index);
  BindingProperty& append();
  // Collections only; more than 268435455 elements is a length error.
  void reserve(std::size_t count);
  std::span<BindingProperty> elements() noexcept;  // empty for other kinds
  std::span<const BindingProperty> elements() const noexcept;

  // ---- Structures ----
  // Read-only: the member, or a shared static empty value; never inserts.
  const BindingProperty& get(std::string_view name) const noexcept;
  const BindingProperty& get(const char* name) const noexcept { return get(std::string_view(name)); }
  // Mutable: makes this a structure (discarding other contents) and finds or
  // inserts the member.
  BindingProperty& member(std::string_view name);
  BindingProperty& member(const char* name) { return member(std::string_view(name)); }
  bool hasMember(std::string_view name) const noexcept;
  // Members in byte-wise (strcmp) name order.
  template <typename F>
  void forEachMember(F&& fn) const;
  template <typename F>
  void forEachMember(F&& fn);

  // The process-wide static empty value.
  static const BindingProperty& emptyValue() noexcept;

 private:
  friend class PropertyArena;
  struct MemberVisitor {
    void* context;
    void (*visit)(void* context, std::string_view name, BindingProperty& value);
  };
  void visitMembers(const MemberVisitor& visitor) const;
  MemberNode* newMember(InternedString* key);

  // A value inside a tree: shares the arena, does not own it.
  BindingProperty(PropertyArena* arena, bool owns) noexcept : arena_(arena), ownsArena_(owns) {}
  PropertyArena& ensureArena();
  void copyFrom(const BindingProperty& other);

  union Value {
    bool b;
    std::int64_t i;
    std::uint64_t u;
    double d;
    void* p;
  };

  void copyContents(const BindingProperty& other);
  static void releasePayload(PropertyArena* arena, BindingPropertyKind kind, Value value) noexcept;
  void growElements(std::size_t count);

  // 24 bytes on 64-bit targets, 16 on 32-bit ones. Values hold no pointer
  // to themselves, so element arrays relocate them with a plain byte copy.
  Value value_{.u = 0};
  PropertyArena* arena_ = nullptr;
  BindingPropertyKind kind_ = BindingPropertyKind::Empty;
  std::uint8_t ownsArena_ = 1;
};

template <typename F>
void BindingProperty::forEachMember(F&& fn) const {
  MemberVisitor v{&fn, [](void* c, std::string_view name, BindingProperty& value) {
                    (*static_cast<F*>(c))(name, static_cast<const BindingProperty&>(value));
                  }};
  visitMembers(v);
}

template <typename F>
void BindingProperty::forEachMember(F&& fn) {
  MemberVisitor v{&fn, [](void* c, std::string_view name, BindingProperty& value) {
                    (*static_cast<F*>(c))(name, value);
                  }};
  visitMembers(v);
}

// A value and a success flag. A fresh result is empty with ok set; on failure
// the value is the structure {"error": message}.
struct [[nodiscard]] BindingResult {
  BindingProperty value;
  bool ok = true;

  void resetOk() noexcept {
    value.reset();
    ok = true;
  }
  void setError(std::string_view message);
  // Empty when ok; else the "error" member's text ("" when missing).
  std::string_view errorText() const noexcept;
};

}  // namespace qor
