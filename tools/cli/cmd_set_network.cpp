#include <arpa/inet.h>
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tools/cli/commands.h"
#include "tools/cli/options.h"
#include "tools/cli/output.h"
#include "tools/cli/udp_session.h"

namespace zelvocli {

namespace {

constexpr const char *kUsage =
    R"(Usage: zelvo-cli set-network MAC --ip A [--port P] [--name N] [--setup-key K0,K1,K2,K3]
                             [--target ADDRESS[:PORT]] [--timeout S] [--yes] [--json]

Searches for the device MAC and sends it a UDP setup request with its new
address, HTTP port and name; what is not given stays as the search found it.
Without --yes it only shows what it would send and changes nothing.

  --ip A                   the new dotted IPv4 address
  --port P                 the new HTTP port
  --name N                 the new name (written over HTTP after the setup)
  --setup-key K0,K1,K2,K3  the device's setup key (four 32-bit numbers, decimal
                           or 0x hex) for devices that check setups under it
  --target ADDRESS[:PORT]  search and send to this dotted address (PORT defaults
                           to 9999) instead of broadcasting
  --timeout S              give up on the search and on the setup after S
                           seconds each (default 10)
  --yes                    send the request
  --json                   one JSON document (see docs/cli.md)
)";

constexpr long kDefaultTimeoutS = 10;
constexpr long kMaxTimeoutS = 3600;
constexpr int kMsPerSecond = 1000;
constexpr long kMaxPort = 65535;
constexpr std::size_t kKeyWords = 4;
constexpr std::size_t kMaxNameLength = 99;  // the record's name field

const std::vector<TOptionSpec> kOptions = {
    {"--ip", true},     {"--port", true},    {"--name", true}, {"--setup-key", true},
    {"--target", true}, {"--timeout", true}, {"--yes", false},
};

std::optional<TSetupKey> ParseKey(const std::string &text) {
  TSetupKey key{};
  std::istringstream words(text);
  std::size_t count = 0;
  for (std::string word; std::getline(words, word, ',');) {
    char *end = nullptr;
    const unsigned long long value = std::strtoull(word.c_str(), &end, 0);
    if (word.empty() || *end != '\0' || value > 0xFFFFFFFFULL || count == kKeyWords) return std::nullopt;
    key[count++] = static_cast<uint32_t>(value);
  }
  if (count != kKeyWords) return std::nullopt;
  return key;
}

bool IsDotted(const std::string &text) {
  in_addr address{};
  return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

nlohmann::json SettingsJson(const zelvoapi::TUdpsDevice &device) {
  return {{"address", device.Ip}, {"port", device.Port}, {"name", device.Name}};
}

}  // namespace

int RunSetNetwork(const TArgs &raw) {
  const std::string command = "set-network";
  const TArguments args(raw, kOptions);
  if (args.Has("--help")) {
    std::printf("%s", kUsage);
    return kExitOk;
  }
  if (!args.Error().empty()) return UsageError(command, args.Error());
  if (args.Positional().size() != 1) return UsageError(command, "expects one MAC");
  const std::string mac = args.Positional()[0];
  const std::string ip = args.Value("--ip").value_or("");
  if (!IsDotted(ip)) return UsageError(command, "--ip A is required: a dotted IPv4 address");
  std::optional<long> port;
  if (const auto text = args.Value("--port")) {
    port = ParseInteger(*text, 1, kMaxPort);
    if (!port) return UsageError(command, "--port takes 1..65535");
  }
  const std::optional<std::string> name = args.Value("--name");
  if (name && name->size() > kMaxNameLength) return UsageError(command, "--name is longer than 99 bytes");
  std::optional<TSetupKey> key;
  if (const auto text = args.Value("--setup-key")) {
    key = ParseKey(*text);
    if (!key) return UsageError(command, "--setup-key takes four 32-bit numbers K0,K1,K2,K3");
  }
  const std::optional<long> timeout =
      ParseInteger(args.Value("--timeout").value_or(std::to_string(kDefaultTimeoutS)), 1, kMaxTimeoutS);
  if (!timeout) return UsageError(command, "--timeout takes whole seconds 1.." + std::to_string(kMaxTimeoutS));
  std::string error;
  if (const auto target = args.Value("--target"); target && !SetSearchTarget(*target, error))
    return UsageError(command, error);

  const int bound_ms = static_cast<int>(*timeout * kMsPerSecond);
  TUdpSession session;
  if (!session.Search(name.has_value(), bound_ms)) {
    PrintError(args.Value("--target").value_or("broadcast"), session.Error());
    return kExitDeviceFailure;
  }
  const std::vector<zelvoapi::TUdpsDevice> &devices = session.Devices();
  int index = -1;
  for (std::size_t i = 0; i < devices.size() && index < 0; ++i)
    if (strcasecmp(devices[i].Mac.c_str(), mac.c_str()) == 0) index = static_cast<int>(i);
  if (index < 0) {
    PrintError(mac, "no device with this MAC answered the search");
    return kExitDeviceFailure;
  }
  const zelvoapi::TUdpsDevice &found = devices[static_cast<std::size_t>(index)];
  zelvoapi::TUdpsDevice changed = found;
  changed.Ip = ip;
  if (port) changed.Port = static_cast<int32_t>(*port);
  if (name) changed.Name = *name;

  const bool send = args.Has("--yes");
  if (send && !session.Setup(index, changed, key, name.has_value(), bound_ms)) {
    PrintError(found.Ip + " (" + found.Mac + ")", session.Error());
    return kExitDeviceFailure;
  }
  if (args.Has("--json")) {
    PrintJson({{"mac", found.Mac}, {"current", SettingsJson(found)}, {"new", SettingsJson(changed)}, {"sent", send}});
  } else {
    std::printf("%s %s: address %s -> %s, port %d -> %d, name \"%s\" -> \"%s\"\n", found.Mac.c_str(),
                send ? "setup sent" : "would send", found.Ip.c_str(), changed.Ip.c_str(), found.Port, changed.Port,
                found.Name.c_str(), changed.Name.c_str());
    if (!send) std::printf("Nothing was sent: add --yes to send it.\n");
  }
  return kExitOk;
}

}  // namespace zelvocli
