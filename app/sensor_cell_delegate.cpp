#include "app/sensor_cell_delegate.h"

#include <QAbstractItemView>
#include <QPainter>

#include "sdk/text_number.h"

namespace calibrator {

QColor CalibrationColour(const QString &text) {
  const double value = zelvoapi::text_to_double(text.toUtf8().constData());
  if (value > 0) return QColor(0, 0, 255);
  if (value < 0) return QColor(255, 0, 0);
  return QColor(0, 128, 0);  // zero, and a text that is no number
}

TSensorCellDelegate::TSensorCellDelegate(int calibration_column, QObject *parent)
    : QStyledItemDelegate(parent), calibration_column_(calibration_column) {}

void TSensorCellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const {
  const auto *view = qobject_cast<const QAbstractItemView *>(option.widget);
  const bool current_row = view && view->currentIndex().isValid() && view->currentIndex().row() == index.row();
  const QString text = index.data(Qt::DisplayRole).toString();

  painter->save();
  painter->setClipRect(option.rect);
  painter->fillRect(option.rect, current_row ? QBrush(CurrentRowColour()) : option.palette.base());
  painter->setPen(index.column() == calibration_column_ ? CalibrationColour(text) : QColor(Qt::black));
  painter->setFont(option.font);
  painter->drawText(option.rect.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
  painter->restore();
}

}  // namespace calibrator
