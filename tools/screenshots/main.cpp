// zelvo-calibrator-screenshots DIR: renders the program's windows into DIR,
// each filled from a simulated device on loopback:
//   main-window.png             the main window listing a thermometer
//   calibration-dialog.png      the calibration dialog of one of its sensors
//   main-window-42-sensors.png  an enlarged main window listing 42 sensors
//   incomplete-setup.png        the warning about a setup cut off mid-document
//   search-dialog.png           the search dialog listing the demo devices
//   calibration-reference.png   the calibration dialog with a reference reading
//   calibration-verified.png    the main window after a verified calibration
//   calibration-record.png      the calibration record window with two attempts
// The windows draw themselves (QWidget::grab), so no screen grabber is
// needed; run it on a real X server (or Xvfb) for desktop font rendering.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/calibrecordf.h"
#include "app/mainf.h"
#include "app/sensor_grid.h"
#include "app/setcalibf.h"
#include "app/udpsearchf.h"
#include "qxudps/qxudps.h"
#include "tools/devsim/devsim.h"

namespace {

// A download from loopback takes milliseconds; this only bounds a failure.
constexpr int kTimeoutMs = 10000;
// Room right of the longest log line in a picture.
constexpr int kLogMargin = 8;
// How often a modal dialog is looked for, so that it is grabbed from inside
// its own event loop.
constexpr int kModalPollMs = 100;
// The line of the search dialog shown selected, as after a click on it.
constexpr int kSelectedDevice = 1;

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

// Says what went wrong; false, so that a step can return it.
bool Failed(const char *what) {
  std::fprintf(stderr, "zelvo-calibrator-screenshots: %s\n", what);
  return false;
}

// A main window with its own simulated device, opened as an operator would:
// address prefilled, password typed, Open pressed.
class TScene {
 public:
  // Serves `config`; false with the reason on stderr when it cannot start.
  bool Serve(const devsim::DeviceConfig &config) {
    config_ = config;
    return device_.start(config) > 0 || Failed(device_.error().c_str());
  }
  devsim::Server &Device() { return device_; }
  // Opens the served device in a new main window and waits for its list.
  bool Open() {
    form_ = std::make_unique<calibrator::TMainForm>();
    form_->Prefill({"127.0.0.1", QString::number(device_.port()), QString::fromStdString(config_.user)});
    form_->findChild<QLineEdit *>("PassEdit")->setText(QString::fromStdString(config_.password));
    form_->show();
    form_->findChild<QPushButton *>("UseCloseButton")->click();
    auto *refresh = form_->findChild<QPushButton *>("ReadButton");
    return WaitFor([&] { return Grid()->rowCount() > 1 && refresh->isEnabled(); }) ||
           Failed("the simulated device's setup did not arrive");
  }

  calibrator::TMainForm &Form() { return *form_; }
  calibrator::TSensorsStringGrid *Grid() {
    return form_->findChild<calibrator::TSensorsStringGrid *>("SensorsStringGrid");
  }
  // Makes `row` current with the focus in the grid, as after a click on it.
  void FocusRow(int row) {
    Grid()->setCurrentCell(row, 0);
    Grid()->setFocus();
    QApplication::processEvents();
  }
  // Resizes the window and waits until the window system has done it.
  bool ResizeTo(const QSize &size) {
    form_->resize(size);
    return WaitFor([&] { return form_->size() == size; });
  }

