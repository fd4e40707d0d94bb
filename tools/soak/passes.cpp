// Passes of one multi-device slot over a fleet of simulated devices, values
// and setup in turn, as the program refreshes a fleet.
#include <string>

#include "qxxml/qxxml.h"
#include "tools/soak/credentials.h"
#include "tools/soak/simulator.h"
#include "tools/soak/workload.h"

namespace soak {

namespace {

constexpr int kStartSeconds = 5;
// Far beyond a pass over a few hundred devices on loopback.
constexpr int kPassSeconds = 120;

std::string slot_failure(int slot, const char *what) {
  qx_error_record record{};
  qxxml_error(slot, &record);
  return std::string(what) + ": " + record.text;
}

struct PassKind {
  const char *name;
  int (*request)(int slot);
  int finish;
};

const PassKind kPassKinds[] = {
    {"values pass", qxxml_get_values, QXXML_FINISH_VALUES},
    {"setup pass", qxxml_get_setup, QXXML_FINISH_SETUP},
};
constexpr long kPassKindCount = sizeof kPassKinds / sizeof kPassKinds[0];

class Passes : public Workload {
 public:
  explicit Passes(int devices) : devices_(devices) {}
  ~Passes() override {
    if (slot_ > 0) qxxml_close(slot_);
    if (initialised_) qxxml_uninit();
  }

  std::string start() override {
    std::string failure = simulator_.start(soak_fleet_arguments(devices_));
    if (!failure.empty()) return failure;
    if (simulator_.devices().size() != static_cast<std::size_t>(devices_))
      return "the simulator started too few devices";
    if (qxxml_init() != 0) return slot_failure(0, "init");
    initialised_ = true;
    slot_ = qxxml_open_many(nullptr);
    if (slot_ <= 0) return slot_failure(0, "open");
    if (qxxml_wait_finish(slot_, QXXML_FINISH_STARTED, kStartSeconds) != 0) return slot_failure(slot_, "start");
    const qxxml_settings settings = credentials_of(soak_variant());
    for (int i = 0; i < devices_; i++) {
      const Endpoint &device = simulator_.devices()[i];
      if (qxxml_add_module(slot_, device.address.c_str(), device.port, &settings) != i)
        return slot_failure(slot_, "add module");
    }
    return "";
  }

  std::string step(long index) override {
    const PassKind &kind = kPassKinds[index % kPassKindCount];
    if (kind.request(slot_) != 0 || qxxml_wait_finish(slot_, kind.finish, kPassSeconds) != 0)
      return slot_failure(slot_, kind.name);
    for (int module = 0; module < devices_; module++) {
      qx_error_record record{};
      if (qxxml_error_many(slot_, module, &record) != 0 || record.code != QX_ERR_NONE)
        return std::string(kind.name) + ", module " + std::to_string(module) + ": " + record.text;
    }
    return "";
  }

 private:
  const int devices_;
  Simulator simulator_;
  bool initialised_ = false;
  int slot_ = -1;
};

}  // namespace

std::unique_ptr<Workload> multi_device_passes(int devices) { return std::make_unique<Passes>(devices); }

}  // namespace soak
