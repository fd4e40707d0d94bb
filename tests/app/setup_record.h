// Hand-made setup records for the tests that show a setup without a device.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "qxxml/qxxml_records.h"

namespace calibrator_test {

struct SensorRow {
  std::string name, id, units, value, min, max, calib;
};

// A family-0 device (model 36, document version 2.34) named `device_name`
// with `sensors`; the records are large, so they live on the heap.
struct SetupRecord {
  std::unique_ptr<qxxml_setup> record = std::make_unique<qxxml_setup>();
  std::unique_ptr<qxxml_setup_counts> counts = std::make_unique<qxxml_setup_counts>();

  SetupRecord(const std::string &device_name, const std::vector<SensorRow> &sensors) {
    Put(record->Agent_DeviceName, device_name);
    Put(record->Agent_Model, "36");
    Put(record->Agent_XmlVer, "2.34");
    counts->SenSet_count = static_cast<int>(sensors.size());
    for (std::size_t i = 0; i < sensors.size(); ++i) {
      const SensorRow &s = sensors[i];
      Put(record->SenSet_Entry_Name[i], s.name);
      Put(record->SenSet_Entry_ID[i], s.id);
      Put(record->SenSet_Entry_Units[i], s.units);
      Put(record->SenSet_Entry_Value[i], s.value);
      Put(record->SenSet_Entry_Min[i], s.min);
      Put(record->SenSet_Entry_Max[i], s.max);
      Put(record->SenSet_Entry_Calib[i], s.calib);
    }
  }

  template <std::size_t N>
  static void Put(char (&field)[N], const std::string &text) {
    std::snprintf(field, N, "%s", text.c_str());
  }
};

}  // namespace calibrator_test
