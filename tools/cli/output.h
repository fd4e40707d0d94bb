// What the program hands back: its exit codes, its error lines and its JSON.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace zelvocli {

enum TExitCode : int {
  kExitOk = 0,
  kExitDeviceFailure = 1,  // a device or the network failed
  kExitUsage = 2,          // the command line is wrong
  kExitNotApplied = 3,     // calibrate: the device does not hold the posted offset
};

// "zelvo-cli: ADDRESS: TEXT" on standard error; an empty address is left out.
void PrintError(const std::string &address, const std::string &text);
// A usage error of `command`, with the hint to its help; returns kExitUsage.
int UsageError(const std::string &command, const std::string &text);
// One JSON document (or one line of a stream) on standard output.
void PrintJson(const nlohmann::json &document);

}  // namespace zelvocli
