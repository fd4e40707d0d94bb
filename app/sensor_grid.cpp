#include "app/sensor_grid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>

#include "app/sensor_cell_delegate.h"
#include "sdk/value_text.h"

namespace calibrator {

TSensorsStringGrid::TSensorsStringGrid(QWidget *parent)
    : QTableWidget(parent), delegate_(new TSensorCellDelegate(kCalibrationColumn, this)) {
  setColumnCount(kSensorColumnCount);
  setHorizontalHeaderLabels({"Sensor Name", "Sensor ID", "Current Value", "Calibration", "Min", "Max"});
  verticalHeader()->setMinimumSectionSize(1);  // the style's minimum may exceed 18
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(kRowHeight);
  verticalHeader()->hide();  // no fixed column
  horizontalHeader()->setMinimumSectionSize(kMinColumnWidth);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  horizontalHeader()->setDefaultSectionSize(kColumnWidth);
  horizontalHeader()->setStretchLastSection(false);
  horizontalHeader()->setFixedHeight(kRowHeight);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setSectionsClickable(false);

  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setTabKeyNavigation(false);
  setWordWrap(false);
  setItemDelegate(delegate_);
  setRowCount(1);

  connect(this, &QAbstractItemView::doubleClicked, this, &TSensorsStringGrid::rowActivated);
}

void TSensorsStringGrid::ClearSensorList() {
  clearContents();
  setRowCount(1);
  SetStale(false);
  SetPartial(false);
}

std::optional<QString> TSensorsStringGrid::FillSensorList(const TSetupView &setup) {
  SetStale(false);
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

void TSensorsStringGrid::SetStale(bool stale) {
  delegate_->SetStale(stale);
  ColourTitles();
  // The room below the last row greys with the cells.
  viewport()->setBackgroundRole(stale ? QPalette::Window : QPalette::Base);
  viewport()->update();
}

bool TSensorsStringGrid::IsStale() const { return delegate_->Stale(); }

void TSensorsStringGrid::SetPartial(bool partial) {
  delegate_->SetPartial(partial);
  viewport()->update();
}

bool TSensorsStringGrid::IsPartial() const { return delegate_->Partial(); }

void TSensorsStringGrid::SetVerdictMark(int row, bool verified, const QString &tooltip) {
  QTableWidgetItem *cell = item(row, kCalibrationColumn);
  if (!cell) return;
  cell->setData(kVerdictRole, verified);
  cell->setToolTip(tooltip);
}

void TSensorsStringGrid::MarkChanged(int row) {
  if (QTableWidgetItem *cell = item(row, kValueColumn)) cell->setData(kChangedRole, true);
}

void TSensorsStringGrid::ClearChangeMarks() {
  for (int row = 0; row < rowCount(); ++row)
    if (QTableWidgetItem *cell = item(row, kValueColumn)) cell->setData(kChangedRole, QVariant());
}

void TSensorsStringGrid::ColourTitles() {
  for (int column = 0; column < columnCount(); ++column) {
    QTableWidgetItem *title = horizontalHeaderItem(column);
    if (IsStale())
      title->setForeground(StaleTextColour());
    else
      title->setData(Qt::ForegroundRole, QVariant());  // the header's own colour
  }
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

void TSensorsStringGrid::paintEvent(QPaintEvent *event) {
  QTableWidget::paintEvent(event);
  if (!IsPartial()) return;
  const int last = rowCount() - 1;
  const QRect first_cell = visualRect(model()->index(last, 0));
  const QRect last_cell = visualRect(model()->index(last, columnCount() - 1));
  const QRect row = first_cell.united(last_cell);
  QPainter painter(viewport());
  // One band over the whole row, so that no grid line crosses the note;
  // but not over the marks of a current row.
  if (currentRow() != last)
    painter.fillRect(row, IsStale() ? palette().color(QPalette::Window) : PartialBackgroundColour());
  QFont font = this->font();
  font.setItalic(true);
  painter.setFont(font);
  painter.setPen(IsStale() ? StaleTextColour() : QColor(Qt::black));
  painter.drawText(row.adjusted(kCellTextInset, kCellTextInset, 0, 0),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, PartialListNote());
}

}  // namespace calibrator
