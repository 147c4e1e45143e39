// The host's HTTP front, built on cpp-httplib.
#include "host/HttpFront.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>

#include "PluginAbi.h"
#include "host/ApiDescription.h"
#include "host/CoreValueJson.h"
#include "host/HostCore.h"
#include "host/ListenSocket.h"
#include "host/WebAssets.h"
#include "protocol/ProtocolNames.h"

namespace qor::host {
namespace {

using nlohmann::json;

constexpr const char* kJson = "application/json";

std::string dumpJson(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

void sendJson(httplib::Response& response, int status, const json& body) {
  response.status = status;
  response.set_content(dumpJson(body), kJson);
}

void sendError(httplib::Response& response, int status, const std::string& message) {
  sendJson(response, status, {{"httpStatus", status}, {"message", message}});
}

}  // namespace

// One event-stream client: events wait here until its connection writes them.
struct HttpFront::EventChannel {
  static constexpr std::size_t kMaxQueued = 10000;
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<std::string> queue;

  void push(std::string chunk) {
    {
      std::lock_guard lock(mutex);
      if (queue.size() == kMaxQueued) queue.pop_front();  // a stalled client loses the oldest
      queue.push_back(std::move(chunk));
    }
    ready.notify_one();
  }
};

namespace {

std::string tooLargeMessage() {
  return "The request body exceeds the host's limit of " +
         std::to_string(HttpFront::kMaxBodyBytes) + " bytes (" +
         std::to_string(HttpFront::kMaxBodyBytes >> 20) + " MiB)";
}

// The message of an error answer that the HTTP library made itself (its
// body is empty): a malformed request, a URI or body over its limits.
std::string libraryErrorMessage(int status) {
  switch (status) {
    case 413:
      return tooLargeMessage();
    case 414:
      return "The request URI is too long";
    case 404:
      return "Not found";
    case 400:
      return "Bad request";
    default:
      return "HTTP error " + std::to_string(status);
  }
}

// Reads a request body through the library's reader, whatever its content
// type (the library would otherwise parse a form body and cap it at 8 KiB),
// within kMaxBodyBytes also when it arrives without a length. On failure the
// error answer is set and false returned.
bool readBody(const httplib::Request& request, httplib::Response& response,
              const httplib::ContentReader& reader, std::string& body) {
  if (request.is_multipart_form_data()) {
    // Read and drop the parts so that the connection stays usable.
    reader([](const httplib::MultipartFormData&) { return true; },
           [](const char*, std::size_t) { return true; });
    sendError(response, 415, "Multipart bodies are not accepted");
    return false;
  }
  bool tooLarge = false;
  const bool read = reader([&](const char* data, std::size_t size) {
    if (size > HttpFront::kMaxBodyBytes - body.size()) {
      tooLarge = true;
      return false;
    }
    body.append(data, size);
    return true;
  });
  if (tooLarge || response.status == 413) {
    // A body without a length stops being read at the limit, so the rest of
    // it is still on the connection: the client is told to close it.
    response.set_header("Connection", "close");
    sendError(response, 413, tooLargeMessage());
    return false;
  }
  if (!read) {
    sendError(response, 400, "The request body could not be read");
    return false;
  }
  return true;
}

int validStatus(std::uint32_t status, int fallback) {
  return status >= 100 && status <= 599 ? static_cast<int>(status) : fallback;
}

}  // namespace

FrontAnswer answerFromCoreResponse(const CoreResponse& response) {
  FrontAnswer answer;
  for (std::uint32_t i = 0; response.headers != nullptr && i < response.headerCount; ++i) {
    const CoreHeader& header = response.headers[i];
    if (header.name != nullptr && *header.name != '\0')
      answer.headers.emplace_back(header.name, header.value == nullptr ? "" : header.value);
  }
  if (response.hasError != 0 || response.error != nullptr) {
    const int status = validStatus(response.status, 400);
    answer.status = status;
    answer.body = dumpJson({{"httpStatus", status},
                            {"message", std::string(response.error == nullptr ? "" : response.error)}});
    return answer;
  }
  answer.status = validStatus(response.status, 200);
  if (response.read != nullptr) {
    std::string text;
    char buffer[4096];
    bool ok = true;
    for (;;) {
      std::uint32_t size = sizeof buffer;
      std::uint8_t more = 1;
      if (response.read(response.stream, buffer, &size, &more) == 0) {
        ok = false;
        break;
      }
      text.append(buffer, std::min<std::uint32_t>(size, sizeof buffer));
      if (more == 0) break;
    }
    if (response.close != nullptr) response.close(response.stream);
    if (!ok) {
      answer.status = 502;
      answer.body = dumpJson({{"httpStatus", 502}, {"message", "Stream read error"}});
      return answer;
    }
    const json parsed = json::parse(text, nullptr, false);
    answer.body = parsed.is_discarded() ? dumpJson(json(text)) : dumpJson(parsed);
    return answer;
  }
  answer.body = dumpJson(coreValueToJson(response.body));
  return answer;
}

HttpFront::HttpFront(HostCore& core)
    : core_(core),
      server_(std::make_unique<httplib::Server>()),
      closing_(std::make_shared<std::atomic<bool>>(false)) {
  // Event streams hold a worker each, so keep enough for calls beside them.
  server_->new_task_queue = [] { return new httplib::ThreadPool(16); };
  // Headers and body leave in separate writes; without this, delayed
  // acknowledgements hold every keep-alive answer back by tens of ms.
  server_->set_tcp_nodelay(true);
  listenExclusively(*server_);
  server_->set_keep_alive_max_count(1000000);
  server_->set_keep_alive_timeout(30);
  server_->set_payload_max_length(kMaxBodyBytes);
  server_->set_error_handler(httplib::Server::HandlerWithResponse(
      [](const httplib::Request&, httplib::Response& response) {
        if (!response.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        sendError(response, response.status, libraryErrorMessage(response.status));
        return httplib::Server::HandlerResponse::Handled;
      }));
  server_->set_exception_handler(
      [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
        sendError(response, 500, "Host failure");
      });
  installRoutes();
}

HttpFront::~HttpFront() { stop(); }

void HttpFront::setScenes(nlohmann::json scenes) { scenes_ = std::move(scenes); }

int HttpFront::bind(const std::string& address, int port) {
  if (port == 0) return server_->bind_to_any_port(address);
  return server_->bind_to_port(address, port) ? port : -1;
}

bool HttpFront::run() { return server_->listen_after_bind(); }

void HttpFront::stop() {
  closing_->store(true);
  server_->stop();
}

void HttpFront::installRoutes() {
  httplib::Server& server = *server_;
  server.Get("/api", [this](const httplib::Request&, httplib::Response& response) {
    const HostOptions& options = core_.options();
    json plugins = json::array();
    for (const auto& plugin : core_.plugins()) {
      plugins.push_back({{"name", plugin->shortName},
                         {"path", plugin->path},
                         {"version", std::to_string(plugin->version[0]) + "." +
                                         std::to_string(plugin->version[1]) + "." +
                                         std::to_string(plugin->version[2])},
                         {"started", plugin->started},
                         {"api", describeApiTable(plugin->apiTable)}});
    }
    sendJson(response, 200,
             {{"core", {{"version", std::to_string(options.major) + "." +
                                        std::to_string(options.minor) + "." +
                                        std::to_string(options.patch)}}},
              {"plugins", std::move(plugins)}});
  });
  server.Get("/api/help", [this](const httplib::Request&, httplib::Response& response) {
    json plugins = json::array();
    for (const auto& plugin : core_.plugins())
      plugins.push_back({{"name", plugin->shortName}, {"help", describeApiHelp(plugin->apiTable)}});
    sendJson(response, 200, {{"plugins", std::move(plugins)}});
  });
  server.Get("/logs", [this](const httplib::Request&, httplib::Response& response) {
    sendJson(response, 200, core_.log().recent());
  });
  server.Get("/logs/stream", [this](const httplib::Request& request, httplib::Response& response) {
    streamLog(request, response);
  });
  server.Get("/scenes", [this](const httplib::Request&, httplib::Response& response) {
    sendJson(response, 200, scenes_);
  });
  // The page: index.html at "/", its other files under "/ui/".
  auto page = [](const httplib::Request& request, httplib::Response& response) {
    const auto asset = findWebAsset(request.path);
    if (!asset) return sendError(response, 404, "Not found");
    response.set_header("Cache-Control", "no-cache");
    response.set_content(asset->body.data(), asset->body.size(), std::string(asset->contentType));
  };
  server.Get("/", page);
  server.Get("/ui/.*", page);
  server.Get("/events", [this](const httplib::Request& request, httplib::Response& response) {
    streamEvents(request, response);
  });
  server.Get("/resources", [this](const httplib::Request&, httplib::Response& response) {
    sendJson(response, 200, core_.store().snapshot());
  });
  server.Get("/resources/.*", [this](const httplib::Request& request, httplib::Response& response) {
    handleResource(request, request.body, response);
  });
  // Methods with a body read it through a content reader (see readBody).
  auto resource = [this](const httplib::Request& request, httplib::Response& response,
                         const httplib::ContentReader& reader) {
    std::string body;
    if (readBody(request, response, reader, body)) handleResource(request, body, response);
  };
  server.Put("/resources/.*", resource);
  server.Delete("/resources/.*", resource);

  auto function = [this](const httplib::Request& request, httplib::Response& response) {
    callFunction(request, request.body, response);
  };
  auto functionWithBody = [this](const httplib::Request& request, httplib::Response& response,
                                 const httplib::ContentReader& reader) {
    std::string body;
    if (readBody(request, response, reader, body)) callFunction(request, body, response);
  };
  server.Get(".*", function);
  server.Options(".*", function);
  server.Post(".*", functionWithBody);
  server.Put(".*", functionWithBody);
  server.Patch(".*", functionWithBody);
  server.Delete(".*", functionWithBody);
}

void HttpFront::handleResource(const httplib::Request& request, const std::string& body,
                               httplib::Response& response) {
  const std::string uri = request.path.substr(std::strlen("/resources"));
  if (request.method == "GET") {
    const auto value = core_.store().get(uri);
    if (!value) return sendError(response, 404, "Not found");
    return sendJson(response, 200, *value);
  }
  if (request.method == "DELETE") {
    if (!core_.deleteResource(uri)) return sendError(response, 404, "Not found");
    return sendJson(response, 200,
                    {{"uri", ResourceStore::normalise(uri)}, {"eventType", "Delete"}});
  }
  json data = json::parse(body, nullptr, false);
  if (data.is_discarded()) return sendError(response, 400, "The body is not JSON");
  CoreValue probe{};
  std::string error;
  // Refuse what could not be handed to a plug-in before storing it.
  if (!jsonToCoreValue(data, probe, &error)) return sendError(response, 400, error);
  releaseCoreValue(probe);
  const ResourceEventType type = core_.setResource(uri, std::move(data));
  sendJson(response, type == ResourceEventType::Create ? 201 : 200,
           {{"uri", ResourceStore::normalise(uri)}, {"eventType", resourceEventTypeName(type)}});
}

void HttpFront::callFunction(const httplib::Request& request, const std::string& body,
                             httplib::Response& response) {
  std::vector<std::string> headerTexts;
  headerTexts.reserve(request.headers.size() * 2);
  for (const auto& [name, value] : request.headers) {
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    headerTexts.push_back(std::move(lower));
    headerTexts.push_back(value);
  }
  std::vector<CoreHeader> headers(headerTexts.size() / 2);
  for (std::size_t i = 0; i < headers.size(); ++i) {
    headers[i].name = headerTexts[2 * i].c_str();
    headers[i].value = headerTexts[2 * i + 1].c_str();
  }
  const std::string target = request.target.empty() ? request.path : request.target;
  const std::string contentType = request.get_header_value("Content-Type");

  CoreRequest call{};
  call.method = coreMethodCode(request.method);
  call.uri = target.c_str();
  call.headers = headers.empty() ? nullptr : headers.data();
  call.headerCount = static_cast<std::uint32_t>(headers.size());
  call.contentType = contentType.c_str();
  call.body = body.empty() ? nullptr : body.data();
  call.bodySize = static_cast<std::uint32_t>(body.size());
  call.methodName = request.method.c_str();

  CoreResponse answer{};
  core_.sendRequest(answer, call);
  FrontAnswer front = answerFromCoreResponse(answer);
  if (answer.release != nullptr) answer.release(&answer);
  for (const auto& [name, value] : front.headers) response.set_header(name, value);
  response.status = front.status;
  response.set_content(front.body, kJson);
}

void HttpFront::streamEvents(const httplib::Request&, httplib::Response& response) {
  auto channel = std::make_shared<EventChannel>();
  auto counter = std::make_shared<std::uint64_t>(0);
  const int listener = core_.bus().addListener(
      [channel, counter](const std::string& source, const std::string& name, const json& payload) {
        const json data = {{"source", source}, {"name", name}, {"payload", payload}};
        channel->push("id: " + std::to_string(++*counter) + "\nevent: " + name +
                      "\ndata: " + dumpJson(data) + "\n\n");
      });
  serveChannel(response, channel, [this, listener] { core_.bus().removeListener(listener); });
}

void HttpFront::streamLog(const httplib::Request&, httplib::Response& response) {
  auto channel = std::make_shared<EventChannel>();
  const int listener = core_.log().addListener([channel](const json& entry) {
    channel->push("event: log\ndata: " + dumpJson(entry) + "\n\n");
  });
  serveChannel(response, channel, [this, listener] { core_.log().removeListener(listener); });
}

void HttpFront::serveChannel(httplib::Response& response, std::shared_ptr<EventChannel> channel,
                             std::function<void()> onClose) {
  auto closing = closing_;
  auto idleRounds = std::make_shared<int>(0);
  response.set_header("Cache-Control", "no-cache");
  response.set_chunked_content_provider(
      "text/event-stream",
      [channel, closing, idleRounds](std::size_t, httplib::DataSink& sink) {
        std::string chunk;
        {
          std::unique_lock lock(channel->mutex);
          channel->ready.wait_for(lock, std::chrono::milliseconds(500), [&] {
            return closing->load() || !channel->queue.empty();
          });
          while (!channel->queue.empty()) {
            chunk += channel->queue.front();
            channel->queue.pop_front();
          }
        }
        if (closing->load()) {
          sink.done();
          return true;
        }
        if (chunk.empty()) {
          // Every few seconds a comment line keeps an idle connection alive
          // and lets a vanished client be noticed.
          if (++*idleRounds < 4) return true;
          chunk = ": keep-alive\n\n";
        }
        *idleRounds = 0;
        return sink.write(chunk.data(), chunk.size());
      },
      [onClose = std::move(onClose)](bool) { onClose(); });
  // The first chunk tells the client the stream is open.
  channel->push(": stream open\n\n");
}

}  // namespace qor::host
