// RequestError: the failure of a request through the core, with a code, the
// message and the named values that went into it; RequestResult<T> holds
// either the value or the error.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace qor {

// The field name that conversion messages about a whole response or event
// payload use.
inline constexpr std::string_view kResultFieldName = "<result>";

struct RequestError {
  std::int32_t code = 0;
  std::string message;
  // The values of the template's named placeholders, by name; "errorCode_int"
  // holds the code in decimal when the code is not zero.
  std::map<std::string, std::string, std::less<>> fields;

  // The field's value, or null when there is none.
  const std::string* field(std::string_view name) const;
};

// Builds a RequestError from a template with named placeholders: the n-th
// "{name}" takes the n-th value and is recorded as field `name`; "{{" and "}}"
// stand for literal braces and "%%" stays as it is. Values beyond the
// placeholders are ignored; a placeholder without a value is left empty.
RequestError makeRequestError(std::int32_t code, std::string_view tmpl,
                              std::initializer_list<std::string_view> values);

// Rewrites a named-placeholder template into numbered placeholders ("%1",
// "%2", ...) and collects the names in order. Exposed for tests.
std::string numberPlaceholders(std::string_view tmpl, std::vector<std::string>* names);

template <class T>
class [[nodiscard]] RequestResult {
 public:
  RequestResult(T value) : v_(std::in_place_index<0>, std::move(value)) {}
  RequestResult(RequestError error) : v_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const noexcept { return v_.index() == 0; }
  explicit operator bool() const noexcept { return ok(); }

  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  const RequestError& error() const { return std::get<1>(v_); }

 private:
  std::variant<T, RequestError> v_;
};

}  // namespace qor
