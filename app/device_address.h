// The device's address as the operator typed it: the host resolved to the
// dotted IPv4 address that the device libraries take, and the port text.
#ifndef APP_DEVICE_ADDRESS_H
#define APP_DEVICE_ADDRESS_H

#include <QString>
#include <optional>
#include <string>

namespace calibrator {

// The TCP ports a device can listen on.
constexpr int kPortMin = 1;
constexpr int kPortMax = 65535;

// Dotted text of the first IPv4 address `name` resolves to, or "" when it
// does not resolve. A dotted address resolves to itself. Blocks while the
// system's resolver works, so the window calls it off its own thread.
std::string ResolveIPv4(const std::string &name);

// The port a port text stands for: a whole number from kPortMin to
// kPortMax, blanks around it allowed; nothing for any other text. The
// connection fields and the command line both take a port through this.
std::optional<int> PortOfText(const QString &text);

// Why `text` is no port, for the operator: names the text and the range.
QString PortTextError(const QString &text);

}  // namespace calibrator

#endif
