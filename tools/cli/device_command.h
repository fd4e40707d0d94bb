// What the sub-commands that talk HTTP to one device share: their
// credential options and the way to a device that is open and ready.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/cli/device_session.h"
#include "tools/cli/host_port.h"
#include "tools/cli/options.h"

namespace zelvocli {

// --user U and --password-file FILE.
extern const std::vector<TOptionSpec> kCredentialOptions;
// The help lines of those options.
extern const char *const kCredentialHelp;

// Opens the device HOST[:PORT] of `address_text` with the credentials of
// `args`. Nothing with the exit code in `exit_code` when the command line is
// wrong (its error printed) or the device cannot be had (its error printed
// with its address).
std::unique_ptr<TDeviceSession> OpenDevice(const std::string &command, const std::string &address_text,
                                           const TArguments &args, int &exit_code);

}  // namespace zelvocli
