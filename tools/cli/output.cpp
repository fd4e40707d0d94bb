#include "tools/cli/output.h"

#include <cstdio>

namespace zelvocli {

void PrintError(const std::string &address, const std::string &text) {
  if (address.empty()) {
    std::fprintf(stderr, "zelvo-cli: %s\n", text.c_str());
  } else {
    std::fprintf(stderr, "zelvo-cli: %s: %s\n", address.c_str(), text.c_str());
  }
}

int UsageError(const std::string &command, const std::string &text) {
  std::fprintf(stderr, "zelvo-cli %s: %s\nTry 'zelvo-cli %s --help'.\n", command.c_str(), text.c_str(),
               command.c_str());
  return kExitUsage;
}

void PrintJson(const nlohmann::json &document) {
  // Bytes of a device name that are no valid UTF-8 are replaced rather than
  // ending the program halfway through its output.
  const std::string text = document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  std::fprintf(stdout, "%s\n", text.c_str());
  std::fflush(stdout);  // a stream's reader sees every line as it is made
}

}  // namespace zelvocli
