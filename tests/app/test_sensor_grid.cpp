// The sensor list: its shape, its fill from a setup record, its drawing and
// the two ways of asking for the calibration dialog.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include "app/sensor_cell_delegate.h"
#include "app/sensor_grid.h"
#include "tests/app/gui_driver.h"
#include "tests/app/setup_record.h"

namespace calibrator {
namespace {

using calibrator_test::SensorRow;
using calibrator_test::SetupRecord;

const std::vector<SensorRow> kThreeSensors = {
    {"Kühlraum Süd", "101", "C", "3.5", "2.0", "8.0", "0.0"},
    {"Bench", "102", "%RH", "48.5", "30.0", "70.0", "-0.5"},
    {"Outside", "103", "C", "12.8", "10.0", "35.0", "1.2"},
};

QString Cell(const QTableWidget &grid, int row, int column) {
  const QTableWidgetItem *item = grid.item(row, column);
  return item ? item->text() : QString();
}

TEST(AppSensorGrid, StartsWithTitleRowAndOneEmptyRow) {
  TSensorsStringGrid grid;
  ASSERT_EQ(grid.columnCount(), 6);
  const char *titles[] = {"Sensor Name", "Sensor ID", "Current Value", "Calibration", "Min", "Max"};
  for (int column = 0; column < 6; ++column) {
    EXPECT_EQ(grid.horizontalHeaderItem(column)->text(), titles[column]) << "column " << column;
    EXPECT_EQ(grid.columnWidth(column), 100) << "column " << column;
  }
  EXPECT_EQ(grid.rowCount(), 1) << "one empty row below the title row";
  EXPECT_EQ(grid.rowHeight(0), 18);
  EXPECT_EQ(grid.horizontalHeader()->height(), 18);
  EXPECT_FALSE(grid.verticalHeader()->isVisibleTo(&grid)) << "no fixed column";
  EXPECT_EQ(grid.selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(grid.editTriggers(), QAbstractItemView::NoEditTriggers);
}

TEST(AppSensorGrid, FillAddsOneRowPerSensorBeforeAnEmptyLastRow) {
  SetupRecord setup("Zentrale Nürnberg & Fürth", kThreeSensors);
  TSensorsStringGrid grid;
  const auto name = grid.FillSensorList(TSetupView(setup.record.get(), setup.counts.get(), "127.0.0.1", 80));
  ASSERT_TRUE(name.has_value());
  EXPECT_EQ(*name, QString::fromUtf8("Zentrale Nürnberg & Fürth"));
  ASSERT_EQ(grid.rowCount(), 4) << "title row + 3 sensors + 1 empty row = 5 grid rows";

  const struct {
    const char *cells[6];
  } expected[] = {
      {{"Kühlraum Süd", "101", "3.5 °C", "0.0", "2.0", "8.0"}},
      {{"Bench", "102", "48.5 %RH", "-0.5", "30.0", "70.0"}},
      {{"Outside", "103", "12.8 °C", "1.2", "10.0", "35.0"}},
  };
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 6; ++column)
      EXPECT_EQ(Cell(grid, row, column), QString::fromUtf8(expected[row].cells[column]))
          << "row " << row << " column " << column;
  for (int column = 0; column < 6; ++column)
    EXPECT_TRUE(Cell(grid, 3, column).isEmpty()) << "last row, column " << column;
}

TEST(AppSensorGrid, DeviceWithoutSensorsLeavesTitleAndEmptyRowAndNoName) {
  SetupRecord setup("Empty device", {});
  TSensorsStringGrid grid;
  EXPECT_FALSE(grid.FillSensorList(TSetupView(setup.record.get(), setup.counts.get(), "127.0.0.1", 80)).has_value());
  EXPECT_EQ(grid.rowCount(), 1);
}

TEST(AppSensorGrid, ClearEmptiesEveryRowAndLeavesOneEmptyRow) {
  SetupRecord setup("Device", kThreeSensors);
  TSensorsStringGrid grid;
  grid.FillSensorList(TSetupView(setup.record.get(), setup.counts.get(), "127.0.0.1", 80));
  grid.ClearSensorList();
  ASSERT_EQ(grid.rowCount(), 1);
  for (int column = 0; column < 6; ++column) EXPECT_TRUE(Cell(grid, 0, column).isEmpty()) << "column " << column;
  EXPECT_EQ(grid.horizontalHeaderItem(0)->text(), "Sensor Name") << "the titles stay";
}

TEST(AppSensorGrid, EnterAndDoubleClickAskForTheDialogOtherKeysDoNot) {
  SetupRecord setup("Device", kThreeSensors);
  TSensorsStringGrid grid;
  grid.resize(633, 228);
  grid.FillSensorList(TSetupView(setup.record.get(), setup.counts.get(), "127.0.0.1", 80));
  grid.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
  QSignalSpy activated(&grid, &TSensorsStringGrid::rowActivated);

  const struct {
    const char *name;
    Qt::Key key;
    int emitted;
  } keys[] = {{"Return", Qt::Key_Return, 1},
              {"keypad Enter", Qt::Key_Enter, 1},
              {"letter", Qt::Key_A, 0},
              {"space", Qt::Key_Space, 0}};
  for (const auto &key : keys) {
    activated.clear();
    QTest::keyClick(&grid, key.key);
    EXPECT_EQ(activated.count(), key.emitted) << key.name;
  }

  activated.clear();
  const QRect cell = grid.visualRect(grid.model()->index(1, 2));
  calibrator_test::DoubleClick(grid.viewport(), cell.center());
  EXPECT_EQ(activated.count(), 1);
  EXPECT_EQ(grid.currentRow(), 1) << "the double-click's row is current";
}

TEST(AppSensorCellDelegate, CalibrationColourFollowsTheSign) {
  const struct {
    const char *text;
    QColor colour;
  } rows[] = {
      {"0.0", QColor(0, 128, 0)}, {"-0.0", QColor(0, 128, 0)},  {"-0.5", QColor(255, 0, 0)},
      {"1.2", QColor(0, 0, 255)}, {"-", QColor(0, 128, 0)},     {"", QColor(0, 128, 0)},
      {"abc", QColor(0, 128, 0)}, {"12abc", QColor(0, 0, 255)}, {"1,5", QColor(0, 0, 255)},
  };
  for (const auto &row : rows)
    EXPECT_EQ(CalibrationColour(row.text), row.colour)
        << "text '" << row.text << "' gave " << qPrintable(CalibrationColour(row.text).name());
}

// Drawing of a shown grid, read back from its pixels.
class AppSensorGridDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    grid_.resize(633, 228);
    grid_.FillSensorList(TSetupView(setup_.record.get(), setup_.counts.get(), "127.0.0.1", 80));
    grid_.setCurrentCell(1, 0);
    grid_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid_));
    image_ = grid_.viewport()->grab().toImage();
  }

  QRect CellRect(int row, int column) const { return grid_.visualRect(grid_.model()->index(row, column)); }
  // A pixel right of the text, inside the cell's grid lines.
  QColor Background(int row, int column) const {
    const QRect r = CellRect(row, column);
    return image_.pixelColor(r.right() - 3, r.bottom() - 2);
  }
  // True when some pixel of the cell is near `colour` (glyphs are
  // antialiased, their cores are not).
  bool HasPixelNear(int row, int column, QColor colour) const {
    const QRect r = CellRect(row, column) & image_.rect();
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x) {
        const QColor c = image_.pixelColor(x, y);
        if (std::abs(c.red() - colour.red()) < 60 && std::abs(c.green() - colour.green()) < 60 &&
            std::abs(c.blue() - colour.blue()) < 60)
          return true;
      }
    return false;
  }

  SetupRecord setup_{"Device", kThreeSensors};
  TSensorsStringGrid grid_;
  QImage image_;
};

