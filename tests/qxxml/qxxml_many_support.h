// Helpers of the multi-device tests: a fleet of simulated devices, a
// multi-device slot over them and a record of the callbacks it delivers.
#pragma once

#include <gtest/gtest.h>
#include <stdio.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "qxxml_test_support.h"
#include "tools/devsim/devsim.h"

namespace qxtest {

// A small device whose documents name it, so that a module's document can be
// told apart from every other module's.
inline devsim::DeviceConfig named_device(int n) {
  devsim::DeviceConfig config;
  config.device_name = "Device " + std::to_string(n);
  devsim::Sensor sensor;
  sensor.id = 1;
  sensor.name = "Probe " + std::to_string(n);
  sensor.units = "C";
  sensor.value = 10.0 + n % 50;
  config.sensors.push_back(sensor);
  return config;
}

// Simulated devices, each on its own loopback port and thread.
class Fleet {
 public:
  // Starts one device per config; false (with the failing device's error
  // in `why`) when one does not start.
  bool start(const std::vector<devsim::DeviceConfig> &configs, std::string *why) {
    for (const devsim::DeviceConfig &config : configs) {
      servers_.push_back(std::make_unique<devsim::Server>());
      if (servers_.back()->start(config) <= 0) {
        *why = servers_.back()->error();
        return false;
      }
    }
    return true;
  }
  devsim::Server &operator[](size_t i) { return *servers_[i]; }
  size_t size() const { return servers_.size(); }

 private:
  std::vector<std::unique_ptr<devsim::Server>> servers_;
};

// What one module's callback received.
struct ModuleCall {
  int module;
  bool had_records;
  std::string device_name;  // from the record, when there was one
};

// Callbacks of a multi-device slot, recorded in order.
struct ManyEvents {
  std::mutex lock;
  std::vector<ModuleCall> values_calls;
  std::vector<ModuleCall> setup_calls;
  std::vector<ModuleCall> post_calls;
  int many_values = 0;
  int many_setup = 0;

  static ManyEvents *of(void *owner) { return static_cast<ManyEvents *>(owner); }

  // Callbacks that record into the ManyEvents given as owner.
  static qxxml_callbacks callbacks() {
    qxxml_callbacks cb;
    qxxml_clr_callback(0, &cb);
    cb.values_done = [](int, void *owner, int module, qxxml_values *record, qxxml_values_counts *) {
      ManyEvents *e = of(owner);
      std::lock_guard<std::mutex> hold(e->lock);
      e->values_calls.push_back({module, record != nullptr, record ? record->Agent_DeviceName : ""});
    };
    cb.setup_done = [](int, void *owner, int module, qxxml_setup *record, qxxml_setup_counts *) {
      ManyEvents *e = of(owner);
      std::lock_guard<std::mutex> hold(e->lock);
      e->setup_calls.push_back({module, record != nullptr, record ? record->Agent_DeviceName : ""});
    };
    cb.post_done = [](int, void *owner, int module, qxxml_setup *record, qxxml_setup_counts *) {
      ManyEvents *e = of(owner);
      std::lock_guard<std::mutex> hold(e->lock);
      e->post_calls.push_back({module, record != nullptr, record ? record->Agent_DeviceName : ""});
    };
    cb.many_values_done = [](int, void *owner) {
      ManyEvents *e = of(owner);
      std::lock_guard<std::mutex> hold(e->lock);
      e->many_values++;
    };
    cb.many_setup_done = [](int, void *owner) {
      ManyEvents *e = of(owner);
      std::lock_guard<std::mutex> hold(e->lock);
      e->many_setup++;
    };
    return cb;
  }
};

// Opens a multi-device slot whose callbacks record into `events`, and waits
// until it runs; -1 when it does not.
inline int open_many_running(ManyEvents *events) {
  int slot = qxxml_open_many(events);
  if (slot < 1 || qxxml_wait_finish(slot, QXXML_FINISH_STARTED, 5) != 0) return -1;
  qxxml_callbacks cb = ManyEvents::callbacks();
  return qxxml_callback(slot, &cb) == 0 ? slot : -1;
}

// Settings that carry only credentials.
inline qxxml_settings credentials(const std::string &user, const std::string &password) {
  qxxml_settings settings;
  qxxml_clr_settings_struct(&settings);
  snprintf(settings.get_user, sizeof settings.get_user, "%s", user.c_str());
  snprintf(settings.get_password, sizeof settings.get_password, "%s", password.c_str());
  snprintf(settings.set_user, sizeof settings.set_user, "%s", user.c_str());
  snprintf(settings.set_password, sizeof settings.set_password, "%s", password.c_str());
  return settings;
}

// Runs one pass of the request and waits for its completion type.
inline int run_pass(int slot, int (*request)(int), int type, int timeout_seconds = 60) {
  if (request(slot) != 0) return -1;
  return qxxml_wait_finish(slot, type, timeout_seconds);
}

}  // namespace qxtest
