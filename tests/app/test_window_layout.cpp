// The main window as a workspace: it opens at its designed size, which is
// also its smallest, and the grid and the log take the room of a larger one.
#include "tests/app/main_window_fixture.h"

namespace calibrator_test {
namespace {

const QSize kDesigned(649, 483);

class AppWindowLayout : public MainWindowTest {
 protected:
  // Resizes the window and waits until the platform has done it.
  bool ResizeTo(const QSize &size) {
    form_.resize(size);
    return PumpUntil([&] { return form_.size() == size.expandedTo(form_.minimumSize()); });
  }
};

TEST_F(AppWindowLayout, GridAndLogTakeTheRoomOfALargerWindow) {
  EXPECT_EQ(form_.size(), kDesigned);
  EXPECT_EQ(form_.minimumSize(), kDesigned);
  const int dx = 200, dy = 150;
  ASSERT_TRUE(ResizeTo(kDesigned + QSize(dx, dy)));
  const struct {
    const char *name;
    QRect designed;
    QRect grown;  // geometry in the larger window
  } controls[] = {
      {"DeviceGroupBox", {8, 8, 281, 145}, {8, 8, 281, 145}},
      {"LogListBox", {304, 24, 337, 129}, {304, 24, 337 + dx, 129}},
      {"NameLabel", {88, 168, 553, 13}, {88, 168, 553 + dx, 13}},
      {"SensorsStringGrid", {8, 208, 633, 228}, {8, 208, 633 + dx, 228 + dy}},
      {"Label4", {48, 440, 480, 13}, {48, 440 + dy, 480, 13}},
      {"StatusLabel", {8, 460, 380, 16}, {8, 460 + dy, 380 + dx, 16}},
      {"WatchCheckBox", {396, 458, 60, 17}, {396 + dx, 458 + dy, 60, 17}},
      {"WatchSpinBox", {458, 456, 70, 21}, {458 + dx, 456 + dy, 70, 21}},
      {"RecordButton", {521, 184, 120, 21}, {521 + dx, 184, 120, 21}},
      {"ReadButton", {536, 445, 105, 25}, {536 + dx, 445 + dy, 105, 25}},
  };
  for (const auto &c : controls) EXPECT_EQ(Control<QWidget>(c.name)->geometry(), c.grown) << c.name;

  // Smaller than designed is refused; back at the designed size every
  // control is where the form puts it.
  ASSERT_TRUE(ResizeTo(QSize(300, 200)));
  EXPECT_EQ(form_.size(), kDesigned);
  for (const auto &c : controls) EXPECT_EQ(Control<QWidget>(c.name)->geometry(), c.designed) << c.name;
}

TEST_F(AppWindowLayout, AnEnlargedWindowShowsAll42Sensors) {
  StartDevice(qxsupport::SteadyVariant("max-sensors"));
  OpenDevice("", "");
  constexpr int kSensors = 42;
  ASSERT_EQ(Grid()->rowCount(), kSensors + 1) << "the sensors and the empty last row";
  calibrator::TSensorsStringGrid *grid = Grid();
  auto shown = [&](int row) {
    return grid->viewport()->rect().contains(grid->visualRect(grid->model()->index(row, 0)));
  };
  EXPECT_FALSE(shown(kSensors - 1)) << "the designed size is too small for them";

  const int needed = grid->rowViewportPosition(kSensors) + grid->rowHeight(kSensors) - grid->viewport()->height();
  ASSERT_TRUE(ResizeTo(QSize(kDesigned.width(), kDesigned.height() + needed)));
  for (int row = 0; row < kSensors; ++row) EXPECT_TRUE(shown(row)) << "row " << row;
  EXPECT_EQ(Cell(kSensors - 1, calibrator::kNameColumn), "Rack 42");
}

}  // namespace
}  // namespace calibrator_test
