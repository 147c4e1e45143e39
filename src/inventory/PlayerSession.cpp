// PlayerSession: the login, token, configuration and region rules.
#include "inventory/PlayerSession.h"

#include <utility>

namespace qor {

std::optional<PlayerIdentity> PlayerSession::login(const Api::LoginSession& session) {
  const bool wasLoggedIn = loggedIn_;
  loggedIn_ = session.state == Api::LoginSessionStates::Succeeded && session.accountId != 0 &&
              session.summonerId != 0;
  // The ids are taken only when a login completes; later events with other
  // ids while still logged in change nothing.
  if (wasLoggedIn || !loggedIn_) return std::nullopt;
  accountId_ = session.accountId;
  puuid_ = session.puuid;
  return player();
}

void PlayerSession::logout() {
  loggedIn_ = false;
  accountId_ = 0;
  puuid_.clear();
}

void PlayerSession::setAccessToken(const std::string& token) {
  authHeaders_.erase("Authorization");
  // The token is used whole, however long it is.
  authHeaders_.emplace("Authorization", "Bearer " + token);
  authHeaders_.erase("Content-type");
  authHeaders_.emplace("Content-type", "application/json");
}

void PlayerSession::clearAccessToken() { authHeaders_.clear(); }

bool PlayerSession::applyPlatformConfig(const BindingProperty& config) {
  if (config.hasMember("Enabled")) enabled_ = config.get("Enabled").asTruth();
  if (!config.hasMember("BaseServiceUrl")) return false;
  baseServiceUrl_ = config.get("BaseServiceUrl").asText();
  return true;
}

void PlayerSession::clearBaseServiceUrl() { baseServiceUrl_.clear(); }

std::uint64_t PlayerSession::beginRegionRead() { return ++regionTickets_; }

bool PlayerSession::storeLocation(std::uint64_t ticket, std::string location) {
  // An answer overtaken by a later region event or delete is stale.
  if (ticket < regionStored_) return false;
  location_ = std::move(location);
  regionStored_ = ticket;
  return true;
}

void PlayerSession::clearLocation(std::uint64_t ticket) {
  location_.clear();
  regionStored_ = ticket;
}

InventoryFetchRequest PlayerSession::fetchRequest() const {
  InventoryFetchRequest request;
  request.url.baseServiceUrl = baseServiceUrl_;
  request.url.puuid = puuid_;
  request.url.location = location_;
  request.url.accountId = accountId_;
  request.headers = authHeaders_;
  return request;
}

}  // namespace qor
