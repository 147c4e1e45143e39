// Outside HTTP(S) requests for plug-ins, made with cpp-httplib.
#include "host/ExternalHttpClient.h"

#include "protocol/ProtocolNames.h"

#include <httplib.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace qor::host {
namespace {

void QOR_CDECL releaseExternalResponse(ExternalResponse* response) {
  if (response == nullptr) return;
  // Headers, their texts and the body share one block that starts at the
  // header array.
  std::free(const_cast<CoreHeader*>(response->headers));
  std::memset(response, 0, sizeof *response);
}

// Fills `response` with one block holding the header array, the header texts
// and the body.
bool fillResponse(ExternalResponse& response, int32_t outcome, int32_t status,
                  const std::vector<std::pair<std::string, std::string>>& headers,
                  const std::string& body) {
  std::size_t size = headers.size() * sizeof(CoreHeader);
  for (const auto& [name, value] : headers) size += name.size() + value.size() + 2;
  size += body.size() + 1;
  char* block = static_cast<char*>(std::malloc(size));
  if (block == nullptr) return false;
  auto* entries = reinterpret_cast<CoreHeader*>(block);
  char* cursor = block + headers.size() * sizeof(CoreHeader);
  for (std::size_t i = 0; i < headers.size(); ++i) {
    const auto& [name, value] = headers[i];
    std::memcpy(cursor, name.c_str(), name.size() + 1);
    entries[i].name = cursor;
    cursor += name.size() + 1;
    std::memcpy(cursor, value.c_str(), value.size() + 1);
    entries[i].value = cursor;
    cursor += value.size() + 1;
  }
  std::memcpy(cursor, body.c_str(), body.size() + 1);
  response.outcome = outcome;
  response.status = status;
  response.headers = entries;
  response.headerCount = static_cast<uint32_t>(headers.size());
  response.body = cursor;
  response.bodySize = static_cast<uint32_t>(body.size());
  response.release = &releaseExternalResponse;
  return true;
}

void fail(ExternalResponse& response, int32_t outcome, const std::string& text) {
  if (!fillResponse(response, outcome, 0, {}, text)) {
    response.outcome = outcome;
    response.release = nullptr;
  }
}

}  // namespace

bool splitUrl(std::string_view url, std::string& origin, std::string& target) {
  std::size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string_view::npos) return false;
  std::string scheme(url.substr(0, schemeEnd));
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (scheme != "http" && scheme != "https") return false;
  const std::size_t hostStart = schemeEnd + 3;
  std::size_t pathStart = url.find_first_of("/?#", hostStart);
  if (pathStart == std::string_view::npos) pathStart = url.size();
  if (pathStart == hostStart) return false;
  origin = scheme + "://" + std::string(url.substr(hostStart, pathStart - hostStart));
  std::string rest(url.substr(pathStart));
  const std::size_t fragment = rest.find('#');
  if (fragment != std::string::npos) rest.resize(fragment);
  if (rest.empty() || rest.front() != '/') rest.insert(0, "/");
  target = std::move(rest);
  return true;
}

void performExternalRequest(const ExternalRequest& request, ExternalResponse& response) {
  std::memset(&response, 0, sizeof response);
  const char* method = coreMethodName(request.method);
  if (*method == '\0') {
    fail(response, CORE_OUTCOME_FAILED, "Unsupported method code " + std::to_string(request.method));
    return;
  }
  if (request.url == nullptr) {
    fail(response, CORE_OUTCOME_FAILED, "No URL");
    return;
  }
  std::string origin;
  std::string target;
  if (!splitUrl(request.url, origin, target)) {
    fail(response, CORE_OUTCOME_FAILED, std::string("Invalid URL: ") + request.url);
    return;
  }
  httplib::Client client(origin);
  if (!client.is_valid()) {
    fail(response, CORE_OUTCOME_FAILED, "Cannot create a client for " + origin);
    return;
  }
  const time_t timeout =
      request.setting1 != 0 ? static_cast<time_t>(request.setting1) : kDefaultExternalTimeoutSeconds;
  client.set_connection_timeout(timeout, 0);
  client.set_read_timeout(timeout, 0);
  client.set_write_timeout(timeout, 0);
  client.set_keep_alive(false);
  client.set_tcp_nodelay(true);

  httplib::Request outgoing;
  outgoing.method = method;
  outgoing.path = target;
  std::string contentType;
  for (uint32_t i = 0; request.headers != nullptr && i < request.headerCount; ++i) {
    const char* name = request.headers[i].name;
    const char* value = request.headers[i].value;
    if (name == nullptr || *name == '\0') continue;
    outgoing.headers.emplace(name, value == nullptr ? "" : value);
  }
  if (request.body != nullptr && request.bodySize != 0)
    outgoing.body.assign(static_cast<const char*>(request.body), request.bodySize);

  httplib::Result result = client.send(outgoing);
  if (!result) {
    const httplib::Error error = result.error();
    const int32_t outcome =
        error == httplib::Error::ConnectionTimeout ? CORE_OUTCOME_TIMED_OUT : CORE_OUTCOME_FAILED;
    fail(response, outcome,
         std::string(httplib::to_string(error)) + " (" + method + " " + request.url + ")");
    return;
  }
  std::vector<std::pair<std::string, std::string>> headers(result->headers.begin(),
                                                            result->headers.end());
  if (!fillResponse(response, CORE_OUTCOME_OK, result->status, headers, result->body))
    fail(response, CORE_OUTCOME_FAILED, "Out of memory");
}

}  // namespace qor::host
