#include "app/setcalibf.h"

#include <QPalette>
#include <QStyle>

#include "app/calib_input.h"
#include "app/form_font.h"
#include "ui_setcalibf.h"

namespace calibrator {

TSetCalibForm::TSetCalibForm(QWidget *parent) : QDialog(parent), ui_(std::make_unique<Ui::SetCalibForm>()) {
  ui_->setupUi(this);
  ApplyFormFont(this);
  setFixedSize(size());
  ui_->OKBitBtn->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
  ui_->CancelBitBtn->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
  // Red through the palette: a style sheet would draw the refusal in the
  // application's font instead of the form's, wider than its room.
  QPalette refusal = ui_->CalibMessageLabel->palette();
  refusal.setColor(QPalette::WindowText, Qt::red);
  ui_->CalibMessageLabel->setPalette(refusal);
  connect(ui_->CalibEdit, &QLineEdit::textChanged, this, &TSetCalibForm::TextChanged);
}

TSetCalibForm::~TSetCalibForm() = default;

void TSetCalibForm::Fill(const zelvoapi::TXmlSensorEnum &sensor) {
  ui_->NameLabel->setText(QString::fromStdString(sensor.Name));
  ui_->IPLabel->setText(QString::fromStdString(sensor.Host));
  ui_->PortLabel->setText(QString::number(sensor.Port));
  ui_->IDLabel->setText(QString::number(sensor.Id));
  ui_->CalibEdit->setText(QString::fromStdString(CalibrationText(sensor.Calibration)));
}

void TSetCalibForm::accept() {
  const TCalibReading reading = ParseCalibration(ui_->CalibEdit->text().toStdString());
  if (reading.Status != TCalibInput::Ok) {
    ui_->CalibMessageLabel->setText(CalibInputMessage(reading.Status));
    ui_->CalibEdit->setFocus();
    ui_->CalibEdit->selectAll();
    return;
  }
  calibration_ = reading.Value;
  QDialog::accept();
}

void TSetCalibForm::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  // The edit gains focus from the window's activation, which leaves the
  // cursor after the text: a "5" typed onto "0.0" would read "0.05".
  ui_->CalibEdit->setFocus();
  ui_->CalibEdit->selectAll();
}

void TSetCalibForm::TextChanged(const QString &text) {
  const TCalibReading reading = ParseCalibration(text.toStdString());
  ui_->PostedValueLabel->setText(reading.Status == TCalibInput::Ok
                                     ? QString("Posts %1").arg(QString::fromStdString(CalibrationText(reading.Value)))
                                     : QString());
  ui_->CalibMessageLabel->clear();
}

bool EditCalibration(QWidget *parent, const zelvoapi::TXmlSensorEnum &sensor, float &value) {
  TSetCalibForm dialog(parent);
  dialog.Fill(sensor);
  if (dialog.exec() != QDialog::Accepted) return false;
  value = dialog.Calibration();
  return true;
}

}  // namespace calibrator
