// ExternalRequests: building the core's record of an outside request and
// copying its answer.
#include "runtime/ExternalRequests.h"

#include "binding/FormatMessage.h"
#include "runtime/CoreLink.h"
#include "runtime/CoreRequests.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace qor {
namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

HttpResponse ExternalRequests::send(const HttpRequest& request) const {
  const std::string_view methodName = httpMethodName(request.method);
  std::vector<CoreHeader> headers;
  headers.reserve(request.headers.size() + 1);
  const bool hasAgent = std::any_of(request.headers.begin(), request.headers.end(), [](const auto& h) {
    return equalsIgnoringCase(h.first, "user-agent");
  });
  if (!hasAgent) headers.push_back(CoreHeader{"user-agent", link_.userAgent().c_str()});
  for (const auto& [name, value] : request.headers)
    headers.push_back(CoreHeader{name.c_str(), value.c_str()});

  ExternalRequest out{};
  out.method = coreMethodCode(request.method);
  out.url = request.url.c_str();
  out.headers = headers.empty() ? nullptr : headers.data();
  out.headerCount = static_cast<std::uint32_t>(headers.size());
  out.body = request.body.empty() ? nullptr : request.body.data();
  out.bodySize = static_cast<std::uint32_t>(request.body.size());
  out.setting1 = request.setting1;
  out.setting2 = request.setting2;

  HttpResponse result;
  ExternalResponse in{};
  if (!link_.core().sendExternalRequest(&in, &out)) {
    result.outcome = CORE_OUTCOME_FAILED;
    result.error = std::string(kNotConnected);
    return result;
  }

  switch (in.outcome) {
    case CORE_OUTCOME_CANCELLED:
    case CORE_OUTCOME_OK:
    case CORE_OUTCOME_TIMED_OUT: result.outcome = in.outcome; break;
    default: result.outcome = CORE_OUTCOME_FAILED; break;
  }
  const char* body = static_cast<const char*>(in.body);
  if (result.outcome != CORE_OUTCOME_OK) {
    // A failed transport puts its error text where the body would be.
    if (body) result.error.assign(body, in.bodySize);
  } else {
    result.status = in.status;
    const std::string what = formatMessage("%1 %2", methodName, request.url);
    bool inconsistent = false;
    if (in.headerCount != 0 && !in.headers) {
      result.error = formatMessage("Error converting response for %1: headers was null", what);
      inconsistent = true;
    } else {
      for (std::uint32_t i = 0; i < in.headerCount; ++i) {
        const CoreHeader& h = in.headers[i];
        result.headers.emplace(h.name ? h.name : "", h.value ? h.value : "");
      }
    }
    if (in.bodySize != 0 && !body) {
      result.error = formatMessage("Error converting response for %1: body was null", what);
      inconsistent = true;
    } else if (body) {
      result.body.assign(body, in.bodySize);
    }
    // A record with a missing block stays reported as failed even when the
    // other block was copied.
    result.conversionStatus = inconsistent ? 1 : 0;
  }
  ExternalResponseReleaseFn release = in.release;
  if (release) release(&in);
  return result;
}

}  // namespace qor
