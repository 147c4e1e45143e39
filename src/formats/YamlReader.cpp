// YamlReader: builds a BindingProperty from libyaml's parser events. The
// builder keeps its own stack of frames, so document depth never turns into
// call depth.
#include "formats/YamlReader.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

#include <yaml.h>

#include "binding/ConversionRules.h"
#include "binding/FormatMessage.h"

namespace qor {
namespace {

constexpr const char* kStrTag = "tag:yaml.org,2002:str";
constexpr const char* kIntTag = "tag:yaml.org,2002:int";
constexpr const char* kFloatTag = "tag:yaml.org,2002:float";
constexpr const char* kBoolTag = "tag:yaml.org,2002:bool";

// One step of the way from the result value down to a node.
struct PathStep {
  std::size_t index = 0;  // element index when `name` is not used
  std::string name;
  bool isMember = false;
};

// What an anchor names: a key's text, or the way to the anchored node.
struct Anchor {
  std::vector<PathStep> path;
  std::string keyText;
  bool isKey = false;
  bool open = false;  // a sequence or mapping whose end has not come yet
};

enum class FrameKind : std::uint8_t { Value, Sequence, Mapping };

// The step from the parent frame's container to this frame's node is kept
// as an element index or as a member name on the builder's key stack, so
// that entering a member costs no allocation; anchors copy the steps out.
struct Frame {
  BindingProperty* target;
  FrameKind kind = FrameKind::Value;
  bool isMember = false;
  Anchor* anchor = nullptr;  // the anchor of an open sequence or mapping
  std::size_t index = 0;     // element index, or the name's offset on the key stack
  std::size_t nameLength = 0;
};

bool equals(const char* text, std::size_t length, std::string_view word) {
  return length == word.size() && std::memcmp(text, word.data(), length) == 0;
}

bool isNullWord(const char* text, std::size_t length) {
  return length == 0 || equals(text, length, "~") || equals(text, length, "null") ||
         equals(text, length, "Null") || equals(text, length, "NULL");
}

// 1 for a true word, 0 for a false word, -1 for anything else.
int boolWord(const char* text, std::size_t length) {
  static constexpr std::string_view kTrue[] = {"true", "True", "TRUE", "y",  "Y",  "yes",
                                               "Yes",  "YES",  "on",   "On", "ON"};
  static constexpr std::string_view kFalse[] = {"false", "False", "FALSE", "n",  "N",  "no",
                                                "No",    "NO",    "off",   "Off", "OFF"};
  if (length > 5) return -1;
  for (std::string_view w : kTrue)
    if (equals(text, length, w)) return 1;
  for (std::string_view w : kFalse)
    if (equals(text, length, w)) return 0;
  return -1;
}

// True when strtod could read a number starting with `c`: white space, a
// sign, a digit, a point, or the first letter of "inf" or "nan". Any other
// text (most strings) is known not to be a number without converting it.
bool mayStartNumber(char c) noexcept {
  switch (c) {
    case ' ': case '\t': case '\n': case '\v': case '\f': case '\r':
    case '+': case '-': case '.':
    case 'i': case 'I': case 'n': case 'N':
      return true;
    default:
      return c >= '0' && c <= '9';
  }
}

// Reads the whole text as a finite number, as strtod reads it; `text[length]`
// must be readable and stop the conversion (a NUL or a line break does).
// Plain decimal text goes through from_chars, which rounds as strtod does
// but much faster; whatever it does not take whole (a leading '+' or white
// space, hexadecimal, a value out of range) is left to strtod.
bool resolveNumber(BindingProperty& target, const char* text, std::size_t length) {
  if (length == 0 || !mayStartNumber(text[0])) return false;
  double d = 0;
  const auto [last, ec] = std::from_chars(text, text + length, d);
  if (ec != std::errc{} || last != text + length) {
    char* end = nullptr;
    d = std::strtod(text, &end);
    if (end != text + length) return false;
  }
  if (!std::isfinite(d)) return false;
  if (d != std::trunc(d)) {
    target.setDouble(d);
  } else if (d < 0) {
    // -2^63 is exact in a double; anything below it has no 64-bit form.
    if (d >= -9223372036854775808.0)
      target.setInt64(static_cast<std::int64_t>(d));
    else
      target.setDouble(d);
  } else if (d < 18446744073709551616.0) {
    target.setUint64(static_cast<std::uint64_t>(d));
  } else {
    target.setDouble(d);
  }
  return true;
}

class YamlBuilder {
 public:
  explicit YamlBuilder(BindingProperty& root) : root_(root) {
    frames_.reserve(32);
    frames_.push_back(Frame{&root});
  }

