// Changing a sensor's calibration through the real windows: the dialog a
// row opens, the post, the one-second wait and the read-back.
#include <QElapsedTimer>
#include <algorithm>
#include <optional>

#include "app/setcalibf.h"
#include "tests/app/main_window_fixture.h"

namespace calibrator_test {
namespace {

using calibrator::kCalibrationColumn;

// The thermometer with a door contact as fifth sensor: its unit is the
// switch unit, so it lists as a binary input. Rows 0..3 are temperatures,
// row 4 the contact, row 5 the empty last row.
devsim::DeviceConfig ThermometerWithContact() {
  devsim::DeviceConfig config = qxsupport::SteadyVariant("thermometer");
  devsim::Sensor contact;
  contact.id = 105;
  contact.name = "Door contact";
  contact.units = "s";
  contact.exp = 0;
  config.sensors.push_back(contact);
  return config;
}

constexpr int kIncubatorRow = 1;  // sensor 102
constexpr int kContactRow = 4;
constexpr int kEmptyRow = 5;

// What the dialog showed when it opened.
struct DialogView {
  QString name, ip, port, id, calibration;
};

// How the test answers the dialog.
struct DialogAnswer {
  std::optional<QString> text;  // typed over the offset; nothing keeps it
  bool confirm = true;          // OK, else Cancel
};

class AppCalibration : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    StartDevice(ThermometerWithContact());
    OpenDevice("admin", "admin");
  }

  // Runs `trigger` and answers every calibration dialog it opens with
  // `answer`; `views` receives what each dialog showed.
  void WithDialog(const std::function<void()> &trigger, const DialogAnswer &answer, std::vector<DialogView> &views) {
    ModalWatcher watcher(CalibDialogAct([&](calibrator::TSetCalibForm *dialog) {
      auto label = [&](const char *name) { return dialog->findChild<QLabel *>(name)->text(); };
      auto *edit = dialog->findChild<QLineEdit *>("CalibEdit");
      views.push_back({label("NameLabel"), label("IPLabel"), label("PortLabel"), label("IDLabel"), edit->text()});
      if (answer.text) {
        edit->selectAll();
        QTest::keyClicks(edit, *answer.text);
      }
      confirmed_at_.start();
      QTest::mouseClick(dialog->findChild<QPushButton *>(answer.confirm ? "OKBitBtn" : "CancelBitBtn"), Qt::LeftButton);
    }));
    trigger();
  }

  // The status line while the device is given time to apply an offset.
  QString ApplyWaitStatus() const { return QString("Waiting for %1 to apply the new calibration...").arg(Address()); }

  QElapsedTimer confirmed_at_;
};

struct PostCase {
  const char *name;
  const char *typed;   // nullptr: the offset is confirmed as shown
  const char *posted;  // the Calib text the device receives
  double applied;      // the device's offset afterwards
};

void PrintTo(const PostCase &c, std::ostream *out) {
  *out << c.name << " '" << (c.typed ? c.typed : "(as shown)") << "'";
}

class AppCalibrationPost : public AppCalibration, public ::testing::WithParamInterface<PostCase> {};

