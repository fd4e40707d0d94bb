// A device that misbehaves, through the whole program: every fault ends in a
// clear log line, the window's controls come back, and the operator's retry
// works once the fault is gone. At the post the program must say only what
// it knows: a refused post was not applied, an unreadable reply may have
// been, and the setup read back afterwards shows what the device holds.
#include "app/setcalibf.h"
#include "tests/app/main_window_fixture.h"

namespace calibrator_test {
namespace {

using calibrator::kCalibrationColumn;

constexpr int kIncubatorRow = 1;  // sensor 102, offset 0.0
constexpr unsigned kIncubatorId = 102;
// Long enough for a download from loopback.
constexpr int kReplyMs = 5000;
// A silent device ends a reply after ten one-second waits without data.
constexpr int kSilenceMs = 15000;

class AppFaults : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    StartDevice(qxsupport::SteadyVariant("thermometer"));
    OpenDevice("admin", "admin");
  }

  // Posts `offset` to the Incubator through its row's dialog.
  void PostOffset(const QString &offset) {
    ModalWatcher watcher(CalibDialogAct([&](calibrator::TSetCalibForm *dialog) {
      auto *edit = dialog->findChild<QLineEdit *>("CalibEdit");
      edit->selectAll();
      QTest::keyClicks(edit, offset);
      QTest::mouseClick(dialog->findChild<QPushButton *>("OKBitBtn"), Qt::LeftButton);
    }));
    DoubleClickRow(kIncubatorRow);
    ASSERT_EQ(watcher.Count(), 1);
  }

  // The first log line from `from` on that starts with `prefix`, or -1.
  int FindLine(const QString &prefix, int from = 0) {
    const QStringList log = LogLines();
    for (int i = from; i < log.size(); ++i)
      if (log[i].startsWith(prefix)) return i;
    return -1;
  }
  bool WaitForLine(const QString &prefix, int from, int timeout_ms) {
    return PumpUntil([&] { return FindLine(prefix, from) >= 0; }, timeout_ms);
  }
  // The window is back to "ready": the operator may refresh and calibrate.
  void ExpectResponsive() {
    EXPECT_TRUE(ReadButton()->isEnabled());
    EXPECT_TRUE(UseCloseButton()->isEnabled());
    EXPECT_EQ(StatusText(), QString("Ready: %1 is open").arg(Address()));
    EXPECT_FALSE(GridShowsBusy());
  }
};

// ---- Faults of the setup download -------------------------------------

struct DownloadCase {
  const char *name;
  const char *fault;  // in the simulator's text form, at the setup
  const char *line;   // how the log's new line starts
  int timeout_ms;
};

void PrintTo(const DownloadCase &c, std::ostream *out) { *out << c.name << " (" << c.fault << ")"; }

class AppDownloadFault : public AppFaults, public ::testing::WithParamInterface<DownloadCase> {};

TEST_P(AppDownloadFault, EndsInALogLineAndTheRefreshWorksOnceTheFaultIsGone) {
  const DownloadCase &c = GetParam();
  const std::optional<devsim::Fault> fault = devsim::parse_fault(c.fault);
  ASSERT_TRUE(fault.has_value());
  server_.set_fault(*fault);
  const int from = LogLines().size();
  QTest::mouseClick(ReadButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForLine(c.line, from, c.timeout_ms)) << Dump();
  ASSERT_TRUE(PumpUntil([&] { return ReadButton()->isEnabled(); })) << Dump();
  ExpectResponsive();

  server_.clear_faults();
  const int downloads = LogLines().count(DownloadedLine());
  QTest::mouseClick(ReadButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForLogCount(DownloadedLine(), downloads + 1)) << Dump();
  EXPECT_EQ(Cell(kIncubatorRow, calibrator::kNameColumn), "Incubator");
  EXPECT_FALSE(Grid()->IsPartial());
  ExpectResponsive();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, AppDownloadFault,
    ::testing::Values(
        DownloadCase{"reset_mid_reply", "close-in-header@setup", "Download setup error: HTTP not found", kReplyMs},
        DownloadCase{"garbage", "garbage@setup", "Download setup error: HTTP not found", kReplyMs},
        DownloadCase{"garbage_body", "garbage-body@setup", "Download setup error: ", kReplyMs},
        DownloadCase{"short_status", "short-status@setup", "Download setup error: HTTP not found", kReplyMs},
        DownloadCase{"forbidden", "status:403@setup", "Download setup error: HTTP: Forbidden", kReplyMs},
        DownloadCase{"server_error", "status:503@setup", "Download setup error: HTTP: Service Unavailable", kReplyMs},
        DownloadCase{"oversized", "body-size:300000@setup", "Download setup error: ", kReplyMs},
        DownloadCase{"truncated", "truncate@setup", "Warning: ", kReplyMs},
        DownloadCase{"no_declaration", "no-declaration@setup", "Download setup error: ", kReplyMs},
        DownloadCase{"stall", "stall@setup", "Warning: ", kSilenceMs}),
    [](const ::testing::TestParamInfo<DownloadCase> &info) { return std::string(info.param.name); });

