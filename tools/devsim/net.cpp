#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/devsim/net_private.h"

namespace devsim {

bool is_loopback_address(const std::string &address) {
  in_addr addr{};
  if (inet_pton(AF_INET, address.c_str(), &addr) != 1) return false;
  return (ntohl(addr.s_addr) >> 24) == 127;
}

int open_listener(const std::string &address, int port, int &bound_port, std::string &error) {
  if (!is_loopback_address(address)) {
    error = "not a loopback address: " + address;
    return -1;
  }
  if (port < 0 || port > 65535) {
    error = "bad port " + std::to_string(port);
    return -1;
  }
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  // A backlog of 64 holds the bursts of the benchmarks; a device serves far
  // fewer at once.
  if (bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0 || listen(fd, 64) != 0) {
    error = address + ":" + std::to_string(port) + ": " + std::strerror(errno);
    close(fd);
    return -1;
  }
  socklen_t len = sizeof sa;
  getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len);
  bound_port = ntohs(sa.sin_port);
  return fd;
}

void close_fd(int &fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace devsim
