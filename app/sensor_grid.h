// The sensor list of the main window: one row per sensor of the last
// downloaded setup with name, ID, value and unit, calibration offset and
// alarm range.
//
// The title row is the grid's header, which does not scroll and cannot be
// selected; table row r shows sensor r. After a fill with N sensors the grid
// holds the title row, N sensor rows and one empty last row.
//
// Columns start at their designed width and the operator may drag them
// wider or narrower; a text a column cuts off shows whole in a tooltip. The
// grid fixes none of its own sizes, so a layout may give it any extra room.
#ifndef APP_SENSOR_GRID_H
#define APP_SENSOR_GRID_H

#include <QString>
#include <QTableWidget>
#include <optional>

#include "sdk/document_xml.h"
#include "sdk/xml_sensor.h"

namespace calibrator {

class TSensorCellDelegate;

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
  // The operator cannot drag a column narrower than this, so that it can
  // still be seen and grabbed again.
  static constexpr int kMinColumnWidth = 20;

  explicit TSensorsStringGrid(QWidget *parent = nullptr);

  // Empties every row and leaves the title row and one empty row; an empty
  // grid is neither stale nor partial.
  void ClearSensorList();
  // Appends one row per sensor of `setup` before the empty last row; returns
  // the device name the sensors carry, or nothing when there is no sensor.
  // The grid is no longer stale; whether it is partial is the caller's to
  // say after the fill.
  std::optional<QString> FillSensorList(const TSetupView &setup);
  // Writes the six columns of `row` from the sensor's display texts.
  void AddSensorRow(int row, const zelvoapi::TXmlSensorStr &sensor);

  // Greys the whole grid, titles, texts and colours, to show that it
  // describes a device that has been closed; the next fill or clear, or
  // SetStale(false), ends it.
  void SetStale(bool stale);
  bool IsStale() const;
  // Marks the list as incomplete, the device's document having ended early
  // so that sensors may be missing: the rows are tinted, and a note fills
  // the empty last row and is the tooltip of the cells. The next clear, or
  // SetPartial(false), ends it.
  void SetPartial(bool partial);
  bool IsPartial() const;

  // Marks the calibration cell of `row` with a tick (verified) or a cross,
  // with `tooltip`; the next fill or clear ends it.
  void SetVerdictMark(int row, bool verified, const QString &tooltip);
  // Marks the value cell of `row` as changed since the previous download,
  // or ends every such mark.
  void MarkChanged(int row);
  void ClearChangeMarks();

 signals:
  // A double-click on a cell, or the Enter key: the operator wants to edit
  // the sensor of the current row.
  void rowActivated();

 protected:
  void keyPressEvent(QKeyEvent *event) override;
  // The whole old and new current rows change their background.
  void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
  // Draws the note of an incomplete list over the empty last row.
  void paintEvent(QPaintEvent *event) override;

 private:
  // Titles in the grey of a stale grid, or in the header's own colour.
  void ColourTitles();

  TSensorCellDelegate *delegate_;
};

}  // namespace calibrator

#endif