TEST_F(AppFaults, DeviceThatDisappearsAfterTheOpenFailsTheRefreshAndLeavesTheWindowWorking) {
  server_.stop();
  const int from = LogLines().size();
  QTest::mouseClick(ReadButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForLine("Download setup error: ", from, kWaitMs)) << Dump();
  ASSERT_TRUE(PumpUntil([&] { return ReadButton()->isEnabled(); })) << Dump();
  ExpectResponsive();
  // Pressed again, the refresh fails again rather than hanging.
  QTest::mouseClick(ReadButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForLine("Download setup error: ", FindLine("Download setup error: ", from) + 1, kWaitMs)) << Dump();
  // The operator closes; the device comes back and opens again.
  ASSERT_TRUE(PumpUntil([&] { return ReadButton()->isEnabled(); })) << Dump();
  QTest::mouseClick(UseCloseButton(), Qt::LeftButton);
  ASSERT_EQ(UseCloseButton()->text(), "&Open This Device");
  StartDevice(qxsupport::SteadyVariant("thermometer"));
  OpenDevice("admin", "admin");
  ExpectResponsive();
}

// ---- Faults of the calibration post ----------------------------------

struct PostFaultCase {
  const char *name;
  const char *fault;    // in the simulator's text form, at the post
  bool refused;         // the device did not take the offset
  const char *verdict;  // how the line that tells the post's outcome starts
  bool error_first;     // the library's error line comes right before it
  int timeout_ms;
};

constexpr const char *kNotApplied = "Calibration of sensor 102 was not applied: ";
constexpr const char *kMayBeApplied =
    "Calibration of sensor 102 may have been applied: the device's reply could not be read (";
constexpr const char *kCutShort = "Warning: the reply of ";

void PrintTo(const PostFaultCase &c, std::ostream *out) { *out << c.name << " (" << c.fault << ")"; }

class AppPostFault : public AppFaults, public ::testing::WithParamInterface<PostFaultCase> {};

