#include "qxxml_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qxtest {

int refused_port() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address);
  socklen_t len = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr *>(&address), &len);
  close(s);
  return ntohs(address.sin_port);
}

int open_running(const char *host, int port, const qxxml_settings *settings, void *owner) {
  int slot = qxxml_open(host, port, settings, owner);
  if (slot > 0 && qxxml_wait_finish(slot, 0, 5) != 0) return -1;
  return slot;
}

}  // namespace qxtest
