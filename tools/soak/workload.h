// A soak repeats one iteration of a workload many times and reads the
// process's resources between iterations.
#pragma once

#include <memory>
#include <string>

#include "tools/soak/gauge.h"

namespace soak {

// Each iteration and each start is bounded by the library waits it uses, so
// a workload never hangs the soak; a failure text names what went wrong.
class Workload {
 public:
  virtual ~Workload() = default;
  // Starts the simulated devices and the library; empty or the failure.
  virtual std::string start() = 0;
  // One iteration, `index` counted from 0 over warm-up and soak; empty or
  // the failure.
  virtual std::string step(long index) = 0;
};

// Open, setup download, calibration post and close of one slot, against one
// simulated device. Every workload serves from its own simulator process
// (simulator.h), started by start() and stopped with the workload.
std::unique_ptr<Workload> open_post_close_cycles();
// One search answered by the simulator's demo fleet through its loopback
// responder.
std::unique_ptr<Workload> searches();
// One pass of a multi-device slot over `devices` simulated devices,
// values and setup passes in turn.
std::unique_ptr<Workload> multi_device_passes(int devices);

// Starts the workload, runs `warmup` iterations, reads the gauges, runs
// `count` iterations reading them every `count / readings` iterations and
// reads them at the end. The workload is destroyed (devices stopped,
// library closed) before this returns.
SoakRun run_soak(const std::string &name, std::unique_ptr<Workload> workload, long warmup, long count, int readings);

}  // namespace soak
