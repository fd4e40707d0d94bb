#include <algorithm>
#include <cmath>

#include "tools/devsim/device_codes_private.h"
#include "tools/devsim/documents_private.h"

namespace devsim {

namespace {

// Namespaces of the prefixed roots; the names only identify, nothing is
// fetched from them.
constexpr std::string_view kValuesRoot = "<val:Root xmlns:val=\"http://www.example.invalid/values\">";
constexpr std::string_view kSetupRoot = "<set:Root xmlns:set=\"http://www.example.invalid/setup\">";

std::string time_text(std::time_t wall_time, const char *format) {
  std::tm tm{};
  gmtime_r(&wall_time, &tm);
  char text[32];
  return std::strftime(text, sizeof text, format, &tm) ? std::string(text) : std::string();
}

}  // namespace

void open_root(std::string &out, const DeviceConfig &config, bool setup) {
  out += kXmlDeclaration;
  out += '\n';
  if (!config.prefixed_root)
    out += "<Root>";
  else
    out += setup ? kSetupRoot : kValuesRoot;
}

void close_root(std::string &out, const DeviceConfig &config, bool setup) {
  if (!config.prefixed_root)
    out += "\n</Root>";
  else
    out += setup ? "\n</set:Root>" : "\n</val:Root>";
}

void write_agent(XmlWriter &xml, const DeviceConfig &config) {
  xml.open("Agent");
  xml.leaf("Version", config.version);
  xml.leaf("XmlVer", config.xml_ver);
  xml.leaf("DeviceName", config.device_name);
  xml.leaf("Model", config.model);
  xml.leaf("VendorID", config.vendor_id);
  xml.leaf("MAC", config.mac);
  xml.leaf("Title", config.title);
  xml.leaf("Contact", config.contact);
  xml.close("Agent");
}

std::string date_text(std::time_t wall_time) { return time_text(wall_time, "%d.%m.%Y"); }
std::string clock_text(std::time_t wall_time) { return time_text(wall_time, "%H:%M:%S"); }

void write_time(XmlWriter &xml, std::time_t wall_time) {
  xml.open("Time");
  xml.leaf("Date", date_text(wall_time));
  xml.leaf("Time", clock_text(wall_time));
  xml.close("Time");
}

int decimals_of(int exp) { return exp < 0 ? -exp : 0; }

std::string reading_text(const Sensor &sensor, double value) {
  if (sensor.invalid) return fixed_text(kInvalidValue, 1);
  return fixed_text(value, decimals_of(sensor.exp));
}

std::string calib_text(const Sensor &sensor) { return fixed_text(sensor.calib, std::max(1, decimals_of(sensor.exp))); }

std::string limit_text(const Sensor &sensor, double limit) { return fixed_text(limit, decimals_of(sensor.exp)); }

std::vector<double> widest_readings(const DeviceConfig &config) {
  std::vector<double> out;
  out.reserve(config.sensors.size());
  for (const Sensor &s : config.sensors)
    out.push_back(-(std::fabs(s.value) + std::fabs(s.drift) + std::fabs(s.calib) + 1.0));
  return out;
}

}  // namespace devsim
