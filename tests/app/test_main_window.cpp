// The main window against a simulated device: its form, open and close,
// the refresh, the failures it reports and its log.
#include <QMessageBox>

#include "app/program_info.h"
#include "tests/app/main_window_fixture.h"

namespace calibrator_test {
namespace {

const char *const kConnectionEdits[] = {"IPEdit", "PortEdit", "UserEdit", "PassEdit"};

class AppMainWindow : public MainWindowTest {
 protected:
  // Checks every control that mirrors the window's state.
  void ExpectState(bool open) {
    EXPECT_EQ(UseCloseButton()->text(), open ? "&Close" : "&Open This Device");
    EXPECT_EQ(ReadButton()->isEnabled(), open);
    EXPECT_EQ(Control<QPushButton>("SearchButton")->isEnabled(), !open);
    const QColor base = open ? form_.palette().color(QPalette::Button) : QPalette().color(QPalette::Base);
    for (const char *name : kConnectionEdits) {
      QLineEdit *edit = Control<QLineEdit>(name);
      EXPECT_EQ(edit->isEnabled(), !open) << name;
      EXPECT_EQ(edit->palette().color(QPalette::Base), base) << name;
    }
    for (const char *name : {"Label1", "Label2"}) EXPECT_EQ(Control<QLabel>(name)->isEnabled(), !open) << name;
  }
};

TEST_F(AppMainWindow, StartsClosedWithTheFormsLayout) {
  EXPECT_EQ(form_.objectName(), "MainForm");
  EXPECT_EQ(form_.size(), QSize(649, 483));
  EXPECT_EQ(form_.windowTitle(), QString("Zelvo Calibrator 1.1.0 (%1)").arg(calibrator::kMakerWebAddress));
  const struct {
    const char *name;
    QRect geometry;
  } controls[] = {
      {"DeviceGroupBox", {8, 8, 281, 145}},  {"IPEdit", {16, 27, 105, 21}},
      {"DoubleDotLabel0", {128, 27, 5, 16}}, {"PortEdit", {136, 27, 41, 21}},
      {"SearchButton", {192, 27, 73, 25}},   {"UserEdit", {16, 72, 121, 21}},
      {"PassEdit", {144, 72, 121, 21}},      {"UseCloseButton", {144, 104, 121, 25}},
      {"LogListBox", {304, 24, 337, 129}},   {"SensorsStringGrid", {8, 208, 633, 228}},
      {"ReadButton", {536, 445, 105, 25}},
  };
  for (const auto &c : controls) {
    QWidget *control = Control<QWidget>(c.name);
    if (control) {
      EXPECT_EQ(control->geometry(), c.geometry) << c.name;
    }
  }
  EXPECT_EQ(Control<QLineEdit>("PortEdit")->text(), "80");
  EXPECT_EQ(Control<QPushButton>("SearchButton")->text(), "&Search...");
  EXPECT_FALSE(Control<QLineEdit>("IPEdit")->text().isEmpty());
  EXPECT_EQ(Control<QLineEdit>("PassEdit")->echoMode(), QLineEdit::Password);
  EXPECT_EQ(Control<QLabel>("NameLabel")->text(), "-");
  EXPECT_TRUE(Control<QLabel>("NameLabel")->font().bold());
  EXPECT_EQ(Grid()->rowCount(), 1);
  EXPECT_TRUE(LogLines().isEmpty());
  ExpectState(false);
}

TEST_F(AppMainWindow, OpenDownloadsTheSetupAndListsTheSensors) {
  StartDevice(qxsupport::SteadyVariant("thermometer"));
  OpenDevice("admin", "admin");

  const QStringList log = LogLines();
  const int downloading = log.indexOf("Downloading setup...");
  ASSERT_GE(downloading, 0) << Dump();
  EXPECT_LT(downloading, log.indexOf(DownloadedLine())) << Dump();
  QListWidget *list = Control<QListWidget>("LogListBox");
  EXPECT_EQ(list->currentRow(), list->count() - 1) << "the last line is selected";
  ExpectState(true);

  EXPECT_EQ(Control<QLabel>("NameLabel")->text(), "Lab thermometer");
  ASSERT_EQ(Grid()->rowCount(), 5) << "4 sensors and the empty last row";
  const QStringList expected[] = {
      {"Bench", "101", "21.5 °C", "0.0", "10.0", "35.0"},
      {"Incubator", "102", "30.2 °C", "0.0", "10.0", "35.0"},
      {"Fridge", "103", "4.1 °C", "0.0", "2.0", "8.0"},
      {"Outside", "104", "12.8 °C", "0.0", "10.0", "35.0"},
      {"", "", "", "", "", ""},
  };
  for (int row = 0; row < 5; ++row) EXPECT_EQ(Row(row), expected[row]) << "row " << row;
}

TEST_F(AppMainWindow, Utf8NamesAndUnitsShowAsSent) {
  StartDevice(qxsupport::SteadyVariant("accented"));
  OpenDevice("", "");
  EXPECT_EQ(Control<QLabel>("NameLabel")->text(), QString::fromUtf8("Zentrale Nürnberg & Fürth"));
  EXPECT_EQ(Cell(0, calibrator::kNameColumn), QString::fromUtf8("Kühlraum Süd"));
  EXPECT_EQ(Cell(1, calibrator::kNameColumn), QString::fromUtf8("Büro & Flur"));
  EXPECT_EQ(Cell(2, calibrator::kNameColumn), QString::fromUtf8("Température extérieure"));
  EXPECT_EQ(Cell(0, calibrator::kValueColumn), QString::fromUtf8("3.5 °C"));
}

TEST_F(AppMainWindow, RefreshClearsTheListAndDownloadsAgain) {
  StartDevice(qxsupport::SteadyVariant("thermometer"));
  OpenDevice("admin", "admin");
  const QStringList before = Row(0);
  QTest::mouseClick(ReadButton(), Qt::LeftButton);
  EXPECT_EQ(Grid()->rowCount(), 1) << "cleared while the request runs";
  EXPECT_FALSE(ReadButton()->isEnabled());
  ASSERT_TRUE(WaitForLogCount(DownloadedLine(), 2)) << Dump();
  EXPECT_EQ(LogLines().count("Downloading setup..."), 2);
  EXPECT_EQ(Grid()->rowCount(), 5);
  EXPECT_EQ(Row(0), before);
  EXPECT_TRUE(ReadButton()->isEnabled());
}

TEST_F(AppMainWindow, CloseKeepsTheRowsAndTheDeviceName) {
  StartDevice(qxsupport::SteadyVariant("thermometer"));
  OpenDevice("admin", "admin");
  const QStringList first = Row(0);
  QTest::mouseClick(UseCloseButton(), Qt::LeftButton);
  ExpectState(false);
  EXPECT_EQ(Grid()->rowCount(), 5);
  EXPECT_EQ(Row(0), first);
  EXPECT_EQ(Control<QLabel>("NameLabel")->text(), "Lab thermometer");
}

TEST_F(AppMainWindow, AfterCloseTheListIsGreyedUntilTheNextDownload) {
  StartDevice(qxsupport::SteadyVariant("thermometer"));
  OpenDevice("admin", "admin");
  QLabel *name = Control<QLabel>("NameLabel");
  ASSERT_FALSE(Grid()->IsStale());
  ASSERT_TRUE(name->isEnabled());

  QTest::mouseClick(UseCloseButton(), Qt::LeftButton);
  EXPECT_TRUE(Grid()->IsStale());
  EXPECT_FALSE(name->isEnabled()) << "the device name is greyed with the list";
  EXPECT_EQ(Cell(0, calibrator::kNameColumn), "Bench") << "the rows stay";

  // A double-click on the greyed list says why no dialog opens.
  ModalWatcher watcher([](QWidget *modal) { modal->close(); });
  DoubleClickRow(0);
  EXPECT_EQ(watcher.Count(), 0);
  EXPECT_EQ(LogLines().value(LogLines().size() - 1), "The device is closed: open it to calibrate a sensor") << Dump();

  QTest::mouseClick(UseCloseButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForLogCount(DownloadedLine(), 2)) << Dump();
  EXPECT_FALSE(Grid()->IsStale());
  EXPECT_TRUE(name->isEnabled());
}

TEST_F(AppMainWindow, OpenCloseButtonDuringADownloadClosesTheDevice) {
  devsim::DeviceConfig config = qxsupport::SteadyVariant("thermometer");
  config.faults.push_back({devsim::FaultKind::stall, devsim::FaultTarget::setup, 10});
  StartDevice(config);
  PressOpen("127.0.0.1", QString::number(port_), "admin", "admin");
  ASSERT_TRUE(WaitForLogCount("Downloading setup...", 1)) << Dump();
  QTest::mouseClick(UseCloseButton(), Qt::LeftButton);
  ExpectState(false);
  EXPECT_FALSE(LogLines().contains(DownloadedLine()));
}

TEST_F(AppMainWindow, WrongPasswordLogsUnauthorizedAndLeavesRefreshEnabled) {
  StartDevice(qxsupport::SteadyVariant("thermometer"));
  PressOpen("127.0.0.1", QString::number(port_), "admin", "wrong");
  ASSERT_TRUE(WaitForLogCount("Download setup error: HTTP: Unauthorized", 1)) << Dump();
  EXPECT_TRUE(ReadButton()->isEnabled()) << "so that the operator can retry";
  EXPECT_EQ(UseCloseButton()->text(), "&Close");
  EXPECT_EQ(Grid()->rowCount(), 1);
}

TEST_F(AppMainWindow, UnresolvableHostShowsTheErrorBoxAndChangesNothing) {
  MessageBoxRecorder boxes;
  PressOpen("no-such-device.invalid", "80", "", "");
  // The lookup runs on its own thread; its answer arrives through the queue.
  ASSERT_TRUE(PumpUntil([&] { return boxes.Count() >= 1; }));
  EXPECT_EQ(boxes.Count(), 1);
  EXPECT_EQ(boxes.At(0).text, "Unknow device, addres can not be resolved!");
  EXPECT_EQ(boxes.At(0).icon, QMessageBox::Critical);
  EXPECT_EQ(boxes.At(0).buttons, QMessageBox::Ok);
  ExpectState(false);
  EXPECT_TRUE(UseCloseButton()->isEnabled());
  EXPECT_TRUE(LogLines().isEmpty()) << Dump();
}

TEST_F(AppMainWindow, EmptyAddressOrPortDoesNothing) {
  const struct {
    const char *host;
    const char *port;
  } rows[] = {{"", "80"}, {"127.0.0.1", ""}};
  ModalWatcher watcher([](QWidget *modal) { modal->close(); });
  for (const auto &row : rows) {
    PressOpen(row.host, row.port, "", "");
    // The handler runs synchronously: a box would have been shown (and
    // counted) and a log line written before the click returns.
    ExpectState(false);
    EXPECT_TRUE(LogLines().isEmpty()) << "host '" << row.host << "' port '" << row.port << "' " << Dump();
  }
  EXPECT_EQ(watcher.Count(), 0);
}

TEST_F(AppMainWindow, LogTrimsItsFiftyOldestLinesOncePastTwoHundred) {
  const struct {
    int lines_before;
    int lines_after;
    const char *first_after;
  } rows[] = {{199, 200, "line 1"}, {200, 201, "line 1"}, {201, 152, "line 51"}};
  for (const auto &row : rows) {
    Control<QListWidget>("LogListBox")->clear();
    for (int i = 1; i <= row.lines_before; ++i) form_.LogF("line %d", i);
    form_.Log("the new line");
    const QStringList log = LogLines();
    EXPECT_EQ(log.size(), row.lines_after) << row.lines_before << " lines before";
    EXPECT_EQ(log.value(0), row.first_after) << row.lines_before << " lines before";
    EXPECT_EQ(log.value(log.size() - 1), "the new line");
    QListWidget *list = Control<QListWidget>("LogListBox");
    EXPECT_EQ(list->currentRow(), list->count() - 1) << row.lines_before << " lines before";
  }
}

}  // namespace
}  // namespace calibrator_test
