// FunctionResult: what a routed function's handler returns, either a value or
// an error message, plus the response details (status, headers) either way.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qor {

// Response details shared by every FunctionResult, copied into the core's
// response whether the call succeeded or failed.
struct FunctionResponseInfo {
  std::uint8_t flag = 0;   // response flag byte
  std::uint32_t kind = 0;  // response kind: 1, 2 or 3 reach the core, anything else reads as 0
  std::uint32_t status = 0;  // 0 unless the handler sets one
  std::string statusText;
  std::vector<std::pair<std::string, std::string>> headers;  // name, value
};

// The outcome of a handler with result type T: success and a value, or an
// error message with (usually) a status code.
//
//   return FunctionResult<std::vector<Item>>::ok(std::move(items));
//   return FunctionResult<std::vector<Item>>::fail("Service unavailable", 500);
template <class T>
struct FunctionResult : FunctionResponseInfo {
  bool success = false;
  T value{};
  std::string error;

  static FunctionResult ok(T v) {
    FunctionResult r;
    r.success = true;
    r.value = std::move(v);
    return r;
  }
  static FunctionResult fail(std::string message, std::uint32_t statusCode = 0) {
    FunctionResult r;
    r.error = std::move(message);
    r.status = statusCode;
    return r;
  }
};

// A handler without a result value.
template <>
struct FunctionResult<void> : FunctionResponseInfo {
  bool success = false;
  std::string error;

  static FunctionResult ok() {
    FunctionResult r;
    r.success = true;
    return r;
  }
  static FunctionResult fail(std::string message, std::uint32_t statusCode = 0) {
    FunctionResult r;
    r.error = std::move(message);
    r.status = statusCode;
    return r;
  }
};

}  // namespace qor
