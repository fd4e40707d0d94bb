#include "app/device_address.h"

#include "common/qx_socket.h"

namespace calibrator {

std::string ResolveIPv4(const std::string &name) {
  // The device libraries' resolver: the same first IPv4 address they would
  // connect to, and names under .invalid refused without a query.
  char dotted[16];
  return qx_resolve(dotted, name.c_str()) == 0 ? dotted : "";
}

std::optional<int> PortOfText(const QString &text) {
  const QString digits = text.trimmed();
  if (digits.isEmpty()) return std::nullopt;
  // Digits only: toInt alone would take a sign ("+80", "-0").
  for (const QChar c : digits)
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
  bool ok = false;
  const int port = digits.toInt(&ok);  // not ok past the int range
  if (!ok || port < kPortMin || port > kPortMax) return std::nullopt;
  return port;
}

QString PortTextError(const QString &text) {
  return QString("The port \"%1\" is not valid: enter a whole number from %2 to %3.")
      .arg(text)
      .arg(kPortMin)
      .arg(kPortMax);
}

}  // namespace calibrator
