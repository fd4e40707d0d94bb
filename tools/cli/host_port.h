// A device's address as the command line gives it: HOST[:PORT].
#pragma once

#include <optional>
#include <string>

namespace zelvocli {

// Devices serve their documents on the HTTP port unless told otherwise.
constexpr int kDefaultHttpPort = 80;

struct THostPort {
  std::string Host;  // as given
  int Port = kDefaultHttpPort;

  std::string Text() const { return Host + ":" + std::to_string(Port); }
};

// HOST, or HOST:PORT with a port 1..65535; nothing for anything else.
std::optional<THostPort> ParseHostPort(const std::string &text, int default_port = kDefaultHttpPort);

// The dotted IPv4 address of `host`: itself when dotted, else looked up.
// Nothing, with `error` set, when it cannot be had.
std::optional<std::string> DottedAddress(const std::string &host, std::string &error);

}  // namespace zelvocli
