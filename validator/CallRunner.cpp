// CallRunner: one call of a plug-in function and the checks of its answer.
#include "validator/CallRunner.h"

#include "validator/CoreValues.h"
#include "validator/TypeCheck.h"

#include <cstring>
#include <memory>

namespace qor::validator {
namespace {

constexpr std::size_t kMaxStreamBytes = 64u << 20;
constexpr std::uint32_t kMaxHeaders = 100000;

// A buffer of exactly `text`'s bytes (plus a NUL when asked): a reader that
// runs past the end meets the sanitizer.
std::unique_ptr<char[]> exactCopy(const std::string& text, bool terminate) {
  auto copy = std::make_unique<char[]>(text.size() + (terminate ? 1 : 0));
  if (!text.empty()) std::memcpy(copy.get(), text.data(), text.size());
  if (terminate) copy[text.size()] = '\0';
  return copy;
}

bool allZero(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

}  // namespace

CallAnswer performCall(const FunctionModel& function, const CallRequest& call, const ApiModel& model,
                       unsigned strictness, const std::function<bool()>& enter) {
  CallAnswer answer;
  auto problem = [&](const std::string& text) { answer.problems.push_back(text); };

  // ---- The request, in memory the core owns ----
  ValueArena arena;
  auto uri = exactCopy(call.uri, true);
  std::unique_ptr<char[]> body = call.hasBody && !call.body.empty() ? exactCopy(call.body, false) : nullptr;
  std::vector<CoreHeader> headers;
  for (const auto& [name, value] : call.headers) headers.push_back(CoreHeader{arena.text(name), arena.text(value)});
  std::vector<CoreArgument> arguments;
  for (const CallRequest::Argument& a : call.arguments) {
    CoreArgument entry{};
    entry.name = a.name ? arena.text(*a.name) : nullptr;
    const CoreValue value = a.raw ? *a.raw : toCoreValue(a.value, arena);
    std::memcpy(&entry.value, &value, sizeof value);
    arguments.push_back(entry);
  }
  CoreRequest request{};
  request.method = call.method;
  request.uri = uri.get();
  request.args = arguments.empty() ? nullptr : arguments.data();
  request.argCount = static_cast<std::uint32_t>(arguments.size());
  request.callContext = function.callContext;
  request.headers = headers.empty() ? nullptr : headers.data();
  request.headerCount = static_cast<std::uint32_t>(headers.size());
  request.contentType = call.contentType ? arena.text(*call.contentType) : nullptr;
  request.body = call.hasBody ? (body ? static_cast<const void*>(body.get()) : static_cast<const void*>(arena.text(""))) : nullptr;
  request.bodySize = call.hasBody ? static_cast<std::uint32_t>(call.body.size()) : 0;
  int callerContext = 0;
  request.handle = &callerContext;
  request.methodName = call.method == CORE_METHOD_OTHER ? arena.text(call.methodName) : nullptr;
  const CoreRequest sent = request;
  const std::string argumentBytes(reinterpret_cast<const char*>(arguments.data()), arguments.size() * sizeof(CoreArgument));

  // ---- The call ----
  CoreResponse response;
  // Garbage in every byte: the plug-in must write the whole record.
  std::memset(static_cast<void*>(&response), strictness >= 2 ? 0xA5 : 0, sizeof response);
  if (enter && !enter()) {
    answer.skipped = true;
    return answer;
  }
  function.dispatch(&response, &request);

  // ---- The answer ----
  const std::string where = function.name + " (" + call.label + ")";
  if (response.hasError > 1) problem(where + ": the error flag byte is " + std::to_string(response.hasError));
  if (response.hasError == 1 && response.error == nullptr) problem(where + ": the error flag is set without an error text");
  if (response.error != nullptr) {
    answer.failed = true;
    answer.error = std::string(response.error).substr(0, 200);
    if (response.hasError != 1) problem(where + ": an error text without the error flag");
  }
  answer.status = response.status;
  if (response.status != 0 && (response.status < 100 || response.status > 599))
    problem(where + ": status " + std::to_string(response.status));
  if (response.responseKind > CORE_RESPONSE_KIND_3) problem(where + ": response kind " + std::to_string(response.responseKind));
  if (response.reserved != 0) problem(where + ": the word after the size hint is " + std::to_string(response.reserved) + ", not 0");
  if (response.statusText != nullptr) static_cast<void>(std::strlen(response.statusText));
  if (response.headerCount != 0) {
    if (response.headers == nullptr) {
      problem(where + ": " + std::to_string(response.headerCount) + " headers at a null pointer");
    } else if (response.headerCount > kMaxHeaders) {
      problem(where + ": header count " + std::to_string(response.headerCount));
    } else {
      for (std::uint32_t i = 0; i < response.headerCount; ++i) {
        if (response.headers[i].name == nullptr || response.headers[i].value == nullptr)
          problem(where + ": header " + std::to_string(i) + " has a null name or value");
      }
    }
  }
  CoreValue value;
  std::memcpy(&value, &response.body, sizeof value);
  const std::string malformed = checkCoreValue(value);
  if (!malformed.empty()) {
    problem(where + ": malformed result value: " + malformed);
  } else if (!answer.failed && response.read == nullptr && strictness >= 2) {
    const std::string mismatch = checkValueAgainstType(value, function.returns, model);
    if (!mismatch.empty()) problem(where + ": the result does not fit " + function.returns.describe() + ": " + mismatch);
  }
  if (response.read != nullptr) {
    // A streamed answer: read it to its end, as a core does.
    std::string streamed;
    char buffer[4096];
    std::uint8_t more = 1;
    std::size_t reads = 0;
    while (more != 0 && streamed.size() < kMaxStreamBytes && reads < 1000000) {
      std::uint32_t size = sizeof buffer;
      more = 1;
      ++reads;
      if (!response.read(response.stream, buffer, &size, &more)) break;
      if (size > sizeof buffer) {
        problem(where + ": the stream delivered " + std::to_string(size) + " bytes into a buffer of 4096");
        break;
      }
      streamed.append(buffer, size);
    }
    if (response.close != nullptr) response.close(response.stream);
  }
  if (call.mustFail && !answer.failed)
    problem(where + ": answered with success, but no route of the function fits the request");

  // ---- Release ----
  if (response.release == nullptr) {
    problem(where + ": the response has no release function (its memory can never be freed)");
  } else {
    response.release(&response);
    if (strictness >= 2 && !allZero(&response, sizeof response))
      problem(where + ": the release function left the response record set");
  }

  // ---- The request is the core's: nothing in it may have changed ----
  if (std::memcmp(&sent, &request, sizeof request) != 0) problem(where + ": the plug-in wrote into the request record");
  if (std::memcmp(uri.get(), call.uri.c_str(), call.uri.size() + 1) != 0) problem(where + ": the plug-in wrote into the URI");
  if (body && std::memcmp(body.get(), call.body.data(), call.body.size()) != 0)
    problem(where + ": the plug-in wrote into the body");
  if (!arguments.empty() && std::memcmp(arguments.data(), argumentBytes.data(), argumentBytes.size()) != 0)
    problem(where + ": the plug-in wrote into the argument list");
  return answer;
}

}  // namespace qor::validator
