#include "app/device_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace calibrator {

std::string ResolveIPv4(const std::string &name) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo *found = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found) return "";
  char dotted[INET_ADDRSTRLEN] = "";
  const auto *address = reinterpret_cast<const sockaddr_in *>(found->ai_addr);
  const bool ok = inet_ntop(AF_INET, &address->sin_addr, dotted, sizeof dotted) != nullptr;
  freeaddrinfo(found);
  return ok ? dotted : "";
}

int PortOfText(const QString &text) {
  constexpr int kPortOfNoNumber = 23;
  bool ok = false;
  const int port = text.toInt(&ok);
  return ok ? port : kPortOfNoNumber;
}

}  // namespace calibrator
