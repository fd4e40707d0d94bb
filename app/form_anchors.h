// Resizing of a form laid out in pixels: each control keeps the distance to
// the edges of its parent that it is anchored to, as it had when anchored. A
// control anchored to two opposite edges grows with its parent; one anchored
// to the right or bottom edge alone moves with it. At the designed size every
// control therefore sits exactly where the form file puts it.
#ifndef APP_FORM_ANCHORS_H
#define APP_FORM_ANCHORS_H

#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

namespace calibrator {

enum TAnchor : unsigned {
  kAnchorLeft = 1,
  kAnchorTop = 2,
  kAnchorRight = 4,
  kAnchorBottom = 8,
};

class TFormAnchors {
 public:
  // Anchors `control` by its present geometry within its parent's present
  // size: call it for the form at its designed size.
  void Add(QWidget *control, unsigned anchors);
  // Places every anchored control for its parent's present size.
  void Apply() const;

 private:
  struct TEntry {
    QWidget *control;
    unsigned anchors;
    QRect designed;
    QSize margins;  // to the parent's right and bottom edges
  };

  std::vector<TEntry> entries_;
};

}  // namespace calibrator

#endif