 private:
  // In this order: the window closes its device before the device stops.
  devsim::DeviceConfig config_;
  devsim::Server device_;
  std::unique_ptr<calibrator::TMainForm> form_;
};

// The thermometer with offsets of both signs, so that the picture shows the
// calibration colours.
devsim::DeviceConfig Thermometer() {
  devsim::DeviceConfig thermometer = *devsim::variant("thermometer");
  thermometer.sensors[1].calib = -0.5;
  thermometer.sensors[2].calib = 0.3;
  return thermometer;
}

bool MainWindowAndDialog(const QDir &directory) {
  TScene scene;
  if (!scene.Serve(Thermometer()) || !scene.Open()) return false;
  scene.FocusRow(1);
  if (!Save(&scene.Form(), directory, "main-window.png")) return false;

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
  poll.start(kModalPollMs);
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(scene.Grid(), &enter);
  return saved || Failed("the calibration dialog did not open");
}

bool FortyTwoSensors(const QDir &directory) {
  TScene scene;
  if (!scene.Serve(*devsim::variant("max-sensors")) || !scene.Open()) return false;
  calibrator::TSensorsStringGrid *grid = scene.Grid();
  // Tall enough for every row, the empty last one included, and wider, as
  // an operator would drag it.
  const int last = grid->rowCount() - 1;
  const int missing = grid->rowViewportPosition(last) + grid->rowHeight(last) - grid->viewport()->height();
  constexpr int kWider = 160;
  if (!scene.ResizeTo(scene.Form().size() + QSize(kWider, missing)))
    return Failed("the main window did not take the size of 42 sensors");
  scene.FocusRow(0);
  return Save(&scene.Form(), directory, "main-window-42-sensors.png");
}

bool IncompleteSetup(const QDir &directory) {
  TScene scene;
  if (!scene.Serve(Thermometer())) return false;
  // The setup document ends inside the third sensor's entry.
  const std::size_t cut = scene.Device().setup_document().find("<Name>Fridge");
  if (cut == std::string::npos) return Failed("no third sensor in the thermometer's setup");
  scene.Device().set_fault({devsim::FaultKind::truncate_body, devsim::FaultTarget::setup, static_cast<long>(cut)});
  if (!scene.Open()) return false;
  // Wide enough for the log to show the warning whole.
  auto *log = scene.Form().findChild<QListWidget *>("LogListBox");
  const int missing = log->sizeHintForColumn(0) - log->viewport()->width() + kLogMargin;
  if (missing > 0 && !scene.ResizeTo(scene.Form().size() + QSize(missing, 0)))
    return Failed("the main window did not take the width of the warning");
  scene.FocusRow(1);
  return Save(&scene.Form(), directory, "incomplete-setup.png");
}

bool SearchDialog(const QDir &directory) {
  // In this order: the window goes first, then the responder, then the
  // devices it answers for.
  std::vector<std::unique_ptr<devsim::Server>> fleet;
  std::vector<devsim::Server *> serving;
  for (const devsim::DeviceConfig &config : devsim::demo_fleet()) {
    fleet.push_back(std::make_unique<devsim::Server>());
    if (fleet.back()->start(config) <= 0) return Failed(fleet.back()->error().c_str());
    serving.push_back(fleet.back().get());
  }
  devsim::UdpResponder responder;
  const int port = responder.start(serving);
  if (port <= 0) return Failed(responder.error().c_str());
  // The search goes to the responder on loopback, never out as a broadcast.
  if (qxudps_set_search_target("127.0.0.1", port) != 0) return Failed("the search target was refused");
  calibrator::TMainForm form;
  form.show();

  bool grabbed = false;
  bool saved = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto *dialog = qobject_cast<calibrator::TUdpSearchForm *>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    poll.stop();
    dialog->findChild<QListWidget *>("ModulesListBox")->setCurrentRow(kSelectedDevice);
    QApplication::processEvents();
    saved = Save(dialog, directory, "search-dialog.png");
    grabbed = true;
    dialog->reject();
  });
  poll.start(kModalPollMs);
  form.findChild<QPushButton *>("SearchButton")->click();
  if (!WaitFor([&] { return grabbed; })) return Failed("the search dialog did not open");
  return saved;
}

