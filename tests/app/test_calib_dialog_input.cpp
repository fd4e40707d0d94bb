// What the operator types into the calibration dialog of the real window,
// exactly as typed (no select-all first), and what reaches the device.
#include "tests/app/main_window_fixture.h"

namespace calibrator_test {
namespace {

constexpr int kIncubatorRow = 1;  // sensor 102, offset "0.0"

struct TypedCase {
  const char *name;
  const char *typed;    // keys typed into the dialog as it opened
  const char *preview;  // what the dialog showed beside the field then
  const char *posted;   // the Calib text the device receives; nullptr: none
  const char *message;  // the dialog's refusal; nullptr: it closed
};

void PrintTo(const TypedCase &c, std::ostream *out) { *out << c.name << " '" << c.typed << "'"; }

class AppCalibDialogInput : public MainWindowTest, public ::testing::WithParamInterface<TypedCase> {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    StartDevice(qxsupport::SteadyVariant("thermometer"));
    OpenDevice("admin", "admin");
  }
};

TEST_P(AppCalibDialogInput, PostsWhatWasTypedOrNothing) {
  const TypedCase &c = GetParam();
  std::string edit_text, preview, message;
  bool stayed_open = false;
  ModalWatcher watcher([&](QWidget *modal) {
    auto *edit = modal->findChild<QLineEdit *>("CalibEdit");
    QTest::keyClicks(edit, QString::fromUtf8(c.typed));
    edit_text = edit->text().toStdString();
    preview = modal->findChild<QLabel *>("PostedValueLabel")->text().toStdString();
    QTest::mouseClick(modal->findChild<QPushButton *>("OKBitBtn"), Qt::LeftButton);
    stayed_open = modal->isVisible();
    message = modal->findChild<QLabel *>("CalibMessageLabel")->text().toStdString();
    if (stayed_open) QTest::mouseClick(modal->findChild<QPushButton *>("CancelBitBtn"), Qt::LeftButton);
  });
  DoubleClickRow(kIncubatorRow);
  ASSERT_EQ(watcher.Count(), 1);
  EXPECT_EQ(edit_text, c.typed) << "the typed text replaces the shown offset";
  EXPECT_EQ(preview, c.preview);

  if (c.posted) {
    EXPECT_FALSE(stayed_open);
    ASSERT_TRUE(WaitForLogCount(DownloadedLine(), 2)) << Dump();
    const auto post = server_.last_post();
    ASSERT_TRUE(post.has_value());
    EXPECT_NE(post->body.find(std::string("<Calib>") + c.posted + "</Calib>"), std::string::npos) << post->body;
    EXPECT_EQ(Cell(kIncubatorRow, calibrator::kCalibrationColumn).toStdString(), c.posted) << Dump();
  } else {
    EXPECT_TRUE(stayed_open);
    EXPECT_EQ(message, c.message);
    EXPECT_FALSE(server_.last_post().has_value());
  }
}

INSTANTIATE_TEST_SUITE_P(Typed, AppCalibDialogInput,
                         ::testing::Values(TypedCase{"digit_over_the_offset", "5", "Posts 5.0", "5.0", nullptr},
                                           TypedCase{"negative_with_comma", "-0,5", "Posts -0.5", "-0.5", nullptr},
                                           TypedCase{"two_decimals", "0,25", "", nullptr,
                                                     "Enter a number with at most one decimal, such as 1.5 or -0,5"},
                                           TypedCase{"past_the_field", "100000", "", nullptr,
                                                     "Out of range: -9999.9 to 99999.9"}),
                         [](const ::testing::TestParamInfo<TypedCase> &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace calibrator_test
