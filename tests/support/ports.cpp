#include "tests/support/ports.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qxsupport {

int RefusedPort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  const bool bound = bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
                     getsockname(s, reinterpret_cast<sockaddr *>(&address), &length) == 0;
  close(s);
  return bound ? ntohs(address.sin_port) : -1;
}

}  // namespace qxsupport