// Regression: with an unreadable reply the device held the new offset while
// the log said it was not applied.
TEST_P(AppPostFault, SaysWhatItKnowsReadsTheSetupBackAndTheRetryWorks) {
  const PostFaultCase &c = GetParam();
  const std::optional<devsim::Fault> fault = devsim::parse_fault(c.fault);
  ASSERT_TRUE(fault.has_value());
  server_.set_fault(*fault);
  const int from = LogLines().size();
  PostOffset("0.5");
  const QString read_back =
      c.refused ? QString("Calibration of sensor %1: the device now holds 0, not the 0.5 posted").arg(kIncubatorId)
                : QString("Calibration of sensor %1: the device now holds 0.5, as posted").arg(kIncubatorId);
  ASSERT_TRUE(WaitForLine(read_back, from, c.timeout_ms)) << Dump();

  const int said = FindLine(c.verdict, from);
  ASSERT_GE(said, 0) << Dump();
  EXPECT_EQ(FindLine(c.refused ? kMayBeApplied : kNotApplied, from), -1) << Dump();
  if (c.error_first) {
    EXPECT_TRUE(LogLines()[said - 1].startsWith("Error: ")) << "the library's own text first\n" << Dump();
  }
  const int download = FindLine(DownloadedLine(), said);
  ASSERT_GT(download, said) << "the setup is read back after the failure\n" << Dump();
  EXPECT_EQ(FindLine(read_back, from), download + 1) << Dump();

  EXPECT_EQ(server_.sensor_calibration(kIncubatorId), c.refused ? 0.0 : 0.5);
  EXPECT_EQ(Cell(kIncubatorRow, kCalibrationColumn), c.refused ? "0.0" : "0.5") << "the grid shows the device's view";
  EXPECT_EQ(Grid()->currentRow(), kIncubatorRow);
  ExpectResponsive();

  // The fault is gone: the operator's retry is applied and read back.
  server_.clear_faults();
  const int downloads = LogLines().count(DownloadedLine());
  PostOffset("0.7");
  ASSERT_TRUE(WaitForLogCount(DownloadedLine(), downloads + 1)) << Dump();
  EXPECT_EQ(server_.sensor_calibration(kIncubatorId), 0.7);
  EXPECT_EQ(Cell(kIncubatorRow, kCalibrationColumn), "0.7");
  ExpectResponsive();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, AppPostFault,
    ::testing::Values(PostFaultCase{"refused_forbidden", "status:403@post", true, kNotApplied, true, kReplyMs},
                      PostFaultCase{"refused_server_error", "status:503@post", true, kNotApplied, true, kReplyMs},
                      PostFaultCase{"garbage", "garbage@post", false, kMayBeApplied, true, kReplyMs},
                      PostFaultCase{"garbage_body", "garbage-body@post", false, kMayBeApplied, true, kReplyMs},
                      PostFaultCase{"close_in_header", "close-in-header@post", false, kMayBeApplied, true, kReplyMs},
                      PostFaultCase{"no_declaration", "no-declaration@post", false, kMayBeApplied, true, kReplyMs},
                      PostFaultCase{"short_status", "short-status@post", false, kMayBeApplied, true, kReplyMs},
                      PostFaultCase{"oversized", "body-size:300000@post", false, kMayBeApplied, true, kReplyMs},
                      PostFaultCase{"truncated", "truncate@post", false, kCutShort, false, kReplyMs},
                      PostFaultCase{"stall", "stall@post", false, kCutShort, false, kSilenceMs}),
    [](const ::testing::TestParamInfo<PostFaultCase> &info) { return std::string(info.param.name); });

// The read-back after an unreadable reply fails too: the program says so
// once, does not retry on its own, and the operator's refresh shows the
// device's view once it answers again.
TEST_F(AppFaults, ReadBackThatFailsTooIsSaidOnceAndTheRefreshShowsTheDevice) {
  server_.set_fault(*devsim::parse_fault("garbage"));
  const int from = LogLines().size();
  PostOffset("0.5");
  const QString failed = QString(
                             "Calibration of sensor %1: the device's setup could not be read back; press Refresh to "
                             "see what it holds")
                             .arg(kIncubatorId);
  ASSERT_TRUE(WaitForLine(failed, from, kReplyMs)) << Dump();
  EXPECT_GE(FindLine(kMayBeApplied, from), 0) << Dump();
  const std::size_t requests = server_.request_count();
  ASSERT_TRUE(PumpUntil([&] { return ReadButton()->isEnabled(); })) << Dump();
  QTest::qWait(calibrator::TMainForm::kCalibrationApplyMs);  // time in which a retry would go out
  EXPECT_EQ(server_.request_count(), requests) << "no read-back of its own after the failed one";
  ExpectResponsive();

  server_.clear_faults();
  QTest::mouseClick(ReadButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForLogCount(DownloadedLine(), 2)) << Dump();
  EXPECT_EQ(Cell(kIncubatorRow, kCalibrationColumn), "0.5") << "the device took the offset";
  EXPECT_EQ(FindLine("Calibration of sensor 102: the device now", from), -1) << "the read-back was given up\n"
                                                                             << Dump();
}

}  // namespace
}  // namespace calibrator_test
