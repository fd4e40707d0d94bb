// The sensor list: its shape, its fill from a setup record, its drawing and
// the two ways of asking for the calibration dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <functional>

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
    Grab();
  }

  // Reads the pixels of the grid again, after a change of its look.
  void Grab() { image_ = grid_.viewport()->grab().toImage(); }
  // A pixel of the empty room below the last row.
  QColor BelowTheRows() const { return image_.pixelColor(image_.width() / 2, image_.height() - 3); }
  // The pixel `dy` below the top edge of a cell, halfway across it.
  QColor TopEdge(int row, int column, int dy = 0) const {
    const QRect r = CellRect(row, column);
    return image_.pixelColor(r.center().x(), r.top() + dy);
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

TEST_F(AppSensorGridDrawing, StaleGreysTextsColoursAndTitlesUntilFillClearOrUnset) {
  const auto expect_stale_look = [&](const char *when) {
    for (int row = 0; row < 3; ++row) {
      EXPECT_FALSE(HasPixelNear(row, kNameColumn, Qt::black)) << when << ": name of row " << row;
      EXPECT_TRUE(HasPixelNear(row, kNameColumn, StaleTextColour())) << when << ": name of row " << row;
      EXPECT_FALSE(HasPixelNear(row, kCalibrationColumn, CalibrationColour(Cell(grid_, row, kCalibrationColumn))))
          << when << ": calibration of row " << row << " has lost its colour";
    }
    EXPECT_EQ(BelowTheRows(), grid_.palette().color(QPalette::Window)) << when << ": the empty room greys too";
    for (int column = 0; column < 6; ++column) {
      EXPECT_EQ(Background(0, column), grid_.palette().color(QPalette::Window)) << when << ": column " << column;
      EXPECT_EQ(Background(1, column), CurrentRowColour()) << when << ": the current row stays marked";
      EXPECT_EQ(grid_.horizontalHeaderItem(column)->foreground().color(), StaleTextColour())
          << when << ": title " << column;
    }
  };

  const struct {
    const char *name;
    std::function<void()> end;
  } ends[] = {
      {"SetStale(false)", [&] { grid_.SetStale(false); }},
      {"the next fill",
       [&] { grid_.FillSensorList(TSetupView(setup_.record.get(), setup_.counts.get(), "127.0.0.1", 80)); }},
      {"a clear and a fill",
       [&] {
         grid_.ClearSensorList();
         grid_.FillSensorList(TSetupView(setup_.record.get(), setup_.counts.get(), "127.0.0.1", 80));
         grid_.setCurrentCell(1, 0);
       }},
  };
  for (const auto &end : ends) {
    grid_.SetStale(true);
    EXPECT_TRUE(grid_.IsStale());
    Grab();
    expect_stale_look(end.name);

    end.end();
    EXPECT_FALSE(grid_.IsStale()) << end.name;
    Grab();
    EXPECT_TRUE(HasPixelNear(0, kNameColumn, Qt::black)) << "after " << end.name;
    EXPECT_TRUE(HasPixelNear(2, kCalibrationColumn, QColor(0, 0, 255))) << "after " << end.name;
    EXPECT_EQ(Background(0, kNameColumn), grid_.palette().color(QPalette::Base)) << "after " << end.name;
    EXPECT_EQ(BelowTheRows(), grid_.palette().color(QPalette::Base)) << "after " << end.name;
    EXPECT_FALSE(grid_.horizontalHeaderItem(0)->data(Qt::ForegroundRole).isValid()) << "after " << end.name;
  }
}

// Bounds the waits for a tooltip to fade and for the focus to arrive.
constexpr int kGuiWaitMs = 2000;

// Shows the tooltip the grid gives at the centre of a cell, as the mouse
// resting there would; empty when none shows.
std::string ToolTipAt(TSensorsStringGrid &grid, int row, int column) {
  QToolTip::hideText();  // a tooltip fades out rather than vanish at once
  EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, kGuiWaitMs)) << "the last tooltip stays";
  const QPoint position = grid.visualRect(grid.model()->index(row, column)).center();
  QHelpEvent event(QEvent::ToolTip, position, grid.viewport()->mapToGlobal(position));
  QApplication::sendEvent(grid.viewport(), &event);
  return QToolTip::isVisible() ? QToolTip::text().toStdString() : std::string();
}

