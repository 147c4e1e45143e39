// Binds request sources to a function's arguments: named texts (with dotted
// index and member paths), the core's argument list and the body.
#include "dispatch/ArgumentBinder.h"

#include <algorithm>

#include "binding/CoreValueConverter.h"
#include "binding/FormatMessage.h"
#include "binding/TypeRegistry.h"
#include "dispatch/BodyDecoder.h"
#include "dispatch/FunctionRoute.h"
#include "dispatch/HandlerInvoker.h"
#include "dispatch/QueryMap.h"

namespace qor {

namespace {

bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }

int digitValue(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

enum class IndexParse { Ok, BadFormat, OutOfRange };

// Reads an index segment (it starts with a digit) as an unsigned number with
// automatic base: "0x" and hexadecimal digits, a leading "0" for octal,
// decimal otherwise. Every character must belong to the number.
IndexParse parseIndex(std::string_view segment, std::size_t& index) noexcept {
  unsigned base = 10;
  std::size_t pos = 0;
  if (segment.size() > 2 && segment[0] == '0' && (segment[1] == 'x' || segment[1] == 'X') &&
      digitValue(segment[2]) < 16) {
    base = 16;
    pos = 2;
  } else if (segment[0] == '0') {
    base = 8;
  }
  std::uint64_t value = 0;
  bool tooBig = false;
  for (; pos < segment.size(); ++pos) {
    const int d = digitValue(segment[pos]);
    if (d >= static_cast<int>(base)) break;
    value = value * base + static_cast<unsigned>(d);
    if (value > kMaxArgumentIndex) {
      tooBig = true;
      value = kMaxArgumentIndex + 1;  // keeps the arithmetic far from overflow
    }
  }
  if (pos != segment.size()) return IndexParse::BadFormat;
  if (tooBig) return IndexParse::OutOfRange;
  index = static_cast<std::size_t>(value);
  return IndexParse::Ok;
}

std::string lowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool sniffable(BindingTypeCode code) noexcept {
  return code == BindingTypeCode::Object || code == BindingTypeCode::Struct ||
         code == BindingTypeCode::Vector;
}

}  // namespace

std::size_t ArgumentBinder::findArgument(std::string_view name) const noexcept {
  const auto& arguments = function_.arguments;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i].name == name) return i;
  }
  return arguments.size();
}

void ArgumentBinder::prepare(ArgumentList& out) const {
  const auto& arguments = function_.arguments;
  out.values.clear();
  out.resize(arguments.size());
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i].type.code == BindingTypeCode::Bool && !arguments[i].optional) {
      out.values[i].setBool(false);
    }
  }
}

void ArgumentBinder::bind(BindingResult& status, const BindingSources& sources,
                          ArgumentList& out) const {
  prepare(out);
  if (!status.ok) return;

  // Headers: every argument that may come from a header looks for its
  // lower-cased name.
  if (sources.headers != nullptr && sources.headerCount != 0) {
    const HeaderMap headers(sources.headers, sources.headerCount);
    const auto& arguments = function_.arguments;
    for (std::size_t i = 0; i < arguments.size() && status.ok; ++i) {
      const ArgumentLocation location = route_.location(i);
      if (location != ArgumentLocation::Anywhere && location != ArgumentLocation::Header) continue;
      std::string_view value;
      if (headers.find(lowerCase(arguments[i].name), value)) {
        bindNamedText(status, out, arguments[i].name, value, ArgumentLocation::Header);
      }
    }
  }
  if (sources.captured != nullptr) {
    for (const auto& [name, value] : *sources.captured) {
      if (!status.ok) return;
      bindNamedText(status, out, name, value, ArgumentLocation::Path);
    }
  }
  if (!status.ok) return;
  if (!sources.query.empty()) {
    const QueryMap query(sources.query);
    for (const auto& [key, value] : query.entries()) {
      if (!status.ok) return;
      bindNamedText(status, out, key, value, ArgumentLocation::Query);
    }
  }
  if (!status.ok) return;
  bindCoreArguments(status, sources, out);
  if (!status.ok) return;
  bindBody(status, sources, out);
}

