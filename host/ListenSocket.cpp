// Listening sockets of the host's HTTP servers.
#include "host/ListenSocket.h"

#include <httplib.h>
#include <sys/socket.h>

namespace qor::host {

void listenExclusively(httplib::Server& server) {
  server.set_socket_options([](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
}

}  // namespace qor::host
