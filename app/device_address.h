// The device's address as the operator typed it: the host resolved to the
// dotted IPv4 address that the device libraries take, and the port text.
#ifndef APP_DEVICE_ADDRESS_H
#define APP_DEVICE_ADDRESS_H

#include <QString>
#include <string>

namespace calibrator {

// Dotted text of the first IPv4 address `name` resolves to, or "" when it
// does not resolve. A dotted address resolves to itself. Blocks while the
// system's resolver works.
std::string ResolveIPv4(const std::string &name);

// The port a port text stands for: its integer value, or the telnet port 23
// when the text is not an integer (a range check is the library's: it
// refuses a port it cannot use, which the log then shows).
int PortOfText(const QString &text);

}  // namespace calibrator

#endif
