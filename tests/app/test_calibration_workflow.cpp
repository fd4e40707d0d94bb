// The calibration round trip through the whole program against a simulated
// device: the reference reading, the verification after every post, the
// wait before the read-back, the watch on the values and the record of
// every attempt with its CSV forms.
#include <QCheckBox>
#include <QElapsedTimer>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>

#include "app/calib_input.h"
#include "app/calibration_record.h"
#include "app/calibrecordf.h"
#include "app/sensor_cell_delegate.h"
#include "app/setcalibf.h"
#include "tests/app/csv_reader.h"
#include "tests/app/main_window_fixture.h"

namespace calibrator_test {
namespace {

using calibrator::kCalibrationColumn;
using calibrator::TCalibrationRow;
using calibrator::TVerdict;

constexpr int kIncubatorRow = 1;  // sensor 102: shows 30.2, offset 0.0
constexpr unsigned kIncubatorId = 102;
constexpr const char *kVerified = "Calibration of Incubator (ID 102) verified: ";
constexpr const char *kNotApplied = "Calibration of Incubator (ID 102) NOT applied: ";
constexpr const char *kNotVerified = "Calibration of Incubator (ID 102) could not be verified: ";
constexpr const char *kRecordNotWritten = "Calibration record not written to ";
// The shortest watch period, in seconds, and two of them with room for
// their downloads.
constexpr int kWatchSeconds = 2;
constexpr int kPeriodSlackMs = 1000;
constexpr int kTwoPeriodsMs = 2 * kWatchSeconds * 1000 + kPeriodSlackMs;

class AppWorkflow : public MainWindowTest {
 protected:
  void Open(const devsim::DeviceConfig &config = qxsupport::SteadyVariant("thermometer")) {
    StartDevice(config);
    OpenDevice("admin", "admin");
  }

  // Opens the Incubator's dialog, lets `fill` type into it and presses OK.
  void Calibrate(const std::function<void(calibrator::TSetCalibForm *)> &fill) {
    ModalWatcher watcher(CalibDialogAct([&](calibrator::TSetCalibForm *dialog) {
      fill(dialog);
      QTest::mouseClick(dialog->findChild<QPushButton *>("OKBitBtn"), Qt::LeftButton);
    }));
    DoubleClickRow(kIncubatorRow);
    ASSERT_EQ(watcher.Count(), 1);
  }
  void PostOffset(const QString &offset) {
    Calibrate([&](calibrator::TSetCalibForm *dialog) {
      auto *edit = dialog->findChild<QLineEdit *>("CalibEdit");
      edit->selectAll();
      QTest::keyClicks(edit, offset);
    });
  }
  void PostReference(const QString &reading) {
    Calibrate([&](calibrator::TSetCalibForm *dialog) {
      QTest::keyClicks(dialog->findChild<QLineEdit *>("ReferenceEdit"), reading);
    });
  }

  int FindLine(const QString &prefix, int from = 0) {
    const QStringList log = LogLines();
    for (int i = from; i < log.size(); ++i)
      if (log[i].startsWith(prefix)) return i;
    return -1;
  }
  bool WaitForLine(const QString &prefix, int from, int timeout_ms = kWaitMs) {
    return PumpUntil([&] { return FindLine(prefix, from) >= 0; }, timeout_ms);
  }
  int CountLines(const QString &prefix, int from = 0) {
    int count = 0;
    for (int i = FindLine(prefix, from); i >= 0; i = FindLine(prefix, i + 1)) ++count;
    return count;
  }
  // The mark of the Incubator's calibration cell: invalid when there is none.
  QVariant Mark() {
    const QTableWidgetItem *cell = Grid()->item(kIncubatorRow, kCalibrationColumn);
    return cell ? cell->data(calibrator::kVerdictRole) : QVariant();
  }
  bool Idle() { return ReadButton()->isEnabled(); }