TEST_F(AppSensorGridDrawing, PartialTintsTheRowsAndNotesItInTheLastRowAndTooltips) {
  const int last = grid_.rowCount() - 1;
  EXPECT_FALSE(HasPixelNear(last, kValueColumn, Qt::black)) << "a complete list's last row is empty";
  EXPECT_EQ(ToolTipAt(grid_, 0, kIdColumn), "") << "a complete list has no note";

  grid_.SetPartial(true);
  EXPECT_TRUE(grid_.IsPartial());
  Grab();
  for (int column = 0; column < 6; ++column) {
    EXPECT_EQ(Background(0, column), PartialBackgroundColour()) << "column " << column;
    EXPECT_EQ(Background(1, column), CurrentRowColour()) << "the current row stays marked, column " << column;
  }
  EXPECT_TRUE(HasPixelNear(last, kNameColumn, Qt::black)) << "the note begins in the last row";
  EXPECT_TRUE(HasPixelNear(last, kValueColumn, Qt::black)) << "and runs on across the columns";
  const QRect note_cell = CellRect(last, kMaxColumn);
  EXPECT_EQ(image_.pixelColor(note_cell.left() - 1, note_cell.top() + 1), PartialBackgroundColour())
      << "no grid line crosses the note's band";
  EXPECT_EQ(ToolTipAt(grid_, 0, kIdColumn), PartialListNote().toStdString());
  EXPECT_EQ(Cell(grid_, last, kNameColumn), "") << "the note is drawn, the row stays empty";

  grid_.SetStale(true);
  Grab();
  EXPECT_FALSE(HasPixelNear(last, kNameColumn, Qt::black)) << "a stale grid greys the note too";
  EXPECT_EQ(Background(0, kNameColumn), grid_.palette().color(QPalette::Window)) << "and the tint";
  grid_.SetStale(false);

  grid_.SetPartial(false);
  Grab();
  EXPECT_EQ(Background(0, kNameColumn), grid_.palette().color(QPalette::Base));
  EXPECT_FALSE(HasPixelNear(last, kValueColumn, Qt::black));

  grid_.SetPartial(true);
  grid_.ClearSensorList();
  EXPECT_FALSE(grid_.IsPartial()) << "an empty grid is not an incomplete list";
}

TEST_F(AppSensorGridDrawing, FocusFramesTheCurrentRowOnlyWhileTheGridHasFocus) {
  grid_.activateWindow();
  grid_.setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return grid_.hasFocus(); }, kGuiWaitMs));
  Grab();
  for (int column = 0; column < 6; ++column) {
    EXPECT_EQ(TopEdge(1, column), FocusFrameColour()) << "top of the current row, column " << column;
    EXPECT_EQ(TopEdge(0, column), grid_.palette().color(QPalette::Base)) << "row 0, column " << column;
  }
  const QRect first = CellRect(1, 0), last = CellRect(1, kMaxColumn);
  EXPECT_EQ(image_.pixelColor(first.left(), first.center().y()), FocusFrameColour()) << "left end";
  EXPECT_EQ(image_.pixelColor(last.right(), last.center().y()), FocusFrameColour()) << "right end";

  grid_.SetPartial(true);
  const int note_row = grid_.rowCount() - 1;
  grid_.setCurrentCell(note_row, 0);
  Grab();
  EXPECT_EQ(TopEdge(note_row, kValueColumn), FocusFrameColour()) << "the note of an incomplete list leaves the frame";
  EXPECT_EQ(TopEdge(note_row, kValueColumn, kFocusFrameWidth), CurrentRowColour()) << "and the current row's grey";
  grid_.SetPartial(false);
  grid_.setCurrentCell(1, 0);

  grid_.clearFocus();
  ASSERT_FALSE(grid_.hasFocus());
  Grab();
  for (int column = 0; column < 6; ++column)
    EXPECT_EQ(TopEdge(1, column), CurrentRowColour()) << "no frame without focus, column " << column;
}

const std::vector<SensorRow> kLongName = {
    {"Cold store north, second shelf from the top", "101", "C", "3.5", "2.0", "8.0", "0.0"},
};

