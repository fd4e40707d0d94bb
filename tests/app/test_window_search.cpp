// The main window's device search against simulated devices on loopback:
// its progress, the dialog of what it found, the fields a chosen device
// fills, and a search that fails. Every search goes to a responder on a
// loopback port; none is broadcast.
#include <QApplication>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "qxudps/qxudps.h"
#include "sdk/udps.h"
#include "tests/app/main_window_fixture.h"
#include "tests/app/search_dialog_driver.h"

namespace calibrator_test {
namespace {

const char *const kLoopback = "127.0.0.1";
const char *const kSearchingStatus = "Searching for devices on the network...";
// Devices of this type code carry their name and model text in their reply.
constexpr int kListingType = 31;
// A search takes a quiet second at least; a window that keeps running ticks
// a 10-millisecond timer many more times than this meanwhile.
constexpr int kTickMs = 10;
constexpr int kResponsiveTicks = 5;
// What the connection fields hold before a search: neither is any device's.
const char *const kHostBefore = "before.invalid";
const char *const kPortBefore = "81";
// A user name, as the command line may prefill it: the password is left.
const char *const kUserBefore = "admin";

devsim::DeviceConfig Listed(const char *variant, const char *name, const char *model, const char *mac) {
  devsim::DeviceConfig config = qxsupport::SteadyVariant(variant);
  config.device_name = name;
  config.mac = mac;
  config.discovery.type_code = kListingType;
  config.discovery.model_text = model;
  return config;
}

// Three devices, the last one without a name; the second needs no
// credentials.
std::vector<devsim::DeviceConfig> Fleet() {
  return {Listed("thermometer", "Lab thermometer", "Bench hub", "00:20:4A:00:10:01"),
          Listed("hygrometer", "Zentrale Nürnberg & Fürth", "Partner hub <2>", "00:20:4A:00:10:02"),
          Listed("current-monitor", "", "Unnamed hub", "00:20:4A:00:10:03")};
}

// The line the dialog shows for a device served on loopback.
QString ExpectedLine(const devsim::DeviceConfig &config) {
  return QString::fromStdString(std::string(kLoopback) + " - " + config.device_name + " (" +
                                config.discovery.model_text + ")");
}

class AppWindowSearch : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    Control<QLineEdit>("IPEdit")->setText(kHostBefore);
    Control<QLineEdit>("PortEdit")->setText(kPortBefore);
    Control<QLineEdit>("UserEdit")->setText(kUserBefore);
  }
  void TearDown() override {
    // The window and its search go before the devices they may be asking.
    form_.close();
    // A search still running would refuse the next one.
    EXPECT_TRUE(PumpUntil([] { return qxudps_search_finish() == 0; }));
    responder_.stop();
    qxudps_clr_proxy();
  }

  // Serves `configs`, answers searches for them on a loopback port and
  // points every search there.
  void StartFleet(const std::vector<devsim::DeviceConfig> &configs) {
    std::vector<devsim::Server *> serving;
    for (const devsim::DeviceConfig &config : configs) {
      fleet_.push_back(std::make_unique<devsim::Server>());
      ASSERT_GT(fleet_.back()->start(config), 0) << fleet_.back()->error();
      serving.push_back(fleet_.back().get());
    }
    const int port = responder_.start(serving);
    ASSERT_GT(port, 0) << responder_.error();
    ASSERT_EQ(qxudps_set_search_target(kLoopback, port), 0);
    target_set_ = true;
  }

  // Presses Search, once searches go to the loopback responder.
  void PressSearch() {
    ASSERT_TRUE(target_set_) << "no search may be broadcast";
    QTest::mouseClick(SearchButton(), Qt::LeftButton);
  }
  // Waits until a search dialog has opened and closed again.
  bool WaitForDialogClosed(const ModalWatcher &watcher) {
    return PumpUntil([&] { return watcher.Count() == 1 && !QApplication::activeModalWidget(); });
  }

  QPushButton *SearchButton() { return Control<QPushButton>("SearchButton"); }
  QString HostText() { return Control<QLineEdit>("IPEdit")->text(); }
  QString PortText() { return Control<QLineEdit>("PortEdit")->text(); }
  bool WindowShowsBusy() { return form_.cursor().shape() == Qt::BusyCursor; }

  // The window's state when no search runs and no device is open.
  void ExpectIdle() {
    EXPECT_TRUE(SearchButton()->isEnabled());
    EXPECT_TRUE(UseCloseButton()->isEnabled());
    EXPECT_EQ(StatusText(), "No device open");
    EXPECT_FALSE(WindowShowsBusy());
  }
  void ExpectFieldsUnchanged() {
    EXPECT_EQ(HostText(), kHostBefore);
    EXPECT_EQ(PortText(), kPortBefore);
  }

  std::vector<std::unique_ptr<devsim::Server>> fleet_;
  devsim::UdpResponder responder_;
  bool target_set_ = false;
};

