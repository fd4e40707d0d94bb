#include "app/form_anchors.h"

#include <QWidget>

namespace calibrator {

namespace {

// One axis: `start` and `length` as designed, `end_margin` the designed gap
// to the far edge, `extent` the parent's length now.
void Place(bool near, bool far, int extent, int end_margin, int &start, int &length) {
  if (near && far) {
    length = extent - end_margin - start;
  } else if (far) {
    start = extent - end_margin - length;
  }
}

}  // namespace

void TFormAnchors::Add(QWidget *control, unsigned anchors) {
  const QRect designed = control->geometry();
  const QSize parent = control->parentWidget()->size();
  entries_.push_back({control, anchors, designed,
                      QSize(parent.width() - designed.right() - 1, parent.height() - designed.bottom() - 1)});
}

void TFormAnchors::Apply() const {
  for (const TEntry &entry : entries_) {
    const QSize parent = entry.control->parentWidget()->size();
    int x = entry.designed.x(), width = entry.designed.width();
    int y = entry.designed.y(), height = entry.designed.height();
    Place(entry.anchors & kAnchorLeft, entry.anchors & kAnchorRight, parent.width(), entry.margins.width(), x, width);
    Place(entry.anchors & kAnchorTop, entry.anchors & kAnchorBottom, parent.height(), entry.margins.height(), y,
          height);
    entry.control->setGeometry(x, y, width, height);
  }
}

}  // namespace calibrator
