#include "app/device_address.h"

#include "common/qx_socket.h"

namespace calibrator {

std::string ResolveIPv4(const std::string &name) {
  // The device libraries' resolver: the same first IPv4 address they would
  // connect to, and names under .invalid refused without a query.
  char dotted[16];
  return qx_resolve(dotted, name.c_str()) == 0 ? dotted : "";
}

int PortOfText(const QString &text) {
  constexpr int kPortOfNoNumber = 23;
  bool ok = false;
  const int port = text.toInt(&ok);
  return ok ? port : kPortOfNoNumber;
}

}  // namespace calibrator
