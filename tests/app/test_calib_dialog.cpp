// The calibration dialog on its own: its form, its fill, what it shows as
// the operator types and which texts close it with OK.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/calib_input.h"
#include "app/calibration_math.h"
#include "app/setcalibf.h"
#include "sdk/value_text.h"

namespace calibrator {
namespace {

template <class T>
T *Control(QWidget &form, const char *name) {
  T *control = form.findChild<T *>(name);
  EXPECT_NE(control, nullptr) << "no control " << name;
  return control;
}

zelvoapi::TXmlSensorEnum Sensor(double calibration) {
  zelvoapi::TXmlSensorEnum sensor;
  sensor.Name = "Kühlraum Süd";
  sensor.Host = "127.0.0.1";
  sensor.Port = 8080;
  sensor.Id = 101;
  sensor.Calibration = calibration;
  return sensor;
}

// Shown and exposed, as the operator gets it.
void ShowAndWait(TSetCalibForm &dialog) {
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
}

// The designed form, with the edit shortened for the posted value beside it,
// the frame and buttons moved down for a refusal of two lines, and the
// current value and the reference reading above the offset.
TEST(AppCalibDialog, HasTheFormsLayoutAndNames) {
  TSetCalibForm dialog;
  EXPECT_EQ(dialog.objectName(), "SetCalibForm");
  EXPECT_EQ(dialog.windowTitle(), "Edit calibration of sensor");
  EXPECT_EQ(dialog.size(), QSize(242, 284));
  const struct {
    const char *name;
    QRect geometry;
  } controls[] = {
      {"Bevel1", {8, 8, 225, 227}},
      {"ValueLabel", {72, 96, 153, 13}},
      {"ReferenceEdit", {24, 132, 97, 21}},
      {"ReferenceLabel", {128, 132, 97, 21}},
      {"CalibEdit", {24, 176, 97, 21}},
      {"PostedValueLabel", {128, 176, 97, 21}},
      {"CalibMessageLabel", {24, 201, 201, 26}},
      {"CancelBitBtn", {8, 250, 89, 25}},
      {"OKBitBtn", {144, 250, 89, 25}},
  };
  for (const auto &c : controls) {
    QWidget *control = Control<QWidget>(dialog, c.name);
    if (control) {
      EXPECT_EQ(control->geometry(), c.geometry) << c.name;
    }
  }
  for (const char *label : {"Label7", "NameLabel", "Label3", "IPLabel", "Label4", "PortLabel", "Label5", "IDLabel",
                            "Label8", "Label9", "Label6"})
    Control<QLabel>(dialog, label);
  auto *ok = Control<QPushButton>(dialog, "OKBitBtn");
  auto *cancel = Control<QPushButton>(dialog, "CancelBitBtn");
  ASSERT_TRUE(ok && cancel);
  EXPECT_EQ(ok->text(), "&OK");
  EXPECT_EQ(cancel->text(), "&Cancel");
  EXPECT_TRUE(ok->isDefault());
  EXPECT_FALSE(ok->icon().isNull());
  EXPECT_FALSE(cancel->icon().isNull());
  EXPECT_TRUE(Control<QLabel>(dialog, "Label7")->font().bold());
}

TEST(AppCalibDialog, FillShowsTheSensorAndItsOffsetWithOneDecimal) {
  const struct {
    double calibration;
    const char *text;
  } rows[] = {{0, "0.0"}, {-1.5, "-1.5"}, {2.25, "2.2"}, {0.46, "0.5"}};
  for (const auto &row : rows) {
    TSetCalibForm dialog;
    dialog.Fill(Sensor(row.calibration));
    EXPECT_EQ(Control<QLabel>(dialog, "NameLabel")->text(), QString::fromUtf8("Kühlraum Süd"));
    EXPECT_EQ(Control<QLabel>(dialog, "IPLabel")->text(), "127.0.0.1");
    EXPECT_EQ(Control<QLabel>(dialog, "PortLabel")->text(), "8080");
    EXPECT_EQ(Control<QLabel>(dialog, "IDLabel")->text(), "101");
    EXPECT_EQ(Control<QLineEdit>(dialog, "CalibEdit")->text(), row.text) << "calibration " << row.calibration;
  }
}

struct OkCase {
  const char *name;
  const char *text;
  bool closes;
  float value;          // when it closes
  TCalibInput refusal;  // when it stays open
};

void PrintTo(const OkCase &c, std::ostream *out) { *out << c.name << " '" << c.text << "'"; }

class AppCalibDialogOk : public ::testing::TestWithParam<OkCase> {};

TEST_P(AppCalibDialogOk, ClosesOnlyForAnOffsetTheDeviceCanTake) {
  const OkCase &c = GetParam();
  TSetCalibForm dialog;
  dialog.Fill(Sensor(0));
  ShowAndWait(dialog);
  auto *edit = Control<QLineEdit>(dialog, "CalibEdit");
  edit->setText(QString::fromUtf8(c.text));
  QTest::mouseClick(Control<QPushButton>(dialog, "OKBitBtn"), Qt::LeftButton);

  const QString message = Control<QLabel>(dialog, "CalibMessageLabel")->text();
  if (c.closes) {
    EXPECT_FALSE(dialog.isVisible()) << "text '" << c.text << "'";
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FLOAT_EQ(dialog.Calibration(), c.value);
    EXPECT_TRUE(message.isEmpty());
  } else {
    EXPECT_TRUE(dialog.isVisible()) << "text '" << c.text << "' must keep the dialog open";
    EXPECT_EQ(message.toStdString(), CalibInputMessage(c.refusal)) << "and say why";
    EXPECT_EQ(edit->selectedText(), edit->text()) << "with the text selected for retyping";
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, AppCalibDialogOk,
                         ::testing::Values(OkCase{"point", "0.5", true, 0.5f, TCalibInput::Ok},
                                           OkCase{"comma", "1,5", true, 1.5f, TCalibInput::Ok},
                                           OkCase{"blanks", " -2.7 ", true, -2.7f, TCalibInput::Ok},
                                           OkCase{"letters", "abc", false, 0, TCalibInput::NotANumber},
                                           OkCase{"empty", "", false, 0, TCalibInput::NotANumber},
                                           OkCase{"two_decimals", "0,25", false, 0, TCalibInput::TooManyDecimals},
                                           OkCase{"too_large", "100000", false, 0, TCalibInput::OutOfRange}),
                         [](const ::testing::TestParamInfo<OkCase> &info) { return std::string(info.param.name); });

// A "5" typed onto the shown "0.0" must replace it, not append to it: "0.05"
// would post 0.1.
TEST(AppCalibDialog, RegressionOffsetIsSelectedWhenTheDialogOpens) {
  for (double calibration : {0.0, -1.5, 12.5}) {
    TSetCalibForm dialog;
    dialog.Fill(Sensor(calibration));
    ShowAndWait(dialog);
    auto *edit = Control<QLineEdit>(dialog, "CalibEdit");
    EXPECT_TRUE(edit->hasFocus()) << "calibration " << calibration;
    EXPECT_FALSE(edit->text().isEmpty());
    EXPECT_EQ(edit->selectedText().toStdString(), edit->text().toStdString()) << "calibration " << calibration;
    QTest::keyClicks(edit, "5");
    EXPECT_EQ(edit->text().toStdString(), "5") << "calibration " << calibration;
  }
}

struct PreviewCase {
  const char *name;
  const char *typed;    // typed key by key over the selected offset
  const char *preview;  // beside the field afterwards; empty for a refused text
};

void PrintTo(const PreviewCase &c, std::ostream *out) { *out << c.name << " '" << c.typed << "'"; }

class AppCalibDialogPreview : public ::testing::TestWithParam<PreviewCase> {};

TEST_P(AppCalibDialogPreview, ShowsTheValueOkWillPostAsItIsPosted) {
  const PreviewCase &c = GetParam();
  TSetCalibForm dialog;
  dialog.Fill(Sensor(0.5));
  auto *preview = Control<QLabel>(dialog, "PostedValueLabel");
  ASSERT_TRUE(preview);
  EXPECT_EQ(preview->text().toStdString(), "Posts 0.5") << "the shown offset as it opens";
  ShowAndWait(dialog);
  auto *edit = Control<QLineEdit>(dialog, "CalibEdit");
  edit->selectAll();
  QTest::keyClicks(edit, QString::fromUtf8(c.typed));
  EXPECT_EQ(preview->text().toStdString(), c.preview);
  // What the label promises is what OK hands out.
  QTest::mouseClick(Control<QPushButton>(dialog, "OKBitBtn"), Qt::LeftButton);
  if (*c.preview) {
    ASSERT_FALSE(dialog.isVisible());
    EXPECT_EQ("Posts " + CalibrationText(dialog.Calibration()), c.preview);
  } else {
    EXPECT_TRUE(dialog.isVisible());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AppCalibDialogPreview,
    ::testing::Values(PreviewCase{"point", "2.5", "Posts 2.5"}, PreviewCase{"comma", "-1,5", "Posts -1.5"},
                      PreviewCase{"whole", "7", "Posts 7.0"}, PreviewCase{"leading_separator", ",5", "Posts 0.5"},
                      PreviewCase{"trailing_separator", "3.", "Posts 3.0"}, PreviewCase{"blanks", " 4 ", "Posts 4.0"},
                      PreviewCase{"negative_zero", "-0", "Posts -0.0"},
                      PreviewCase{"largest", "99999.9", "Posts 99999.9"},
                      PreviewCase{"smallest", "-9999.9", "Posts -9999.9"}, PreviewCase{"two_decimals", "0,25", ""},
                      PreviewCase{"trailing_zero", "1.50", ""}, PreviewCase{"sign_only", "-", ""},
                      PreviewCase{"letters", "abc", ""}, PreviewCase{"too_large", "100000", ""}),
    [](const ::testing::TestParamInfo<PreviewCase> &info) { return std::string(info.param.name); });

TEST(AppCalibDialog, TypingClearsARefusalThatNoLongerApplies) {
  TSetCalibForm dialog;
  dialog.Fill(Sensor(0));
  ShowAndWait(dialog);
  auto *edit = Control<QLineEdit>(dialog, "CalibEdit");
  auto *message = Control<QLabel>(dialog, "CalibMessageLabel");
  QTest::keyClicks(edit, "0,25");
  QTest::mouseClick(Control<QPushButton>(dialog, "OKBitBtn"), Qt::LeftButton);
  ASSERT_TRUE(dialog.isVisible());
  ASSERT_FALSE(message->text().isEmpty());
  QTest::keyClicks(edit, "0,2");
  EXPECT_TRUE(message->text().isEmpty());
  EXPECT_EQ(Control<QLabel>(dialog, "PostedValueLabel")->text().toStdString(), "Posts 0.2");
}

// Every refusal shows whole inside its label, in the font the label draws
// with, and so does the widest value beside the field.
TEST(AppCalibDialog, RegressionTextsAreNotCutOff) {
  TSetCalibForm dialog;
  dialog.Fill(Sensor(0));
  ShowAndWait(dialog);
  auto *edit = Control<QLineEdit>(dialog, "CalibEdit");
  auto *message = Control<QLabel>(dialog, "CalibMessageLabel");
  auto *preview = Control<QLabel>(dialog, "PostedValueLabel");
  ASSERT_TRUE(edit && message && preview);
  const struct {
    QLabel *label;
    const char *typed;
    bool confirm;
  } rows[] = {
      {message, "abc", true},      {message, "0,25", true},     {message, "100000", true},
      {preview, "-9999.9", false}, {preview, "99999.9", false},
  };
  const QRect buttons =
      Control<QWidget>(dialog, "CancelBitBtn")->geometry().united(Control<QWidget>(dialog, "OKBitBtn")->geometry());
  for (const auto &row : rows) {
    edit->selectAll();
    QTest::keyClicks(edit, row.typed);
    if (row.confirm) QTest::mouseClick(Control<QPushButton>(dialog, "OKBitBtn"), Qt::LeftButton);
    const QString text = row.label->text();
    ASSERT_FALSE(text.isEmpty()) << row.typed;
    const QRect room = row.label->contentsRect();
    const int flags = int(row.label->alignment()) | (row.label->wordWrap() ? Qt::TextWordWrap : 0);
    const QRect needed = QFontMetrics(row.label->font()).boundingRect(room, flags, text);
    EXPECT_TRUE(room.contains(needed)) << row.typed << ": '" << text.toStdString() << "' needs " << needed.width()
                                       << "x" << needed.height() << " in " << room.width() << "x" << room.height()
                                       << " at " << row.label->font().pixelSize() << " px / "
                                       << row.label->font().pointSizeF() << " pt";
    EXPECT_TRUE(dialog.rect().contains(row.label->geometry())) << row.typed;
    EXPECT_FALSE(row.label->geometry().intersects(buttons)) << row.typed;
  }
}

TEST(AppCalibDialog, EnterConfirmsEscapeAndCancelDoNot) {
  const struct {
    const char *name;
    std::function<void(TSetCalibForm &)> act;
    int result;
  } rows[] = {
      {"Enter in the edit",
       [](TSetCalibForm &d) { QTest::keyClick(d.findChild<QLineEdit *>("CalibEdit"), Qt::Key_Return); },
       QDialog::Accepted},
      {"Escape", [](TSetCalibForm &d) { QTest::keyClick(d.findChild<QLineEdit *>("CalibEdit"), Qt::Key_Escape); },
       QDialog::Rejected},
      {"Cancel",
       [](TSetCalibForm &d) { QTest::mouseClick(d.findChild<QPushButton *>("CancelBitBtn"), Qt::LeftButton); },
       QDialog::Rejected},
  };
  for (const auto &row : rows) {
    TSetCalibForm dialog;
    dialog.Fill(Sensor(1.5));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.activateWindow();
    dialog.findChild<QLineEdit *>("CalibEdit")->setFocus();
    row.act(dialog);
    EXPECT_FALSE(dialog.isVisible()) << row.name;
    EXPECT_EQ(dialog.result(), row.result) << row.name;
  }
}

// ---- The reference reading --------------------------------------------

// A temperature sensor showing `value` with one decimal and holding `offset`.
zelvoapi::TXmlSensorEnum Thermometer(double value, double offset) {
  zelvoapi::TXmlSensorEnum sensor = Sensor(offset);
  sensor.Kind = zelvoapi::KIND_ANALOG_INPUT;
  sensor.Value = value;
  sensor.Decimals = -1;
  sensor.Units = 0;  // degrees Celsius
  return sensor;
}

TEST(AppCalibDialog, ShowsTheCurrentValueWithItsUnit) {
  TSetCalibForm dialog;
  dialog.Fill(Thermometer(21.3, 0.5));
  EXPECT_EQ(Control<QLabel>(dialog, "ValueLabel")->text(), QString::fromUtf8("21.3 \u00b0C"));
  EXPECT_TRUE(Control<QLineEdit>(dialog, "ReferenceEdit")->isEnabled());
}

struct ReferenceCase {
  const char *name;
  double value;   // what the sensor shows
  double offset;  // the offset it holds
  const char *reference;
  const char *calibration;  // the calibration field afterwards
  const char *computed;     // beside the reference field
  const char *preview;      // what OK will post
  bool refused;             // a message names the problem
};

void PrintTo(const ReferenceCase &c, std::ostream *out) { *out << c.name; }

class AppCalibDialogReference : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(AppCalibDialogReference, PutsTheComputedOffsetIntoTheFieldAndThePreview) {
  const ReferenceCase &c = GetParam();
  TSetCalibForm dialog;
  dialog.Fill(Thermometer(c.value, c.offset));
  ShowAndWait(dialog);
  QTest::keyClicks(Control<QLineEdit>(dialog, "ReferenceEdit"), c.reference);
  EXPECT_EQ(Control<QLineEdit>(dialog, "CalibEdit")->text().toStdString(), c.calibration);
  EXPECT_EQ(Control<QLabel>(dialog, "ReferenceLabel")->text().toStdString(), c.computed);
  EXPECT_EQ(Control<QLabel>(dialog, "PostedValueLabel")->text().toStdString(), c.preview);
  EXPECT_EQ(Control<QLabel>(dialog, "CalibMessageLabel")->text().isEmpty(), !c.refused);
  QTest::mouseClick(Control<QPushButton>(dialog, "OKBitBtn"), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Reference().toStdString(), c.refused ? "" : c.reference);
}

INSTANTIATE_TEST_SUITE_P(
    Readings, AppCalibDialogReference,
    ::testing::Values(ReferenceCase{"reference_above", 21.3, 0.5, "21.6", "0.8", "Offset 0.8", "Posts 0.8", false},
                      ReferenceCase{"reference_below", 21.3, 0.5, "20.1", "-0.7", "Offset -0.7", "Posts -0.7", false},
                      ReferenceCase{"comma_and_more_decimals", 21.3, 0.0, "21,55", "0.3", "Offset 0.3", "Posts 0.3",
                                    false},
                      // The field keeps the offset typed before when the reading is no number.
                      ReferenceCase{"not_a_number", 21.3, 0.5, "warm", "0.5", "", "Posts 0.5", true},
                      ReferenceCase{"out_of_range", 21.3, 0.5, "200000", "0.5", "", "Posts 0.5", true}),
    [](const ::testing::TestParamInfo<ReferenceCase> &info) { return std::string(info.param.name); });

TEST(AppCalibDialog, TypingOverTheComputedOffsetDropsTheReference) {
  TSetCalibForm dialog;
  dialog.Fill(Thermometer(21.3, 0.5));
  ShowAndWait(dialog);
  QTest::keyClicks(Control<QLineEdit>(dialog, "ReferenceEdit"), "21.6");
  auto *edit = Control<QLineEdit>(dialog, "CalibEdit");
  edit->selectAll();
  QTest::keyClicks(edit, "1.0");
  QTest::mouseClick(Control<QPushButton>(dialog, "OKBitBtn"), Qt::LeftButton);
  EXPECT_EQ(dialog.Calibration(), 1.0f);
  EXPECT_TRUE(dialog.Reference().isEmpty());
}

TEST(AppCalibDialog, SensorWithoutANumericValueOffersNoReferenceAndSaysWhy) {
  TSetCalibForm dialog;
  dialog.Fill(Thermometer(-999.9, 0.5));  // the devices' mark of "no reading"
  auto *reference = Control<QLineEdit>(dialog, "ReferenceEdit");
  EXPECT_FALSE(reference->isEnabled());
  EXPECT_EQ(reference->toolTip().toStdString(), ReferenceMessage(TReferenceStatus::NoNumericValue));
}

}  // namespace
}  // namespace calibrator
