// Input helpers for driving real windows with QTest.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

namespace calibrator_test {

// A double-click as the window system delivers it: press, release, the
// double-click event, release. (QTest's own widget double-click sends the
// double-click event alone, which an item view takes for a first press.)
inline void DoubleClick(QWidget *widget, QPoint position) {
  QTest::mousePress(widget, Qt::LeftButton, {}, position);
  QTest::mouseRelease(widget, Qt::LeftButton, {}, position);
  QTest::mouseDClick(widget, Qt::LeftButton, {}, position);
  QTest::mouseRelease(widget, Qt::LeftButton, {}, position);
}

// Watches for modal windows while it lives: each modal window that opens is
// handed to `act` once, from inside the window's own event loop (a modal
// window blocks the code that opened it, so the test must act from there).
// `act` must close the window.
class ModalWatcher {
 public:
  explicit ModalWatcher(std::function<void(QWidget *)> act) : act_(std::move(act)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget *modal = QApplication::activeModalWidget();
      if (!modal) {
        handled_ = nullptr;  // closed: the next one may reuse its address
        return;
      }
      if (modal == handled_) return;
      handled_ = modal;
      ++count_;
      act_(modal);
    });
    timer_.start(10);
  }

  // How many modal windows opened so far.
  int Count() const { return count_; }

 private:
  std::function<void(QWidget *)> act_;
  QTimer timer_;
  QWidget *handled_ = nullptr;
  int count_ = 0;
};

// Answers every message box that opens while it lives with its OK button,
// and keeps what each one showed. Any other modal window is closed and
// counted as a box without text.
class MessageBoxRecorder {
 public:
  struct Box {
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
  };

  MessageBoxRecorder()
      : watcher_([this](QWidget *modal) {
          auto *box = qobject_cast<QMessageBox *>(modal);
          if (!box) {
            boxes_.push_back({});
            modal->close();
            return;
          }
          boxes_.push_back({box->text(), box->icon(), box->standardButtons()});
          if (QAbstractButton *ok = box->button(QMessageBox::Ok)) {
            ok->click();
          } else {
            box->close();
          }
        }) {}

  int Count() const { return static_cast<int>(boxes_.size()); }
  // What box `index` showed; an empty box for one that never opened.
  Box At(int index) const { return index < Count() ? boxes_[static_cast<size_t>(index)] : Box{}; }

 private:
  std::vector<Box> boxes_;
  ModalWatcher watcher_;  // last: it reports into boxes_
};

}  // namespace calibrator_test