TEST_P(AppCalibrationPost, OkPostsWaitsASecondAndListsTheDevicesNewSetup) {
  const PostCase &c = GetParam();
  std::vector<DialogView> views;
  DialogAnswer answer;
  if (c.typed) answer.text = QString::fromUtf8(c.typed);
  WithDialog([&] { DoubleClickRow(kIncubatorRow); }, answer, views);

  ASSERT_EQ(views.size(), 1u);
  EXPECT_EQ(views[0].name, "Incubator");
  EXPECT_EQ(views[0].ip, "127.0.0.1");
  EXPECT_EQ(views[0].port, QString::number(port_));
  EXPECT_EQ(views[0].id, "102");
  EXPECT_EQ(views[0].calibration, "0.0");

  ASSERT_TRUE(WaitForLogCount(DownloadedLine(), 2)) << Dump();
  EXPECT_GE(confirmed_at_.elapsed(), 1000) << "the device gets a second to apply the offset";
  const QStringList log = LogLines();
  const int finished =
      log.indexOf(QString("Set calibration finished. Download new setup from 127.0.0.1:%1").arg(port_));
  ASSERT_GE(finished, 0) << Dump();
  EXPECT_EQ(log.value(finished + 1), "Wait for applying new calibration value...") << Dump();
  EXPECT_EQ(log.value(finished + 2), "Downloading setup...") << Dump();
  EXPECT_EQ(log.value(finished + 3), DownloadedLine()) << Dump();

  const auto post = server_.last_post();
  ASSERT_TRUE(post.has_value());
  EXPECT_NE(post->body.find("<ID>102</ID>"), std::string::npos) << post->body;
  EXPECT_NE(post->body.find(std::string("<Calib>") + c.posted + "</Calib>"), std::string::npos) << post->body;
  EXPECT_EQ(server_.sensor_calibration(102), c.applied);

  EXPECT_EQ(Cell(kIncubatorRow, kCalibrationColumn), c.posted) << "the list shows the device's own view";
  EXPECT_EQ(Grid()->currentRow(), kIncubatorRow) << "the calibrated sensor's row is current again";
  EXPECT_TRUE(ReadButton()->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Offsets, AppCalibrationPost,
                         ::testing::Values(PostCase{"point", "0.5", "0.5", 0.5},
                                           PostCase{"unchanged", nullptr, "0.0", 0.0},
                                           PostCase{"comma_negative", "-1,5", "-1.5", -1.5},
                                           PostCase{"blanks_around", " 2.7 ", "2.7", 2.7}),
                         [](const ::testing::TestParamInfo<PostCase> &info) { return std::string(info.param.name); });

TEST_F(AppCalibration, EnterOnARowOpensItsDialog) {
  std::vector<DialogView> views;
  WithDialog(
      [&] {
        Grid()->setCurrentCell(2, 0);
        Grid()->setFocus();
        QTest::keyClick(Grid(), Qt::Key_Return);
      },
      {std::nullopt, false}, views);
  ASSERT_EQ(views.size(), 1u);
  EXPECT_EQ(views[0].name, "Fridge");
  EXPECT_EQ(views[0].id, "103");
}

TEST_F(AppCalibration, CancelPostsNothingAndLeavesTheList) {
  const QStringList log = LogLines();
  const QStringList row = Row(kIncubatorRow);
  std::vector<DialogView> views;
  WithDialog([&] { DoubleClickRow(kIncubatorRow); }, {QString("0.5"), false}, views);
  EXPECT_EQ(views.size(), 1u);
  EXPECT_FALSE(server_.last_post().has_value());
  EXPECT_EQ(LogLines(), log);
  EXPECT_EQ(Row(kIncubatorRow), row);
  EXPECT_TRUE(ReadButton()->isEnabled());
}

TEST_F(AppCalibration, TextThatIsNoNumberKeepsTheDialogOpenAndPostsNothing) {
  bool stayed_open = false;
  QString message;
  ModalWatcher watcher([&](QWidget *modal) {
    auto *edit = modal->findChild<QLineEdit *>("CalibEdit");
    edit->selectAll();
    QTest::keyClicks(edit, "abc");
    QTest::mouseClick(modal->findChild<QPushButton *>("OKBitBtn"), Qt::LeftButton);
    stayed_open = modal->isVisible();
    message = modal->findChild<QLabel *>("CalibMessageLabel")->text();
    QTest::mouseClick(modal->findChild<QPushButton *>("CancelBitBtn"), Qt::LeftButton);
  });
  DoubleClickRow(kIncubatorRow);
  EXPECT_EQ(watcher.Count(), 1);
  EXPECT_TRUE(stayed_open);
  EXPECT_FALSE(message.isEmpty());
  EXPECT_FALSE(server_.last_post().has_value());
}

TEST_F(AppCalibration, EmptyLastRowAndSwitchSensorOpenNoDialog) {
  ASSERT_EQ(Grid()->rowCount(), kEmptyRow + 1);
  ASSERT_EQ(Cell(kContactRow, calibrator::kNameColumn), "Door contact");
  ModalWatcher watcher([](QWidget *modal) { modal->close(); });
  for (int row : {kEmptyRow, kContactRow}) {
    DoubleClickRow(row);
    Grid()->setCurrentCell(row, 0);
    QTest::keyClick(Grid(), Qt::Key_Return);
  }
  EXPECT_EQ(watcher.Count(), 0);
  EXPECT_FALSE(server_.last_post().has_value());
}

struct RefusalCase {
  const char *name;
  long status;        // the device's answer to the post
  const char *error;  // its text in the log
};

void PrintTo(const RefusalCase &c, std::ostream *out) { *out << c.name; }

class AppCalibrationRefused : public AppCalibration, public ::testing::WithParamInterface<RefusalCase> {};

// Regression: a refused post left the list empty until the next refresh.
TEST_P(AppCalibrationRefused, SaysTheOffsetWasNotAppliedAndListsTheDevicesView) {
  const RefusalCase &c = GetParam();
  server_.set_fault({devsim::FaultKind::status, devsim::FaultTarget::post, c.status});
  std::vector<DialogView> views;
  WithDialog([&] { DoubleClickRow(kIncubatorRow); }, {QString("0.5"), true}, views);
  ASSERT_TRUE(WaitForLogCount(DownloadedLine(), 2)) << Dump();

  const QStringList log = LogLines();
  const int error = log.indexOf(QString("Error: %1").arg(c.error));
  ASSERT_GE(error, 0) << Dump();
  EXPECT_EQ(log.value(error + 1), QString("Calibration of sensor 102 was not applied: %1").arg(c.error)) << Dump();
  EXPECT_EQ(log.value(error + 2), "Downloading setup...") << Dump();
  EXPECT_EQ(log.value(error + 3), DownloadedLine()) << Dump();
  EXPECT_TRUE(log.filter("Set calibration finished").isEmpty()) << Dump();

  EXPECT_EQ(server_.sensor_calibration(102), 0.0) << "the device refused the post";
  EXPECT_EQ(Grid()->rowCount(), kEmptyRow + 1);
  EXPECT_EQ(Cell(kIncubatorRow, kCalibrationColumn), "0.0") << "the device's own view";
  EXPECT_EQ(Grid()->currentRow(), kIncubatorRow);
  EXPECT_TRUE(ReadButton()->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Statuses, AppCalibrationRefused,
                         ::testing::Values(RefusalCase{"bad_request", 400, "HTTP: Bad Request"},
                                           RefusalCase{"server_error", 500, "HTTP: Internal Server Error"}),
                         [](const ::testing::TestParamInfo<RefusalCase> &info) {
                           return std::string(info.param.name);
                         });

TEST_F(AppCalibration, ApplyWaitLeavesTheWindowRespondingAndPostsNothingElse) {
  std::vector<DialogView> views;
  WithDialog([&] { DoubleClickRow(kIncubatorRow); }, {QString("0.5"), true}, views);
  ASSERT_TRUE(WaitForLogCount("Wait for applying new calibration value...", 1)) << Dump();
  // The wait is running and the test runs with it: the window's thread is free.
  const std::size_t requests = server_.request_count();
  EXPECT_EQ(StatusText(), ApplyWaitStatus());
  EXPECT_TRUE(GridShowsBusy());
  EXPECT_FALSE(ReadButton()->isEnabled());
  EXPECT_TRUE(UseCloseButton()->isEnabled()) << "the device can be closed during the wait";
  QTest::mouseClick(ReadButton(), Qt::LeftButton);
  ModalWatcher watcher([](QWidget *modal) { modal->close(); });
  DoubleClickRow(kIncubatorRow);
  EXPECT_EQ(watcher.Count(), 0);
  EXPECT_EQ(server_.request_count(), requests);

  ASSERT_TRUE(WaitForLogCount(DownloadedLine(), 2)) << Dump();
  const std::vector<devsim::Request> sent = server_.requests();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[sent.size() - 2].method, "POST");
  EXPECT_EQ(sent.back().method, "GET") << "the read-back follows the post directly";
  EXPECT_EQ(server_.request_count(), requests + 1);
  EXPECT_EQ(StatusText(), QString("Ready: %1 is open").arg(Address()));
  EXPECT_FALSE(GridShowsBusy());
}

TEST_F(AppCalibration, CloseDuringTheApplyWaitCancelsTheReadBack) {
  std::vector<DialogView> views;
  WithDialog([&] { DoubleClickRow(kIncubatorRow); }, {QString("0.5"), true}, views);
  ASSERT_TRUE(WaitForLogCount("Wait for applying new calibration value...", 1)) << Dump();
  ASSERT_EQ(StatusText(), ApplyWaitStatus()) << "the wait runs while the window takes the click";
  QTest::mouseClick(UseCloseButton(), Qt::LeftButton);
  ASSERT_EQ(UseCloseButton()->text(), "&Open This Device");
  const std::size_t requests = server_.request_count();
  QTest::qWait(calibrator::TMainForm::kCalibrationApplyMs + 200);  // past the end the wait would have had
  EXPECT_EQ(server_.request_count(), requests) << "no read-back of a closed device";
  EXPECT_EQ(LogLines().count(DownloadedLine()), 1) << Dump();
  EXPECT_FALSE(ReadButton()->isEnabled());
  EXPECT_EQ(StatusText(), "No device open");
}

TEST_F(AppCalibration, IncompleteReplyToThePostIsWarnedOf) {
  const std::string document = server_.setup_document();
  const size_t cut = document.find("<Name>Fridge");
  ASSERT_NE(cut, std::string::npos);
  server_.set_fault({devsim::FaultKind::truncate_body, devsim::FaultTarget::post, static_cast<long>(cut)});
  std::vector<DialogView> views;
  WithDialog([&] { DoubleClickRow(kIncubatorRow); }, {QString("0.5"), true}, views);
  ASSERT_TRUE(WaitForLogCount(DownloadedLine(), 2)) << Dump();
  const QStringList log = LogLines();
  const int waiting = log.indexOf("Wait for applying new calibration value...");
  ASSERT_GE(waiting, 0) << Dump();
  const int line = 1 + static_cast<int>(std::count(document.begin(), document.begin() + static_cast<long>(cut), '\n'));
  EXPECT_EQ(log.value(waiting + 1),
            QString("Warning: the reply of %1 to Set calibration is incomplete (not well-formed at line %2)")
                .arg(Address())
                .arg(line))
      << Dump();
  EXPECT_FALSE(Grid()->IsPartial()) << "the read-back is whole";
  EXPECT_EQ(server_.sensor_calibration(102), 0.5) << "a spoiled reply does not undo the post";
}

// After a close the library has released the setup record behind the rows
// that stay on view; run under AddressSanitizer this catches any read of it.
TEST_F(AppCalibration, RegressionDoubleClickAfterCloseReadsNoReleasedRecord) {
  QTest::mouseClick(UseCloseButton(), Qt::LeftButton);
  ASSERT_EQ(UseCloseButton()->text(), "&Open This Device");
  ASSERT_EQ(Cell(kIncubatorRow, calibrator::kNameColumn), "Incubator") << "the rows stay";
  ModalWatcher watcher([](QWidget *modal) { modal->close(); });
  DoubleClickRow(kIncubatorRow);
  Grid()->setCurrentCell(0, 0);
  QTest::keyClick(Grid(), Qt::Key_Return);
  EXPECT_EQ(watcher.Count(), 0);
  EXPECT_FALSE(server_.last_post().has_value());
}

// Closing the window during the apply wait after a calibration must not
// start the read-back of a device that is going away.
TEST_F(AppCalibration, RegressionWindowClosedDuringCalibrationWaitStartsNoReadBack) {
  QListWidget *log = Control<QListWidget>("LogListBox");
  QElapsedTimer closed_at;
  QObject::connect(log->model(), &QAbstractItemModel::rowsInserted, &form_, [&] {
    if (log->count() && log->item(log->count() - 1)->text() == "Wait for applying new calibration value...") {
      closed_at.start();
      QMetaObject::invokeMethod(&form_, "close", Qt::QueuedConnection);
    }
  });
  std::vector<DialogView> views;
  WithDialog([&] { DoubleClickRow(kIncubatorRow); }, {QString("0.5"), true}, views);
  ASSERT_TRUE(PumpUntil([&] { return !form_.isVisible(); })) << Dump();
  ASSERT_TRUE(closed_at.isValid()) << Dump();
  EXPECT_LT(closed_at.elapsed(), calibrator::TMainForm::kCalibrationApplyMs) << "the close waited for nothing";
  const std::size_t requests = server_.request_count();
  QTest::qWait(1200);  // longer than the wait the handler would have made
  EXPECT_EQ(server_.request_count(), requests) << "no read-back after the close";
  EXPECT_EQ(LogLines().count(DownloadedLine()), 1) << Dump();
}

}  // namespace
}  // namespace calibrator_test
