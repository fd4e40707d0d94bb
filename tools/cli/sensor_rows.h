// The sensors of a document as the window's grid shows them: name, ID,
// value with its unit, calibration, minimum and maximum, each the object
// layer's display text.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "sdk/zelvoapi.h"

namespace zelvocli {

struct TSensorRow {
  std::string Name;
  std::string Id;
  std::string Value;      // the value and its unit, as one cell of the grid
  std::string ValueText;  // the value alone, for the offset arithmetic
  std::string Calibration;
  std::string Min;
  std::string Max;
  double Offset = 0;  // the calibration as a number, for the read-back
  int32_t SensorId = 0;
  bool Analog = false;  // only analog inputs take an offset
};

struct TSensorList {
  std::string DeviceName;
  std::vector<TSensorRow> Rows;
};

TSensorRow RowOf(const zelvoapi::TXmlSensorEnum &sensor);

// Every sensor of a values or setup document, in document order.
template <typename TBuffer>
TSensorList SensorsOf(const zelvoapi::TValuesXml<TBuffer> &document) {
  TSensorList list;
  zelvoapi::TXmlSensorEnum sensor;
  document.GetCommon(sensor);
  list.DeviceName = sensor.DeviceName;
  for (int i = 0; document.GetSensor(i, sensor) == 0; ++i) list.Rows.push_back(RowOf(sensor));
  return list;
}

// {"name", "id", "value", "calibration", "min", "max"}.
nlohmann::json SensorJson(const TSensorRow &row);
// {"address", "port", "device_name", "complete", "sensors": [...]}.
nlohmann::json SensorListJson(const std::string &host, int port, const TSensorList &list, bool complete);
// The device name, then one aligned line per sensor under the grid's titles.
void PrintSensorTable(const TSensorList &list, bool complete);

}  // namespace zelvocli
