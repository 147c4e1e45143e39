// Listening sockets of the host's HTTP servers.
#pragma once

namespace httplib {
class Server;
}

namespace qor::host {

// Makes `server` listen on its port alone. The HTTP library's default sets
// SO_REUSEPORT, with which a second program binds a port that is already
// served and silently takes part of its connections; with SO_REUSEADDR only,
// binding a served port fails, while a port left in TIME_WAIT by a program
// that just ended can still be bound at once.
void listenExclusively(httplib::Server& server);

}  // namespace qor::host
