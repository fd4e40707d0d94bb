#include "app/calibrecordf.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QStringList>
#include <initializer_list>

#include "app/form_font.h"
#include "app/program_info.h"
#include "ui_calibrecordf.h"

namespace calibrator {

namespace {

// The header of the CSV names the table's columns as well, so that what
// the window lists is what the file holds.
QStringList ColumnTitles() { return QString::fromStdString(CsvHeader()).trimmed().split(','); }

}  // namespace

TCalibRecordForm::TCalibRecordForm(QWidget *parent)
    : QWidget(parent, Qt::Window), ui_(std::make_unique<Ui::CalibRecordForm>()) {
  ui_->setupUi(this);
  ApplyFormFont(this);
  setMinimumSize(size());
  const QStringList titles = ColumnTitles();
  ui_->RecordTable->setColumnCount(titles.size());
  ui_->RecordTable->setHorizontalHeaderLabels(titles);
  ui_->RecordTable->verticalHeader()->hide();
  ui_->RecordTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ui_->RecordTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  ui_->RecordTable->setWordWrap(false);
  for (const auto &[control, anchors] : std::initializer_list<std::pair<QWidget *, unsigned>>{
           {ui_->RecordLabel, kAnchorLeft | kAnchorTop | kAnchorRight},
           {ui_->RecordTable, kAnchorLeft | kAnchorTop | kAnchorRight | kAnchorBottom},
           {ui_->SavedLabel, kAnchorLeft | kAnchorRight | kAnchorBottom},
           {ui_->SaveButton, kAnchorRight | kAnchorBottom},
           {ui_->CloseButton, kAnchorRight | kAnchorBottom},
       })
    anchors_.Add(control, anchors);
  connect(ui_->SaveButton, &QPushButton::clicked, this, &TCalibRecordForm::SaveButtonClick);
}

TCalibRecordForm::~TCalibRecordForm() = default;

void TCalibRecordForm::SetRows(const std::vector<TCalibrationRow> &rows) {
  rows_ = rows;
  QTableWidget *table = ui_->RecordTable;
  table->setRowCount(static_cast<int>(rows_.size()));
  for (int row = 0; row < table->rowCount(); ++row) {
    const std::vector<std::string> fields = CsvFields(rows_[static_cast<size_t>(row)]);
    for (int column = 0; column < static_cast<int>(fields.size()); ++column) {
      auto *item = new QTableWidgetItem(QString::fromStdString(fields[static_cast<size_t>(column)]));
      item->setToolTip(item->text());  // a name with a line break shows whole
      table->setItem(row, column, item);
    }
  }
  table->resizeColumnsToContents();
  if (table->rowCount() > 0) table->scrollToBottom();
  ui_->SaveButton->setEnabled(!rows_.empty());
}

QString TCalibRecordForm::SaveCsvTo(const QString &path) {
  const std::string error = SaveCsv(path.toStdString(), rows_);
  ui_->SavedLabel->setText(error.empty() ? QString("Saved %1 rows to %2").arg(rows_.size()).arg(path)
                                         : QString("Not saved: %1").arg(QString::fromStdString(error)));
  return QString::fromStdString(error);
}

void TCalibRecordForm::resizeEvent(QResizeEvent *event) {
  QWidget::resizeEvent(event);
  anchors_.Apply();
}

void TCalibRecordForm::SaveButtonClick() {
  const QString path =
      QFileDialog::getSaveFileName(this, "Save the calibration record", "calibration-record.csv", "CSV (*.csv)");
  if (path.isEmpty()) return;
  const QString error = SaveCsvTo(path);
  if (!error.isEmpty()) QMessageBox::critical(this, kProgramTitle, QString("%1: %2").arg(path, error));
}

}  // namespace calibrator
