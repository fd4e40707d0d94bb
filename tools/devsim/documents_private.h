// The two documents a device serves, built from its configuration and the
// readings of the moment.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

#include "tools/devsim/devsim.h"
#include "tools/devsim/xml_text_private.h"

namespace devsim {

// The client keeps a document in 20000 bytes with a terminating zero, so no
// document may be longer than this.
inline constexpr std::size_t kDocumentMax = 19999;

struct DocumentInput {
  const DeviceConfig &config;
  const std::vector<double> &readings;  // reported value per sensor, same order
  int port;                             // shown as Network/HTTPport unless configured
  std::time_t wall_time;                // shown in the Time block
};

std::string render_values(const DocumentInput &input);
std::string render_setup(const DocumentInput &input);

// Readings whose texts are as wide as any the sensors can report (largest
// magnitude, negative), so that a document built from them bounds the size
// of every later one.
std::vector<double> widest_readings(const DeviceConfig &config);

// Pieces shared by both documents.
void open_root(std::string &out, const DeviceConfig &config, bool setup);
void close_root(std::string &out, const DeviceConfig &config, bool setup);
void write_agent(XmlWriter &xml, const DeviceConfig &config);
void write_time(XmlWriter &xml, std::time_t wall_time);
std::string date_text(std::time_t wall_time);   // dd.mm.yyyy, UTC
std::string clock_text(std::time_t wall_time);  // hh:mm:ss, UTC
int decimals_of(int exp);
std::string reading_text(const Sensor &sensor, double value);
std::string calib_text(const Sensor &sensor);
std::string limit_text(const Sensor &sensor, double limit);

}  // namespace devsim
