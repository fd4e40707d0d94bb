// The search dialog on its own: its lines, its form, and what each way of
// closing it hands back.
#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <string>
#include <vector>

#include "app/udpsearchf.h"
#include "tests/app/gui_driver.h"
#include "tests/app/search_dialog_driver.h"

namespace calibrator_test {
namespace {

using zelvoapi::TUdpsDevice;

TUdpsDevice Device(const char *ip, const char *name, const char *model, int32_t port = 80) {
  TUdpsDevice device;
  device.Ip = ip;
  device.Name = name;
  device.Model = model;
  device.Port = port;
  return device;
}

struct LineCase {
  const char *name;
  TUdpsDevice device;
  const char *line;  // UTF-8
};

void PrintTo(const LineCase &c, std::ostream *out) { *out << c.name; }

class AppSearchDialogLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(AppSearchDialogLine, ShowsAddressNameAndModel) {
  const LineCase &c = GetParam();
  EXPECT_EQ(calibrator::DeviceLine(c.device), QString::fromUtf8(c.line));
}

INSTANTIATE_TEST_SUITE_P(
    Devices, AppSearchDialogLine,
    ::testing::Values(LineCase{"named", Device("192.168.1.10", "Store", "Sensor box"),
                               "192.168.1.10 - Store (Sensor box)"},
                      LineCase{"empty_name", Device("192.168.1.10", "", "Sensor box"), "192.168.1.10 -  (Sensor box)"},
                      LineCase{"utf8_name", Device("127.0.0.1", "Zentrale Nürnberg & Fürth", "Hub <2>"),
                               "127.0.0.1 - Zentrale Nürnberg & Fürth (Hub <2>)"},
                      LineCase{"empty_model", Device("127.0.0.2", "Cellar", ""), "127.0.0.2 - Cellar ()"}),
    [](const ::testing::TestParamInfo<LineCase> &info) { return std::string(info.param.name); });

struct PortCase {
  const char *name;
  int32_t port;
  const char *text;
};

void PrintTo(const PortCase &c, std::ostream *out) { *out << c.name; }

class AppSearchDialogPort : public ::testing::TestWithParam<PortCase> {};

TEST_P(AppSearchDialogPort, IsTheDecimalNumber) {
  const PortCase &c = GetParam();
  EXPECT_EQ(calibrator::DevicePortText(Device("127.0.0.1", "", "", c.port)), c.text);
}

INSTANTIATE_TEST_SUITE_P(Ports, AppSearchDialogPort,
                         ::testing::Values(PortCase{"http", 80, "80"}, PortCase{"alternative_http", 8080, "8080"},
                                           PortCase{"lowest", 1, "1"}, PortCase{"highest", 65535, "65535"}),
                         [](const ::testing::TestParamInfo<PortCase> &info) { return std::string(info.param.name); });

TEST(AppSearchDialogForm, HasTheFormsLayoutAndNoSelection) {
  calibrator::TUdpSearchForm dialog;
  EXPECT_EQ(dialog.objectName(), "UdpSearchForm");
  EXPECT_EQ(dialog.windowTitle(), "UDP Search List");
  EXPECT_EQ(dialog.size(), QSize(475, 249));
  const struct {
    const char *name;
    QRect geometry;
  } controls[] = {
      {"ModulesListBox", {0, 0, 475, 201}},
      {"CancelButton", {312, 216, 75, 25}},
      {"OkButton", {392, 216, 75, 25}},
  };
  for (const auto &c : controls) {
    auto *control = dialog.findChild<QWidget *>(c.name);
    ASSERT_NE(control, nullptr) << c.name;
    EXPECT_EQ(control->geometry(), c.geometry) << c.name;
  }
  EXPECT_EQ(dialog.findChild<QPushButton *>("CancelButton")->text(), "Cancel");
  EXPECT_EQ(dialog.findChild<QPushButton *>("OkButton")->text(), "OK");
  EXPECT_EQ(dialog.findChild<QListWidget *>("ModulesListBox")->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(dialog.SelectedIndex(), -1);
}

struct ChoiceCase {
  const char *name;
  int lines;  // devices listed
  DialogAct act;
  int line;  // the line acted on
  bool chooses;
};

void PrintTo(const ChoiceCase &c, std::ostream *out) { *out << c.name; }

class AppSearchDialogChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(AppSearchDialogChoice, HandsBackTheChosenLineOnly) {
  const ChoiceCase &c = GetParam();
  std::vector<TUdpsDevice> devices;
  QStringList expected_lines;
  for (int i = 0; i < c.lines; ++i) {
    const std::string n = std::to_string(i + 1);
    devices.push_back(Device(("127.0.0." + n).c_str(), ("Device " + n).c_str(), ("Model " + n).c_str()));
    expected_lines << QString::fromStdString("127.0.0." + n + " - Device " + n + " (Model " + n + ")");
  }
  QStringList shown;
  bool acted = false;
  ModalWatcher watcher([&](QWidget *dialog) {
    shown = DialogLines(dialog);
    acted = ActOn(dialog, c.act, c.line);
  });
  constexpr int32_t kUntouched = -7;
  int32_t index = kUntouched;
  const bool chosen = calibrator::ChooseDevice(nullptr, devices, index);

  EXPECT_EQ(watcher.Count(), 1);
  EXPECT_TRUE(acted) << "the act closed the dialog";
  EXPECT_EQ(shown, expected_lines);
  EXPECT_EQ(chosen, c.chooses);
  EXPECT_EQ(index, c.chooses ? c.line : kUntouched);
}

INSTANTIATE_TEST_SUITE_P(
    Acts, AppSearchDialogChoice,
    ::testing::Values(ChoiceCase{"double_click_chooses_at_once", 3, DialogAct::kDoubleClick, 2, true},
                      ChoiceCase{"double_click_on_the_first_line", 3, DialogAct::kDoubleClick, 0, true},
                      ChoiceCase{"select_then_ok", 3, DialogAct::kSelectThenOk, 1, true},
                      ChoiceCase{"select_then_enter", 3, DialogAct::kSelectThenEnter, 1, true},
                      ChoiceCase{"escape_after_a_selection", 3, DialogAct::kSelectThenEscape, 1, false},
                      ChoiceCase{"cancel_after_a_selection", 3, DialogAct::kSelectThenCancel, 1, false},
                      ChoiceCase{"ok_without_a_selection", 3, DialogAct::kOk, -1, false},
                      ChoiceCase{"close_box", 3, DialogAct::kCloseBox, -1, false},
                      ChoiceCase{"empty_list_ok", 0, DialogAct::kOk, -1, false},
                      ChoiceCase{"empty_list_cancel", 0, DialogAct::kCancel, -1, false}),
    [](const ::testing::TestParamInfo<ChoiceCase> &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace calibrator_test
