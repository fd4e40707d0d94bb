#include <QElapsedTimer>
#include <cstdio>

#include "tools/cli/commands.h"
#include "tools/cli/credentials.h"
#include "tools/cli/device_list.h"
#include "tools/cli/event_wait.h"
#include "tools/cli/options.h"
#include "tools/cli/output.h"
#include "tools/cli/poll_fleet.h"

namespace zelvocli {

namespace {

constexpr const char *kUsage =
    R"(Usage: zelvo-cli poll --devices FILE [--setup | --values] [--interval S --count N]
                      [--user U] [--password-file FILE] [--json]

Reads every device of FILE in passes over one multi-device connection and
prints one record per device and pass, with the device's own error text when
it failed. FILE is CSV (address,port,user,password_env a line) or JSON (an
array of objects with those keys); password_env names the environment
variable that holds the device's password. A device listed twice, or more
than 500 devices, is a usage error. The exit code is 1 when any device failed
in the last pass.

  --devices FILE        the devices
  --setup | --values    read the setup or the values document (default --values)
  --interval S          seconds from the start of one pass to the next (default 0)
  --count N             passes (default 1)
  --user U, --password-file FILE
                        the credentials of entries that name none
  --json                one JSON object per device and pass (see docs/cli.md)
)";

constexpr long kMaxInterval = 86400;
constexpr long kMaxCount = 1000000;
constexpr long kMsPerSecond = 1000;

const std::vector<TOptionSpec> kOptions = {
    {"--devices", true}, {"--setup", false}, {"--values", false},       {"--interval", true},
    {"--count", true},   {"--user", true},   {"--password-file", true},
};

void PrintRecord(long pass, const TPollRecord &result, bool json) {
  const TDeviceEntry &entry = *result.Entry;
  const std::string address = entry.Address + ":" + std::to_string(entry.Port);
  if (!result.Ok) PrintError(address, result.Error);
  if (json) {
    nlohmann::json record = {{"pass", pass}, {"address", entry.Address}, {"port", entry.Port}, {"ok", result.Ok}};
    if (result.Ok) {
      const nlohmann::json list = SensorListJson(entry.Address, entry.Port, result.Sensors, result.Complete);
      record["device_name"] = list["device_name"];
      record["complete"] = list["complete"];
      record["sensors"] = list["sensors"];
    } else {
      record["error"] = result.Error;
    }
    PrintJson(record);
  } else if (result.Ok) {
    std::printf("%ld %s OK %s (%zu sensors)\n", pass, address.c_str(), result.Sensors.DeviceName.c_str(),
                result.Sensors.Rows.size());
  } else {
    std::printf("%ld %s ERROR %s\n", pass, address.c_str(), result.Error.c_str());
  }
  std::fflush(stdout);
}

}  // namespace

int RunPoll(const TArgs &raw) {
  const std::string command = "poll";
  const TArguments args(raw, kOptions);
  if (args.Has("--help")) {
    std::printf("%s", kUsage);
    return kExitOk;
  }
  if (!args.Error().empty()) return UsageError(command, args.Error());
  if (!args.Positional().empty()) return UsageError(command, "takes no argument " + args.Positional()[0]);
  if (!args.Has("--devices")) return UsageError(command, "--devices FILE is required");
  if (args.Has("--setup") && args.Has("--values")) return UsageError(command, "give --setup or --values, not both");
  const std::optional<long> interval = ParseInteger(args.Value("--interval").value_or("0"), 0, kMaxInterval);
  const std::optional<long> count = ParseInteger(args.Value("--count").value_or("1"), 1, kMaxCount);
  if (!interval) return UsageError(command, "--interval takes whole seconds 0.." + std::to_string(kMaxInterval));
  if (!count) return UsageError(command, "--count takes a number 1.." + std::to_string(kMaxCount));
  std::vector<TDeviceEntry> devices;
  std::string error;
  if (!ReadDeviceList(*args.Value("--devices"), devices, error)) return UsageError(command, error);
  const std::optional<TCredentials> defaults =
      ReadCredentials(args.Value("--user").value_or(""), args.Value("--password-file"), error);
  if (!defaults) return UsageError(command, error);
  const TDocument document = args.Has("--setup") ? TDocument::kSetup : TDocument::kValues;

  TPollFleet fleet;
  switch (fleet.Open(devices, *defaults, error)) {
    case TPollFleet::kOpened: break;
    case TPollFleet::kDeviceRefused: return UsageError(command, error);
    case TPollFleet::kSlotFailed: PrintError("", error); return kExitDeviceFailure;
  }
  const bool json = args.Has("--json");
  int failed = 0;
  for (long pass = 1; pass <= *count && fleet.Usable(); ++pass) {
    QElapsedTimer started;
    started.start();
    failed = fleet.RunPass(document, [pass, json](const TPollRecord &record) { PrintRecord(pass, record, json); });
    const long rest = *interval * kMsPerSecond - started.elapsed();
    if (pass < *count && rest > 0) RunEventsFor(rest);
  }
  return failed == 0 ? kExitOk : kExitDeviceFailure;
}

}  // namespace zelvocli
