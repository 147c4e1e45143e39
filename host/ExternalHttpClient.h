// The core's outside HTTP(S) request: one blocking client request per call.
#pragma once

#include <string>
#include <string_view>

#include "PluginAbi.h"

namespace qor::host {

// Seconds allowed for connecting, sending and reading when the request's
// first setting is 0.
inline constexpr unsigned kDefaultExternalTimeoutSeconds = 30;

// Sends `request` (method code, absolute http:// or https:// URL, headers,
// body; setting1 is the timeout in seconds) and fills `response`. On success
// the outcome is 0 with the status, headers and body; on failure the outcome
// is non-zero and the body holds the error text. Headers and body live in one
// block that response.release frees.
void performExternalRequest(const ExternalRequest& request, ExternalResponse& response);

// Splits "http://host:port/path?q" into "http://host:port" and "/path?q";
// false when the scheme is not http or https or no host is given.
bool splitUrl(std::string_view url, std::string& origin, std::string& target);

}  // namespace qor::host
