// Drawing of the sensor list's cells: the calibration column coloured by the
// sign of its offset, the current row on light grey and framed while the
// grid has focus, the whole grid greyed while it describes a closed device
// and tinted while its list is incomplete; a tooltip with the whole text of
// a cell that is too narrow for it.
#ifndef APP_SENSOR_CELL_DELEGATE_H
#define APP_SENSOR_CELL_DELEGATE_H

#include <QColor>
#include <QFont>
#include <QRect>
#include <QStyledItemDelegate>

namespace calibrator {

// Colour of a calibration text by the sign of the number it begins with
// ("." as decimal point; no number counts as 0): 0 green, positive blue,
// negative red.
QColor CalibrationColour(const QString &text);

// Background of every cell of the grid's current row.
inline QColor CurrentRowColour() { return QColor(220, 220, 220); }
// Frame around the current row while the grid has the keyboard focus.
inline QColor FocusFrameColour() { return QColor(0, 0, 128); }
// Texts of a grid that describes a closed device; its cells take the
// window colour of a disabled control.
inline QColor StaleTextColour() { return QColor(150, 150, 150); }
// Background of the rows of an incomplete list.
inline QColor PartialBackgroundColour() { return QColor(255, 243, 205); }
// Background of a value that changed since the previous download, briefly.
inline QColor ChangedValueColour() { return QColor(255, 236, 140); }

// Item data of a calibration cell after a verified calibration: true for a
// tick (the device holds the posted offset), false for a cross.
constexpr int kVerdictRole = Qt::UserRole + 1;
// Item data of a value cell that changed since the previous download.
constexpr int kChangedRole = Qt::UserRole + 2;

// What the tint of an incomplete list means; shown in its empty last row and
// as the tooltip of its cells.
QString PartialListNote();

// A cell's text starts this many pixels right of and below its corner.
constexpr int kCellTextInset = 2;
// Width of the focus frame, in pixels.
constexpr int kFocusFrameWidth = 2;

// True when `text`, drawn in `font` at the cell's inset, does not fit in
// `cell` and is cut off at its right edge.
bool CellTextCut(const QFont &font, const QRect &cell, const QString &text);

class TSensorCellDelegate : public QStyledItemDelegate {
 public:
  // `calibration_column` is the column drawn in the colour of its sign.
  TSensorCellDelegate(int calibration_column, QObject *parent);

  // Greys every cell, or tints every cell off the current row.
  void SetStale(bool stale) { stale_ = stale; }
  bool Stale() const { return stale_; }
  void SetPartial(bool partial) { partial_ = partial; }
  bool Partial() const { return partial_; }

  // Fills the cell with the window colour, or light grey on the view's
  // current row, and draws its text 2 pixels right of and below the cell's
  // corner. The selection highlight is not drawn: the grey marks the row,
  // and while the view has focus a frame around the row shows where the
  // keyboard acts.
  void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

  // A tooltip with the cell's whole text, only when the cell cuts it off: a
  // tooltip that repeats a text in full view would only cover the rows
  // around it. A cell with a tooltip of its own (a verdict mark) shows
  // that. Over any other cell of an incomplete list, its note.
  bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                 const QModelIndex &index) override;

 private:
  QColor TextColour(int column, const QString &text) const;
  QColor Background(const QStyleOptionViewItem &option, const QModelIndex &index, bool current_row) const;

  int calibration_column_;
  bool stale_ = false;
  bool partial_ = false;
};

}  // namespace calibrator

#endif
