// The calibration dialog: shows one sensor with its current value and takes
// its new calibration offset, typed or computed from the reading of a
// reference instrument, showing beside the field the value that OK will post.
#ifndef APP_SETCALIBF_H
#define APP_SETCALIBF_H

#include <QDialog>
#include <QString>
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

  // Shows the sensor's name, address, ID, current value with its unit and
  // current offset ("%.1f"); offers the reference reading only when value
  // and offset are numbers, else disables it with the reason as tooltip.
  void Fill(const zelvoapi::TXmlSensorEnum &sensor);
  // The offset the operator confirmed; meaningful once the dialog accepted.
  float Calibration() const { return calibration_; }
  // The reference reading the posted offset was computed from; empty when
  // the operator typed the offset (or changed it after the computation).
  QString Reference() const;

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
  // Computes the offset that moves the shown value onto the reference and
  // puts it into the calibration field; says why when it cannot, and then
  // gives the field back the offset it held before the reference.
  void ReferenceChanged(const QString &text);

  std::unique_ptr<Ui::SetCalibForm> ui_;
  float calibration_ = 0;
  std::string value_text_;        // the sensor's value as the grid shows it, without unit
  std::string calibration_text_;  // its current offset as the grid shows it
  QString computed_;              // the calibration text the reference last produced
  QString before_reference_;      // the calibration text before the reference replaced it
};

// Runs the dialog modally over `parent` for `sensor`: true with the new
// offset in `value` and the reference reading it was computed from in
// `reference` (empty when it was typed) when the operator confirmed, false
// for Cancel, Escape or the close box.
bool EditCalibration(QWidget *parent, const zelvoapi::TXmlSensorEnum &sensor, float &value, QString &reference);

}  // namespace calibrator

#endif
