// BindingProperty and BindingResult: the dynamic value, its payloads in the
// tree's arena, deep copy, and the loose readings.
#include "binding/BindingProperty.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <stdexcept>
#include <utility>

#include "binding/Base64.h"
#include "binding/InternedString.h"
#include "binding/MemberTree.h"
#include "binding/PropertyArena.h"

namespace qor {

namespace {

using Kind = BindingPropertyKind;

constexpr std::size_t kMaxElements = 268435455;

// Collection payload. The element array lives on the general heap and is
// relocated bytewise when it grows: values hold no pointers to themselves.
struct ElementArray {
  PropertyArena::HeapLink link;  // first: the chain's links are the payloads
  BindingProperty* data;
  std::uint32_t size;
  std::uint32_t capacity;
};

using BlobBytes = std::vector<std::uint8_t>;

// Blob payload: the growable byte array, chained like element arrays.
struct BlobPayload {
  PropertyArena::HeapLink link;
  BlobBytes bytes;
};

inline const BlobBytes& blobBytes(const void* payload) noexcept {
  return static_cast<const BlobPayload*>(payload)->bytes;
}

static_assert(sizeof(BindingProperty) == (sizeof(void*) == 8 ? 24 : 16));
static_assert(sizeof(ElementArray) <= PropertyArena::kMaxSlot && sizeof(BlobPayload) <= PropertyArena::kMaxSlot);
static_assert((sizeof(void*) != 8 || sizeof(MemberNode) == 48) && sizeof(MemberTree) <= PropertyArena::kMaxSlot);
static_assert(offsetof(ElementArray, link) == 0 && offsetof(BlobPayload, link) == 0);

// A blob payload in `arena` whose bytes are built from `args`, chained so that
// a discarded tree frees them; the slot goes back if building them throws.
template <typename... Args>
BlobPayload* newBlob(PropertyArena& arena, Args&&... args) {
  auto* blob = arena.allocateFor<BlobPayload>();
  try {
    new (&blob->bytes) BlobBytes(std::forward<Args>(args)...);
  } catch (...) {
    arena.deallocateFor(blob);
    throw;
  }
  arena.linkHeapPayload(PropertyArena::kBlobs, &blob->link);
  return blob;
}

inline bool isScalar(Kind k) noexcept { return k <= Kind::Float; }

constinit const BindingProperty gEmptyValue;

}  // namespace

const char* kindName(BindingPropertyKind kind) { return kindName(static_cast<std::uint8_t>(kind)); }

const char* kindName(std::uint8_t kind) {
  static constexpr const char* kNames[] = {"empty",  "bool", "signed", "unsigned",   "float",
                                           "string", "blob", "enum",   "collection", "structure"};
  return kind < std::size(kNames) ? kNames[kind] : "";
}

const BindingProperty& BindingProperty::emptyValue() noexcept { return gEmptyValue; }

// ---- Lifetime ----

BindingProperty::~BindingProperty() {
  if (ownsArena_ && arena_) {
    // The whole tree goes with the arena: slots and strings are dropped
    // wholesale, and the general-heap memory of its element arrays and blobs
    // is found through the arena's chains, so no value needs a visit.
    for (auto* link = arena_->heapPayloads(PropertyArena::kElementArrays); link; link = link->next)
      std::free(reinterpret_cast<ElementArray*>(link)->data);
    for (auto* link = arena_->heapPayloads(PropertyArena::kBlobs); link; link = link->next)
      reinterpret_cast<BlobPayload*>(link)->bytes.~BlobBytes();
    delete arena_;
  } else {
    reset();
  }
}

PropertyArena& BindingProperty::ensureArena() {
  if (!arena_) arena_ = new PropertyArena();
  return *arena_;
}

void BindingProperty::expectStrings(std::size_t estimate) { ensureArena().expectStrings(estimate); }

void BindingProperty::reset() noexcept {
  const Kind kind = kind_;
  const Value value = value_;
  kind_ = Kind::Empty;
  value_.u = 0;
  releasePayload(arena_, kind, value);
}

void BindingProperty::releasePayload(PropertyArena* arena, Kind kind, Value value) noexcept {
  switch (kind) {
    case Kind::String:
      arena->release(static_cast<InternedString*>(value.p));
      break;
    case Kind::Blob: {
      auto* blob = static_cast<BlobPayload*>(value.p);
      arena->unlinkHeapPayload(PropertyArena::kBlobs, &blob->link);
      blob->bytes.~BlobBytes();
      arena->deallocateFor(blob);
      break;
    }
    case Kind::Enum:
      arena->deallocateFor(static_cast<EnumPayload*>(value.p));
      break;
    case Kind::Collection: {
      auto* array = static_cast<ElementArray*>(value.p);
      for (std::uint32_t i = 0; i < array->size; ++i) array->data[i].~BindingProperty();
      std::free(array->data);
      arena->unlinkHeapPayload(PropertyArena::kElementArrays, &array->link);
      arena->deallocateFor(array);
      break;
    }
    case Kind::Structure: {
      auto* tree = static_cast<MemberTree*>(value.p);
      tree->drain([arena](MemberNode* node) {
        arena->release(node->name());
        node->value.~BindingProperty();
        arena->deallocateFor(node);
      });
      arena->deallocateFor(tree);
      break;
    }
    default:
      break;
  }
}

// ---- Copy and move ----

BindingProperty::BindingProperty(const BindingProperty& other) { copyFrom(other); }

BindingProperty& BindingProperty::operator=(const BindingProperty& other) {
  if (this != &other) copyFrom(other);
  return *this;
}

// The copy is built apart and installed whole, so the destination is never
// left half-built and a source inside the destination (or the destination
// inside the source) is read before anything of it is released.
void BindingProperty::copyFrom(const BindingProperty& other) {
  if (isScalar(other.kind_)) {
    const Kind kind = kind_;
    const Value value = value_;
    kind_ = other.kind_;
    value_ = other.value_;
    releasePayload(arena_, kind, value);
    return;
  }
  PropertyArena* arena = &ensureArena();
  // A whole tree copied into a fresh arena: size the string table once.
  if (other.ownsArena_ && other.arena_ && arena->stringCount() == 0)
    arena->reserveStrings(other.arena_->stringCount());
  BindingProperty built(arena, false);
  built.copyContents(other);
  const Kind kind = kind_;
  const Value value = value_;
  kind_ = built.kind_;
  value_ = built.value_;
  built.kind_ = Kind::Empty;
  releasePayload(arena, kind, value);
}

// Deep copy into this value, which is empty and has its arena.
void BindingProperty::copyContents(const BindingProperty& other) {
  switch (other.kind_) {
    case Kind::String: {
      const auto* record = static_cast<const InternedString*>(other.value_.p);
      value_.p = arena_->intern(record->view(), record->hash);
      kind_ = Kind::String;
      break;
    }
    case Kind::Blob: {
      value_.p = newBlob(*arena_, blobBytes(other.value_.p));
      kind_ = Kind::Blob;
      break;
    }
    case Kind::Enum: {
      auto* payload = arena_->allocateFor<EnumPayload>();
      *payload = *static_cast<const EnumPayload*>(other.value_.p);
      value_.p = payload;
      kind_ = Kind::Enum;
      break;
    }
    case Kind::Collection: {
      const auto* source = static_cast<const ElementArray*>(other.value_.p);
      makeCollection();
      reserve(source->size);
      auto* array = static_cast<ElementArray*>(value_.p);
      for (std::uint32_t i = 0; i < source->size; ++i) {
        new (&array->data[i]) BindingProperty(arena_, false);
        ++array->size;
        array->data[i].copyContents(source->data[i]);
      }
      break;
    }
    case Kind::Structure: {
      const auto* source = static_cast<const MemberTree*>(other.value_.p);
      makeStructure();
      auto* tree = static_cast<MemberTree*>(value_.p);
      tree->cloneFrom(
          *source,
          [this](const MemberNode& from) {
            return newMember(arena_->intern(from.name()->view(), from.name()->hash));
          },
          [](MemberNode& node, const MemberNode& from) { node.value.copyContents(from.value); });
      break;
    }
    default:
      value_ = other.value_;
      kind_ = other.kind_;
      break;
  }
}

BindingProperty::BindingProperty(BindingProperty&& other) noexcept { *this = std::move(other); }

BindingProperty& BindingProperty::operator=(BindingProperty&& other) noexcept {
  if (this == &other) return *this;
  if (ownsArena_ && other.ownsArena_) {
    std::swap(value_, other.value_);
    std::swap(arena_, other.arena_);
    std::swap(kind_, other.kind_);
    other.reset();
    return *this;
  }
  // Not two roots: deep copy. The source is reset before the old contents
  // are released, so either may lie inside the other.
  const Kind kind = kind_;
  const Value value = value_;
  PropertyArena* arena = arena_;
  if (isScalar(other.kind_)) {
    kind_ = other.kind_;
    value_ = other.value_;
  } else {
    arena = &ensureArena();
    BindingProperty built(arena, false);
    built.copyContents(other);
    kind_ = built.kind_;
    value_ = built.value_;
    built.kind_ = Kind::Empty;
  }
  other.reset();
  releasePayload(arena, kind, value);
  return *this;
}

// ---- Setters ----

void BindingProperty::setBool(bool v) {
  reset();
  value_.u = 0;
  value_.b = v;
  kind_ = Kind::Bool;
}

void BindingProperty::setInt64(std::int64_t v) {
  reset();
  value_.i = v;
  kind_ = Kind::Signed;
}

void BindingProperty::setUint64(std::uint64_t v) {
  reset();
  value_.u = v;
  kind_ = Kind::Unsigned;
}

void BindingProperty::setDouble(double v) {
  reset();
  value_.d = v;
  kind_ = Kind::Float;
}

void BindingProperty::setString(const char* text) { setString(text ? std::string_view(text) : std::string_view()); }

void BindingProperty::setString(std::string_view text) {
  // Interned before the old contents go: the text may be one of them.
  InternedString* record = ensureArena().intern(text);
  reset();
  value_.p = record;
  kind_ = Kind::String;
}

void BindingProperty::setBlob(const void* data, std::size_t size) {
  const auto* first = static_cast<const std::uint8_t*>(data);
  BlobPayload* blob = newBlob(ensureArena(), first, first + (data ? size : 0));
  reset();
  value_.p = blob;
  kind_ = Kind::Blob;
}

void BindingProperty::setBlob(std::vector<std::uint8_t>&& source) {
  BlobPayload* blob = newBlob(ensureArena(), std::move(source));
  source.clear();
  reset();
  value_.p = blob;
  kind_ = Kind::Blob;
}

void BindingProperty::setEnum(std::int32_t v, const StaticType* type) {
  auto* payload = ensureArena().allocateFor<EnumPayload>();
  payload->value = v;
  payload->type = type;
  reset();
  value_.p = payload;
  kind_ = Kind::Enum;
}

void BindingProperty::makeCollection() {
  if (kind_ == Kind::Collection) return;
  auto* array = ensureArena().allocateFor<ElementArray>();
  *array = ElementArray{{}, nullptr, 0, 0};
  arena_->linkHeapPayload(PropertyArena::kElementArrays, &array->link);
  reset();
  value_.p = array;
  kind_ = Kind::Collection;
}

void BindingProperty::makeStructure() {
  if (kind_ == Kind::Structure) return;
  PropertyArena& arena = ensureArena();
  auto* tree = new (arena.allocateFor<MemberTree>()) MemberTree();
  reset();
  value_.p = tree;
  kind_ = Kind::Structure;
}

// ---- Accessors ----

std::size_t BindingProperty::size() const noexcept {
  switch (kind_) {
    case Kind::Empty:
      return 0;
    case Kind::String:
      return static_cast<const InternedString*>(value_.p)->size;
    case Kind::Blob:
      return blobBytes(value_.p).size();
    case Kind::Collection:
      return static_cast<const ElementArray*>(value_.p)->size;
    case Kind::Structure:
      return static_cast<const MemberTree*>(value_.p)->size();
    default:
      return 1;
  }
}

bool BindingProperty::asBool(bool def) const noexcept { return kind_ == Kind::Bool ? value_.b : def; }
std::int64_t BindingProperty::asInt64(std::int64_t def) const noexcept { return kind_ == Kind::Signed ? value_.i : def; }
std::uint64_t BindingProperty::asUint64(std::uint64_t def) const noexcept {
  return kind_ == Kind::Unsigned ? value_.u : def;
}
double BindingProperty::asDouble(double def) const noexcept { return kind_ == Kind::Float ? value_.d : def; }

std::string_view BindingProperty::asString(std::string_view def) const noexcept {
  return kind_ == Kind::String ? static_cast<const InternedString*>(value_.p)->view() : def;
}

std::span<const std::uint8_t> BindingProperty::asBlob() const noexcept {
  if (kind_ != Kind::Blob) return {};
  const BlobBytes& bytes = blobBytes(value_.p);
  return {bytes.data(), bytes.size()};
}

const EnumPayload* BindingProperty::asEnum() const noexcept {
  return kind_ == Kind::Enum ? static_cast<const EnumPayload*>(value_.p) : nullptr;
}

std::string BindingProperty::asText() const {
  switch (kind_) {
    case Kind::Bool:
      return value_.b ? "true" : "false";
    case Kind::Signed:
      return std::to_string(value_.i);
    case Kind::Unsigned:
      return std::to_string(value_.u);
    case Kind::Float: {
      char small[64];
      const int n = std::snprintf(small, sizeof small, "%f", value_.d);
      if (n < 0) return {};
      if (static_cast<std::size_t>(n) < sizeof small) return std::string(small, static_cast<std::size_t>(n));
      // Large magnitudes print every integral digit.
      std::string text(static_cast<std::size_t>(n), '\0');
      std::snprintf(text.data(), text.size() + 1, "%f", value_.d);
      return text;
    }
    case Kind::String:
      return std::string(asString());
    case Kind::Blob:
      return base64Encode(asBlob());
    case Kind::Enum:
      return std::to_string(static_cast<const EnumPayload*>(value_.p)->value);
    default:
      return {};
  }
}

bool BindingProperty::asTruth() const noexcept {
  switch (kind_) {
    case Kind::Bool:
      return value_.b;
    case Kind::Signed:
    case Kind::Unsigned:
      return value_.u != 0;
    case Kind::Float:
      return value_.d != 0.0;  // NaN compares unequal, so it counts as true
    case Kind::String: {
      const std::string_view s = asString();
      return s == "true" || s == "1";
    }
    case Kind::Enum:
      return static_cast<const EnumPayload*>(value_.p)->value != 0;
    case Kind::Blob:
    case Kind::Collection:
    case Kind::Structure:
      return size() != 0;
    default:
      return false;
  }
}

// ---- Collections ----

const BindingProperty& BindingProperty::get(std::size_t index) const noexcept {
  if (kind_ != Kind::Collection) return gEmptyValue;
  const auto* array = static_cast<const ElementArray*>(value_.p);
  return index < array->size ? array->data[index] : gEmptyValue;
}

void BindingProperty::growElements(std::size_t count) {
  auto* array = static_cast<ElementArray*>(value_.p);
  if (count > kMaxElements) throw std::length_error("BindingProperty collection too long");
  std::size_t capacity = array->capacity < 4 ? 4 : std::size_t{array->capacity} * 2;
  if (capacity > kMaxElements) capacity = kMaxElements;
  if (capacity < count) capacity = count;
  void* data = std::realloc(static_cast<void*>(array->data), capacity * sizeof(BindingProperty));
  if (!data) throw std::bad_alloc();
  array->data = static_cast<BindingProperty*>(data);
  array->capacity = static_cast<std::uint32_t>(capacity);
}

BindingProperty& BindingProperty::element(std::size_t index) {
  makeCollection();
  auto* array = static_cast<ElementArray*>(value_.p);
  if (index < array->size) return array->data[index];
  if (index >= array->capacity) {
    if (index >= kMaxElements) throw std::length_error("BindingProperty collection too long");
    growElements(index + 1);
  }
  for (std::size_t i = array->size; i <= index; ++i) new (&array->data[i]) BindingProperty(arena_, false);
  array->size = static_cast<std::uint32_t>(index + 1);
  return array->data[index];
}

BindingProperty& BindingProperty::append() { return element(size()); }

void BindingProperty::reserve(std::size_t count) {
  if (kind_ != Kind::Collection) return;
  if (count > kMaxElements) throw std::length_error("BindingProperty collection too long");
  auto* array = static_cast<ElementArray*>(value_.p);
  if (count <= array->capacity) return;
  void* data = std::realloc(static_cast<void*>(array->data), count * sizeof(BindingProperty));
  if (!data) throw std::bad_alloc();
  array->data = static_cast<BindingProperty*>(data);
  array->capacity = static_cast<std::uint32_t>(count);
}

std::span<BindingProperty> BindingProperty::elements() noexcept {
  if (kind_ != Kind::Collection) return {};
  auto* array = static_cast<ElementArray*>(value_.p);
  return {array->data, array->size};
}

std::span<const BindingProperty> BindingProperty::elements() const noexcept {
  if (kind_ != Kind::Collection) return {};
  const auto* array = static_cast<const ElementArray*>(value_.p);
  return {array->data, array->size};
}

// ---- Structures ----

const BindingProperty& BindingProperty::get(std::string_view name) const noexcept {
  if (kind_ != Kind::Structure) return gEmptyValue;
  const MemberNode* node = static_cast<const MemberTree*>(value_.p)->find(name);
  return node ? node->value : gEmptyValue;
}

bool BindingProperty::hasMember(std::string_view name) const noexcept {
  return kind_ == Kind::Structure && static_cast<const MemberTree*>(value_.p)->find(name) != nullptr;
}

BindingProperty& BindingProperty::member(std::string_view name) {
  makeStructure();
  auto& tree = *static_cast<MemberTree*>(value_.p);
  MemberTree::InsertPath path;
  if (MemberNode* found = tree.findOrPath(name, path)) return found->value;
  MemberNode* node = newMember(arena_->intern(name));
  tree.insertAt(path, node);
  return node->value;
}

// A new member node of this tree named by `key` (a counted record, given
// back if no slot can be had), holding an empty value; it is not linked yet.
MemberNode* BindingProperty::newMember(InternedString* key) {
  MemberNode* node;
  try {
    node = arena_->allocateFor<MemberNode>();
  } catch (...) {
    arena_->release(key);
    throw;
  }
  node->nameBits = reinterpret_cast<std::uintptr_t>(key);
  new (&node->value) BindingProperty(arena_, false);
  return node;
}

void BindingProperty::visitMembers(const MemberVisitor& visitor) const {
  if (kind_ != Kind::Structure) return;
  static_cast<const MemberTree*>(value_.p)->forEach(
      [&](MemberNode& node) { visitor.visit(visitor.context, node.name()->view(), node.value); });
}

// ---- BindingResult ----

void BindingResult::setError(std::string_view message) {
  // The message may be a view into the value being replaced.
  std::string text(message);
  value.reset();
  ok = false;
  value.member("error").setString(text);
}

std::string_view BindingResult::errorText() const noexcept {
  if (ok) return {};
  return value.get("error").asString();
}

}  // namespace qor
