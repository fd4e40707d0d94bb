#include "app/sensor_grid.h"

#include <QHeaderView>
#include <QKeyEvent>

#include "app/sensor_cell_delegate.h"
#include "sdk/value_text.h"

namespace calibrator {

TSensorsStringGrid::TSensorsStringGrid(QWidget *parent) : QTableWidget(parent) {
  setColumnCount(kSensorColumnCount);
  setHorizontalHeaderLabels({"Sensor Name", "Sensor ID", "Current Value", "Calibration", "Min", "Max"});
  for (QHeaderView *header : {horizontalHeader(), verticalHeader()}) {
    header->setMinimumSectionSize(1);  // the style's minimum may exceed 18
    header->setSectionResizeMode(QHeaderView::Fixed);
  }
  horizontalHeader()->setDefaultSectionSize(kColumnWidth);
  horizontalHeader()->setStretchLastSection(false);
  horizontalHeader()->setFixedHeight(kRowHeight);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setSectionsClickable(false);
  verticalHeader()->setDefaultSectionSize(kRowHeight);
  verticalHeader()->hide();  // no fixed column

  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setTabKeyNavigation(false);
  setWordWrap(false);
  setItemDelegate(new TSensorCellDelegate(kCalibrationColumn, this));
  setRowCount(1);

  connect(this, &QAbstractItemView::doubleClicked, this, &TSensorsStringGrid::rowActivated);
}

void TSensorsStringGrid::ClearSensorList() {
  clearContents();
  setRowCount(1);
}

std::optional<QString> TSensorsStringGrid::FillSensorList(const TSetupView &setup) {
  std::optional<QString> device_name;
  for (int i = 0;; ++i) {
    zelvoapi::TXmlSensorEnum sensor;
    setup.GetCommon(sensor);
    if (setup.GetSensor(i, sensor) != 0) break;  // past the last sensor
    zelvoapi::TXmlSensorStr texts;
    zelvoapi::sensor_enum_to_str(texts, sensor);
    AddSensorRow(rowCount() - 1, texts);
    setRowCount(rowCount() + 1);
    device_name = QString::fromStdString(texts.DeviceName);
  }
  return device_name;
}

void TSensorsStringGrid::AddSensorRow(int row, const zelvoapi::TXmlSensorStr &sensor) {
  const std::string cells[kSensorColumnCount] = {
      sensor.Name,    sensor.IdText,  sensor.ValueText + " " + sensor.UnitsText, sensor.CalibrationText,
      sensor.MinText, sensor.MaxText,
  };
  for (int column = 0; column < kSensorColumnCount; ++column)
    setItem(row, column, new QTableWidgetItem(QString::fromStdString(cells[column])));
}

void TSensorsStringGrid::keyPressEvent(QKeyEvent *event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    emit rowActivated();
    return;
  }
  QTableWidget::keyPressEvent(event);
}

void TSensorsStringGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous) {
  QTableWidget::currentChanged(current, previous);
  viewport()->update();
}

}  // namespace calibrator