TEST_F(AppSensorGridDrawing, CurrentRowIsLightGreyOtherRowsKeepTheWindowColour) {
  for (int column = 0; column < 6; ++column) {
    EXPECT_EQ(Background(1, column), CurrentRowColour()) << "current row, column " << column;
    EXPECT_EQ(Background(0, column), grid_.palette().color(QPalette::Base)) << "row 0, column " << column;
    EXPECT_EQ(Background(2, column), grid_.palette().color(QPalette::Base)) << "row 2, column " << column;
  }
}

TEST_F(AppSensorGridDrawing, CalibrationColumnIsDrawnInTheColourOfItsSign) {
  const struct {
    int row;
    QColor colour;
  } rows[] = {{0, QColor(0, 128, 0)}, {1, QColor(255, 0, 0)}, {2, QColor(0, 0, 255)}};
  for (const auto &row : rows) {
    EXPECT_TRUE(HasPixelNear(row.row, kCalibrationColumn, row.colour))
        << "row " << row.row << " wants " << qPrintable(row.colour.name());
    EXPECT_FALSE(HasPixelNear(row.row, kNameColumn, row.colour)) << "name of row " << row.row << " is black";
    EXPECT_TRUE(HasPixelNear(row.row, kNameColumn, Qt::black)) << "name of row " << row.row;
  }
}

}  // namespace
}  // namespace calibrator
