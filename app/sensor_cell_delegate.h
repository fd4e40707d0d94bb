// Drawing of the sensor list's cells: the calibration column coloured by the
// sign of its offset, the current row on light grey.
#ifndef APP_SENSOR_CELL_DELEGATE_H
#define APP_SENSOR_CELL_DELEGATE_H

#include <QColor>
#include <QStyledItemDelegate>

namespace calibrator {

// Colour of a calibration text by the sign of the number it begins with
// ("." as decimal point; no number counts as 0): 0 green, positive blue,
// negative red.
QColor CalibrationColour(const QString &text);

// Background of every cell of the grid's current row.
inline QColor CurrentRowColour() { return QColor(220, 220, 220); }

class TSensorCellDelegate : public QStyledItemDelegate {
 public:
  // `calibration_column` is the column drawn in the colour of its sign.
  TSensorCellDelegate(int calibration_column, QObject *parent);

  // Fills the cell with the window colour, or light grey on the view's
  // current row, and draws its text 2 pixels right of and below the cell's
  // corner. The selection highlight is not drawn: the grey marks the row.
  void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

 private:
  int calibration_column_;
};

}  // namespace calibrator

#endif
