// zelvo-devsim: serves a fleet of simulated devices on loopback ports until
// SIGINT or SIGTERM.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tools/devsim/devsim.h"

namespace {

constexpr const char *kUsage = R"(Usage: zelvo-devsim [OPTIONS]

Serves simulated sensor devices over HTTP/1.0 on loopback ports: each device
answers GET /values.xml, GET /setup.xml and POST /setup.xml on its own port.

Devices (at least one of these; they add up in the order given):
  --fleet demo          the demo fleet:
                          thermometer  4 temperature sensors, user admin, password admin
                          hygrometer   temperature, humidity, dew point, no credentials
                          meter-57     energy meter listing Meter/Input elements
                          accented     UTF-8 names with accents and '&'
                          idx          posts matched by Idx, user operator, password secret
  --variant NAME        one built-in device (list below)
  --config FILE         devices from a JSON file (see docs/devsim.md)

Options:
  --port-base N         device i listens on port N+i; 0 gives every device a free port
                        (default: the ports of the config, else free ports)
  --bind ADDR           listen on ADDR, which must lie in 127.0.0.0/8 (default 127.0.0.1)
  --fault [I=]SPEC      give device I (0-based; all devices without I=) a fault,
                        SPEC = KIND[:VALUE][@TARGET], TARGET = all|values|setup|post|search
  --udp-port N          also answer UDP searches and setups for all devices on port N
                        of the bind address (0: a free port)
  --apply-delay MS      milliseconds before a posted calibration reaches the readings
                        (default 300)
  --help                this text
  --version             the program version

Output: one line per device on standard output,
  device INDEX ADDRESS PORT NAME
with --udp-port a line
  udp ADDRESS PORT
then a line "ready". Every request is logged to standard error as
  [NAME] METHOD PATH STATUS
SIGINT or SIGTERM stops all devices; the exit status is then 0.
)";

struct FaultOption {
  int device;  // -1: all devices
  devsim::Fault fault;
};

struct Options {
  std::vector<devsim::DeviceConfig> devices;
  std::vector<FaultOption> faults;
  int port_base = -1;
  std::string bind;
  int apply_delay_ms = -1;
  int udp_port = -1;  // -1: no UDP responder
};

int usage_error(const std::string &text) {
  std::fprintf(stderr, "zelvo-devsim: %s\nTry 'zelvo-devsim --help'.\n", text.c_str());
  return 2;
}

bool to_int(const std::string &text, int &out, long max) {
  char *end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < 0 || v > max) return false;
  out = static_cast<int>(v);
  return true;
}

void print_help() {
  std::string text = kUsage;
  text += "\nVariants:";
  for (const std::string &name : devsim::variant_names()) text += " " + name;
  text += "\nFault kinds:";
  for (const std::string &name : devsim::fault_kind_names()) text += " " + name;
  text += "\n";
  std::fputs(text.c_str(), stdout);
}

// Returns -1 when the program goes on, else its exit status.
int parse_options(int argc, char **argv, Options &options) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string &a = args[i];
    auto value = [&](std::string &out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string v;
    if (a == "--help" || a == "-h") {
      print_help();
      return 0;
    }
    if (a == "--version") {
      std::printf("zelvo-devsim %s\n", ZELVO_VERSION);
      return 0;
    }
    if (a == "--fleet") {
      if (!value(v)) return usage_error("--fleet needs a name");
      if (v != "demo") return usage_error("unknown fleet '" + v + "' (only 'demo')");
      for (devsim::DeviceConfig &d : devsim::demo_fleet()) options.devices.push_back(std::move(d));
    } else if (a == "--variant") {
      if (!value(v)) return usage_error("--variant needs a name");
      auto d = devsim::variant(v);
      if (!d) return usage_error("unknown variant '" + v + "'");
      options.devices.push_back(std::move(*d));
    } else if (a == "--config") {
      if (!value(v)) return usage_error("--config needs a file");
      devsim::ConfigLoad load = devsim::load_config_json(v);
      if (!load.error.empty()) return usage_error(load.error);
      for (devsim::DeviceConfig &d : load.devices) options.devices.push_back(std::move(d));
    } else if (a == "--port-base") {
      if (!value(v) || !to_int(v, options.port_base, 65535)) return usage_error("--port-base needs a port number");
    } else if (a == "--udp-port") {
      if (!value(v) || !to_int(v, options.udp_port, 65535)) return usage_error("--udp-port needs a port number");
    } else if (a == "--bind") {
      if (!value(options.bind)) return usage_error("--bind needs an address");
      if (!devsim::is_loopback_address(options.bind))
        return usage_error("refusing to listen on " + options.bind + ": only 127.0.0.0/8 is allowed");
    } else if (a == "--apply-delay") {
      if (!value(v) || !to_int(v, options.apply_delay_ms, 3600000))
        return usage_error("--apply-delay needs milliseconds");
    } else if (a == "--fault") {
      if (!value(v)) return usage_error("--fault needs a fault");
      FaultOption f{-1, {}};
      if (const auto eq = v.find('='); eq != std::string::npos) {
        if (!to_int(v.substr(0, eq), f.device, 1000000)) return usage_error("bad device index in --fault " + v);
        v = v.substr(eq + 1);
      }
      auto parsed = devsim::parse_fault(v);
      if (!parsed) return usage_error("not a fault: " + v);
      f.fault = *parsed;
      options.faults.push_back(f);
    } else {
      return usage_error("unknown option '" + a + "'");
    }
  }
  if (options.devices.empty()) return usage_error("no devices: use --fleet demo, --variant or --config");
  return -1;
}

