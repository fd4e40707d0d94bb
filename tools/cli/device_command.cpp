#include "tools/cli/device_command.h"

#include "tools/cli/credentials.h"
#include "tools/cli/output.h"

namespace zelvocli {

const std::vector<TOptionSpec> kCredentialOptions = {
    {"--user", true},
    {"--password-file", true},
};

const char *const kCredentialHelp =
    "  --user U              user name for the device's setup\n"
    "  --password-file FILE  the password is the file's first line; without it the\n"
    "                        password comes from ZELVO_PASSWORD, else from a prompt\n"
    "                        on a terminal (no echo)\n";

std::unique_ptr<TDeviceSession> OpenDevice(const std::string &command, const std::string &address_text,
                                           const TArguments &args, int &exit_code) {
  const std::optional<THostPort> address = ParseHostPort(address_text);
  if (!address) {
    exit_code = UsageError(command, "not HOST[:PORT]: " + address_text);
    return nullptr;
  }
  std::string error;
  const std::optional<TCredentials> credentials =
      ReadCredentials(args.Value("--user").value_or(""), args.Value("--password-file"), error);
  if (!credentials) {
    exit_code = UsageError(command, error);
    return nullptr;
  }
  const std::optional<std::string> host = DottedAddress(address->Host, error);
  if (!host) {
    PrintError(address->Text(), error);
    exit_code = kExitDeviceFailure;
    return nullptr;
  }
  auto session = std::make_unique<TDeviceSession>(*host, address->Port, *credentials);
  if (!session->Open()) {
    PrintError(session->Address(), session->Error());
    exit_code = kExitDeviceFailure;
    return nullptr;
  }
  exit_code = kExitOk;
  return session;
}

}  // namespace zelvocli
