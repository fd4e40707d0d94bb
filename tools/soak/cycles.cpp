// Open, setup download, calibration post and close of one slot, the way the
// program serves an operator who opens a device, changes a calibration and
// closes it again.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "qxxml/qxxml.h"
#include "tools/soak/credentials.h"
#include "tools/soak/simulator.h"
#include "tools/soak/workload.h"

namespace soak {

namespace {

constexpr int kStartSeconds = 5;
// Far beyond an exchange on loopback: only a fault reaches it.
constexpr int kActionSeconds = 20;
// The posted calibrations step through this many values, so that a post the
// device did not apply shows as the previous value in its reply.
constexpr long kCalibrationSteps = 20;
constexpr double kCalibrationStep = 0.1;
constexpr double kCalibrationTolerance = 1e-6;

std::string slot_failure(int slot, const char *what) {
  qx_error_record record{};
  qxxml_error(slot, &record);
  return std::string(what) + ": " + record.text;
}

class Cycles : public Workload {
 public:
  ~Cycles() override {
    if (initialised_) qxxml_uninit();
  }

  std::string start() override {
    const devsim::DeviceConfig device = soak_variant();
    if (device.sensors.empty()) return "the simulated device has no sensor";
    sensor_ = device.sensors.front().id;
    settings_ = credentials_of(device);
    std::string failure = simulator_.start(soak_fleet_arguments(1));
    if (!failure.empty()) return failure;
    if (simulator_.devices().empty()) return "the simulator started no device";
    if (qxxml_init() != 0) return slot_failure(0, "init");
    initialised_ = true;
    return "";
  }

  std::string step(long index) override {
    const double calibration = static_cast<double>(index % kCalibrationSteps) * kCalibrationStep;
    const Endpoint &device = simulator_.devices().front();
    const int slot = qxxml_open(device.address.c_str(), device.port, &settings_, nullptr);
    if (slot <= 0) return slot_failure(0, "open");
    std::string failure = exchange(slot, calibration);
    if (qxxml_close(slot) != 0 && failure.empty()) failure = slot_failure(slot, "close");
    return failure;
  }

 private:
  std::string exchange(int slot, double calibration) {
    if (qxxml_wait_finish(slot, QXXML_FINISH_STARTED, kStartSeconds) != 0) return slot_failure(slot, "start");
    if (qxxml_get_setup(slot) != 0 || qxxml_wait_finish(slot, QXXML_FINISH_SETUP, kActionSeconds) != 0)
      return slot_failure(slot, "setup download");
    qxxml_setup *setup = nullptr;
    qxxml_setup_counts *counts = nullptr;
    if (qxxml_get_setup_cache(slot, &setup, &counts) != 0) return slot_failure(slot, "setup download");
    char document[200];
    const int length = std::snprintf(document, sizeof document,
                                     "<Root><SenSet><Entry><ID>%u</ID><Calib>%.1f</Calib></Entry></SenSet></Root>",
                                     sensor_, calibration);
    if (qxxml_send_setup_xml(slot, document, length) != 0 ||
        qxxml_wait_finish(slot, QXXML_FINISH_POST, kActionSeconds) != 0)
      return slot_failure(slot, "calibration post");
    // The reply is the device's setup after the post: it holds the new value
    // only if the device applied it.
    if (qxxml_get_setup_cache(slot, &setup, &counts) != 0) return slot_failure(slot, "calibration post");
    if (std::fabs(std::atof(setup->SenSet_Entry_Calib[0]) - calibration) > kCalibrationTolerance)
      return std::string("the device holds calibration ") + setup->SenSet_Entry_Calib[0] + " after a post of " +
             std::to_string(calibration);
    return "";
  }

  Simulator simulator_;
  qxxml_settings settings_{};
  unsigned sensor_ = 0;
  bool initialised_ = false;
};

}  // namespace

std::unique_ptr<Workload> open_post_close_cycles() { return std::make_unique<Cycles>(); }

}  // namespace soak