// Applies the command-wide options to the devices; returns false on a bad one.
bool apply_options(Options &options) {
  for (std::size_t i = 0; i < options.devices.size(); ++i) {
    devsim::DeviceConfig &d = options.devices[i];
    if (!options.bind.empty()) d.bind_address = options.bind;
    if (options.port_base == 0) d.port = 0;
    if (options.port_base > 0) d.port = options.port_base + static_cast<int>(i);
    if (options.apply_delay_ms >= 0) d.apply_delay_ms = options.apply_delay_ms;
  }
  for (const FaultOption &f : options.faults) {
    if (f.device >= static_cast<int>(options.devices.size())) {
      usage_error("--fault for device " + std::to_string(f.device) + ", but there are only " +
                  std::to_string(options.devices.size()));
      return false;
    }
    for (std::size_t i = 0; i < options.devices.size(); ++i)
      if (f.device < 0 || f.device == static_cast<int>(i)) options.devices[i].faults.push_back(f.fault);
  }
  return true;
}

std::mutex log_mutex;

}  // namespace

int main(int argc, char **argv) {
  Options options;
  if (const int status = parse_options(argc, argv, options); status >= 0) return status;
  if (!apply_options(options)) return 2;

  // Signals are taken by sigwait below; the server threads inherit the mask.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::vector<std::unique_ptr<devsim::Server>> servers;
  for (std::size_t i = 0; i < options.devices.size(); ++i) {
    const devsim::DeviceConfig &d = options.devices[i];
    auto server = std::make_unique<devsim::Server>();
    const std::string name = d.device_name;
    const int port = server->start(d, [name](const devsim::Request &r) {
      std::lock_guard<std::mutex> lock(log_mutex);
      std::fprintf(stderr, "[%s] %s %s %d\n", name.c_str(), r.method.c_str(), r.path.c_str(), r.status);
    });
    if (port < 0) {
      std::fprintf(stderr, "zelvo-devsim: device %zu (%s): %s\n", i, name.c_str(), server->error().c_str());
      return 1;  // the servers started so far stop as they go out of scope
    }
    std::printf("device %zu %s %d %s\n", i, server->address().c_str(), port, name.c_str());
    servers.push_back(std::move(server));
  }
  devsim::UdpResponder responder;
  if (options.udp_port >= 0) {
    std::vector<devsim::Server *> devices;
    for (auto &server : servers) devices.push_back(server.get());
    const std::string address = options.bind.empty() ? "127.0.0.1" : options.bind;
    const int port = responder.start(devices, options.udp_port, address);
    if (port < 0) {
      std::fprintf(stderr, "zelvo-devsim: UDP: %s\n", responder.error().c_str());
      return 1;
    }
    std::printf("udp %s %d\n", address.c_str(), port);
  }
  std::printf("ready\n");
  std::fflush(stdout);

  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  responder.stop();
  for (auto &server : servers) server->stop();
  return 0;
}
