#include <algorithm>
#include <cmath>
#include <ctime>
#include <set>

#include "tools/devsim/device_state_private.h"
#include "tools/devsim/discovery_wire_private.h"
#include "tools/devsim/documents_private.h"
#include "tools/devsim/post_apply_private.h"

namespace devsim {

namespace {

// Per-sensor phase in [0, 2π) from seed and position (splitmix64 finaliser),
// so that sensors of one device do not drift in step.
double phase_of(std::uint32_t seed, std::size_t position) {
  std::uint64_t z = (static_cast<std::uint64_t>(seed) << 32) ^ (position + 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<double>(z % 1000000) / 1000000.0 * 2.0 * M_PI;
}

// A full swing of the drift takes ten minutes: slow enough that two
// downloads a second apart show nearly the same value.
constexpr double kDriftPeriodS = 600.0;

// Setup document size bound for `config`, with readings as wide as any the
// sensors can report under either configuration.
std::size_t widest_setup_size(const DeviceConfig &config, const DeviceConfig &other) {
  std::vector<double> widest = widest_readings(config);
  const std::vector<double> widest_other = widest_readings(other);
  for (std::size_t i = 0; i < widest.size() && i < widest_other.size(); ++i)
    widest[i] = std::min(widest[i], widest_other[i]);
  // The widest port text and the widest time texts are as long as the ones
  // written, as the formats have fixed widths.
  return render_setup(DocumentInput{config, widest, 65535, std::time(nullptr)}).size();
}

}  // namespace

double raw_reading(const Sensor &sensor, std::uint32_t seed, std::size_t position, double elapsed_s) {
  if (sensor.drift == 0) return sensor.value;
  return sensor.value + sensor.drift * std::sin(2.0 * M_PI * elapsed_s / kDriftPeriodS + phase_of(seed, position));
}

DeviceState::DeviceState(DeviceConfig config, Clock::time_point start)
    : config_(std::move(config)), start_(start), changes_(config_.sensors.size()) {
  for (std::size_t i = 0; i < changes_.size(); ++i) changes_[i].before = config_.sensors[i].calib;
}

double DeviceState::elapsed_s(Clock::time_point now) const {
  return std::chrono::duration<double>(now - start_).count();
}

double DeviceState::effective_calibration(std::size_t i, Clock::time_point now) const {
  return now >= changes_[i].effective_at ? config_.sensors[i].calib : changes_[i].before;
}

std::vector<double> DeviceState::readings(Clock::time_point now) const {
  std::vector<double> out(config_.sensors.size());
  const double t = elapsed_s(now);
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = raw_reading(config_.sensors[i], config_.seed, i, t) + effective_calibration(i, now);
  return out;
}

std::optional<double> DeviceState::reading(unsigned id, Clock::time_point now) const {
  for (std::size_t i = 0; i < config_.sensors.size(); ++i)
    if (config_.sensors[i].id == id)
      return raw_reading(config_.sensors[i], config_.seed, i, elapsed_s(now)) + effective_calibration(i, now);
  return std::nullopt;
}

std::optional<double> DeviceState::calibration(unsigned id) const {
  for (const Sensor &s : config_.sensors)
    if (s.id == id) return s.calib;
  return std::nullopt;
}

std::string DeviceState::values_document(Clock::time_point now, int port) const {
  const std::vector<double> values = readings(now);
  return render_values(DocumentInput{config_, values, port, std::time(nullptr)});
}

std::string DeviceState::setup_document(Clock::time_point now, int port) const {
  const std::vector<double> values = readings(now);
  return render_setup(DocumentInput{config_, values, port, std::time(nullptr)});
}

DeviceState::PostResult DeviceState::apply_post(std::string_view body, Clock::time_point now) {
  DeviceConfig updated = config_;
  PostOutcome outcome = apply_setup_post(updated, body);
  if (!outcome.ok) return {false, outcome.error};
  if (widest_setup_size(updated, config_) > kDocumentMax)
    return {false, "the change would make setup.xml longer than 19999 bytes"};

  for (std::size_t i : std::set<std::size_t>(outcome.calibrated.begin(), outcome.calibrated.end())) {
    changes_[i].before = effective_calibration(i, now);
    changes_[i].effective_at = now + std::chrono::milliseconds(config_.apply_delay_ms);
  }
  config_ = std::move(updated);
  return {true, {}};
}

void DeviceState::apply_network_setup(const Server::NetworkSetup &setup) {
  Network &n = config_.network;
  n.ip = setup.ip;
  n.mask = setup.addr_m;
  n.dns_secondary = setup.addr_f;
  n.gateway = setup.addr_w;
  n.dns_primary = setup.addr_n;
  n.http_port = std::to_string(setup.http_port);
  config_.discovery.settings = setup.settings;
  if (setup.name) config_.device_name = *setup.name;
}

std::string DeviceState::validate(const DeviceConfig &config) {
  std::set<unsigned> ids;
  for (const Sensor &s : config.sensors)
    if (!ids.insert(s.id).second) return "two sensors share ID " + std::to_string(s.id);
  if (config.sensors.size() > 42) return "more than 42 sensors";
  if (config.inputs.size() > 64) return "more than 64 binary inputs";
  if (config.outputs.size() > 64) return "more than 64 binary outputs";
  if (config.snmp_traps.size() > 4) return "more than 4 SNMP trap receivers";
  if (config.match_by_idx && !config.idx_elements) return "a device that matches posts by Idx must write Idx elements";
  if (config.apply_delay_ms < 0) return "negative apply delay";
  const Discovery &d = config.discovery;
  if (d.type_code < 0 || d.type_code > kTypeCodeMax) return "discovery type code outside 0..31";
  if (d.settings < 0 || d.settings > kByteMax) return "discovery settings outside 0..255";
  if (d.capabilities < 0 || d.capabilities > kByteMax) return "discovery capabilities outside 0..255";
  const std::size_t size = widest_setup_size(config, config);
  if (size > kDocumentMax) return "setup.xml would need " + std::to_string(size) + " bytes, more than 19999";
  const std::vector<double> widest = widest_readings(config);
  if (render_values(DocumentInput{config, widest, 65535, std::time(nullptr)}).size() > kDocumentMax)
    return "values.xml would need more than 19999 bytes";
  return {};
}

}  // namespace devsim