  void StartWatch(int seconds) {
    Control<QSpinBox>("WatchSpinBox")->setValue(seconds);
    Control<QCheckBox>("WatchCheckBox")->setChecked(true);
  }
  void Configure(int apply_wait_ms, const QString &record_path) {
    calibrator::TStartOptions options;
    options.ApplyWaitMs = apply_wait_ms;
    options.RecordPath = record_path;
    form_.Prefill(options);
  }
};

// ---- One verification for every post ----------------------------------

struct VerifyCase {
  const char *name;
  const char *fault;      // in the simulator's text form; nullptr for none
  const char *reference;  // typed as reference reading; nullptr to type `offset`
  const char *offset;     // typed as offset, or the offset the reference gives
  const char *line;       // the verdict line
  TVerdict verdict;
  int mark;     // 1 tick, 0 cross, -1 none
  double held;  // what the device holds afterwards
};

void PrintTo(const VerifyCase &c, std::ostream *out) { *out << c.name; }

class AppVerify : public AppWorkflow, public ::testing::WithParamInterface<VerifyCase> {};

TEST_P(AppVerify, ComparesTheReadBackWithThePostedOffsetLogsMarksAndRecords) {
  const VerifyCase &c = GetParam();
  Open();
  if (c.fault) server_.set_fault(*devsim::parse_fault(c.fault));
  const int from = LogLines().size();
  if (c.reference) {
    PostReference(c.reference);
  } else {
    PostOffset(c.offset);
  }
  ASSERT_TRUE(WaitForLine(c.line, from)) << Dump();
  EXPECT_EQ(CountLines("Calibration of Incubator (ID 102) ", from), 1) << "one verdict per post\n" << Dump();
  ASSERT_TRUE(PumpUntil([&] { return Idle(); })) << Dump();
  EXPECT_EQ(server_.sensor_calibration(kIncubatorId), c.held);

  const QVariant mark = Mark();
  if (c.mark < 0) {
    EXPECT_FALSE(mark.isValid());
  } else {
    ASSERT_TRUE(mark.isValid());
    EXPECT_EQ(mark.toBool(), c.mark == 1);
    EXPECT_FALSE(Grid()->item(kIncubatorRow, kCalibrationColumn)->toolTip().isEmpty());
  }

  const std::vector<TCalibrationRow> &record = form_.CalibrationRecord();
  ASSERT_EQ(record.size(), 1u);
  const TCalibrationRow &row = record[0];
  EXPECT_EQ(row.Verdict, c.verdict);
  EXPECT_EQ(row.Host, "127.0.0.1");
  EXPECT_EQ(row.Port, static_cast<unsigned>(port_));
  EXPECT_EQ(row.DeviceName, "Lab thermometer");
  EXPECT_EQ(row.Id, static_cast<int>(kIncubatorId));
  EXPECT_EQ(row.SensorName, "Incubator");
  EXPECT_EQ(row.ValueBefore, "30.2");
  EXPECT_EQ(row.OffsetBefore, "0.0");
  EXPECT_EQ(row.Reference, c.reference ? c.reference : "");
  EXPECT_EQ(row.OffsetPosted, c.offset);
  EXPECT_EQ(row.OffsetReadBack, c.verdict == TVerdict::NotVerified ? "" : calibrator::CalibrationText(c.held));

  // The mark lasts until the next download.
  if (c.mark >= 0) {
    server_.clear_faults();
    const int downloads = LogLines().count(DownloadedLine());
    QTest::mouseClick(ReadButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitForLogCount(DownloadedLine(), downloads + 1)) << Dump();
    EXPECT_FALSE(Mark().isValid());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Posts, AppVerify,
    ::testing::Values(
        // 0.0 + (30.5 - 30.2)
        VerifyCase{"reference_verified", nullptr, "30.5", "0.3",
                   "Calibration of Incubator (ID 102) verified: 0.0 \u2192 0.3", TVerdict::Verified, 1, 0.3},
        // 0.0 + (29.95 - 30.2) = -0.25, rounded away from zero
        VerifyCase{"reference_below_rounds", nullptr, "29.95", "-0.3",
                   "Calibration of Incubator (ID 102) verified: 0.0 \u2192 -0.3", TVerdict::Verified, 1, -0.3},
        VerifyCase{"typed_verified", nullptr, nullptr, "0.5",
                   "Calibration of Incubator (ID 102) verified: 0.0 \u2192 0.5", TVerdict::Verified, 1, 0.5},
        VerifyCase{"ignored_post", "ignore-post@post", nullptr, "0.5",
                   "Calibration of Incubator (ID 102) NOT applied: the device reports 0.0 (posted 0.5)",
                   TVerdict::NotApplied, 0, 0.0},
        VerifyCase{"refused_post", "status:403@post", nullptr, "0.5",
                   "Calibration of Incubator (ID 102) NOT applied: the device reports 0.0 (posted 0.5)",
                   TVerdict::NotApplied, 0, 0.0},
        VerifyCase{"read_back_fails", "status:503@setup", nullptr, "0.5",
                   "Calibration of Incubator (ID 102) could not be verified: HTTP: Service Unavailable",
                   TVerdict::NotVerified, -1, 0.5}),
    [](const ::testing::TestParamInfo<VerifyCase> &info) { return std::string(info.param.name); });

// ---- The wait before the read-back -------------------------------------

TEST_F(AppWorkflow, ApplyWaitDelaysTheReadBack) {
  constexpr int kApplyWaitMs = 3000;
  constexpr int kNotBeforeMs = 2500;  // the read-back must not have started by then
  Configure(kApplyWaitMs, QString());
  Open();
  const int from = LogLines().size();
  PostOffset("0.5");
  ASSERT_TRUE(WaitForLine("Wait for applying new calibration value...", from)) << Dump();
  const std::size_t requests = server_.request_count();
  QTest::qWait(kNotBeforeMs);
  EXPECT_EQ(server_.request_count(), requests) << "no read-back before the wait is over";
  EXPECT_EQ(FindLine(DownloadedLine(), from), -1) << Dump();
  ASSERT_TRUE(WaitForLine(kVerified, from, kApplyWaitMs - kNotBeforeMs + kWaitMs)) << Dump();
  EXPECT_GT(server_.request_count(), requests);
}

// ---- The watch ---------------------------------------------------------

TEST_F(AppWorkflow, WatchDownloadsRepeatedlyWithoutLoggingAndShowsTheTime) {
  Open();
  const int lines = LogLines().size();
  const std::size_t requests = server_.request_count();
  StartWatch(kWatchSeconds);
  ASSERT_TRUE(PumpUntil([&] { return server_.request_count() >= requests + 2; }, kTwoPeriodsMs + kWaitMs));
  ASSERT_TRUE(PumpUntil([&] { return Idle(); })) << Dump();
  EXPECT_EQ(LogLines().size(), lines) << "a watched download that succeeds logs nothing\n" << Dump();
  EXPECT_TRUE(StatusText().contains("watched, last download ")) << StatusText().toStdString();
  EXPECT_EQ(Cell(kIncubatorRow, calibrator::kNameColumn), "Incubator");
}

TEST_F(AppWorkflow, WatchPausesWhileTheDialogIsOpenAndResumesAfter) {
  Open();
  StartWatch(kWatchSeconds);
  // Right after a watched download the next one is a whole period away.
  std::size_t requests = server_.request_count();
  ASSERT_TRUE(PumpUntil([&] { return server_.request_count() > requests && Idle(); }, kTwoPeriodsMs + kWaitMs));
  std::size_t at_open = 0, at_close = 0;
  ModalWatcher watcher([&](QWidget *modal) {
    at_open = server_.request_count();
    // Longer than two periods: the watch would have downloaded twice.
    QTimer::singleShot(kTwoPeriodsMs, modal, [&, modal] {
      at_close = server_.request_count();
      qobject_cast<QDialog *>(modal)->reject();
    });
  });
  DoubleClickRow(kIncubatorRow);
  ASSERT_EQ(watcher.Count(), 1);
  EXPECT_EQ(at_close, at_open) << "no download while the dialog is open";
  ASSERT_TRUE(PumpUntil([&] { return server_.request_count() > at_close; }, kTwoPeriodsMs + kWaitMs))
      << "the watch goes on once the dialog is closed";
}

TEST_F(AppWorkflow, WatchStopsOnAFailedDownload) {
  Open();
  StartWatch(kWatchSeconds);
  server_.set_fault(*devsim::parse_fault("status:503@setup"));
  const int from = LogLines().size();
  ASSERT_TRUE(WaitForLine("Download setup error: HTTP: Service Unavailable", from, kTwoPeriodsMs + kWaitMs)) << Dump();
  EXPECT_FALSE(Control<QCheckBox>("WatchCheckBox")->isChecked());
  EXPECT_GE(FindLine("Watch stopped", from), 0) << Dump();
  ASSERT_TRUE(PumpUntil([&] { return Idle(); })) << Dump();
  const std::size_t requests = server_.request_count();
  QTest::qWait(kTwoPeriodsMs);
  EXPECT_EQ(server_.request_count(), requests) << "no download after the watch stopped";
}

TEST_F(AppWorkflow, ValueThatChangedSinceThePreviousDownloadIsHighlightedBriefly) {
  Open();
  const int from = LogLines().size();
  PostOffset("0.5");  // the Incubator's reading moves from 30.2 to 30.7
  ASSERT_TRUE(WaitForLine(kVerified, from)) << Dump();
  const auto changed = [&](int row) {
    const QTableWidgetItem *cell = Grid()->item(row, calibrator::kValueColumn);
    return cell && cell->data(calibrator::kChangedRole).toBool();
  };
  EXPECT_EQ(Cell(kIncubatorRow, calibrator::kValueColumn), QString::fromUtf8("30.7 \u00b0C"));
  EXPECT_TRUE(changed(kIncubatorRow));
  EXPECT_FALSE(changed(0)) << "a steady reading is not marked";
  EXPECT_TRUE(
      PumpUntil([&] { return !changed(kIncubatorRow); }, calibrator::TMainForm::kChangeHighlightMs + kPeriodSlackMs));
}

// ---- The record ---------------------------------------------------------

TEST_F(AppWorkflow, RecordHoldsOneRowPerAttemptWithItsVerdictAndTheWindowListsThem) {
  Open();
  const struct {
    const char *fault;
    const char *offset;
    const char *line;
    TVerdict verdict;
  } attempts[] = {
      {nullptr, "0.5", kVerified, TVerdict::Verified},
      {"ignore-post@post", "0.7", kNotApplied, TVerdict::NotApplied},
      {"status:503@setup", "0.9", kNotVerified, TVerdict::NotVerified},
  };
  for (const auto &attempt : attempts) {
    server_.clear_faults();
    if (attempt.fault) server_.set_fault(*devsim::parse_fault(attempt.fault));
    const int from = LogLines().size();
    PostOffset(attempt.offset);
    ASSERT_TRUE(WaitForLine(attempt.line, from)) << Dump();
    ASSERT_TRUE(PumpUntil([&] { return Idle(); })) << Dump();
    // Back to a list to double-click on.
    server_.clear_faults();
    QTest::mouseClick(ReadButton(), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return Idle() && Grid()->rowCount() > kIncubatorRow + 1; })) << Dump();
  }
  const std::vector<TCalibrationRow> &record = form_.CalibrationRecord();
  ASSERT_EQ(record.size(), std::size(attempts));
  for (std::size_t i = 0; i < record.size(); ++i) {
    EXPECT_EQ(record[i].Verdict, attempts[i].verdict) << i;
    EXPECT_EQ(record[i].OffsetPosted, attempts[i].offset) << i;
  }

