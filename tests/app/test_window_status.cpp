// What the main window tells the operator about a request: the status line
// and the busy cursor while it runs, and the warning when the device's
// document did not arrive whole.
#include <algorithm>

#include "tests/app/main_window_fixture.h"

namespace calibrator_test {
namespace {

// The line of `text` that `offset` lies on, counted from 1.
int LineAt(const std::string &text, size_t offset) {
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(offset), '\n'));
}

// Every document is cut or spoiled inside the third sensor's entry, so the
// first two sensors arrive whole.
const char kCutBefore[] = "<Name>Fridge";
constexpr int kSensorsBeforeTheCut = 2;

class AppWindowStatus : public MainWindowTest {
 protected:
  QString ReadyStatus() const { return QString("Ready: %1 is open").arg(Address()); }
  QString DownloadingStatus() const { return QString("Downloading the setup from %1...").arg(Address()); }
  // Where kCutBefore starts in the setup document the device serves.
  size_t CutOffset() {
    const size_t cut = server_.setup_document().find(kCutBefore);
    EXPECT_NE(cut, std::string::npos);
    return cut;
  }
};

TEST_F(AppWindowStatus, NamesTheRequestTheAddressAndHowLongItWaits) {
  StartDevice(qxsupport::SteadyVariant("thermometer"));
  EXPECT_EQ(StatusText(), "No device open");
  EXPECT_FALSE(GridShowsBusy());
  OpenDevice("admin", "admin");
  EXPECT_EQ(StatusText(), ReadyStatus());
  EXPECT_FALSE(GridShowsBusy());

  // The device answers the next download's connection and then falls silent.
  server_.set_fault({devsim::FaultKind::stall, devsim::FaultTarget::setup, 10});
  QTest::mouseClick(ReadButton(), Qt::LeftButton);
  EXPECT_EQ(StatusText(), QString("Connecting to %1 to download the setup...").arg(Address()));
  EXPECT_TRUE(GridShowsBusy());
  ASSERT_TRUE(PumpUntil([&] { return StatusText().startsWith(DownloadingStatus()); })) << qPrintable(StatusText());
  EXPECT_TRUE(GridShowsBusy());
  // A wait that lasts shows its seconds.
  ASSERT_TRUE(PumpUntil([&] { return StatusText() == DownloadingStatus() + " 1 s"; })) << qPrintable(StatusText());

  QTest::mouseClick(UseCloseButton(), Qt::LeftButton);
  EXPECT_EQ(StatusText(), "No device open");
  EXPECT_FALSE(GridShowsBusy());
}

struct SpoiledSetupCase {
  const char *name;
  devsim::FaultKind fault;  // applied to the setup download
  bool at_the_cut;          // the fault's value is the cut's offset; else its default
};

void PrintTo(const SpoiledSetupCase &c, std::ostream *out) { *out << c.name; }

class AppWindowSpoiledSetup : public AppWindowStatus, public ::testing::WithParamInterface<SpoiledSetupCase> {};

// Regression: a document cut off, or one the parser stops in, was listed
// under "Download setup from ..." as if it were whole.
TEST_P(AppWindowSpoiledSetup, WarnsAndMarksTheListAsIncomplete) {
  devsim::DeviceConfig config = qxsupport::SteadyVariant("thermometer");
  config.sensors[2].name = "Fridge & freezer";  // served as a bare '&' under bare_ampersand
  StartDevice(config);
  const std::string document = server_.setup_document();
  const size_t cut = CutOffset();
  server_.set_fault({GetParam().fault, devsim::FaultTarget::setup, GetParam().at_the_cut ? static_cast<long>(cut) : 0});
  OpenDevice("admin", "admin");

  const QStringList log = LogLines();
  const int downloaded = log.indexOf(DownloadedLine());
  ASSERT_GE(downloaded, 0) << Dump();
  EXPECT_EQ(log.value(downloaded + 1), QString("Warning: the setup from %1 is incomplete (not well-formed at line %2); "
                                               "%3 sensors shown")
                                           .arg(Address())
                                           .arg(LineAt(document, cut))
                                           .arg(kSensorsBeforeTheCut))
      << Dump();
  EXPECT_EQ(Grid()->rowCount(), kSensorsBeforeTheCut + 1);
  EXPECT_TRUE(Grid()->IsPartial());

  // A whole document lifts the mark and warns of nothing.
  server_.clear_faults();
  QTest::mouseClick(ReadButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForLogCount(DownloadedLine(), 2)) << Dump();
  EXPECT_EQ(LogLines().filter("Warning:").size(), 1) << Dump();
  EXPECT_FALSE(Grid()->IsPartial());
  EXPECT_EQ(Grid()->rowCount(), static_cast<int>(config.sensors.size()) + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, AppWindowSpoiledSetup,
    ::testing::Values(SpoiledSetupCase{"truncated", devsim::FaultKind::truncate_body, true},
                      SpoiledSetupCase{"bare_ampersand", devsim::FaultKind::bare_ampersand, false}),
    [](const ::testing::TestParamInfo<SpoiledSetupCase> &info) { return std::string(info.param.name); });

// The one test that sits through the library's ten seconds of silence.
TEST_F(AppWindowStatus, RegressionSetupEndedBySilenceIsShownAsIncomplete) {
  StartDevice(qxsupport::SteadyVariant("thermometer"));
  const std::string document = server_.setup_document();
  const size_t cut = CutOffset();
  // The device sends its reply head and the document up to the cut, then
  // nothing more with the connection open. The head is the simulator's:
  // status line, Content-Type, Content-Length, blank line.
  const std::string head =
      "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(document.size()) + "\r\n\r\n";
  server_.set_fault({devsim::FaultKind::stall, devsim::FaultTarget::setup, static_cast<long>(head.size() + cut)});
  PressOpen("127.0.0.1", QString::number(port_), "admin", "admin");

  // The long wait shows as one while it lasts.
  ASSERT_TRUE(PumpUntil([&] { return StatusText() == DownloadingStatus() + " 3 s"; }, 2 * kWaitMs))
      << qPrintable(StatusText());
  EXPECT_TRUE(GridShowsBusy());
  ASSERT_TRUE(WaitForLogCount(DownloadedLine(), 1, 4 * kWaitMs)) << Dump();

  const QStringList log = LogLines();
  const QString warning = log.value(log.indexOf(DownloadedLine()) + 1);
  EXPECT_TRUE(warning.startsWith(
      QString("Warning: the setup from %1 is incomplete (the device stopped sending").arg(Address())))
      << Dump();
  EXPECT_TRUE(warning.endsWith(QString("; %1 sensors shown").arg(kSensorsBeforeTheCut))) << Dump();
  EXPECT_TRUE(Grid()->IsPartial());
  EXPECT_EQ(StatusText(), ReadyStatus());
  EXPECT_FALSE(GridShowsBusy());
}

}  // namespace
}  // namespace calibrator_test