void ArgumentBinder::bindNamedText(BindingResult& status, ArgumentList& out, std::string_view key,
                                   std::string_view text, ArgumentLocation source) const {
  if (!status.ok) return;
  const std::size_t dot = key.find('.');
  const std::string_view name = key.substr(0, dot);
  const std::size_t index = findArgument(name);
  if (index >= function_.arguments.size() || index >= out.values.size()) {
    status.setError(formatMessage("Unknown argument '%1' for '%2'.", name, function_.name));
    return;
  }
  const ArgumentLocation allowed = route_.location(index);
  if (allowed != ArgumentLocation::Anywhere && allowed != source) {
    status.setError(formatMessage("Argument '%1' for '%2' was specified in an invalid location.",
                                  name, function_.name));
    return;
  }

  BindingProperty& slot = out.values[index];
  if (dot != std::string_view::npos) {
    // A path into the argument's value: index segments make collections,
    // other segments make structure members.
    std::string_view rest = key.substr(dot + 1);
    if (static_cast<std::size_t>(std::count(rest.begin(), rest.end(), '.')) >= kMaxArgumentPathSegments) {
      status.setError(formatMessage("Argument '%1' for '%2' is nested too deeply.", name, function_.name));
      return;
    }
    BindingProperty* current = &slot;
    std::string_view segment;
    while (true) {
      const std::size_t next = rest.find('.');
      segment = rest.substr(0, next);
      if (!segment.empty() && isDigit(segment[0])) {
        std::size_t position = 0;
        switch (parseIndex(segment, position)) {
          case IndexParse::BadFormat:
            status.setError(formatMessage("Index %1 is in an incorrect format", segment));
            return;
          case IndexParse::OutOfRange:
            status.setError(formatMessage("Index %1 is out of range", segment));
            return;
          case IndexParse::Ok:
            break;
        }
        current = &current->element(position);
      } else {
        current = &current->member(segment);
      }
      if (next == std::string_view::npos) break;
      rest.remove_prefix(next + 1);
    }
    decodeArgumentText(status, *current, function_.name, segment, text, {}, false);
    if (status.ok) out.bound[index] = 1;
    return;
  }

  const BindingTypeCode code = function_.arguments[index].type.code;
  if (text.empty()) {
    switch (code) {
      case BindingTypeCode::Bool:
        slot.setBool(true);
        break;
      case BindingTypeCode::Object:
      case BindingTypeCode::Struct:
        slot.reset();
        slot.makeStructure();
        break;
      case BindingTypeCode::Vector:
        slot.reset();
        slot.makeCollection();
        break;
      default:
        status.setError(formatMessage("Expected value for argument '%1'.", name));
        return;
    }
    out.bound[index] = 1;
    return;
  }
  decodeArgumentText(status, slot, function_.name, name, text, {}, sniffable(code));
  if (status.ok) out.bound[index] = 1;
}

void ArgumentBinder::bindCoreArguments(BindingResult& status, const BindingSources& sources,
                                       ArgumentList& out) const {
  if (sources.arguments == nullptr) return;
  const std::size_t capturedCount = sources.captured != nullptr ? sources.captured->size() : 0;
  const auto& arguments = function_.arguments;
  for (std::size_t i = 0; i < sources.argumentCount; ++i) {
    const CoreArgument& entry = sources.arguments[i];
    std::size_t index = 0;
    if (entry.name != nullptr) {
      index = findArgument(entry.name);
      if (index >= arguments.size()) {
        status.setError(formatMessage("Unknown argument '%1' for '%2'.", std::string_view(entry.name),
                                      function_.name));
        return;
      }
    } else {
      index = i + capturedCount;
      if (index >= arguments.size()) {
        status.setError(formatMessage("Unknown argument '%1' for '%2'.",
                                      static_cast<std::uint64_t>(index), function_.name));
        return;
      }
    }
    BindingResult converted;
    fromCoreValue(converted, entry.value, arguments[index].name);
    if (!converted.ok) {
      status = std::move(converted);
      return;
    }
    out.values[index] = std::move(converted.value);
    out.bound[index] = 1;
  }
}

void ArgumentBinder::bindBody(BindingResult& status, const BindingSources& sources,
                              ArgumentList& out) const {
  if (sources.body == nullptr) return;
  const auto& arguments = function_.arguments;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (route_.location(i) != ArgumentLocation::Body) continue;
    decodeBody(status, out.values[i], sources.contentType, sources.body, sources.bodySize);
    if (status.ok) out.bound[i] = 1;
    return;
  }
}

}  // namespace qor
