// PlayerSession: what the inventory service knows of the player and of where
// to reach the remote service, as the resource events tell it: the login ids,
// the bearer headers, the service's switch and base URL, and the service
// location of the player's region. Each handler of those events hands its
// data to one call here; a fetch reads the whole as one InventoryFetchRequest.
//
// Region reads are answered out of order (the region data is requested
// without a lock), so each read takes a ticket and an answer is stored only
// when no later read or delete has stored first.
//
// Threads: none of its own. InventoryPlugin's mutex guards it together with
// the cache; no call here blocks or calls out.
#pragma once

#include "binding/BindingProperty.h"
#include "inventory/InventoryCache.h"
#include "inventory/InventoryRecords.h"
#include "inventory/InventoryServiceClient.h"
#include "runtime/HttpRequest.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qor {

class PlayerSession {
 public:
  // A login session was created or updated. The player is logged in when
  // the session succeeded with non-zero account and summoner ids; the ids are
  // taken only when a login completes (logged out before, logged in now), and
  // that identity is returned. Later events while logged in change no id.
  std::optional<PlayerIdentity> login(const Api::LoginSession& session);
  // The login session was deleted: logged out, ids cleared.
  void logout();

  // An access token arrived: the headers become exactly "Authorization:
  // Bearer <token>" (the token whole) and "Content-type: application/json".
  void setAccessToken(const std::string& token);
  // The token was deleted: no headers.
  void clearAccessToken();

  // The platform configuration arrived: "Enabled" (when present) switches
  // the service, "BaseServiceUrl" sets the base URL. False when
  // "BaseServiceUrl" is missing (the URL then stays as it was).
  bool applyPlatformConfig(const BindingProperty& config);
  // The configuration was deleted: no base URL; the switch stays.
  void clearBaseServiceUrl();

  // A region event arrived: the ticket of the read it starts (a delete takes
  // one too).
  std::uint64_t beginRegionRead();
  // Stores the location read under `ticket`, unless a later ticket has
  // stored first. True when stored.
  bool storeLocation(std::uint64_t ticket, std::string location);
  // The region was deleted (under `ticket`): no location.
  void clearLocation(std::uint64_t ticket);

  bool enabled() const noexcept { return enabled_; }
  // The player the next fetch is made for.
  PlayerIdentity player() const { return PlayerIdentity{puuid_, accountId_}; }
  // Where, for whom and with which headers the next fetch goes.
  InventoryFetchRequest fetchRequest() const;

 private:
  std::uint64_t accountId_ = 0;
  HttpHeaders authHeaders_;
  std::string baseServiceUrl_;
  std::string puuid_;
  std::string location_;
  bool enabled_ = false;
  bool loggedIn_ = false;
  std::uint64_t regionTickets_ = 0;  // region reads started (deletes count too)
  std::uint64_t regionStored_ = 0;   // the newest ticket that set the location
};

}  // namespace qor
