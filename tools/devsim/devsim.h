// Device simulator: stands in for the networked sensor devices while the
// client is built and tried. Each simulated device serves values.xml and
// setup.xml over HTTP/1.0 on its own loopback port, applies posted setup
// documents, and can be told to misbehave in the ways real devices and
// networks do (see Fault).
//
// Everything here is thread-safe: a Server may be queried and given faults
// from any thread while it serves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace devsim {

// Where an alarm, trap or mail of an entry goes; written as the entry's Dest
// block in setup.xml.
struct Destinations {
  bool snmp[4] = {false, false, false, false};
  bool mail[2] = {false, false};
  int delay = 0;  // seconds before the alarm is reported
  bool enabled = false;
};

struct Sensor {
  unsigned id = 0;
  std::string name;   // UTF-8
  std::string units;  // device unit text: "C", "%RH", "mA", "kWh", "LUX", ...
  double value = 0;   // raw reading at start, before calibration
  int exp = -1;       // decimal exponent: -1 writes one decimal
  double min = 0;
  double max = 0;
  double hyst = 0;
  double calib = 0;
  double drift = 0;  // amplitude of the slow deterministic drift of the raw reading
  bool snmp_trap = false;
  bool email_sms = false;
  bool invalid = false;  // the probe is missing: value -999.9, state invalid
  std::string meter;     // meter devices: the Meter this reading belongs to
  std::optional<Destinations> dest;
};

enum class InputAlarm { inactive, when_on, when_off };

struct BinaryInput {
  unsigned id = 0;  // 1..64: the client addresses inputs by this number
  std::string name;
  int value = 0;  // 0 open, 1 closed
  InputAlarm alarm = InputAlarm::inactive;
  long counter = 0;
  bool snmp_trap = false;
  bool email_sms = false;
};

struct BinaryOutput {
  unsigned id = 0;  // 151..214: the client addresses outputs by this number
  std::string name;
  int value = 0;
};

struct SnmpTrap {
  std::string community = "public";
  std::string ip = "0.0.0.0";
  int port = 162;
  bool enabled = false;
};

struct Network {
  std::string ip = "127.0.0.1";
  std::string mask = "255.0.0.0";
  std::string gateway = "127.0.0.1";
  std::string dns_primary = "127.0.0.1";
  std::string dns_secondary = "0.0.0.0";
  std::string http_port;  // empty: the port the device listens on
  std::string telnet_port = "23";
  std::string snmp_port = "161";
  std::string dhcp = "0";
};

// Which replies a fault changes.
enum class FaultTarget { all, values, setup, post, search };

enum class FaultKind {
  none,
  status,              // value: the HTTP status sent instead of the normal one
  stall,               // value: bytes sent before the device falls silent (connection kept open)
  drip,                // value: milliseconds between single bytes (default 20)
  close_in_header,     // value: bytes of the header sent before closing (default: half of it)
  split_header,        // value: milliseconds between 8-byte pieces of the header (default 20)
  long_header,         // value: size the header is filled up to (default 1500 bytes)
  body_size,           // value: exact body length; the document is padded with a comment
  truncate_body,       // value: body bytes sent of the document
  no_declaration,      // the body lacks the <?xml ...?> declaration
  blank_line_in_body,  // a CR LF CR LF between two elements in the middle of the body
  garbage,             // value: bytes of noise sent instead of any HTTP reply (default 512)
  garbage_body,        // value: bytes of noise sent as body after a proper header (default 512)
  short_status,        // value: bytes of "HTTP/1.0 200 OK" sent before closing (default 8)
  not_listening,       // the port is reserved, then closed: connects are refused
  bare_ampersand,      // every "&amp;" of the body sent as a bare '&', as by a device that does not escape its names
  silent,              // the connection is accepted and the request read, but no byte is ever sent
  ignore_post,         // a post is answered as usual, but the device keeps its setup unchanged

  // Search replies (UdpResponder); these act whatever the target, and take
  // the target "search" so that they sit beside an HTTP fault.
  short_reply,        // value: bytes of the reply sent (default 47)
  unauthentic_reply,  // value: position, counted from 1, of the reply byte changed (default 48)
  duplicate_reply,    // value: copies of the reply sent (default 2)
  oversized_reply,    // value: length the reply is padded to with zeros (default 600)
  reply_burst,        // value: devices answering in this device's stead (default 1000), see docs/devsim.md
};

// True for the kinds that change search replies rather than HTTP replies.
bool is_search_fault(FaultKind kind);

struct Fault {
  FaultKind kind = FaultKind::none;
  FaultTarget target = FaultTarget::all;
  long value = 0;  // meaning depends on kind; 0 picks the kind's default
};

// Text form used by the command line and config files:
// KIND[:VALUE][@TARGET], e.g. "status:500@setup", "stall:100", "no-declaration@values".
std::optional<Fault> parse_fault(std::string_view text);
std::string fault_to_string(const Fault &fault);
// Names of all fault kinds in their text form, for help texts.
std::vector<std::string> fault_kind_names();

// How the device shows itself to a UDP search (UdpResponder). The reply's
// MAC is DeviceConfig::mac, its firmware version DeviceConfig::version, its
// further addresses those of Network (mask, dns_secondary, gateway,
// dns_primary) and its name DeviceConfig::device_name.
struct Discovery {
  int type_code = 6;       // 0..31; 31 sends the extension list
  int settings = 0;        // the settings byte, 0..255
  int capabilities = 0;    // type 31: the capability bits (bit 0: setups use setup_key)
  std::string model_text;  // type 31: sent as the model item when not empty
  std::uint32_t setup_key[4] = {0, 0, 0, 0};
};