TEST_F(AppWindowSearch, ShowsItsProgressThenListsEveryDevice) {
  const std::vector<devsim::DeviceConfig> fleet = Fleet();
  ASSERT_NO_FATAL_FAILURE(StartFleet(fleet));
  int ticks_while_searching = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    if (!SearchButton()->isEnabled()) ++ticks_while_searching;
  });
  ticker.start(kTickMs);
  QStringList shown;
  ModalWatcher watcher([&](QWidget *dialog) {
    shown = DialogLines(dialog);
    ActOn(dialog, DialogAct::kCancel, -1);
  });

  PressSearch();
  EXPECT_FALSE(SearchButton()->isEnabled());
  EXPECT_FALSE(UseCloseButton()->isEnabled()) << "what the search finds is opened next";
  EXPECT_EQ(LogLines(), QStringList{"Searching devices..."});
  EXPECT_EQ(StatusText(), kSearchingStatus);
  EXPECT_TRUE(WindowShowsBusy());
  EXPECT_EQ(form_.focusWidget(), Control<QLineEdit>("IPEdit")) << "the keyboard stays in the fields";

  ASSERT_TRUE(WaitForDialogClosed(watcher)) << Dump();
  EXPECT_EQ(LogLines(), (QStringList{"Searching devices...", "Search finished"}));
  EXPECT_GE(ticks_while_searching, kResponsiveTicks) << "the window kept running while it searched";
  QStringList expected;
  for (const devsim::DeviceConfig &config : fleet) expected << ExpectedLine(config);
  expected.sort();
  shown.sort();
  EXPECT_EQ(shown, expected);
  ExpectIdle();
  ExpectFieldsUnchanged();
}

TEST_F(AppWindowSearch, FindingNothingShowsAnEmptyList) {
  ASSERT_NO_FATAL_FAILURE(StartFleet({}));
  QStringList shown{"not shown"};
  bool acted = false;
  ModalWatcher watcher([&](QWidget *dialog) {
    shown = DialogLines(dialog);
    acted = ActOn(dialog, DialogAct::kOk, -1);
  });
  PressSearch();
  ASSERT_TRUE(WaitForDialogClosed(watcher)) << Dump();
  EXPECT_TRUE(acted);
  EXPECT_TRUE(shown.isEmpty()) << qPrintable(shown.join('\n'));
  EXPECT_EQ(LogLines(), (QStringList{"Searching devices...", "Search finished"}));
  ExpectIdle();
  ExpectFieldsUnchanged();
}

TEST_F(AppWindowSearch, OpeningTheChosenDeviceListsItsSensors) {
  const std::vector<devsim::DeviceConfig> fleet = Fleet();
  ASSERT_NO_FATAL_FAILURE(StartFleet(fleet));
  const devsim::DeviceConfig &chosen = fleet[1];  // needs no credentials
  ModalWatcher watcher([&](QWidget *dialog) {
    ActOn(dialog, DialogAct::kDoubleClick, static_cast<int>(DialogLines(dialog).indexOf(ExpectedLine(chosen))));
  });
  PressSearch();
  ASSERT_TRUE(WaitForDialogClosed(watcher)) << Dump();
  const int port = fleet_[1]->port();
  ASSERT_EQ(PortText(), QString::number(port));

  QTest::mouseClick(UseCloseButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForLogCount(QString("Download setup from %1:%2").arg(kLoopback).arg(port), 1)) << Dump();
  EXPECT_EQ(Control<QLabel>("NameLabel")->text(), QString::fromStdString(chosen.device_name));
  ASSERT_EQ(Grid()->rowCount(), static_cast<int>(chosen.sensors.size()) + 1) << "its sensors and the empty last row";
  for (size_t row = 0; row < chosen.sensors.size(); ++row)
    EXPECT_EQ(Cell(static_cast<int>(row), calibrator::kNameColumn), QString::fromStdString(chosen.sensors[row].name));
  EXPECT_FALSE(SearchButton()->isEnabled()) << "no search while a device is open";
}

TEST_F(AppWindowSearch, ChoiceMadeAfterTheWindowClosedFillsNothing) {
  ASSERT_NO_FATAL_FAILURE(StartFleet(Fleet()));
  bool acted = false;
  ModalWatcher watcher([&](QWidget *dialog) {
    // The window goes, and its TUdps with it, while the dialog is still open.
    form_.close();
    acted = ActOn(dialog, DialogAct::kSelectThenOk, 0);
  });
  PressSearch();
  ASSERT_TRUE(WaitForDialogClosed(watcher)) << Dump();
  EXPECT_TRUE(acted);
  ExpectFieldsUnchanged();
  EXPECT_FALSE(SearchButton()->isEnabled()) << "a closed window searches no more";
}

struct ChoiceCase {
  const char *name;
  DialogAct act;
  bool fills;  // the chosen device's address and port go to the fields
};

void PrintTo(const ChoiceCase &c, std::ostream *out) { *out << c.name; }

class AppWindowSearchChoice : public AppWindowSearch, public ::testing::WithParamInterface<ChoiceCase> {};

