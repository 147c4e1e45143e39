// CoreRequests: sending a request through the core and reading its body.
#include "runtime/CoreRequests.h"

#include "binding/CoreValueConverter.h"
#include "formats/JsonReader.h"
#include "runtime/CoreLink.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace qor {
namespace {

constexpr const char* kYieldLabel = "Wait: yield";
constexpr std::uint32_t kStreamChunk = 4096;

// Calls a response's release function once, when the response is done with.
class ResponseRelease {
 public:
  explicit ResponseRelease(CoreResponse& response) : response_(response) {}
  ~ResponseRelease() {
    CoreResponseReleaseFn release = response_.release;
    if (release) release(&response_);
  }
  ResponseRelease(const ResponseRelease&) = delete;
  ResponseRelease& operator=(const ResponseRelease&) = delete;

 private:
  CoreResponse& response_;
};

}  // namespace

RequestResult<BindingProperty> CoreRequests::send(HttpMethod method, std::string_view uri) const {
  const std::string uriText(uri);
  const std::string_view methodName = httpMethodName(method);
  CoreRequest request{};
  request.method = coreMethodCode(method);
  request.uri = uriText.c_str();
  request.args = nullptr;
  request.argCount = 0;
  request.handle = link_.pluginHandle();
  CoreResponse response{};
  if (!link_.core().sendRequest(&response, &request))
    return makeRequestError(0, kErrorResponseTemplate, {methodName, uri, kNotConnected});
  ResponseRelease release(response);
  if (response.error) {
    const std::string error(response.error);
    return makeRequestError(static_cast<std::int32_t>(response.status), kErrorResponseTemplate,
                            {methodName, uri, error});
  }
  return readBody(method, uri, response);
}

RequestResult<BindingProperty> CoreRequests::readBody(HttpMethod method, std::string_view uri,
                                                      CoreResponse& response) const {
  // A read function makes the body streamed, whatever the value holds.
  if (response.read) return readStream(method, uri, response);
  BindingResult body;
  CoreValue value;
  std::memcpy(&value, &response.body, sizeof value);
  fromCoreValue(body, value, kResultFieldName);
  if (!body.ok)
    return makeRequestError(0, kErrorConvertingTemplate,
                            {httpMethodName(method), uri, body.errorText()});
  return std::move(body.value);
}

RequestResult<BindingProperty> CoreRequests::readStream(HttpMethod method, std::string_view uri,
                                                        CoreResponse& response) const {
  const std::string_view methodName = httpMethodName(method);
  CoreStreamReadFn read = response.read;
  CoreStreamCloseFn close = response.close;
  void* stream = response.stream;
  std::string text;
  text.reserve(std::min<std::size_t>(response.sizeHint, kMaxStreamReserve));
  char buffer[kStreamChunk];
  std::uint8_t more = 1;
  while (more) {
    std::uint32_t size = kStreamChunk;
    more = 1;
    if (!read(stream, buffer, &size, &more)) {
      if (close) close(stream);
      return makeRequestError(0, kErrorStreamTemplate, {methodName, uri, "Stream read error"});
    }
    size = std::min(size, kStreamChunk);
    text.append(buffer, size);
    if (size < kStreamChunk && more) {
      link_.core().enterWait(kYieldLabel, 0);
      link_.core().yield();
      link_.core().leaveWait();
    }
  }
  BindingResult body = readJson(std::string_view(text));
  if (close) close(stream);
  if (!body.ok) return makeRequestError(0, kErrorStreamTemplate, {methodName, uri, body.errorText()});
  return std::move(body.value);
}

}  // namespace qor
