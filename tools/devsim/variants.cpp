// The built-in devices: one per product family and document version, the
// four meter models, and the odd cases the client must survive (prefixed
// roots, 42 sensors, accented names, no Idx, posts matched by Idx).
#include <cstdio>
#include <functional>

#include "tools/devsim/devsim.h"

namespace devsim {

namespace {

Sensor sensor(unsigned id, std::string name, std::string units, double value, int exp, double min, double max,
              double drift) {
  Sensor s;
  s.id = id;
  s.name = std::move(name);
  s.units = std::move(units);
  s.value = value;
  s.exp = exp;
  s.min = min;
  s.max = max;
  s.hyst = exp <= -1 ? 0.5 : 1;
  s.drift = drift;
  return s;
}

Sensor temperature(unsigned id, std::string name, double value) {
  return sensor(id, std::move(name), "C", value, -1, 10, 35, 0.3);
}

Sensor reading(std::string meter, unsigned id, std::string name, std::string units, double value, int exp) {
  Sensor s = sensor(id, std::move(name), std::move(units), value, exp, 0, value * 2, value / 1000);
  s.hyst = value / 100;
  s.meter = std::move(meter);
  return s;
}

BinaryInput input(unsigned id, std::string name, int value, InputAlarm alarm) {
  BinaryInput in;
  in.id = id;
  in.name = std::move(name);
  in.value = value;
  in.alarm = alarm;
  return in;
}

BinaryOutput output(unsigned id, std::string name) {
  BinaryOutput out;
  out.id = id;
  out.name = std::move(name);
  return out;
}

std::vector<SnmpTrap> four_traps() {
  std::vector<SnmpTrap> traps(4);
  traps[0].ip = "127.0.0.1";
  traps[0].enabled = true;
  return traps;
}

constexpr int kCapabilitySetupKey = 1 << 0;
constexpr int kCapabilityBit1 = 1 << 1;
constexpr int kCapabilityBit2 = 1 << 2;

DeviceConfig base(int model, std::string xml_ver, std::string name, int serial) {
  DeviceConfig c;
  c.model = model;
  c.xml_ver = std::move(xml_ver);
  c.device_name = name;
  c.title = std::move(name);
  char mac[32];
  std::snprintf(mac, sizeof mac, "00:20:4A:5E:00:%02X", serial & 0xFF);
  c.mac = mac;
  c.seed = static_cast<std::uint32_t>(serial);
  c.snmp_traps = four_traps();
  return c;
}

DeviceConfig thermometer() {
  DeviceConfig c = base(36, "2.34", "Lab thermometer", 1);
  c.version = "3.4.2";
  c.sensors = {temperature(101, "Bench", 21.5), temperature(102, "Incubator", 30.2), temperature(103, "Fridge", 4.1),
               temperature(104, "Outside", 12.8)};
  c.sensors[2].min = 2;
  c.sensors[2].max = 8;
  c.sensors[0].dest = Destinations{{true, false, false, false}, {true, false}, 30, true};
  c.inputs = {input(1, "Door", 0, InputAlarm::when_on), input(2, "Window", 1, InputAlarm::inactive)};
  c.outputs = {output(151, "Alarm horn")};
  c.user = "admin";
  c.password = "admin";
  c.name_post_without_auth = true;
  return c;
}

DeviceConfig hygrometer() {
  DeviceConfig c = base(15, "2.0", "Store room climate", 2);
  c.discovery.type_code = 10;
  c.version = "2.1.0";
  c.sensors = {temperature(101, "Air temperature", 18.4), sensor(102, "Humidity", "%RH", 48.5, -1, 30, 70, 1.5),
               sensor(103, "Dew point", "DP C", 7.3, -1, -10, 15, 0.4)};
  c.inputs = {input(1, "Pulse counter", 0, InputAlarm::inactive)};
  c.inputs[0].counter = 1234;
  c.outputs = {output(151, "Dehumidifier")};
  return c;
}

DeviceConfig current_monitor() {
  DeviceConfig c = base(33, "1.00", "Loop monitor", 3);
  c.discovery.type_code = 13;
  c.sensors = {sensor(101, "Loop current", "mA", 12.25, -2, 4, 20, 0.05),
               sensor(102, "Supply voltage", "V", 24.1, -1, 22, 26, 0.1),
               sensor(103, "Light", "LUX", 350, 1, 100, 1000, 20)};
  c.inputs = {input(1, "Tamper", 0, InputAlarm::when_on)};
  return c;
}

// Meter models differ in their meters; all list several readings per meter,
// some sharing their exponent (written without Exp).
DeviceConfig meter(int model) {
  DeviceConfig c = base(model, "1.01", "Energy meter " + std::to_string(model), model);
  c.discovery.type_code = 21;
  c.version = "1.5." + std::to_string(model);
  switch (model) {
    case 45:
      c.sensors = {reading("Heating", 101, "Energy", "kWh", 15234.5, -1),
                   reading("Heating", 102, "Power", "kW", 12.34, -2), reading("Heating", 103, "Flow", "m3/h", 1.25, -2),
                   reading("Water", 104, "Volume", "m3", 834.125, -3)};
      break;
    case 55:
      c.sensors = {reading("Main", 101, "Energy", "kWh", 98765.4, -1), reading("Main", 102, "Current", "A", 16.2, -1),
                   reading("Sub", 103, "Energy", "kWh", 1200, 0)};
      break;
    case 57:
      c.sensors = {reading("Cooling", 101, "Energy", "MWh", 12.345, -3),
                   reading("Cooling", 102, "Volume", "m3", 455.5, -1), reading("Cooling", 103, "Flow", "m3/h", 3.5, -1),
                   reading("Return", 104, "Temperature", "C", 14.5, -1)};
      break;
    default:
      c.sensors = {reading("Gas", 101, "Volume", "m3", 2233.44, -2), reading("Gas", 102, "Energy", "kWh", 7780.55, -2),
                   reading("Boiler", 103, "Heat", "GJ", 28.015, -3)};
      break;
  }
  c.sensors[0].email_sms = true;
  c.sensors[0].snmp_trap = true;
  c.inputs = {input(1, "Tariff", 0, InputAlarm::inactive), input(2, "Leak", 0, InputAlarm::when_on),
              input(3, "Lid", 1, InputAlarm::when_off)};
  c.inputs[1].snmp_trap = true;
  c.inputs[2].email_sms = true;
  return c;
}

DeviceConfig family5() {
  DeviceConfig c = base(53, "2.36", "Cold store", 5);
  c.discovery.type_code = 5;  // outside the types whose names are read over HTTP
  c.sensors = {temperature(101, "Cold store", -18.3), sensor(102, "Humidity", "%RH", 85.0, -1, 60, 95, 1)};
  c.sensors[0].min = -25;
  c.sensors[0].max = -15;
  return c;
}

DeviceConfig unknown_model() {
  DeviceConfig c = base(71, "3.10", "Prototype", 6);
  c.discovery.type_code = 27;
  c.sensors = {temperature(101, "Probe", 22.0)};
  return c;
}

DeviceConfig prefixed() {
  DeviceConfig c = base(12, "2.35", "Prefixed roots", 7);
  c.prefixed_root = true;
  c.sensors = {temperature(101, "Room", 22.4), temperature(102, "Supply air", 17.9)};
  c.outputs = {output(151, "Fan")};
  return c;
}

DeviceConfig max_sensors() {
  DeviceConfig c = base(36, "2.34", "Sensor hub", 8);
  for (unsigned i = 0; i < 42; ++i) {
    c.sensors.push_back(temperature(101 + i, "Rack " + std::to_string(i + 1), 20 + i * 0.25));
  }
  c.sensors[0].dest = Destinations{{true, true, false, false}, {true, true}, 60, true};
  c.inputs = {input(1, "Door front", 0, InputAlarm::when_on), input(2, "Door back", 0, InputAlarm::when_on)};
  c.outputs = {output(151, "Beacon"), output(152, "Siren")};
  return c;
}

DeviceConfig accented() {
  DeviceConfig c = base(22, "2.36", "Zentrale Nürnberg & Fürth", 9);
  // Names and capabilities come in the reply's extension list.
  c.discovery.type_code = 31;
  c.discovery.capabilities = kCapabilityBit1 | kCapabilityBit2;
  c.discovery.model_text = "Simulated hub";
  c.title = "Kühlhaus & Lager";
  c.sensors = {temperature(101, "Kühlraum Süd", 3.5), temperature(102, "Büro & Flur", 21.0),
               temperature(103, "Température extérieure", -2.5)};
  c.inputs = {input(1, "Tür <Nord>", 0, InputAlarm::when_on)};
  c.outputs = {output(151, "Lüftung")};
  return c;
}

DeviceConfig no_idx() {
  DeviceConfig c = base(69, "2.0", "No index", 10);
  c.idx_elements = false;
  c.sensors = {temperature(101, "Hall", 19.5), temperature(102, "Office", 22.5)};
  c.inputs = {input(1, "Door", 0, InputAlarm::inactive)};
  c.outputs = {output(151, "Relay")};
  return c;
}

DeviceConfig idx() {
  DeviceConfig c = base(10, "2.34", "Index device", 11);
  // Setups for it are authenticated with a key of its own.
  c.discovery.type_code = 31;
  c.discovery.capabilities = kCapabilitySetupKey;
  c.discovery.setup_key[0] = 0x00010203u;
  c.discovery.setup_key[1] = 0x04050607u;
  c.discovery.setup_key[2] = 0x08090A0Bu;
  c.discovery.setup_key[3] = 0x0C0D0E0Fu;
  c.match_by_idx = true;
  c.sensors = {temperature(201, "North", 19.0), temperature(202, "South", 23.0), temperature(203, "East", 21.0)};
  c.outputs = {output(151, "Heater"), output(152, "Cooler")};
  c.user = "operator";
  c.password = "secret";
  return c;
}

struct Variant {
  const char *name;
  std::function<DeviceConfig()> make;
};

const std::vector<Variant> &catalog() {
  static const std::vector<Variant> variants = {
      {"thermometer", thermometer},
      {"hygrometer", hygrometer},
      {"current-monitor", current_monitor},
      {"meter-45", [] { return meter(45); }},
      {"meter-55", [] { return meter(55); }},
      {"meter-57", [] { return meter(57); }},
      {"meter-58", [] { return meter(58); }},
      {"family5", family5},
      {"unknown-model", unknown_model},
      {"prefixed", prefixed},
      {"max-sensors", max_sensors},
      {"accented", accented},
      {"no-idx", no_idx},
      {"idx", idx},
  };
  return variants;
}

}  // namespace

std::vector<std::string> variant_names() {
  std::vector<std::string> names;
  for (const Variant &v : catalog()) names.emplace_back(v.name);
  return names;
}

std::optional<DeviceConfig> variant(std::string_view name) {
  for (const Variant &v : catalog())
    if (name == v.name) return v.make();
  return std::nullopt;
}

std::vector<DeviceConfig> demo_fleet() {
  std::vector<DeviceConfig> fleet;
  for (const char *name : {"thermometer", "hygrometer", "meter-57", "accented", "idx"}) fleet.push_back(*variant(name));
  return fleet;
}

}  // namespace devsim
