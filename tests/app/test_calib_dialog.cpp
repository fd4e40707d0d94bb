// The calibration dialog on its own: its form, its fill and which texts
// close it with OK.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/setcalibf.h"

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

TEST(AppCalibDialog, HasTheFormsLayoutAndNames) {
  TSetCalibForm dialog;
  EXPECT_EQ(dialog.objectName(), "SetCalibForm");
  EXPECT_EQ(dialog.windowTitle(), "Edit calibration of sensor");
  EXPECT_EQ(dialog.size(), QSize(242, 210));
  const struct {
    const char *name;
    QRect geometry;
  } controls[] = {
      {"Bevel1", {8, 8, 225, 153}},
      {"CalibEdit", {24, 120, 193, 21}},
      {"CancelBitBtn", {8, 176, 89, 25}},
      {"OKBitBtn", {144, 176, 89, 25}},
  };
  for (const auto &c : controls) {
    QWidget *control = Control<QWidget>(dialog, c.name);
    if (control) {
      EXPECT_EQ(control->geometry(), c.geometry) << c.name;
    }
  }
  for (const char *label :
       {"Label7", "NameLabel", "Label3", "IPLabel", "Label4", "PortLabel", "Label5", "IDLabel", "Label6"})
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
  float value;  // when it closes
};

void PrintTo(const OkCase &c, std::ostream *out) { *out << c.name << " '" << c.text << "'"; }

class AppCalibDialogOk : public ::testing::TestWithParam<OkCase> {};

TEST_P(AppCalibDialogOk, ClosesOnlyForAnOffsetTheDeviceCanTake) {
  const OkCase &c = GetParam();
  TSetCalibForm dialog;
  dialog.Fill(Sensor(0));
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
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
    EXPECT_FALSE(message.isEmpty()) << "and say why";
    EXPECT_EQ(edit->selectedText(), edit->text()) << "with the text selected for retyping";
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, AppCalibDialogOk,
                         ::testing::Values(OkCase{"point", "0.5", true, 0.5f}, OkCase{"comma", "1,5", true, 1.5f},
                                           OkCase{"blanks", " -2.75 ", true, -2.75f},
                                           OkCase{"letters", "abc", false, 0}, OkCase{"empty", "", false, 0},
                                           OkCase{"too_large", "100000", false, 0}),
                         [](const ::testing::TestParamInfo<OkCase> &info) { return std::string(info.param.name); });

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

}  // namespace
}  // namespace calibrator
