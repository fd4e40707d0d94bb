// The live state of one simulated device: its configuration with every
// applied change, the drifting readings, and calibrations on their way into
// the readings. Not thread-safe; the server guards it with its lock.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/devsim/devsim.h"

namespace devsim {

class DeviceState {
 public:
  using Clock = std::chrono::steady_clock;

  DeviceState(DeviceConfig config, Clock::time_point start);

  const DeviceConfig &config() const { return config_; }
  void set_apply_delay_ms(int ms) { config_.apply_delay_ms = ms; }

  // Reported value of every sensor at `now`: raw reading plus the
  // calibration that has taken effect by then.
  std::vector<double> readings(Clock::time_point now) const;
  std::optional<double> reading(unsigned id, Clock::time_point now) const;
  std::optional<double> calibration(unsigned id) const;

  std::string values_document(Clock::time_point now, int port) const;
  std::string setup_document(Clock::time_point now, int port) const;

  // Applies a posted setup document. A new Calib shows at once in setup.xml
  // but reaches the readings only apply_delay_ms later. A change that would
  // make setup.xml too long for the client is refused whole.
  struct PostResult {
    bool ok = false;
    std::string error;
  };
  PostResult apply_post(std::string_view body, Clock::time_point now);

  // The device keeps listening where it is; the new port shows in its
  // documents as the configured one.
  void apply_network_setup(const Server::NetworkSetup &setup);

  // Empty when the configuration can be served; else why not.
  static std::string validate(const DeviceConfig &config);

 private:
  // Calibration in the readings: `before` until `effective_at`, then the
  // configured one.
  struct CalibrationChange {
    double before = 0;
    Clock::time_point effective_at{};
  };

  double effective_calibration(std::size_t i, Clock::time_point now) const;
  double elapsed_s(Clock::time_point now) const;

  DeviceConfig config_;
  Clock::time_point start_;
  std::vector<CalibrationChange> changes_;
};

}  // namespace devsim
