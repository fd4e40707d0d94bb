// The sensor list of the main window: one row per sensor of the last
// downloaded setup with name, ID, value and unit, calibration offset and
// alarm range.
//
// The title row is the grid's header, which does not scroll and cannot be
// selected; table row r shows sensor r. After a fill with N sensors the grid
// holds the title row, N sensor rows and one empty last row.
#ifndef APP_SENSOR_GRID_H
#define APP_SENSOR_GRID_H

#include <QString>
#include <QTableWidget>
#include <optional>

#include "sdk/document_xml.h"
#include "sdk/xml_sensor.h"

namespace calibrator {

using TSetupView = zelvoapi::TSetupXml<zelvoapi::TSetupXmlBuffer>;

enum TSensorColumn {
  kNameColumn,
  kIdColumn,
  kValueColumn,
  kCalibrationColumn,
  kMinColumn,
  kMaxColumn,
  kSensorColumnCount,
};

class TSensorsStringGrid : public QTableWidget {
  Q_OBJECT

 public:
  static constexpr int kColumnWidth = 100;
  static constexpr int kRowHeight = 18;

  explicit TSensorsStringGrid(QWidget *parent = nullptr);

  // Empties every row and leaves the title row and one empty row.
  void ClearSensorList();
  // Appends one row per sensor of `setup` before the empty last row; returns
  // the device name the sensors carry, or nothing when there is no sensor.
  std::optional<QString> FillSensorList(const TSetupView &setup);
  // Writes the six columns of `row` from the sensor's display texts.
  void AddSensorRow(int row, const zelvoapi::TXmlSensorStr &sensor);

 signals:
  // A double-click on a cell, or the Enter key: the operator wants to edit
  // the sensor of the current row.
  void rowActivated();

 protected:
  void keyPressEvent(QKeyEvent *event) override;
  // The whole old and new current rows change their background.
  void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
};

}  // namespace calibrator

#endif