  // Handles one event; false when it ends the document with an error, or
  // when the stream has ended (`done()` tells which).
  bool handle(const yaml_event_t& event) {
    switch (event.type) {
      case YAML_STREAM_START_EVENT:
      case YAML_DOCUMENT_END_EVENT:
      case YAML_NO_EVENT:
        return true;
      case YAML_STREAM_END_EVENT:
        done_ = true;
        return false;
      case YAML_DOCUMENT_START_EVENT:
        if (!root_.isEmpty()) return fail("Multi-document YAML is not supported.");
        return true;
      case YAML_SEQUENCE_END_EVENT:
      case YAML_MAPPING_END_EVENT:
        closeContainer();
        return true;
      case YAML_SCALAR_EVENT:
        if (event.data.scalar.anchor == nullptr && valueExpected()) return scalarValue(event);
        chooseTarget();
        return scalar(event);
      case YAML_SEQUENCE_START_EVENT:
        chooseTarget();
        return openContainer(event, FrameKind::Sequence,
                             reinterpret_cast<const char*>(event.data.sequence_start.anchor));
      case YAML_MAPPING_START_EVENT:
        chooseTarget();
        return openContainer(event, FrameKind::Mapping,
                             reinterpret_cast<const char*>(event.data.mapping_start.anchor));
      case YAML_ALIAS_EVENT:
        chooseTarget();
        return alias(event);
    }
    return true;
  }

  bool done() const noexcept { return done_; }
  bool failed() const noexcept { return failed_; }
  const std::string& error() const noexcept { return error_; }

 private:
  bool fail(std::string message) {
    failed_ = true;
    error_ = std::move(message);
    return false;
  }
  bool failAt(const char* tmpl, const yaml_event_t& event) {
    return fail(formatMessage(tmpl, event.start_mark.line + 1, event.start_mark.column + 1));
  }
  bool failAt(const char* tmpl, const char* name, const yaml_event_t& event) {
    return fail(formatMessage(tmpl, name, event.start_mark.line + 1, event.start_mark.column + 1));
  }

  // A node inside a sequence goes into a new element at its end; the value of
  // a mapping goes into the member its key names. Otherwise the top frame is
  // the target (the root, or a mapping that expects a key).
  void chooseTarget() {
    Frame& top = frames_.back();
    if (top.kind == FrameKind::Sequence) {
      std::size_t index = top.target->size();
      BindingProperty* element = &top.target->append();
      frames_.push_back(Frame{element, FrameKind::Value, false, nullptr, index, 0});
    } else if (top.kind == FrameKind::Mapping && hasPendingKey_) {
      BindingProperty* member = &top.target->member(pendingKey_);
      hasPendingKey_ = false;
      frames_.push_back(Frame{member, FrameKind::Value, true, nullptr, keyStack_.size(), pendingKey_.size()});
      keyStack_ += pendingKey_;
    }
  }

  bool keyExpected() const noexcept { return frames_.back().kind == FrameKind::Mapping; }
  // Before chooseTarget: the next node is a value, not a mapping's key.
  bool valueExpected() const noexcept { return frames_.back().kind != FrameKind::Mapping || hasPendingKey_; }

  // Removes the top frame; the root's frame stays and becomes a plain value again.
  void popFrame() {
    if (frames_.size() > 1) {
      if (frames_.back().isMember) keyStack_.resize(frames_.back().index);
      frames_.pop_back();
    } else {
      frames_.back().kind = FrameKind::Value;
      frames_.back().anchor = nullptr;
    }
  }

  void closeContainer() {
    Frame& top = frames_.back();
    if (top.kind == FrameKind::Value) return;  // unbalanced: the parser would not send it
    if (top.anchor != nullptr) top.anchor->open = false;
    --openContainers_;
    popFrame();
  }

