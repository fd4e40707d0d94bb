// values.xml: identity and readings. Meter models list their readings as
// Meter/Val and their inputs as Input elements; all others use the
// BinaryInSet, BinaryOutSet and SenSet lists.
#include <cmath>
#include <string_view>

#include "tools/devsim/device_codes_private.h"
#include "tools/devsim/documents_private.h"

namespace devsim {

namespace {

void write_inputs(XmlWriter &xml, const DeviceConfig &config, int family) {
  xml.open("BinaryInSet");
  for (std::size_t i = 0; i < config.inputs.size(); ++i) {
    const BinaryInput &in = config.inputs[i];
    const EntryState state = input_state(in);
    xml.open("Entry");
    xml.leaf("ID", in.id);
    xml.leaf("Name", in.name);
    xml.leaf("Value", in.value);
    xml.leaf("AlarmState", input_alarm_code(family, in.alarm));
    xml.leaf("Alarm", input_alarm_code(family, in.alarm));
    xml.leaf("State", input_state_code(family, state));
    xml.leaf("Cnt", in.counter);
    xml.leaf("Color", color_code(state));
    xml.flag("SNMPTrap", in.snmp_trap);
    xml.flag("EmailSMS", in.email_sms);
    if (config.idx_elements) xml.leaf("Idx", static_cast<long long>(i + 1));
    xml.close("Entry");
  }
  xml.leaf("AlarmAction", "0");
  xml.close("BinaryInSet");
}

void write_outputs(XmlWriter &xml, const DeviceConfig &config) {
  xml.open("BinaryOutSet");
  for (std::size_t i = 0; i < config.outputs.size(); ++i) {
    const BinaryOutput &out = config.outputs[i];
    xml.open("Entry");
    xml.leaf("ID", out.id);
    xml.leaf("Name", out.name);
    xml.leaf("Type", "0");
    xml.leaf("Value", out.value);
    xml.leaf("Mode", "0");
    xml.leaf("CondInputID", "0");
    xml.leaf("Trigger", "0");
    if (config.idx_elements) xml.leaf("Idx", static_cast<long long>(i + 1));
    xml.close("Entry");
  }
  xml.close("BinaryOutSet");
}

void write_sensors(XmlWriter &xml, const DocumentInput &input, int family) {
  const DeviceConfig &config = input.config;
  xml.open("SenSet");
  for (std::size_t i = 0; i < config.sensors.size(); ++i) {
    const Sensor &s = config.sensors[i];
    const double value = input.readings[i];
    const EntryState state = sensor_state(s, value);
    xml.open("Entry");
    xml.leaf("Name", s.name);
    xml.leaf("ID", s.id);
    xml.leaf("Units", s.units);
    xml.leaf("Value", reading_text(s, value));
    xml.leaf("Exp", s.exp);
    xml.leaf("Min", limit_text(s, s.min));
    xml.leaf("Max", limit_text(s, s.max));
    xml.leaf("Hyst", limit_text(s, s.hyst));
    xml.flag("SNMPTrap", s.snmp_trap);
    xml.flag("EmailSMS", s.email_sms);
    xml.leaf("Color", color_code(state));
    xml.leaf("State", sensor_state_code(family, state));
    xml.leaf("Calib", calib_text(s));
    if (config.idx_elements) xml.leaf("Idx", static_cast<long long>(i + 1));
    xml.close("Entry");
  }
  xml.close("SenSet");
}

// Meter devices send limits as integers counted in units of 10^exp.
long long scaled(double value, int exp) { return std::llround(value / std::pow(10.0, exp)); }

// cfg bits of a Val: 0x08 e-mail/SMS, 0x04 SNMP trap.
int val_cfg(const Sensor &s) { return (s.email_sms ? 0x08 : 0) | (s.snmp_trap ? 0x04 : 0); }

// cfg bits of an Input: 0x02 alarm enabled, 0x04 active when open (off),
// 0x08 e-mail/SMS, 0x10 SNMP trap.
int input_cfg(const BinaryInput &in) {
  int cfg = (in.email_sms ? 0x08 : 0) | (in.snmp_trap ? 0x10 : 0);
  if (in.alarm == InputAlarm::when_on) cfg |= 0x02;
  if (in.alarm == InputAlarm::when_off) cfg |= 0x02 | 0x04;
  return cfg;
}

void write_meters(XmlWriter &xml, const DocumentInput &input) {
  const DeviceConfig &config = input.config;
  // The reader carries the exponent from one Val to the next, so Exp is
  // written only where it changes; it starts at 0.
  int carried_exp = 0;
  // Some firmware writes the unit element as Unit instead of Units.
  const std::string_view unit_tag = (config.model == 57 || config.model == 58) ? "Unit" : "Units";
  // Consecutive sensors of one meter form one Meter element, so the readings
  // keep the sensors' order (and positions, which Idx counts) of setup.xml.
  for (std::size_t first = 0; first < config.sensors.size();) {
    const std::string &meter = config.sensors[first].meter;
    std::size_t end = first;
    while (end < config.sensors.size() && config.sensors[end].meter == meter) ++end;
    xml.open("Meter");
    xml.leaf("Name", meter.empty() ? std::string("Meter") : meter);
    for (std::size_t i = first; i < end; ++i) {
      const Sensor &s = config.sensors[i];
      const double value = input.readings[i];
      xml.open("Val", "id=\"" + int_text(s.id) + "\"");
      xml.leaf("Name", s.name);
      xml.leaf(unit_tag, s.units);
      if (s.exp != carried_exp) xml.leaf("Exp", s.exp);
      carried_exp = s.exp;
      xml.leaf("Value", reading_text(s, value));
      xml.leaf("alarm_end", scaled(s.min, s.exp));
      xml.leaf("alarm_start", scaled(s.max, s.exp));
      xml.leaf("hyst", scaled(s.hyst, s.exp));
      xml.leaf("State", sensor_state_code(4, sensor_state(s, value)));
      xml.leaf("cfg", val_cfg(s));
      xml.close("Val");
    }
    xml.close("Meter");
    first = end;
  }
  for (const BinaryInput &in : config.inputs) {
    xml.open("Input", "id=\"" + int_text(in.id) + "\"");
    xml.leaf("Name", in.name);
    xml.leaf("State", input_state_code(4, input_state(in)));
    xml.leaf("Value", in.value);
    xml.leaf("cfg", input_cfg(in));
    xml.close("Input");
  }
}

}  // namespace

std::string render_values(const DocumentInput &input) {
  const DeviceConfig &config = input.config;
  const int family = family_of(config.model);
  std::string out;
  open_root(out, config, false);
  XmlWriter xml(out);
  write_agent(xml, config);
  if (is_meter_model(config.model)) {
    write_meters(xml, input);
  } else {
    xml.open("TemperRange");
    xml.leaf("Min", "-55");
    xml.leaf("Max", "125");
    xml.close("TemperRange");
    write_inputs(xml, config, family);
    write_outputs(xml, config);
    write_sensors(xml, input, family);
  }
  write_time(xml, input.wall_time);
  close_root(out, config, false);
  return out;
}

bool is_meter_model(int model) { return model == 45 || model == 55 || model == 57 || model == 58; }

}  // namespace devsim
