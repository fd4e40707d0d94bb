// The calibration dialog: shows one sensor and takes its new calibration
// offset, showing beside the field the value that OK will post.
#ifndef APP_SETCALIBF_H
#define APP_SETCALIBF_H

#include <QDialog>
#include <memory>

#include "sdk/xml_sensor.h"

namespace Ui {
class SetCalibForm;
}

namespace calibrator {

class TSetCalibForm : public QDialog {
  Q_OBJECT

 public:
  explicit TSetCalibForm(QWidget *parent = nullptr);
  ~TSetCalibForm() override;

  // Shows the sensor's name, address, ID and current offset ("%.1f").
  void Fill(const zelvoapi::TXmlSensorEnum &sensor);
  // The offset the operator confirmed; meaningful once the dialog accepted.
  float Calibration() const { return calibration_; }

  // Closes with OK only for a text that reads as an offset the device can
  // take; otherwise stays open, says why and selects the text.
  void accept() override;

 protected:
  // Selects the whole offset, so that what the operator types replaces it.
  void showEvent(QShowEvent *event) override;

 private:
  // Shows the value the text would post, or nothing for a text OK refuses;
  // clears a refusal that no longer describes the text.
  void TextChanged(const QString &text);

  std::unique_ptr<Ui::SetCalibForm> ui_;
  float calibration_ = 0;
};

// Runs the dialog modally over `parent` for `sensor`: true with the new
// offset in `value` when the operator confirmed, false for Cancel, Escape or
// the close box.
bool EditCalibration(QWidget *parent, const zelvoapi::TXmlSensorEnum &sensor, float &value);

}  // namespace calibrator

#endif