  void setPendingKey(const char* text, std::size_t length) {
    pendingKey_.assign(text, length);
    hasPendingKey_ = true;
  }

  // Records an anchor for the node of the top frame (or for a key's text).
  Anchor* recordAnchor(const char* name, const yaml_event_t& event) {
    auto [it, inserted] = anchors_.try_emplace(name);
    if (!inserted) {
      failAt("Duplicate occurrence of anchor \"%1\". At line: %2 col: %3", name, event);
      return nullptr;
    }
    Anchor& anchor = it->second;
    anchor.path.reserve(frames_.size() - 1);
    for (std::size_t i = 1; i < frames_.size(); ++i) {
      const Frame& f = frames_[i];
      if (f.isMember)
        anchor.path.push_back(PathStep{0, keyStack_.substr(f.index, f.nameLength), true});
      else
        anchor.path.push_back(PathStep{f.index, {}, false});
    }
    return &anchor;
  }

  // An unanchored scalar in a value's place goes straight into its element or
  // member (or the root): no path to it is ever needed, so it takes no frame.
  bool scalarValue(const yaml_event_t& event) {
    Frame& top = frames_.back();
    BindingProperty* target = top.target;
    if (top.kind == FrameKind::Sequence) {
      target = &target->append();
    } else if (top.kind == FrameKind::Mapping) {
      target = &target->member(pendingKey_);
      hasPendingKey_ = false;
    }
    return resolveScalar(*target, event);
  }

  // Stores a scalar event's value in `target`: by its tag, or by its text.
  bool resolveScalar(BindingProperty& target, const yaml_event_t& event) {
    const auto& s = event.data.scalar;
    const char* text = reinterpret_cast<const char*>(s.value);
    if (s.tag == nullptr) {
      resolveUntagged(target, text, s.length, s.style);
      return true;
    }
    return resolveTagged(target, text, s.length, reinterpret_cast<const char*>(s.tag));
  }

  // A key, or a value that needs a frame (an anchored one, whose path is recorded).
  bool scalar(const yaml_event_t& event) {
    const auto& s = event.data.scalar;
    const char* text = reinterpret_cast<const char*>(s.value);
    const std::size_t length = s.length;
    const char* tag = reinterpret_cast<const char*>(s.tag);
    const char* anchorName = reinterpret_cast<const char*>(s.anchor);

    if (keyExpected()) {
      if (tag != nullptr && std::strcmp(tag, kStrTag) != 0)
        return failAt("Invalid mapping key. Only string scalar keys are allowed. At line: %1 col: %2", event);
      setPendingKey(text, length);
      if (anchorName != nullptr) {
        Anchor* anchor = recordAnchor(anchorName, event);
        if (anchor == nullptr) return false;
        anchor->path.clear();
        anchor->isKey = true;
        anchor->keyText = pendingKey_;
      }
      return true;
    }

    if (!resolveScalar(*frames_.back().target, event)) return false;
    if (anchorName != nullptr && recordAnchor(anchorName, event) == nullptr) return false;
    popFrame();
    return true;
  }

  static void resolveUntagged(BindingProperty& target, const char* text, std::size_t length,
                              yaml_scalar_style_t style) {
    if (style == YAML_SINGLE_QUOTED_SCALAR_STYLE || style == YAML_DOUBLE_QUOTED_SCALAR_STYLE) {
      target.setString(std::string_view(text, length));
      return;
    }
    if (isNullWord(text, length)) {
      target.reset();
      return;
    }
    // A block scalar's final line breaks are not part of its number.
    std::size_t numberLength = length;
    if (style == YAML_LITERAL_SCALAR_STYLE || style == YAML_FOLDED_SCALAR_STYLE) {
      while (numberLength > 0 && (text[numberLength - 1] == '\n' || text[numberLength - 1] == '\r'))
        --numberLength;
    }
    if (resolveNumber(target, text, numberLength)) return;
    int b = boolWord(text, length);
    if (b >= 0) {
      target.setBool(b == 1);
      return;
    }
    target.setString(std::string_view(text, length));
  }