// Opens the calibration dialog of the grid's current row, lets `fill` type
// into it and confirms it; `grab` may save the filled dialog first.
bool Calibrate(TScene &scene, const std::function<void(calibrator::TSetCalibForm *)> &fill,
               const std::function<bool(calibrator::TSetCalibForm *)> &grab) {
  bool confirmed = false;
  bool saved = true;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto *dialog = qobject_cast<calibrator::TSetCalibForm *>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    poll.stop();
    fill(dialog);
    QApplication::processEvents();
    if (grab) saved = grab(dialog);
    dialog->accept();
    confirmed = dialog->result() == QDialog::Accepted;
  });
  poll.start(kModalPollMs);
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(scene.Grid(), &enter);
  if (!confirmed) return Failed("the calibration dialog did not take the offset");
  return saved;
}

// Waits until the record holds `rows` attempts and the window is idle again.
bool WaitForAttempts(TScene &scene, std::size_t rows) {
  auto *refresh = scene.Form().findChild<QPushButton *>("ReadButton");
  return WaitFor([&] { return scene.Form().CalibrationRecord().size() == rows && refresh->isEnabled(); }) ||
         Failed("the calibration was not verified");
}

bool CalibrationWorkflow(const QDir &directory) {
  TScene scene;
  if (!scene.Serve(Thermometer()) || !scene.Open()) return false;
  // The Incubator, as a technician reads a reference thermometer beside it.
  constexpr int kIncubator = 1;
  scene.FocusRow(kIncubator);
  const auto reference = [](calibrator::TSetCalibForm *dialog) {
    dialog->findChild<QLineEdit *>("ReferenceEdit")->setText("30.0");
  };
  const auto grab = [&](calibrator::TSetCalibForm *dialog) {
    return Save(dialog, directory, "calibration-reference.png");
  };
  if (!Calibrate(scene, reference, grab) || !WaitForAttempts(scene, 1)) return false;
  // Wide enough for the log to show the verdict whole.
  auto *log = scene.Form().findChild<QListWidget *>("LogListBox");
  const int missing = log->sizeHintForColumn(0) - log->viewport()->width() + kLogMargin;
  if (missing > 0 && !scene.ResizeTo(scene.Form().size() + QSize(missing, 0)))
    return Failed("the main window did not take the width of the verdict");
  scene.FocusRow(kIncubator);
  if (!Save(&scene.Form(), directory, "calibration-verified.png")) return false;

  // A second attempt at a device that keeps its setup, for a record with
  // both verdicts.
  scene.Device().set_fault(*devsim::parse_fault("ignore-post@post"));
  scene.FocusRow(kIncubator);
  const auto offset = [](calibrator::TSetCalibForm *dialog) {
    dialog->findChild<QLineEdit *>("CalibEdit")->setText("0.5");
  };
  if (!Calibrate(scene, offset, nullptr) || !WaitForAttempts(scene, 2)) return false;
  scene.Form().findChild<QPushButton *>("RecordButton")->click();
  auto *record = scene.Form().findChild<calibrator::TCalibRecordForm *>("CalibRecordForm");
  if (!record || !WaitFor([&] { return record->isVisible(); })) return Failed("the record window did not open");
  // Wide enough for every column, the verdict included.
  auto *table = record->findChild<QTableWidget *>("RecordTable");
  const int wider = table->horizontalHeader()->length() + 2 * table->frameWidth() - table->viewport()->width();
  if (wider > 0) {
    record->resize(record->size() + QSize(wider, 0));
    if (!WaitFor([&] { return table->viewport()->width() >= table->horizontalHeader()->length(); }))
      return Failed("the record window did not take the width of its columns");
  }
  record->findChild<QPushButton *>("CloseButton")->setFocus();
  QApplication::processEvents();
  return Save(record, directory, "calibration-record.png");
}

}  // namespace

int main(int argc, char **argv) {
  QApplication application(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  if (argc != 2) {
    Failed("usage: zelvo-calibrator-screenshots DIR");
    return 1;
  }
  const QDir directory(QString::fromLocal8Bit(argv[1]));
  for (bool (*render)(const QDir &) :
       {MainWindowAndDialog, FortyTwoSensors, IncompleteSetup, SearchDialog, CalibrationWorkflow})
    if (!render(directory)) return 1;
  return 0;
}
