// The host's HTTP front on loopback: every function of every loaded plug-in
// at its URI and method, the resource store, an event stream, the log and
// the plug-ins' API descriptions.
#pragma once

#include <nlohmann/json.hpp>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "PluginAbi.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace qor::host {

class HostCore;

// Routes:
//   GET /                        the page (an explorer of everything below);
//   GET /ui/<file>               its scripts and style sheet
//   GET /api                     the API tables of the loaded plug-ins
//   GET /api/help                the same as help records
//   GET /events                  server-sent events: every event published
//   GET /logs                    the most recent log lines
//   GET /logs/stream             server-sent events "log": the kept lines,
//                                then each new one
//   GET /scenes                  the scenario's scenes (see Scenario.h)
//   GET /resources               every stored resource
//   GET|PUT|DELETE /resources/<uri>  read, set or delete one resource; PUT
//                                and DELETE publish the resource event
//   anything else                a plug-in function (the whole URI, query
//                                included, goes to the plug-in), else a GET
//                                of the resource store
// Answers are JSON. A failed function call answers {"httpStatus", "message"}
// with the function's status (400 when it set none); so does every other
// error, those of the HTTP library included (413 for a body over
// kMaxBodyBytes).
class HttpFront {
 public:
  // The largest request body read; a larger one answers 413.
  static constexpr std::size_t kMaxBodyBytes = 16 * 1024 * 1024;

  explicit HttpFront(HostCore& core);
  ~HttpFront();
  HttpFront(const HttpFront&) = delete;
  HttpFront& operator=(const HttpFront&) = delete;

  // The scenes that GET /scenes lists; set before run().
  void setScenes(nlohmann::json scenes);

  // Binds to `address`:`port` (0 picks a free port); returns the port, or -1.
  int bind(const std::string& address, int port);
  // Serves until stop(); returns false when serving failed.
  bool run();
  // Ends event streams and the server; run() then returns after the
  // requests in flight have been answered.
  void stop();

 private:
  void installRoutes();
  void callFunction(const httplib::Request& request, const std::string& body,
                    httplib::Response& response);
  void handleResource(const httplib::Request& request, const std::string& body,
                      httplib::Response& response);
  struct EventChannel;
  void streamEvents(const httplib::Request& request, httplib::Response& response);
  void streamLog(const httplib::Request& request, httplib::Response& response);
  // Answers with a server-sent event stream of what arrives in `channel`
  // until the client leaves or the front stops; then calls `onClose`.
  void serveChannel(httplib::Response& response, std::shared_ptr<EventChannel> channel,
                    std::function<void()> onClose);

  HostCore& core_;
  nlohmann::json scenes_ = nlohmann::json::array();
  std::unique_ptr<httplib::Server> server_;
  std::shared_ptr<std::atomic<bool>> closing_;
};

// Converts an answered CoreResponse into an HTTP status and JSON body text,
// reading a streamed body when the response has one. Does not release.
struct FrontAnswer {
  int status = 200;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};
FrontAnswer answerFromCoreResponse(const CoreResponse& response);

}  // namespace qor::host
