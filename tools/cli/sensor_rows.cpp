#include "tools/cli/sensor_rows.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace zelvocli {

namespace {

constexpr std::size_t kColumns = 6;
using TCells = std::array<std::string, kColumns>;

// The grid's own column titles.
const TCells kTitles = {"Sensor Name", "Sensor ID", "Current Value", "Calibration", "Min", "Max"};

TCells CellsOf(const TSensorRow &row) { return {row.Name, row.Id, row.Value, row.Calibration, row.Min, row.Max}; }

// Display width of a UTF-8 text: its code points, so that accented names
// stay aligned.
std::size_t Width(const std::string &text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

void PrintCells(const TCells &cells, const std::array<std::size_t, kColumns> &widths) {
  std::string line;
  for (std::size_t c = 0; c < kColumns; ++c) {
    line += cells[c];
    if (c + 1 < kColumns) line += std::string(widths[c] - Width(cells[c]) + 2, ' ');
  }
  std::printf("%s\n", line.c_str());
}

}  // namespace

TSensorRow RowOf(const zelvoapi::TXmlSensorEnum &sensor) {
  zelvoapi::TXmlSensorStr texts;
  zelvoapi::sensor_enum_to_str(texts, sensor);
  TSensorRow row;
  row.Name = texts.Name;
  row.Id = texts.IdText;
  row.Value = texts.ValueText + " " + texts.UnitsText;
  row.ValueText = texts.ValueText;
  row.Calibration = texts.CalibrationText;
  row.Min = texts.MinText;
  row.Max = texts.MaxText;
  row.Offset = sensor.Calibration;
  row.SensorId = sensor.Id;
  row.Analog = sensor.Kind == zelvoapi::KIND_ANALOG_INPUT;
  return row;
}

nlohmann::json SensorJson(const TSensorRow &row) {
  return {{"name", row.Name}, {"id", row.Id},  {"value", row.Value}, {"calibration", row.Calibration},
          {"min", row.Min},   {"max", row.Max}};
}

nlohmann::json SensorListJson(const std::string &host, int port, const TSensorList &list, bool complete) {
  nlohmann::json sensors = nlohmann::json::array();
  for (const TSensorRow &row : list.Rows) sensors.push_back(SensorJson(row));
  return {{"address", host},
          {"port", port},
          {"device_name", list.DeviceName},
          {"complete", complete},
          {"sensors", std::move(sensors)}};
}

void PrintSensorTable(const TSensorList &list, bool complete) {
  std::printf("Device: %s\n", list.DeviceName.c_str());
  std::array<std::size_t, kColumns> widths{};
  for (std::size_t c = 0; c < kColumns; ++c) widths[c] = Width(kTitles[c]);
  for (const TSensorRow &row : list.Rows) {
    const TCells cells = CellsOf(row);
    for (std::size_t c = 0; c < kColumns; ++c) widths[c] = std::max(widths[c], Width(cells[c]));
  }
  PrintCells(kTitles, widths);
  for (const TSensorRow &row : list.Rows) PrintCells(CellsOf(row), widths);
  if (!complete) std::printf("Warning: the document ended early; sensors may be missing\n");
}

}  // namespace zelvocli
