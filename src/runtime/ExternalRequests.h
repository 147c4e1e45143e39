// ExternalRequests: requests to outside URLs, sent through the core. The
// plug-in's user agent goes first unless the request names one; the core's
// answer is copied into an HttpResponse, whose outcome, conversion status
// and error say what went wrong.
//
// Threads: any; a request blocks its caller only, and no lock is held while
// the core is called.
#pragma once

#include "runtime/HttpRequest.h"

namespace qor {

class CoreLink;

class ExternalRequests {
 public:
  explicit ExternalRequests(CoreLink& link) : link_(link) {}

  // Sends `request` and waits for the answer. A "user-agent" header is added
  // first unless the request has one (in any case).
  HttpResponse send(const HttpRequest& request) const;

 private:
  CoreLink& link_;
};

}  // namespace qor
