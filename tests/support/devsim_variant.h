// Simulated devices whose readings tests can predict.
#pragma once

#include <string>

#include "tools/devsim/devsim.h"

namespace qxsupport {

// The built-in variant `name` with its drift switched off, so that readings
// are exact.
inline devsim::DeviceConfig SteadyVariant(const std::string &name) {
  devsim::DeviceConfig config = *devsim::variant(name);
  for (devsim::Sensor &s : config.sensors) s.drift = 0;
  return config;
}

}  // namespace qxsupport
