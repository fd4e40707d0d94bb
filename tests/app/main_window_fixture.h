// A shown main window and a simulated device on loopback, for the tests that
// drive the whole program.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <functional>

#include "app/mainf.h"
#include "app/sensor_grid.h"
#include "app/setcalibf.h"
#include "tests/app/gui_driver.h"
#include "tests/support/devsim_variant.h"
#include "tests/support/eventually.h"
#include "tests/support/pump_until.h"
#include "tools/devsim/devsim.h"

namespace calibrator_test {

// What a ModalWatcher does when it expects calibration dialogs only: each
// goes to `answer`; any other modal window fails the test and is closed.
inline std::function<void(QWidget *)> CalibDialogAct(std::function<void(calibrator::TSetCalibForm *)> answer) {
  return [answer = std::move(answer)](QWidget *modal) {
    auto *dialog = qobject_cast<calibrator::TSetCalibForm *>(modal);
    if (!dialog) {
      ADD_FAILURE() << "unexpected modal " << modal->metaObject()->className();
      modal->close();
      return;
    }
    answer(dialog);
  };
}

class MainWindowTest : public ::testing::Test {
 protected:
  // Long enough for a download from loopback, short enough to fail fast.
  static constexpr int kWaitMs = 5000;

  void SetUp() override {
    form_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
  }

  // Serves `config` on a free loopback port.
  void StartDevice(const devsim::DeviceConfig &config) {
    port_ = server_.start(config);
    ASSERT_GT(port_, 0) << server_.error();
  }

  template <class T>
  T *Control(const char *name) {
    T *control = form_.findChild<T *>(name);
    EXPECT_NE(control, nullptr) << "no control " << name;
    return control;
  }
  calibrator::TSensorsStringGrid *Grid() { return Control<calibrator::TSensorsStringGrid>("SensorsStringGrid"); }
  QPushButton *UseCloseButton() { return Control<QPushButton>("UseCloseButton"); }
  QPushButton *ReadButton() { return Control<QPushButton>("ReadButton"); }
  QString StatusText() { return Control<QLabel>("StatusLabel")->text(); }
  bool GridShowsBusy() { return Grid()->viewport()->cursor().shape() == Qt::BusyCursor; }

  // Fills the connection fields and presses the open button.
  void PressOpen(const QString &host, const QString &port, const QString &user, const QString &password) {
    Control<QLineEdit>("IPEdit")->setText(host);
    Control<QLineEdit>("PortEdit")->setText(port);
    Control<QLineEdit>("UserEdit")->setText(user);
    Control<QLineEdit>("PassEdit")->setText(password);
    QTest::mouseClick(UseCloseButton(), Qt::LeftButton);
  }
  // Opens the simulated device with `user` and `password` and waits until its
  // setup is listed.
  void OpenDevice(const QString &user, const QString &password) {
    PressOpen("127.0.0.1", QString::number(port_), user, password);
    ASSERT_TRUE(WaitForLogCount(DownloadedLine(), 1)) << Dump();
  }

  QString DownloadedLine() const { return QString("Download setup from 127.0.0.1:%1").arg(port_); }
  QString Address() const { return QString("127.0.0.1:%1").arg(port_); }

  QStringList LogLines() {
    QStringList lines;
    QListWidget *log = Control<QListWidget>("LogListBox");
    for (int i = 0; i < log->count(); ++i) lines << log->item(i)->text();
    return lines;
  }
  static bool PumpUntil(const std::function<bool()> &done, int timeout_ms = kWaitMs) {
    return qxsupport::PumpUntil(done, std::chrono::milliseconds(timeout_ms));
  }
  // Waits until `line` is in the log `count` times.
  bool WaitForLogCount(const QString &line, int count, int timeout_ms = kWaitMs) {
    return PumpUntil([&] { return LogLines().count(line) >= count; }, timeout_ms);
  }
  // The log, for failure messages.
  std::string Dump() { return "log:\n  " + LogLines().join("\n  ").toStdString(); }

  QString Cell(int row, int column) {
    const QTableWidgetItem *item = Grid()->item(row, column);
    return item ? item->text() : QString();
  }
  QStringList Row(int row) {
    QStringList cells;
    for (int column = 0; column < calibrator::kSensorColumnCount; ++column) cells << Cell(row, column);
    return cells;
  }
  void DoubleClickRow(int row) {
    calibrator::TSensorsStringGrid *grid = Grid();
    DoubleClick(grid->viewport(), grid->visualRect(grid->model()->index(row, calibrator::kNameColumn)).center());
  }

  // Members in this order: the window closes its device before the device stops.
  devsim::Server server_;
  int port_ = 0;
  calibrator::TMainForm form_;
};

}  // namespace calibrator_test
