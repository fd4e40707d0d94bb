// The probes of the simulated devices that the object-layer tests open.
#ifndef TESTS_SDK_PROBE_SENSORS_H
#define TESTS_SDK_PROBE_SENSORS_H

#include <string>
#include <vector>

#include "tools/devsim/devsim.h"

namespace zelvoapi {

// `count` temperature probes, IDs 201 on, named "Probe 1" on, reading 20 °C on.
inline std::vector<devsim::Sensor> Probes(unsigned count) {
  std::vector<devsim::Sensor> probes;
  for (unsigned i = 0; i < count; ++i) {
    devsim::Sensor sensor;
    sensor.id = 201 + i;
    sensor.name = "Probe " + std::to_string(i + 1);
    sensor.units = "C";
    sensor.value = 20 + i;
    probes.push_back(sensor);
  }
  return probes;
}

}  // namespace zelvoapi

#endif
