#include "tools/cli/host_port.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include "tools/cli/options.h"

namespace zelvocli {

namespace {

constexpr long kMaxPort = 65535;

}  // namespace

std::optional<THostPort> ParseHostPort(const std::string &text, int default_port) {
  THostPort address{text, default_port};
  const std::size_t colon = text.rfind(':');
  if (colon != std::string::npos) {
    const std::optional<long> port = ParseInteger(text.substr(colon + 1), 1, kMaxPort);
    if (!port) return std::nullopt;
    address.Host = text.substr(0, colon);
    address.Port = static_cast<int>(*port);
  }
  if (address.Host.empty()) return std::nullopt;
  return address;
}

std::optional<std::string> DottedAddress(const std::string &host, std::string &error) {
  in_addr dotted{};
  if (inet_pton(AF_INET, host.c_str(), &dotted) == 1) return host;
  addrinfo hints{};
  hints.ai_family = AF_INET;  // the libraries speak IPv4 only
  hints.ai_socktype = SOCK_STREAM;
  addrinfo *found = nullptr;
  const int result = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (result != 0 || !found) {
    error = std::string("cannot resolve ") + host + ": " + gai_strerror(result);
    return std::nullopt;
  }
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in *>(found->ai_addr)->sin_addr, text, sizeof text);
  freeaddrinfo(found);
  return std::string(text);
}

}  // namespace zelvocli
