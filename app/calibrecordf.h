// The "Calibration record" window: every calibration attempt since the
// program started, one row each, and their saving as CSV.
#ifndef APP_CALIBRECORDF_H
#define APP_CALIBRECORDF_H

#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "app/calibration_record.h"
#include "app/form_anchors.h"

namespace Ui {
class CalibRecordForm;
}

namespace calibrator {

class TCalibRecordForm : public QWidget {
  Q_OBJECT

 public:
  explicit TCalibRecordForm(QWidget *parent = nullptr);
  ~TCalibRecordForm() override;

  // Lists `rows`, oldest first, replacing what was listed.
  void SetRows(const std::vector<TCalibrationRow> &rows);
  // Writes the listed rows to `path` as CSV, replacing the file; empty on
  // success, else the reason. The Save button asks for the path and calls it.
  QString SaveCsvTo(const QString &path);

 protected:
  void resizeEvent(QResizeEvent *event) override;

 private:
  void SaveButtonClick();

  std::unique_ptr<Ui::CalibRecordForm> ui_;
  TFormAnchors anchors_;
  std::vector<TCalibrationRow> rows_;
};

}  // namespace calibrator

#endif
