// Opening a device from the main window: the port check, the host lookup off
// the window's thread, Enter in the password field and the first focus.
#include <QMessageBox>
#include <chrono>
#include <future>

#include "app/device_address.h"
#include "app/host_lookup.h"
#include "tests/app/main_window_fixture.h"

namespace calibrator_test {
namespace {

struct BadPortCase {
  const char *name;
  const char *port;
};

void PrintTo(const BadPortCase &c, std::ostream *out) { *out << c.name << " '" << c.port << "'"; }

class AppWindowBadPort : public MainWindowTest, public ::testing::WithParamInterface<BadPortCase> {};

// Regression: "P" opened port 23 and "83536" ended as "Error: IP not valid".
TEST_P(AppWindowBadPort, ShowsWhyAndOpensNothing) {
  const BadPortCase &c = GetParam();
  StartDevice(qxsupport::SteadyVariant("thermometer"));
  MessageBoxRecorder boxes;
  PressOpen("127.0.0.1", c.port, "admin", "admin");
  ASSERT_TRUE(PumpUntil([&] { return boxes.Count() >= 1; })) << Dump();
  const MessageBoxRecorder::Box box = boxes.At(0);
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  EXPECT_EQ(box.buttons, QMessageBox::Ok);
  EXPECT_TRUE(box.text.contains(QString("\"%1\"").arg(c.port))) << qPrintable(box.text);
  EXPECT_TRUE(box.text.contains("1 to 65535")) << qPrintable(box.text);
  EXPECT_EQ(form_.focusWidget(), Control<QLineEdit>("PortEdit")) << "ready for the corrected port";

  QTest::qWait(200);  // room for whatever the click might have set going
  EXPECT_EQ(boxes.Count(), 1);
  EXPECT_EQ(UseCloseButton()->text(), "&Open This Device");
  EXPECT_TRUE(UseCloseButton()->isEnabled());
  EXPECT_FALSE(ReadButton()->isEnabled());
  EXPECT_TRUE(LogLines().isEmpty()) << Dump();
  EXPECT_EQ(server_.request_count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Ports, AppWindowBadPort,
                         ::testing::Values(BadPortCase{"letter", "P"}, BadPortCase{"past_the_range", "83536"},
                                           BadPortCase{"zero", "0"}),
                         [](const ::testing::TestParamInfo<BadPortCase> &info) {
                           return std::string(info.param.name);
                         });

class AppWindowOpen : public MainWindowTest {
 protected:
  // Makes the window's lookups wait until Release (or kWaitMs) before they
  // resolve, so that the test sees the window while a lookup runs.
  void HoldLookups() {
    auto *lookup = form_.findChild<calibrator::THostLookup *>("HostLookup");
    ASSERT_NE(lookup, nullptr);
    std::shared_future<void> released = release_.get_future().share();
    lookup->SetResolver([released](const std::string &name) {
      released.wait_for(std::chrono::milliseconds(kWaitMs));
      return calibrator::ResolveIPv4(name);
    });
  }
  void Release() { release_.set_value(); }

  std::promise<void> release_;
};

TEST_F(AppWindowOpen, HostLookupLeavesTheWindowResponsive) {
  HoldLookups();
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
  ticker.start(10);
  MessageBoxRecorder boxes;

  PressOpen("no-such-device.invalid", "80", "", "");
  // The click has returned; the lookup runs, and shows that it does.
  EXPECT_EQ(boxes.Count(), 0);
  EXPECT_FALSE(UseCloseButton()->isEnabled());
  EXPECT_EQ(UseCloseButton()->text(), "Looking up...");
  EXPECT_FALSE(Control<QLineEdit>("IPEdit")->isEnabled());
  EXPECT_EQ(StatusText(), "Looking up no-such-device.invalid...");
  EXPECT_TRUE(GridShowsBusy());
  // Meanwhile the window's queue runs: timers tick, nothing is shown yet.
  EXPECT_TRUE(PumpUntil([&] { return ticks >= 5; }));
  EXPECT_EQ(boxes.Count(), 0);

  Release();
  ASSERT_TRUE(PumpUntil([&] { return boxes.Count() >= 1; }));
  EXPECT_EQ(boxes.At(0).text, "Unknow device, addres can not be resolved!");
  EXPECT_EQ(boxes.At(0).icon, QMessageBox::Critical);
  EXPECT_TRUE(UseCloseButton()->isEnabled());
  EXPECT_EQ(UseCloseButton()->text(), "&Open This Device");
  EXPECT_TRUE(Control<QLineEdit>("IPEdit")->isEnabled());
  EXPECT_EQ(StatusText(), "No device open");
  EXPECT_FALSE(GridShowsBusy());
  EXPECT_TRUE(LogLines().isEmpty()) << Dump();
}

TEST_F(AppWindowOpen, LookupFinishedAfterTheWindowClosedOpensNothing) {
  StartDevice(qxsupport::SteadyVariant("thermometer"));
  HoldLookups();
  MessageBoxRecorder boxes;
  PressOpen("127.0.0.1", QString::number(port_), "admin", "admin");
  form_.close();
  Release();
  QTest::qWait(300);  // room for the lookup's result to arrive
  EXPECT_EQ(boxes.Count(), 0);
  EXPECT_EQ(server_.request_count(), 0u);
  EXPECT_TRUE(LogLines().isEmpty()) << Dump();
}

TEST_F(AppWindowOpen, EnterInThePasswordFieldOpensTheDevice) {
  StartDevice(qxsupport::SteadyVariant("thermometer"));
  Control<QLineEdit>("IPEdit")->setText("127.0.0.1");
  Control<QLineEdit>("PortEdit")->setText(QString::number(port_));
  Control<QLineEdit>("UserEdit")->setText("admin");
  QLineEdit *password = Control<QLineEdit>("PassEdit");
  password->setFocus();
  QTest::keyClicks(password, "admin");
  QTest::keyClick(password, Qt::Key_Return);
  ASSERT_TRUE(WaitForLogCount(DownloadedLine(), 1)) << Dump();
  EXPECT_EQ(UseCloseButton()->text(), "&Close");
  EXPECT_EQ(form_.focusWidget(), Grid()) << "the keyboard goes on to the list";
}

struct FocusCase {
  const char *name;
  const char *emptied;  // a field emptied before the prefill, nullptr for none
  calibrator::TStartOptions options;
  const char *focused;
};

void PrintTo(const FocusCase &c, std::ostream *out) { *out << c.name; }

class AppWindowFocus : public ::testing::TestWithParam<FocusCase> {};

TEST_P(AppWindowFocus, StartsInTheFirstEmptyConnectionField) {
  const FocusCase &c = GetParam();
  calibrator::TMainForm form;
  if (c.emptied) form.findChild<QLineEdit *>(c.emptied)->clear();
  form.Prefill(c.options);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  ASSERT_NE(form.focusWidget(), nullptr);
  EXPECT_EQ(form.focusWidget()->objectName(), c.focused);
}

INSTANTIATE_TEST_SUITE_P(Prefills, AppWindowFocus,
                         ::testing::Values(FocusCase{"demo", nullptr, {"127.0.0.1", "8080", "admin"}, "PassEdit"},
                                           FocusCase{"defaults", nullptr, {}, "UserEdit"},
                                           FocusCase{"no_host", "IPEdit", {}, "IPEdit"},
                                           FocusCase{"no_port", "PortEdit", {"127.0.0.1", "", "admin"}, "PortEdit"}),
                         [](const ::testing::TestParamInfo<FocusCase> &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace calibrator_test
