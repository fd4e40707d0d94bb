#include "app/setcalibf.h"

#include <QPalette>
#include <QStyle>

#include "app/calib_input.h"
#include "app/calibration_math.h"
#include "app/form_font.h"
#include "sdk/value_text.h"
#include "ui_setcalibf.h"

namespace calibrator {

namespace {

// The decimals of the current offset handed to the reference arithmetic: as
// many as a reference reading may carry.
constexpr int kOffsetDecimals = 6;

}  // namespace

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
  connect(ui_->ReferenceEdit, &QLineEdit::textChanged, this, &TSetCalibForm::ReferenceChanged);
}

TSetCalibForm::~TSetCalibForm() = default;

void TSetCalibForm::Fill(const zelvoapi::TXmlSensorEnum &sensor) {
  ui_->NameLabel->setText(QString::fromStdString(sensor.Name));
  ui_->IPLabel->setText(QString::fromStdString(sensor.Host));
  ui_->PortLabel->setText(QString::number(sensor.Port));
  ui_->IDLabel->setText(QString::number(sensor.Id));
  ui_->CalibEdit->setText(QString::fromStdString(CalibrationText(sensor.Calibration)));
  zelvoapi::TXmlSensorStr texts;
  zelvoapi::sensor_enum_to_str(texts, sensor);
  value_text_ = texts.ValueText;
  // The grid rounds the offset to the value's decimals; the arithmetic takes
  // it as the device holds it.
  calibration_text_ = ReferenceUnavailableReason("0", texts.CalibrationText).empty()
                          ? QString::number(sensor.Calibration, 'f', kOffsetDecimals).toStdString()
                          : texts.CalibrationText;
  ui_->ValueLabel->setText(QString::fromStdString(texts.ValueText + " " + texts.UnitsText).trimmed());
  const QString unavailable = QString::fromStdString(ReferenceUnavailableReason(value_text_, calibration_text_));
  ui_->ReferenceEdit->setEnabled(unavailable.isEmpty());
  ui_->ReferenceEdit->setToolTip(unavailable.isEmpty()
                                     ? QString("The reading of a reference instrument: the offset is computed so "
                                               "that the sensor shows it")
                                     : unavailable);
}

QString TSetCalibForm::Reference() const {
  // An offset the operator typed over the computed one no longer comes from
  // the reference.
  if (computed_.isEmpty() || ui_->CalibEdit->text() != computed_) return QString();
  return ui_->ReferenceEdit->text().trimmed();
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

void TSetCalibForm::ReferenceChanged(const QString &text) {
  // A reading typed key by key passes through readings that are not meant:
  // the offset of one that is refused must not stay behind for OK to post.
  QLineEdit *edit = ui_->CalibEdit;
  const bool showing_computed = !computed_.isEmpty() && edit->text() == computed_;
  if (!showing_computed) before_reference_ = edit->text();
  computed_.clear();
  ui_->ReferenceLabel->clear();
  if (showing_computed) edit->setText(before_reference_);
  ui_->CalibMessageLabel->clear();
  if (text.trimmed().isEmpty()) return;
  const TReferenceOffset result = OffsetFromReference(value_text_, calibration_text_, text.toStdString());
  if (result.Status != TReferenceStatus::Ok) {
    ui_->CalibMessageLabel->setText(ReferenceMessage(result.Status));
    return;
  }
  const QString offset = QString::fromStdString(CalibrationText(result.Offset));
  edit->setText(offset);  // shows what OK posts
  computed_ = offset;
  ui_->ReferenceLabel->setText(QString("Offset %1").arg(offset));
}

bool EditCalibration(QWidget *parent, const zelvoapi::TXmlSensorEnum &sensor, float &value, QString &reference) {
  TSetCalibForm dialog(parent);
  dialog.Fill(sensor);
  if (dialog.exec() != QDialog::Accepted) return false;
  value = dialog.Calibration();
  reference = dialog.Reference();
  return true;
}

}  // namespace calibrator
