#include <cstdio>

#include "tools/cli/commands.h"
#include "tools/cli/options.h"
#include "tools/cli/output.h"
#include "tools/cli/udp_session.h"

namespace zelvocli {

namespace {

constexpr const char *kUsage = R"(Usage: zelvo-cli search [--target ADDRESS[:PORT]] [--names] [--timeout S] [--json]

Runs a UDP search and prints every device that answered: address, HTTP
port, MAC, name, model, firmware version and capability bits.

  --target ADDRESS[:PORT]  send the search to this dotted address (PORT
                           defaults to 9999) instead of broadcasting it
  --names                  read the names of the devices that have one over HTTP
  --timeout S              give up after S seconds (default 10)
  --json                   one JSON document (see docs/cli.md)
)";

// A search listens for a quiet second after the last reply, and the name
// look-up reads each device's document: ten seconds cover a large site.
constexpr long kDefaultTimeoutS = 10;
constexpr long kMaxTimeoutS = 3600;
constexpr int kMsPerSecond = 1000;

const std::vector<TOptionSpec> kOptions = {
    {"--target", true},
    {"--names", false},
    {"--timeout", true},
};

void PrintDevices(const std::vector<zelvoapi::TUdpsDevice> &devices) {
  std::printf("%-15s  %-5s  %-17s  %-8s  %-7s  %-4s  %s\n", "Address", "Port", "MAC", "Version", "Caps", "Type",
              "Model / Name");
  for (const zelvoapi::TUdpsDevice &d : devices)
    std::printf("%-15s  %-5d  %-17s  %-8s  0x%02x     %-4d  %s / %s\n", d.Ip.c_str(), d.Port, d.Mac.c_str(),
                d.Version.c_str(), CapabilityBits(d), d.Type, d.Model.c_str(), d.Name.c_str());
  std::printf("%zu device(s) found\n", devices.size());
}

}  // namespace

int RunSearch(const TArgs &raw) {
  const TArguments args(raw, kOptions);
  if (args.Has("--help")) {
    std::printf("%s", kUsage);
    return kExitOk;
  }
  if (!args.Error().empty()) return UsageError("search", args.Error());
  if (!args.Positional().empty()) return UsageError("search", "takes no argument " + args.Positional()[0]);
  const std::optional<long> timeout =
      ParseInteger(args.Value("--timeout").value_or(std::to_string(kDefaultTimeoutS)), 1, kMaxTimeoutS);
  if (!timeout) return UsageError("search", "--timeout takes whole seconds 1.." + std::to_string(kMaxTimeoutS));
  std::string error;
  if (const auto target = args.Value("--target"); target && !SetSearchTarget(*target, error))
    return UsageError("search", error);

  TUdpSession session;
  if (!session.Search(args.Has("--names"), static_cast<int>(*timeout * kMsPerSecond))) {
    PrintError(args.Value("--target").value_or("broadcast"), session.Error());
    return kExitDeviceFailure;
  }
  if (args.Has("--json")) {
    nlohmann::json devices = nlohmann::json::array();
    for (const zelvoapi::TUdpsDevice &device : session.Devices()) devices.push_back(DeviceJson(device));
    PrintJson({{"devices", std::move(devices)}});
  } else {
    PrintDevices(session.Devices());
  }
  return kExitOk;
}

}  // namespace zelvocli
