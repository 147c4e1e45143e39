// HttpRequest and HttpResponse: a request to an outside URL sent through the
// core, and what came back.
#pragma once

#include "dispatch/HttpMethod.h"

#include <cstdint>
#include <map>
#include <string>

namespace qor {

// Header names to values; several values per name are kept, in the map's order.
using HttpHeaders = std::multimap<std::string, std::string>;

struct HttpRequest {
  HttpMethod method = HttpMethod::Get;
  std::string url;
  HttpHeaders headers;  // sent in the map's order
  std::string body;
  // Two further settings for the core, passed on unchanged.
  std::uint32_t setting1 = 0;
  std::uint32_t setting2 = 0;
};

struct HttpResponse {
  // Transport outcome: 0 success, -1 and 2 as the core reports them, any
  // other failure 1.
  std::int32_t outcome = 0;
  std::int32_t status = 0;  // HTTP status, 0 until copied
  // -1 when the transport failed, 0 when headers and body were copied, 1 when
  // the core's record was inconsistent (a count without its pointer).
  std::int32_t conversionStatus = -1;
  std::int32_t reserved = -1;
  std::string error;
  HttpHeaders headers;
  std::string body;
};

}  // namespace qor