  QTest::mouseClick(Control<QPushButton>("RecordButton"), Qt::LeftButton);
  auto *window = form_.findChild<calibrator::TCalibRecordForm *>("CalibRecordForm");
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  auto *table = window->findChild<QTableWidget *>("RecordTable");
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->rowCount(), static_cast<int>(std::size(attempts)));
  for (int row = 0; row < table->rowCount(); ++row) {
    const std::vector<std::string> fields = calibrator::CsvFields(record[static_cast<size_t>(row)]);
    for (int column = 0; column < table->columnCount(); ++column)
      EXPECT_EQ(table->item(row, column)->text().toStdString(), fields[static_cast<size_t>(column)]) << row;
  }
  EXPECT_EQ(table->item(1, table->columnCount() - 1)->text(), "not applied");
}

TEST_F(AppWorkflow, SavedCsvParsesBackToTheSameFieldsWithAwkwardNames) {
  devsim::DeviceConfig config = qxsupport::SteadyVariant("thermometer");
  config.device_name = "Lab, \"north\" wing";
  config.sensors[kIncubatorRow].name = "Incubator, \"B\"\nshelf 2";
  Open(config);
  const int from = LogLines().size();
  PostReference("30.5");
  ASSERT_TRUE(WaitForLine("Calibration of Incubator, \"B\"\nshelf 2 (ID 102) verified: ", from)) << Dump();

  QTest::mouseClick(Control<QPushButton>("RecordButton"), Qt::LeftButton);
  auto *window = form_.findChild<calibrator::TCalibRecordForm *>("CalibRecordForm");
  ASSERT_NE(window, nullptr);
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("record.csv");
  ASSERT_EQ(window->SaveCsvTo(path), QString());
  const auto records = ReadCsv(FileText(path.toStdString()));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].front(), "Time");
  EXPECT_EQ(records[1], calibrator::CsvFields(form_.CalibrationRecord().at(0)));
  EXPECT_EQ(records[1][3], "Lab, \"north\" wing");
  EXPECT_EQ(records[1][5], "Incubator, \"B\"\nshelf 2");
  EXPECT_EQ(records[1][9], "30.5");
  EXPECT_EQ(records[1][12], "verified");
}