  bool resolveTagged(BindingProperty& target, const char* text, std::size_t length, const char* tag) {
    std::string_view value(text, length);
    if (std::strcmp(tag, kStrTag) == 0) {
      target.setString(value);
      return true;
    }
    if (std::strcmp(tag, kIntTag) == 0) {
      BindingProperty source(value);
      BindingResult status;
      if (!value.empty() && value.front() == '-') {
        std::int64_t v = 0;
        convertSigned(status, v, source, "yaml", std::numeric_limits<std::int64_t>::min(),
                      std::numeric_limits<std::int64_t>::max(), "int64_t");
        if (status.ok) target.setInt64(v);
      } else {
        std::uint64_t v = 0;
        convertUnsigned(status, v, source, "yaml", std::numeric_limits<std::uint64_t>::max(), "uint64_t");
        if (status.ok) target.setUint64(v);
      }
      return status.ok || fail(std::string(status.errorText()));
    }
    if (std::strcmp(tag, kFloatTag) == 0) {
      BindingProperty source(value);
      BindingResult status;
      double v = 0;
      convertFloat(status, v, source, "yaml", -DBL_MAX, DBL_MAX, "double");
      if (status.ok) target.setDouble(v);
      return status.ok || fail(std::string(status.errorText()));
    }
    if (std::strcmp(tag, kBoolTag) == 0) {
      int b = boolWord(text, length);
      if (b >= 0) target.setBool(b == 1);  // any other text leaves the value as it is
      return true;
    }
    return fail(formatMessage("Unsupported YAML tag '%1'.", tag));
  }

  bool openContainer(const yaml_event_t& event, FrameKind kind, const char* anchorName) {
    if (keyExpected()) {
      return failAt(kind == FrameKind::Sequence ? "Unexpected start of sequence. At line: %1 col: %2"
                                                : "Unexpected start of mapping. At line: %1 col: %2",
                    event);
    }
    if (openContainers_ >= kYamlMaxDepth)
      return failAt("YAML document is nested too deeply. At line: %1 col: %2", event);
    Frame& top = frames_.back();
    if (kind == FrameKind::Sequence)
      top.target->makeCollection();
    else
      top.target->makeStructure();
    top.kind = kind;
    ++openContainers_;
    if (anchorName != nullptr) {
      Anchor* anchor = recordAnchor(anchorName, event);
      if (anchor == nullptr) return false;
      anchor->open = true;
      frames_.back().anchor = anchor;
    }
    return true;
  }

  // The anchored node as it stands now, found from the result value.
  const BindingProperty& anchoredNode(const Anchor& anchor) const {
    const BindingProperty* node = &root_;
    for (const PathStep& step : anchor.path)
      node = step.isMember ? &node->get(std::string_view(step.name)) : &node->get(step.index);
    return *node;
  }

  // Counts the values of a tree and its container depth, without recursion.
  static void measure(const BindingProperty& node, std::size_t& values, std::size_t& depth) {
    struct Item {
      const BindingProperty* node;
      std::size_t depth;
    };
    std::vector<Item> pending{{&node, 0}};
    values = 0;
    depth = 0;
    while (!pending.empty()) {
      Item item = pending.back();
      pending.pop_back();
      ++values;
      BindingPropertyKind kind = item.node->kind();
      if (kind != BindingPropertyKind::Collection && kind != BindingPropertyKind::Structure) continue;
      std::size_t d = item.depth + 1;
      if (d > depth) depth = d;
      if (kind == BindingPropertyKind::Collection) {
        for (const BindingProperty& e : item.node->elements()) pending.push_back({&e, d});
      } else {
        item.node->forEachMember([&](std::string_view, const BindingProperty& m) { pending.push_back({&m, d}); });
      }
    }
  }