// Shows a grid with one sensor whose name is wider than its column.
class AppSensorGridColumns : public ::testing::Test {
 protected:
  void SetUp() override {
    grid_.resize(633, 228);
    grid_.FillSensorList(TSetupView(setup_.record.get(), setup_.counts.get(), "127.0.0.1", 80));
    grid_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid_));
  }
  QString Name() const { return QString::fromStdString(kLongName[0].name); }

  SetupRecord setup_{"Device", kLongName};
  TSensorsStringGrid grid_;
};

TEST_F(AppSensorGridColumns, OnlyACutTextShowsWholeInATooltip) {
  ASSERT_TRUE(CellTextCut(grid_.font(), grid_.visualRect(grid_.model()->index(0, kNameColumn)), Name()));
  const struct {
    const char *name;
    int row, column;
    std::string tooltip;
  } cells[] = {
      {"cut name", 0, kNameColumn, Name().toStdString()},
      {"whole ID", 0, kIdColumn, ""},
      {"whole value", 0, kValueColumn, ""},
      {"empty last row", 1, kNameColumn, ""},
  };
  for (const auto &cell : cells) EXPECT_EQ(ToolTipAt(grid_, cell.row, cell.column), cell.tooltip) << cell.name;
}

TEST_F(AppSensorGridColumns, OperatorDragsAColumnWiderAndItsTextNoLongerCut) {
  QHeaderView *header = grid_.horizontalHeader();
  EXPECT_EQ(header->sectionResizeMode(kNameColumn), QHeaderView::Interactive);
  const int wanted = QFontMetrics(grid_.font()).horizontalAdvance(Name()) + 2 * kCellTextInset;
  const QPoint edge(header->sectionViewportPosition(kNameColumn) + header->sectionSize(kNameColumn) - 1,
                    header->height() / 2);
  const QPoint dropped = edge + QPoint(wanted - header->sectionSize(kNameColumn), 0);
  QTest::mousePress(header->viewport(), Qt::LeftButton, {}, edge);
  QTest::mouseMove(header->viewport(), dropped);
  QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, dropped);

  EXPECT_EQ(grid_.columnWidth(kNameColumn), wanted);
  EXPECT_EQ(grid_.columnWidth(kIdColumn), TSensorsStringGrid::kColumnWidth) << "its neighbour keeps its width";
  EXPECT_EQ(ToolTipAt(grid_, 0, kNameColumn), "") << "the name now shows whole";

  const QPoint narrow(header->sectionViewportPosition(kNameColumn) + 5, edge.y());
  QTest::mousePress(header->viewport(), Qt::LeftButton, {}, dropped);
  QTest::mouseMove(header->viewport(), narrow);
  QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, narrow);
  EXPECT_EQ(grid_.columnWidth(kNameColumn), TSensorsStringGrid::kMinColumnWidth) << "a column cannot vanish";
}

TEST(AppSensorGrid, NothingFixesItsSizeSoALargerGridShowsFortyTwoSensors) {
  std::vector<SensorRow> sensors;
  for (int i = 1; i <= 42; ++i)
    sensors.push_back({"Sensor " + std::to_string(i), std::to_string(100 + i), "C", "20.0", "0.0", "50.0", "0.0"});
  SetupRecord setup("Device", sensors);
  TSensorsStringGrid grid;
  EXPECT_EQ(grid.minimumSize(), QSize(0, 0));
  EXPECT_EQ(grid.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
  EXPECT_EQ(grid.sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
  EXPECT_EQ(grid.sizePolicy().verticalPolicy(), QSizePolicy::Expanding);

  grid.FillSensorList(TSetupView(setup.record.get(), setup.counts.get(), "127.0.0.1", 80));
  const int rows_height = grid.rowCount() * TSensorsStringGrid::kRowHeight;
  grid.resize(633, TSensorsStringGrid::kRowHeight + rows_height + 2 * grid.frameWidth());
  grid.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
  EXPECT_TRUE(grid.viewport()->rect().contains(grid.visualRect(grid.model()->index(41, 0))))
      << "the 42nd sensor shows without scrolling";
  EXPECT_EQ(grid.rowHeight(41), TSensorsStringGrid::kRowHeight);
}

}  // namespace
}  // namespace calibrator