TEST_F(AppWorkflow, RecordFileGetsEachAttemptAndTheHeaderOnce) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("trail.csv");
  Configure(calibrator::kApplyWaitDefaultMs, path);
  Open();
  for (const char *offset : {"0.5", "0.6"}) {
    const int from = LogLines().size();
    PostOffset(offset);
    ASSERT_TRUE(WaitForLine(kVerified, from)) << Dump();
    ASSERT_TRUE(PumpUntil([&] { return Idle(); })) << Dump();
  }
  const auto records = ReadCsv(FileText(path.toStdString()));
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].front(), "Time");
  EXPECT_EQ(records[1][10], "0.5");
  EXPECT_EQ(records[2][10], "0.6");
  EXPECT_EQ(FindLine(kRecordNotWritten), -1) << Dump();
}

TEST_F(AppWorkflow, RecordFileInAMissingFolderLogsOneLineAndTheCalibrationGoesOn) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  Configure(calibrator::kApplyWaitDefaultMs, dir.filePath("no such folder/trail.csv"));
  Open();
  const int from = LogLines().size();
  PostOffset("0.5");
  ASSERT_TRUE(WaitForLine(kVerified, from)) << Dump();
  ASSERT_TRUE(PumpUntil([&] { return Idle(); })) << Dump();
  EXPECT_EQ(CountLines(kRecordNotWritten, from), 1) << Dump();
  EXPECT_EQ(server_.sensor_calibration(kIncubatorId), 0.5);
  EXPECT_EQ(form_.CalibrationRecord().size(), 1u);
}

}  // namespace
}  // namespace calibrator_test