// The device acted on is listed last and is not the first to answer, so that
// a line handed back as the wrong device's shows in the port.
TEST_P(AppWindowSearchChoice, FillsTheFieldsOnlyForAChosenDevice) {
  const ChoiceCase &c = GetParam();
  const std::vector<devsim::DeviceConfig> fleet = Fleet();
  ASSERT_NO_FATAL_FAILURE(StartFleet(fleet));
  int line = -1;
  ModalWatcher watcher([&](QWidget *dialog) {
    line = static_cast<int>(DialogLines(dialog).indexOf(ExpectedLine(fleet.back())));
    ActOn(dialog, c.act, c.act == DialogAct::kOk ? -1 : line);
  });
  PressSearch();
  ASSERT_TRUE(WaitForDialogClosed(watcher)) << Dump();
  ASSERT_NE(line, -1) << "the device is listed";
  ExpectIdle();
  if (!c.fills) {
    ExpectFieldsUnchanged();
    return;
  }
  EXPECT_EQ(HostText(), kLoopback);
  // The simulated device answers with the port it listens on.
  EXPECT_EQ(PortText(), QString::number(fleet_.back()->port()));
  EXPECT_EQ(form_.focusWidget(), Control<QLineEdit>("PassEdit")) << "the first empty field comes next";
}

INSTANTIATE_TEST_SUITE_P(Acts, AppWindowSearchChoice,
                         ::testing::Values(ChoiceCase{"double_click_fills_the_fields", DialogAct::kDoubleClick, true},
                                           ChoiceCase{"select_then_ok_fills_the_fields", DialogAct::kSelectThenOk,
                                                      true},
                                           ChoiceCase{"cancel_changes_nothing", DialogAct::kSelectThenCancel, false},
                                           ChoiceCase{"escape_changes_nothing", DialogAct::kSelectThenEscape, false},
                                           ChoiceCase{"ok_without_a_selection_changes_nothing", DialogAct::kOk, false}),
                         [](const ::testing::TestParamInfo<ChoiceCase> &info) { return std::string(info.param.name); });

// How a search comes to fail.
enum class FailureCause {
  kAnotherSearchRuns,  // the library refuses at once: another object searches
  kUnsendable,         // the search starts, but its datagram cannot be sent
};

struct FailureCase {
  const char *name;
  FailureCause cause;
  bool starts;  // the search started before it failed
};

void PrintTo(const FailureCase &c, std::ostream *out) { *out << c.name; }

// Hears when another object's search has ended.
struct SearchListener {
  bool done = false;
  void Done(zelvoapi::TSdkSimpleEventArgs &) { done = true; }
};

// A proxy address that no datagram can be sent to and that no resolver is
// asked about: its last number is out of range.
const char *const kUnsendableProxy = "127.0.0.256";

class AppWindowSearchFailure : public AppWindowSearch, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(AppWindowSearchFailure, SaysWhyAndOffersSearchAgain) {
  const FailureCase &c = GetParam();
  ASSERT_NO_FATAL_FAILURE(StartFleet(Fleet()));
  ModalWatcher watcher([](QWidget *dialog) { dialog->close(); });
  SearchListener listener;
  zelvoapi::TUdps other(nullptr);
  other.OnSearchDone = std::make_unique<zelvoapi::EventHandler<SearchListener, zelvoapi::TSdkSimpleEventArgs>>(
      &listener, &SearchListener::Done);
  if (c.cause == FailureCause::kAnotherSearchRuns) {
    ASSERT_EQ(other.Search(), zelvoapi::UDPS_DONE);
  } else {
    ASSERT_EQ(qxudps_set_proxy(kUnsendableProxy, responder_.port(), "proxy"), 0);
  }

  PressSearch();
  if (c.starts) {
    EXPECT_FALSE(SearchButton()->isEnabled());
    EXPECT_EQ(StatusText(), kSearchingStatus);
  }
  ASSERT_TRUE(PumpUntil([&] { return !LogLines().filter("Search failed: ").isEmpty(); })) << Dump();
  qx_error_record error{};
  qxudps_error(&error);
  EXPECT_STRNE(error.text, "");
  const QString failed = QString("Search failed: %1").arg(QString::fromLocal8Bit(error.text));
  const QStringList expected = c.starts ? QStringList{"Searching devices...", failed} : QStringList{failed};
  EXPECT_EQ(LogLines(), expected);
  ExpectIdle();

  // The other object's search ends as its own: the window offers nothing.
  if (c.cause == FailureCause::kAnotherSearchRuns) {
    ASSERT_TRUE(PumpUntil([&] { return listener.done; }));
  }
  QTest::qWait(kTickMs * kResponsiveTicks);  // room for a dialog that must not open
  EXPECT_EQ(watcher.Count(), 0);
  EXPECT_EQ(LogLines().count("Search finished"), 0) << Dump();
  ExpectFieldsUnchanged();
}

INSTANTIATE_TEST_SUITE_P(
    Causes, AppWindowSearchFailure,
    ::testing::Values(FailureCase{"refused_while_another_search_runs", FailureCause::kAnotherSearchRuns, false},
                      FailureCase{"datagram_cannot_be_sent", FailureCause::kUnsendable, true}),
    [](const ::testing::TestParamInfo<FailureCase> &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace calibrator_test
