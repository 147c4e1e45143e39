// The stand-in inventory service.
#include "standin/InventoryService.h"

#include <httplib.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "standin/InventoryQuery.h"
#include "standin/Jwt.h"
#include "host/ListenSocket.h"

namespace qor::standin {
namespace {

using nlohmann::json;

json emptyStats() {
  return {{"requests", 0},        {"plain", 0},        {"signed", 0},
          {"rejected", 0},        {"failed", 0},       {"lastTarget", ""},
          {"signedByType", json::object()}, {"plainByType", json::object()}};
}

ServiceAnswer problem(int status, const std::string& message) {
  return {status, {{"httpStatus", status}, {"message", message}}};
}

void increment(json& counter) { counter = counter.get<std::uint64_t>() + 1; }

std::string readText(const json& config, const char* key) {
  const auto it = config.find(key);
  return it != config.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::uint64_t readUnsigned(const json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_number_integer()) return 0;
  return it->is_number_unsigned() || it->get<std::int64_t>() >= 0 ? it->get<std::uint64_t>() : 0;
}

void sendJson(httplib::Response& response, int status, const json& body) {
  response.status = status;
  response.set_content(body.dump(-1, ' ', false, json::error_handler_t::replace),
                       "application/json");
}

}  // namespace

std::string isoTimestamp(std::int64_t secondsSinceEpoch) {
  const std::time_t seconds = static_cast<std::time_t>(secondsSinceEpoch);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", parts.tm_year + 1900,
                parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
  return text;
}

std::unique_ptr<InventoryService> InventoryService::create(const json& config,
                                                           std::string& error) {
  std::unique_ptr<InventoryService> service(new InventoryService());
  service->token_ = readText(config, "token");
  service->signingKey_ = readText(config, "signingKey");
  if (service->token_.empty() || service->signingKey_.empty()) {
    error = "the inventory service needs \"token\" and \"signingKey\"";
    return nullptr;
  }
  if (const auto ttl = config.find("signedTtlSeconds"); ttl != config.end()) {
    if (!ttl->is_number_integer()) {
      error = "\"signedTtlSeconds\" must be a whole number";
      return nullptr;
    }
    service->signedTtlSeconds_ = ttl->get<std::int64_t>();
  }
  if (const auto players = config.find("players"); players != config.end()) {
    if (!players->is_object()) {
      error = "\"players\" must be an object of puuid to player";
      return nullptr;
    }
    service->players_ = *players;
  }
  service->stats_ = emptyStats();
  return service;
}

InventoryService::~InventoryService() {
  if (server_) server_->stop();
}

ServiceAnswer InventoryService::answer(std::string_view query, std::string_view authorization,
                                       std::int64_t nowSeconds) {
  std::lock_guard lock(mutex_);
  increment(stats_["requests"]);
  stats_["lastTarget"] = std::string(query);
  if (authorization != "Bearer " + token_) {
    increment(stats_["rejected"]);
    return problem(401, "Missing or invalid bearer token");
  }
  if (failStatus_ != 0) {
    const int status = failStatus_;
    if (failRemaining_ > 0 && --failRemaining_ == 0) failStatus_ = 0;
    increment(stats_["failed"]);
    return problem(status, "Failure requested by the test controls");
  }
  const InventoryQueryResult parsed = parseInventoryQuery(query);
  if (!parsed.error.empty()) return problem(400, parsed.error);
  const InventoryQuery& request = parsed.query;
  if (request.puuid.empty()) return problem(400, "puuid is required");
  const auto player = players_.find(request.puuid);
  if (player == players_.end() || !player->is_object()) return problem(404, "Unknown player");
  const std::uint64_t accountId = readUnsigned(*player, "accountId");
  if (request.accountId && *request.accountId != accountId)
    return problem(403, "accountId does not belong to the player");

  json items = json::object();
  const auto owned = player->find("items");
  for (const std::string& type : request.inventoryTypes) {
    json list = json::array();
    if (owned != player->end() && owned->is_object()) {
      const auto it = owned->find(type);
      if (it != owned->end() && it->is_array()) list = *it;
    }
    items[type] = std::move(list);
    json& counts = stats_[request.signedInventory ? "signedByType" : "plainByType"];
    counts[type] = counts.value(type, std::uint64_t{0}) + 1;
  }
  json data = {{"puuid", request.puuid},
               {"accountId", accountId},
               {"summonerId", readUnsigned(*player, "summonerId")},
               {"items", items}};
  if (request.signedInventory) {
    increment(stats_["signed"]);
    const std::int64_t expires = nowSeconds + signedTtlSeconds_;
    json claims = {{"sub", request.puuid},
                   {"accountId", accountId},
                   {"inventoryTypes", request.inventoryTypes},
                   {"items", items},
                   {"iat", nowSeconds},
                   {"exp", expires},
                   {"jti", std::to_string(++tokenSerial_)}};
    data["expires"] = isoTimestamp(expires);
    data["itemsJwt"] = signJwt(claims.dump(), signingKey_);
  } else {
    increment(stats_["plain"]);
  }
  return {200, {{"data", std::move(data)}}};
}

void InventoryService::setFailure(int status, int count) {
  std::lock_guard lock(mutex_);
  failStatus_ = status;
  failRemaining_ = status == 0 ? 0 : count;
}

void InventoryService::setDelayMs(int milliseconds) {
  std::lock_guard lock(mutex_);
  delayMs_ = milliseconds < 0 ? 0 : milliseconds;
}

void InventoryService::setSignedTtlSeconds(std::int64_t seconds) {
  std::lock_guard lock(mutex_);
  signedTtlSeconds_ = seconds;
}

void InventoryService::setPlayer(const std::string& puuid, json player) {
  std::lock_guard lock(mutex_);
  players_[puuid] = std::move(player);
}

bool InventoryService::addItem(const std::string& puuid, const std::string& type, json item) {
  std::lock_guard lock(mutex_);
  const auto player = players_.find(puuid);
  if (player == players_.end() || !player->is_object()) return false;
  json& items = (*player)["items"];
  if (!items.is_object()) items = json::object();
  json& list = items[type];
  if (!list.is_array()) list = json::array();
  list.push_back(std::move(item));
  return true;
}

json InventoryService::stats() const {
  std::lock_guard lock(mutex_);
  return stats_;
}

void InventoryService::resetStats() {
  std::lock_guard lock(mutex_);
  stats_ = emptyStats();
}

int InventoryService::bind(const std::string& address, int port) {
  if (!server_) {
    server_ = std::make_unique<httplib::Server>();
    server_->set_tcp_nodelay(true);
    host::listenExclusively(*server_);
    installRoutes();
  }
  if (port == 0) return server_->bind_to_any_port(address);
  return server_->bind_to_port(address, port) ? port : -1;
}

bool InventoryService::run() { return server_ && server_->listen_after_bind(); }

void InventoryService::stop() {
  if (server_) server_->stop();
}

void InventoryService::installRoutes() {
  httplib::Server& server = *server_;
  server.set_exception_handler(
      [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
        sendJson(response, 500, {{"httpStatus", 500}, {"message", "Service failure"}});
      });
  server.Get("/qorinventoryservice/v2/inventories",
             [this](const httplib::Request& request, httplib::Response& response) {
               int delay = 0;
               {
                 std::lock_guard lock(mutex_);
                 delay = delayMs_;
               }
               if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
               const std::size_t mark = request.target.find('?');
               const std::string_view query =
                   mark == std::string::npos ? std::string_view()
                                             : std::string_view(request.target).substr(mark + 1);
               const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                    .count();
               const ServiceAnswer result =
                   answer(query, request.get_header_value("Authorization"), now);
               sendJson(response, result.status, result.body);
             });
  server.Get("/admin/stats", [this](const httplib::Request&, httplib::Response& response) {
    sendJson(response, 200, stats());
  });
  server.Post("/admin/reset-stats", [this](const httplib::Request&, httplib::Response& response) {
    resetStats();
    sendJson(response, 200, stats());
  });
  server.Put("/admin/failure", [this](const httplib::Request& request,
                                      httplib::Response& response) {
    const json body = json::parse(request.body, nullptr, false);
    const auto status = body.is_object() ? body.find("status") : body.end();
    if (!body.is_object() || status == body.end() || !status->is_number_integer() ||
        status->get<int>() < 100 || status->get<int>() > 599)
      return sendJson(response, 400, {{"message", "expected {\"status\": 100-599, \"count\": n}"}});
    const auto count = body.find("count");
    setFailure(status->get<int>(),
               count != body.end() && count->is_number_integer() ? count->get<int>() : 0);
    sendJson(response, 200, {{"status", status->get<int>()}});
  });
  server.Delete("/admin/failure", [this](const httplib::Request&, httplib::Response& response) {
    setFailure(0, 0);
    sendJson(response, 200, {{"status", 0}});
  });
  server.Put("/admin/delay", [this](const httplib::Request& request,
                                    httplib::Response& response) {
    const json body = json::parse(request.body, nullptr, false);
    const auto ms = body.is_object() ? body.find("ms") : body.end();
    if (!body.is_object() || ms == body.end() || !ms->is_number_integer())
      return sendJson(response, 400, {{"message", "expected {\"ms\": n}"}});
    setDelayMs(ms->get<int>());
    sendJson(response, 200, {{"ms", ms->get<int>()}});
  });
  server.Put("/admin/signed-ttl", [this](const httplib::Request& request,
                                         httplib::Response& response) {
    const json body = json::parse(request.body, nullptr, false);
    const auto seconds = body.is_object() ? body.find("seconds") : body.end();
    if (!body.is_object() || seconds == body.end() || !seconds->is_number_integer())
      return sendJson(response, 400, {{"message", "expected {\"seconds\": n}"}});
    setSignedTtlSeconds(seconds->get<std::int64_t>());
    sendJson(response, 200, {{"seconds", seconds->get<std::int64_t>()}});
  });
  server.Post(R"(/admin/players/([^/]+)/items/([^/]+))",
              [this](const httplib::Request& request, httplib::Response& response) {
                json item = json::parse(request.body, nullptr, false);
                if (!item.is_object())
                  return sendJson(response, 400, {{"message", "expected an item object"}});
                if (!addItem(request.matches[1], request.matches[2], std::move(item)))
                  return sendJson(response, 404, {{"message", "Unknown player"}});
                sendJson(response, 200, {{"added", true}});
              });
}

}  // namespace qor::standin
