// zelvo-calibrator-screenshots DIR: renders the main window with a filled
// sensor list and the calibration dialog into DIR/main-window.png and
// DIR/calibration-dialog.png, with a simulated device on loopback. The
// windows draw themselves (QWidget::grab), so no screen grabber is needed;
// run it on a real X server (or Xvfb) for desktop font rendering.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <functional>

#include "app/mainf.h"
#include "app/sensor_grid.h"
#include "app/setcalibf.h"
#include "tools/devsim/devsim.h"

namespace {

// A download from loopback takes milliseconds; this only bounds a failure.
constexpr int kTimeoutMs = 10000;

// Runs the event loop until `done` holds; false on time-out.
bool WaitFor(const std::function<bool()> &done) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > kTimeoutMs) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  return true;
}

bool Save(QWidget *window, const QDir &directory, const char *name) {
  const QString path = directory.filePath(name);
  if (!window->grab().save(path)) {
    std::fprintf(stderr, "zelvo-calibrator-screenshots: cannot write %s\n", qUtf8Printable(path));
    return false;
  }
  std::printf("%s\n", qUtf8Printable(path));
  return true;
}

int Fail(const char *what) {
  std::fprintf(stderr, "zelvo-calibrator-screenshots: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char **argv) {
  QApplication application(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  if (argc != 2) return Fail("usage: zelvo-calibrator-screenshots DIR");
  const QDir directory(QString::fromLocal8Bit(argv[1]));

  // Offsets of both signs, so that the picture shows the calibration colours.
  devsim::DeviceConfig thermometer = *devsim::variant("thermometer");
  thermometer.sensors[1].calib = -0.5;
  thermometer.sensors[2].calib = 0.3;
  devsim::Server device;
  const int port = device.start(thermometer);
  if (port < 0) return Fail(device.error().c_str());

  calibrator::TMainForm form;
  form.Prefill({"127.0.0.1", QString::number(port), "admin"});
  form.findChild<QLineEdit *>("PassEdit")->setText("admin");
  form.show();
  form.findChild<QPushButton *>("UseCloseButton")->click();
  auto *grid = form.findChild<calibrator::TSensorsStringGrid *>("SensorsStringGrid");
  if (!WaitFor([&] { return grid->rowCount() > 1; })) return Fail("the simulated device's setup did not arrive");
  grid->setCurrentCell(1, 0);
  grid->setFocus();
  QApplication::processEvents();
  if (!Save(&form, directory, "main-window.png")) return 1;

  // The dialog is modal: it is grabbed from inside its own event loop.
  bool saved = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto *dialog = qobject_cast<calibrator::TSetCalibForm *>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    poll.stop();
    QApplication::processEvents();
    saved = Save(dialog, directory, "calibration-dialog.png");
    dialog->reject();
  });
  poll.start(100);
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(grid, &enter);
  return saved ? 0 : Fail("the calibration dialog did not open");
}