  bool alias(const yaml_event_t& event) {
    const char* name = reinterpret_cast<const char*>(event.data.alias.anchor);
    auto it = anchors_.find(name);
    if (it == anchors_.end())
      return failAt("Undefined alias encountered: \"%1\". At line: %2 col: %3", name, event);
    const Anchor& anchor = it->second;
    if (anchor.open) return failAt("Cannot deserialize cyclic aliases. Alias \"%1\". At line: %2 col: %3", name, event);

    if (keyExpected()) {
      if (anchor.isKey) {
        setPendingKey(anchor.keyText.data(), anchor.keyText.size());
        return true;
      }
      const BindingProperty& node = anchoredNode(anchor);
      if (node.kind() != BindingPropertyKind::String)
        return failAt("Invalid mapping key. Only string scalar keys are allowed. At line: %1 col: %2", event);
      std::string_view key = node.asString();
      setPendingKey(key.data(), key.size());
      return true;
    }

    BindingProperty& target = *frames_.back().target;
    if (anchor.isKey) {
      target.setString(anchor.keyText);
    } else {
      const BindingProperty& node = anchoredNode(anchor);
      std::size_t values = 0;
      std::size_t depth = 0;
      measure(node, values, depth);
      aliasValues_ += values;
      if (aliasValues_ > kYamlMaxAliasValues)
        return failAt("YAML aliases expand to too many values. At line: %1 col: %2", event);
      if (openContainers_ + depth > kYamlMaxDepth)
        return failAt("YAML document is nested too deeply. At line: %1 col: %2", event);
      if (&node == &target) {
        // The alias names the node it replaces: nothing changes.
      } else if (target.isEmpty()) {
        target = node;
      } else {
        // The target may hold the anchored node (a repeated key): copy it out first.
        BindingProperty copy(node);
        target = copy;
      }
    }
    popFrame();
    return true;
  }

  BindingProperty& root_;
  std::vector<Frame> frames_;
  std::unordered_map<std::string, Anchor> anchors_;
  std::string pendingKey_;
  std::string keyStack_;  // names of the member frames, outermost first
  std::size_t openContainers_ = 0;
  std::size_t aliasValues_ = 0;
  bool hasPendingKey_ = false;
  bool done_ = false;
  bool failed_ = false;
  std::string error_;
};

// Owns the parser and the current event, so both are released on every path.
class YamlParser {
 public:
  YamlParser() { ready_ = yaml_parser_initialize(&parser_) != 0; }
  ~YamlParser() {
    if (hasEvent_) yaml_event_delete(&event_);
    if (ready_) yaml_parser_delete(&parser_);
  }
  YamlParser(const YamlParser&) = delete;
  YamlParser& operator=(const YamlParser&) = delete;

  bool ready() const noexcept { return ready_; }
  void setInput(const char* data, std::size_t size) {
    yaml_parser_set_encoding(&parser_, YAML_UTF8_ENCODING);
    yaml_parser_set_input_string(&parser_, reinterpret_cast<const unsigned char*>(data), size);
  }
  // The next event, or null on a parser error.
  const yaml_event_t* next() {
    if (hasEvent_) {
      yaml_event_delete(&event_);
      hasEvent_ = false;
    }
    if (!yaml_parser_parse(&parser_, &event_)) return nullptr;
    hasEvent_ = true;
    return &event_;
  }
  std::string errorMessage() const {
    const char* problem = parser_.problem != nullptr ? parser_.problem : "";
    return formatMessage("YAML parser error: %1. At line: %2 col: %3", problem, parser_.problem_mark.line,
                         parser_.problem_mark.column);
  }

 private:
  yaml_parser_t parser_{};
  yaml_event_t event_{};
  bool ready_ = false;
  bool hasEvent_ = false;
};

}  // namespace

BindingResult readYaml(std::string_view text) {
  BindingResult result;
  const char* data = text.data() != nullptr ? text.data() : "";
  std::size_t size = text.size();
  if (const void* nul = std::memchr(data, '\0', size)) size = static_cast<const char*>(nul) - data;

  YamlParser parser;
  if (!parser.ready()) {
    result.setError(parser.errorMessage());
    return result;
  }
  parser.setInput(data, size);
  result.value.expectStrings(size / 64);  // about one distinct string per 64 bytes
  YamlBuilder builder(result.value);
  for (;;) {
    const yaml_event_t* event = parser.next();
    if (event == nullptr) {
      result.setError(parser.errorMessage());
      return result;
    }
    if (!builder.handle(*event)) break;
  }
  if (builder.failed()) result.setError(builder.error());
  return result;
}

}  // namespace qor
