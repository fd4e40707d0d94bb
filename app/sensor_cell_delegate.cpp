#include "app/sensor_cell_delegate.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include "sdk/text_number.h"

namespace calibrator {

QColor CalibrationColour(const QString &text) {
  const double value = zelvoapi::text_to_double(text.toUtf8().constData());
  if (value > 0) return QColor(0, 0, 255);
  if (value < 0) return QColor(255, 0, 0);
  return QColor(0, 128, 0);  // zero, and a text that is no number
}

QString PartialListNote() {
  return QString::fromUtf8("Incomplete list: the device's reply ended early, more sensors may exist");
}

bool CellTextCut(const QFont &font, const QRect &cell, const QString &text) {
  return QFontMetrics(font).horizontalAdvance(text) > cell.width() - kCellTextInset;
}

TSensorCellDelegate::TSensorCellDelegate(int calibration_column, QObject *parent)
    : QStyledItemDelegate(parent), calibration_column_(calibration_column) {}

QColor TSensorCellDelegate::TextColour(int column, const QString &text) const {
  if (stale_) return StaleTextColour();
  return column == calibration_column_ ? CalibrationColour(text) : QColor(Qt::black);
}

QColor TSensorCellDelegate::Background(const QStyleOptionViewItem &option, const QModelIndex &index,
                                       bool current_row) const {
  if (index.data(kChangedRole).toBool() && !stale_) return ChangedValueColour();
  if (current_row) return CurrentRowColour();
  if (stale_) return option.palette.color(QPalette::Window);
  if (partial_) return PartialBackgroundColour();
  return option.palette.color(QPalette::Base);
}

void TSensorCellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const {
  const auto *view = qobject_cast<const QAbstractItemView *>(option.widget);
  const bool current_row = view && view->currentIndex().isValid() && view->currentIndex().row() == index.row();
  const QString text = index.data(Qt::DisplayRole).toString();

  painter->save();
  painter->setClipRect(option.rect);
  painter->fillRect(option.rect, Background(option, index, current_row));
  painter->setPen(TextColour(index.column(), text));
  painter->setFont(option.font);
  painter->drawText(option.rect.adjusted(kCellTextInset, kCellTextInset, 0, 0),
                    Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
  const QVariant verdict = index.data(kVerdictRole);
  if (verdict.isValid()) {
    const bool verified = verdict.toBool();
    painter->setPen(stale_ ? StaleTextColour() : verified ? QColor(0, 128, 0) : QColor(200, 0, 0));
    painter->drawText(option.rect.adjusted(0, kCellTextInset, -kCellTextInset - kFocusFrameWidth, 0),
                      Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine,
                      verified ? QString::fromUtf8("\u2714") : QString::fromUtf8("\u2718"));
  }
  if (current_row && view->hasFocus()) {
    // One frame around the whole row: each cell draws its top and bottom
    // edge, the first and last column their outer edge.
    const QColor frame = stale_ ? StaleTextColour() : FocusFrameColour();
    const QRect r = option.rect;
    painter->fillRect(QRect(r.left(), r.top(), r.width(), kFocusFrameWidth), frame);
    painter->fillRect(QRect(r.left(), r.bottom() - kFocusFrameWidth + 1, r.width(), kFocusFrameWidth), frame);
    if (index.column() == 0) painter->fillRect(QRect(r.left(), r.top(), kFocusFrameWidth, r.height()), frame);
    if (index.column() == index.model()->columnCount() - 1)
      painter->fillRect(QRect(r.right() - kFocusFrameWidth + 1, r.top(), kFocusFrameWidth, r.height()), frame);
  }
  painter->restore();
}

bool TSensorCellDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                                    const QModelIndex &index) {
  if (event->type() != QEvent::ToolTip) return QStyledItemDelegate::helpEvent(event, view, option, index);
  const QString text = index.data(Qt::DisplayRole).toString();
  const QString own = index.data(Qt::ToolTipRole).toString();
  if (index.isValid() && !own.isEmpty()) {
    QToolTip::showText(event->globalPos(), own, view->viewport(), option.rect);
  } else if (index.isValid() && CellTextCut(option.font, option.rect, text)) {
    QToolTip::showText(event->globalPos(), text, view->viewport(), option.rect);
  } else if (partial_) {
    QToolTip::showText(event->globalPos(), PartialListNote(), view->viewport(), option.rect);
  } else {
    QToolTip::hideText();
  }
  return true;
}

}  // namespace calibrator
