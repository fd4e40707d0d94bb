// Driving the search dialog as an operator would, from inside its own modal
// event loop (see ModalWatcher).
#pragma once

#include <QListWidget>
#include <QPushButton>
#include <QStringList>
#include <QTest>

#include "app/udpsearchf.h"
#include "tests/app/gui_driver.h"

namespace calibrator_test {

// What the operator does in the dialog; "Select" is a click on a line.
enum class DialogAct {
  kDoubleClick,
  kSelectThenOk,
  kSelectThenEnter,
  kSelectThenCancel,
  kSelectThenEscape,
  kOk,
  kCancel,
  kCloseBox,
};

// The list lines of the dialog.
inline QStringList DialogLines(QWidget *dialog) {
  QStringList lines;
  auto *list = dialog->findChild<QListWidget *>("ModulesListBox");
  if (!list) return lines;
  for (int row = 0; row < list->count(); ++row) lines << list->item(row)->text();
  return lines;
}

// Does `act` on line `line` of the search dialog `dialog`. A dialog the act
// leaves open is closed, so that a test fails instead of hanging; false then,
// or when `dialog` is no search dialog or has no such line.
inline bool ActOn(QWidget *dialog, DialogAct act, int line) {
  auto *form = qobject_cast<calibrator::TUdpSearchForm *>(dialog);
  auto *list = dialog->findChild<QListWidget *>("ModulesListBox");
  auto *ok = dialog->findChild<QPushButton *>("OkButton");
  auto *cancel = dialog->findChild<QPushButton *>("CancelButton");
  const bool selects = act != DialogAct::kOk && act != DialogAct::kCancel && act != DialogAct::kCloseBox;
  if (!form || !list || !ok || !cancel || (selects && (line < 0 || line >= list->count()))) {
    dialog->close();
    return false;
  }
  const QPoint at = selects ? list->visualItemRect(list->item(line)).center() : QPoint();
  if (selects && act != DialogAct::kDoubleClick) QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
  switch (act) {
    case DialogAct::kDoubleClick: DoubleClick(list->viewport(), at); break;
    case DialogAct::kSelectThenOk:
    case DialogAct::kOk: QTest::mouseClick(ok, Qt::LeftButton); break;
    case DialogAct::kSelectThenEnter: QTest::keyClick(list, Qt::Key_Return); break;
    case DialogAct::kSelectThenCancel:
    case DialogAct::kCancel: QTest::mouseClick(cancel, Qt::LeftButton); break;
    case DialogAct::kSelectThenEscape: QTest::keyClick(list, Qt::Key_Escape); break;
    case DialogAct::kCloseBox: dialog->close(); break;
  }
  if (!dialog->isVisible()) return true;
  dialog->close();
  return false;
}

}  // namespace calibrator_test
