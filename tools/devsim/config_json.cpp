// JSON config files of the command: a list of devices, each either written
// out in full or started from a built-in variant and changed.
#include <algorithm>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tools/devsim/devsim.h"

namespace devsim {

namespace {

using nlohmann::json;

// Raised inside this file only, turned into ConfigLoad::error.
struct ConfigError {
  std::string text;
};

void check_keys(const json &obj, const std::string &where, std::initializer_list<const char *> known) {
  if (!obj.is_object()) throw ConfigError{where + ": expected an object"};
  for (auto it = obj.begin(); it != obj.end(); ++it) {
    bool found = false;
    for (const char *k : known) found = found || it.key() == k;
    if (!found) throw ConfigError{where + ": unknown key \"" + it.key() + "\""};
  }
}

template <class T>
void read(const json &obj, const char *key, T &target, const std::string &where) {
  auto it = obj.find(key);
  if (it == obj.end()) return;
  try {
    target = it->get<T>();
  } catch (const json::exception &) {
    throw ConfigError{where + "." + key + ": wrong type"};
  }
}

template <class T, class F>
void read_list(const json &obj, const char *key, std::vector<T> &target, const std::string &where, F item) {
  auto it = obj.find(key);
  if (it == obj.end()) return;
  if (!it->is_array()) throw ConfigError{where + "." + key + ": expected an array"};
  target.clear();
  for (std::size_t i = 0; i < it->size(); ++i)
    target.push_back(item((*it)[i], where + "." + key + "[" + std::to_string(i) + "]"));
}

Destinations destinations(const json &j, const std::string &where) {
  check_keys(j, where, {"snmp", "mail", "delay", "enabled"});
  Destinations d;
  std::vector<bool> snmp, mail;
  read(j, "snmp", snmp, where);
  read(j, "mail", mail, where);
  if (snmp.size() > 4 || mail.size() > 2) throw ConfigError{where + ": at most 4 snmp and 2 mail flags"};
  for (std::size_t i = 0; i < snmp.size(); ++i) d.snmp[i] = snmp[i];
  for (std::size_t i = 0; i < mail.size(); ++i) d.mail[i] = mail[i];
  read(j, "delay", d.delay, where);
  read(j, "enabled", d.enabled, where);
  return d;
}

Sensor sensor(const json &j, const std::string &where) {
  check_keys(j, where,
             {"id", "name", "units", "value", "exp", "min", "max", "hyst", "calib", "drift", "snmp_trap", "email_sms",
              "invalid", "meter", "dest"});
  Sensor s;
  read(j, "id", s.id, where);
  read(j, "name", s.name, where);
  read(j, "units", s.units, where);
  read(j, "value", s.value, where);
  read(j, "exp", s.exp, where);
  read(j, "min", s.min, where);
  read(j, "max", s.max, where);
  read(j, "hyst", s.hyst, where);
  read(j, "calib", s.calib, where);
  read(j, "drift", s.drift, where);
  read(j, "snmp_trap", s.snmp_trap, where);
  read(j, "email_sms", s.email_sms, where);
  read(j, "invalid", s.invalid, where);
  read(j, "meter", s.meter, where);
  if (j.contains("dest")) s.dest = destinations(j["dest"], where + ".dest");
  return s;
}

BinaryInput input(const json &j, const std::string &where) {
  check_keys(j, where, {"id", "name", "value", "alarm", "counter", "snmp_trap", "email_sms"});
  BinaryInput in;
  read(j, "id", in.id, where);
  read(j, "name", in.name, where);
  read(j, "value", in.value, where);
  read(j, "counter", in.counter, where);
  read(j, "snmp_trap", in.snmp_trap, where);
  read(j, "email_sms", in.email_sms, where);
  std::string alarm = "inactive";
  read(j, "alarm", alarm, where);
  if (alarm == "inactive")
    in.alarm = InputAlarm::inactive;
  else if (alarm == "on")
    in.alarm = InputAlarm::when_on;
  else if (alarm == "off")
    in.alarm = InputAlarm::when_off;
  else
    throw ConfigError{where + ".alarm: expected \"inactive\", \"on\" or \"off\""};
  return in;
}

BinaryOutput output(const json &j, const std::string &where) {
  check_keys(j, where, {"id", "name", "value"});
  BinaryOutput out;
  read(j, "id", out.id, where);
  read(j, "name", out.name, where);
  read(j, "value", out.value, where);
  return out;
}

SnmpTrap trap(const json &j, const std::string &where) {
  check_keys(j, where, {"community", "ip", "port", "enabled"});
  SnmpTrap t;
  read(j, "community", t.community, where);
  read(j, "ip", t.ip, where);
  read(j, "port", t.port, where);
  read(j, "enabled", t.enabled, where);
  return t;
}

Fault fault(const json &j, const std::string &where) {
  if (!j.is_string()) throw ConfigError{where + ": expected a fault text such as \"stall:100@values\""};
  const std::string text = j.get<std::string>();
  auto f = parse_fault(text);
  if (!f) throw ConfigError{where + ": not a fault: " + text};
  return *f;
}

void network(const json &j, Network &n, const std::string &where) {
  check_keys(
      j, where,
      {"ip", "mask", "gateway", "dns_primary", "dns_secondary", "http_port", "telnet_port", "snmp_port", "dhcp"});
  read(j, "ip", n.ip, where);
  read(j, "mask", n.mask, where);
  read(j, "gateway", n.gateway, where);
  read(j, "dns_primary", n.dns_primary, where);
  read(j, "dns_secondary", n.dns_secondary, where);
  read(j, "http_port", n.http_port, where);
  read(j, "telnet_port", n.telnet_port, where);
  read(j, "snmp_port", n.snmp_port, where);
  read(j, "dhcp", n.dhcp, where);
}

void discovery(const json &j, Discovery &d, const std::string &where) {
  check_keys(j, where, {"type_code", "settings", "capabilities", "model_text", "setup_key"});
  read(j, "type_code", d.type_code, where);
  read(j, "settings", d.settings, where);
  read(j, "capabilities", d.capabilities, where);
  read(j, "model_text", d.model_text, where);
  std::vector<std::uint32_t> key;
  read(j, "setup_key", key, where);
  if (j.contains("setup_key") && key.size() != std::size(d.setup_key))
    throw ConfigError{where + ".setup_key: expected four numbers"};
  std::copy(key.begin(), key.end(), d.setup_key);
}

DeviceConfig device(const json &j, const std::string &where) {
  check_keys(j, where,
             {"variant",
              "name",
              "title",
              "version",
              "xml_ver",
              "model",
              "vendor_id",
              "mac",
              "contact",
              "user",
              "password",
              "bind",
              "port",
              "prefixed_root",
              "idx_elements",
              "match_by_idx",
              "name_post_without_auth",
              "apply_delay_ms",
              "seed",
              "sensors",
              "inputs",
              "outputs",
              "snmp_traps",
              "network",
              "discovery",
              "faults"});
  DeviceConfig c;
  if (j.contains("variant")) {
    std::string name;
    read(j, "variant", name, where);
    auto v = variant(name);
    if (!v) throw ConfigError{where + ".variant: no variant \"" + name + "\""};
    c = *v;
  }
  read(j, "name", c.device_name, where);
  read(j, "title", c.title, where);
  read(j, "version", c.version, where);
  read(j, "xml_ver", c.xml_ver, where);
  read(j, "model", c.model, where);
  read(j, "vendor_id", c.vendor_id, where);
  read(j, "mac", c.mac, where);
  read(j, "contact", c.contact, where);
  read(j, "user", c.user, where);
  read(j, "password", c.password, where);
  read(j, "bind", c.bind_address, where);
  read(j, "port", c.port, where);
  read(j, "prefixed_root", c.prefixed_root, where);
  read(j, "idx_elements", c.idx_elements, where);
  read(j, "match_by_idx", c.match_by_idx, where);
  read(j, "name_post_without_auth", c.name_post_without_auth, where);
  read(j, "apply_delay_ms", c.apply_delay_ms, where);
  read(j, "seed", c.seed, where);
  read_list(j, "sensors", c.sensors, where, sensor);
  read_list(j, "inputs", c.inputs, where, input);
  read_list(j, "outputs", c.outputs, where, output);
  read_list(j, "snmp_traps", c.snmp_traps, where, trap);
  read_list(j, "faults", c.faults, where, fault);
  if (j.contains("network")) network(j["network"], c.network, where + ".network");
  if (j.contains("discovery")) discovery(j["discovery"], c.discovery, where + ".discovery");
  return c;
}

}  // namespace

ConfigLoad parse_config_json(std::string_view text) {
  ConfigLoad result;
  const json doc = json::parse(text.begin(), text.end(), nullptr, false);
  if (doc.is_discarded()) {
    result.error = "not valid JSON";
    return result;
  }
  try {
    check_keys(doc, "config", {"devices"});
    if (!doc.contains("devices") || !doc["devices"].is_array() || doc["devices"].empty())
      throw ConfigError{"config: \"devices\" must be a non-empty array"};
    read_list(doc, "devices", result.devices, "config", device);
  } catch (const ConfigError &e) {
    result.devices.clear();
    result.error = e.text;
  }
  return result;
}

ConfigLoad load_config_json(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return ConfigLoad{{}, path + ": cannot be read"};
  std::ostringstream text;
  text << file.rdbuf();
  ConfigLoad result = parse_config_json(text.str());
  if (!result.error.empty()) result.error = path + ": " + result.error;
  return result;
}

}  // namespace devsim
