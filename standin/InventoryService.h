// A local stand-in for the remote inventory service: it serves
// "/qorinventoryservice/v2/inventories" from scenario data, checks the bearer
// token, signs inventories, and can be told to fail or to answer slowly.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace httplib {
class Server;
}

namespace qor::standin {

struct ServiceAnswer {
  int status = 200;
  nlohmann::json body;
};

// Formats seconds since 1970 as "YYYY-MM-DDTHH:MM:SSZ".
std::string isoTimestamp(std::int64_t secondsSinceEpoch);

// Configuration (the "inventoryService" object of a scenario):
//   "token"            the bearer token callers must send (required)
//   "signingKey"       the HMAC-SHA256 key of "itemsJwt" (required)
//   "signedTtlSeconds" lifetime of a signed inventory (default 3600)
//   "players"          {"<puuid>": {"accountId", "summonerId",
//                       "items": {"<type>": [InventoryItemDTO, ...]}}}
//
// Answers: 401 for a missing or wrong token, 400 for a malformed query or a
// missing puuid, 404 for an unknown player, 403 when accountId is given and
// is not the player's. Otherwise {"data": {"puuid", "accountId",
// "summonerId", "items"}} with every requested type (an empty list for a
// type the player lacks); a signed request ("signed=true") adds "expires"
// and "itemsJwt", a token whose claims hold the player, the types, the
// items, "iat" and "exp".
class InventoryService {
 public:
  // Fails (error set) when the token or key is missing.
  static std::unique_ptr<InventoryService> create(const nlohmann::json& config,
                                                  std::string& error);
  ~InventoryService();
  InventoryService(const InventoryService&) = delete;
  InventoryService& operator=(const InventoryService&) = delete;

  // Answers one inventories request; `query` is the text after "?".
  ServiceAnswer answer(std::string_view query, std::string_view authorization,
                       std::int64_t nowSeconds);

  // Test controls (also reachable under /admin/ over HTTP).
  // The next `count` requests (every request when count is 0) answer
  // `status`; status 0 ends failing.
  void setFailure(int status, int count);
  void setDelayMs(int milliseconds);
  void setSignedTtlSeconds(std::int64_t seconds);
  void setPlayer(const std::string& puuid, nlohmann::json player);
  bool addItem(const std::string& puuid, const std::string& type, nlohmann::json item);
  // {"requests", "plain", "signed", "rejected", "failed", "lastTarget",
  //  "signedByType": {"<type>": n}, "plainByType": {"<type>": n}}
  nlohmann::json stats() const;
  void resetStats();
  const std::string& signingKey() const { return signingKey_; }

  // HTTP: binds to address:port (0 picks one), returns the port or -1.
  int bind(const std::string& address, int port);
  bool run();
  void stop();

 private:
  InventoryService() = default;
  void installRoutes();

  mutable std::mutex mutex_;
  std::string token_;
  std::string signingKey_;
  std::int64_t signedTtlSeconds_ = 3600;
  nlohmann::json players_ = nlohmann::json::object();
  int failStatus_ = 0;
  int failRemaining_ = 0;  // 0 with a status: every request fails
  int delayMs_ = 0;
  std::uint64_t tokenSerial_ = 0;
  nlohmann::json stats_;
  std::unique_ptr<httplib::Server> server_;
};

}  // namespace qor::standin