struct DeviceConfig {
  // Identity: the Agent block of both documents.
  std::string version = "1.0.0";
  std::string xml_ver = "2.34";
  std::string device_name = "Simulated device";  // also Network/Name
  int model = 36;
  std::string vendor_id = "0x4A";
  std::string mac = "00:20:4A:00:00:01";
  std::string title = "Simulated device";
  std::string contact = "support@example.invalid";

  std::vector<Sensor> sensors;
  std::vector<BinaryInput> inputs;
  std::vector<BinaryOutput> outputs;
  std::vector<SnmpTrap> snmp_traps;  // at most 4
  Network network;

  // Credentials for GET and POST of setup.xml; empty user: none required.
  std::string user;
  std::string password;

  std::string bind_address = "127.0.0.1";  // loopback only
  int port = 0;                            // 0: a free port

  // Variants.
  bool prefixed_root = false;           // <val:Root ...> and <set:Root ...> with namespace declarations
  bool idx_elements = true;             // entries carry their Idx (1-based position)
  bool match_by_idx = false;            // posted entries are found by Idx before ID
  bool name_post_without_auth = false;  // a post of only Network/Name needs no credentials

  int apply_delay_ms = 300;  // a new calibration reaches the readings after this long
  std::uint32_t seed = 1;    // drift phases

  Discovery discovery;

  std::vector<Fault> faults;
};

// True for a dotted IPv4 address in 127.0.0.0/8: the only addresses the
// simulator serves on, so that it never shows up on a real network.
bool is_loopback_address(const std::string &address);

// True for the models whose values.xml lists Meter and Input elements.
bool is_meter_model(int model);

// Built-in device variants by name (see variant_names()); demo_fleet() is a
// handful of them.
std::vector<std::string> variant_names();
std::optional<DeviceConfig> variant(std::string_view name);
std::vector<DeviceConfig> demo_fleet();

// Raw reading of a sensor `elapsed_s` seconds after the device started:
// its start value plus a slow drift of at most `drift`, the same for the same
// seed and sensor position.
double raw_reading(const Sensor &sensor, std::uint32_t seed, std::size_t position, double elapsed_s);

// Reads a JSON config file (format in docs/devsim.md).
struct ConfigLoad {
  std::vector<DeviceConfig> devices;
  std::string error;  // empty on success
};
ConfigLoad load_config_json(const std::string &path);
ConfigLoad parse_config_json(std::string_view text);

// One request as the device received it.
struct Request {
  std::string method;
  std::string path;
  std::string head;  // request line and header lines, up to and without the blank line
  std::string body;
  int status = 0;  // status sent; 0 when the reply was not HTTP (garbage, early close)

  // Value of the first header line named `name` (case-insensitive), or "".
  std::string header(std::string_view name) const;
};

using RequestObserver = std::function<void(const Request &)>;

// One simulated device on its own port, served by one thread.
class Server {
 public:
  Server();
  ~Server();  // stops
  Server(const Server &) = delete;
  Server &operator=(const Server &) = delete;

  // Validates the config and starts serving. Returns the port, or -1 with
  // error() telling why. `observer` is called on the server thread after
  // every request.
  int start(const DeviceConfig &config, RequestObserver observer = {});
  // Closes every connection (stalled ones too) and joins the thread.
  void stop();

  bool running() const;
  int port() const;
  std::string address() const;
  std::string error() const;

  // Replaces the fault of the same target (FaultKind::none clears it).
  void set_fault(const Fault &fault);
  void clear_faults();
  void set_apply_delay_ms(int ms);

  std::optional<Request> last_post() const;
  std::vector<Request> requests() const;  // the latest 256
  std::size_t request_count() const;

  // Device state as it is now.
  std::optional<double> sensor_calibration(unsigned id) const;
  std::optional<double> sensor_reading(unsigned id) const;  // raw reading plus applied calibration
  DeviceConfig config() const;                              // with every applied change
  std::string values_document() const;                      // as served without faults
  std::string setup_document() const;
  std::vector<Fault> faults() const;

  // What a setup datagram changes: the address, the further addresses, the
  // port, the settings byte and, for type 31, the name (none: kept).
  struct NetworkSetup {
    std::string ip, addr_m, addr_f, addr_w, addr_n;
    int http_port = 0;
    int settings = 0;
    std::optional<std::string> name;
  };
  void apply_network_setup(const NetworkSetup &setup);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Answers UDP searches and setup datagrams for a set of running Servers, on
// one loopback port of its own. The servers must outlive the responder (or
// its stop()). Searches are answered from the responder's own address, so a
// client that sends through a proxy at that address sees the replies come
// from its proxy.
class UdpResponder {
 public:
  UdpResponder();
  ~UdpResponder();  // stops
  UdpResponder(const UdpResponder &) = delete;
  UdpResponder &operator=(const UdpResponder &) = delete;

  // Binds address:port (port 0: a free one) and starts answering. Returns the
  // bound port, or -1 with error() telling why.
  int start(std::vector<Server *> devices, int port = 0, const std::string &address = "127.0.0.1");
  void stop();

  int port() const;
  std::string error() const;
  std::size_t searches_answered() const;
  std::size_t setups_applied() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace devsim
