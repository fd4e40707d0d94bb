#include "app/mainf.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QThread>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/device_address.h"
#include "app/form_font.h"
#include "app/program_info.h"
#include "app/setcalibf.h"
#include "sdk/value_text.h"
#include "ui_mainf.h"

namespace calibrator {

namespace {

using zelvoapi::EventHandler;
using zelvoapi::TIoXmlAction;

// How long the device is given to apply a posted calibration before its
// setup is read back: its readings change only after it applied the offset.
constexpr unsigned long kCalibrationApplyMs = 1000;

// What an action is called in the log lines of its completion and failure.
const char *ActionName(int32_t action) {
  switch (action) {
    case zelvoapi::xaGetValues: return "Download values";
    case zelvoapi::xaGetSetup: return "Download setup";
    case zelvoapi::xaSendSetup: return "Send setup";
    case zelvoapi::xaSetOutput: return "Set output";
    case zelvoapi::xaSetRange: return "Set range";
    case zelvoapi::xaSetName: return "Set name";
    case zelvoapi::xaSetCalibration: return "Set calibration";
    default: return nullptr;
  }
}

// The event's host field as text, never reading past its 16 bytes.
std::string HostOf(const zelvoapi::TIoXmlSetupEventArgs &args) {
  return std::string(args.Host, strnlen(args.Host, sizeof args.Host));
}

template <class TArgs>
std::unique_ptr<zelvoapi::TEventCustom> Handler(TMainForm *form, void (TMainForm::*method)(TArgs &)) {
  return std::make_unique<EventHandler<TMainForm, TArgs>>(form, method);
}

}  // namespace

TMainForm::TMainForm(QWidget *parent) : QWidget(parent), ui_(std::make_unique<Ui::MainForm>()) {
  ui_->setupUi(this);
  ApplyFormFont(this);
  ui_->DoubleDotLabel0->setFont(FormFont(13, true));
  setWindowTitle(QString("%1 %2 (%3)").arg(kProgramTitle, kProgramVersion, kMakerWebAddress));
  // A fixed-size dialog border: title and close box only.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(size());
  if (QScreen *screen = QGuiApplication::primaryScreen()) move(screen->availableGeometry().center() - rect().center());

  connect(ui_->UseCloseButton, &QPushButton::clicked, this, &TMainForm::UseCloseButtonClick);
  connect(ui_->ReadButton, &QPushButton::clicked, this, &TMainForm::ReadButtonClick);
  connect(ui_->SensorsStringGrid, &TSensorsStringGrid::rowActivated, this, &TMainForm::SensorsStringGridDblClick);

  io_xml_ = std::make_unique<zelvoapi::TIoXml>(this);
  io_xml_->OnOpen = Handler(this, &TMainForm::DeviceOpened);
  io_xml_->OnClose = Handler(this, &TMainForm::DeviceClosed);
  io_xml_->OnBegin = Handler(this, &TMainForm::RequestIssued);
  io_xml_->OnStatus = Handler(this, &TMainForm::Connected);
  io_xml_->OnSetup = Handler(this, &TMainForm::SetupArrived);
  io_xml_->OnSetupSent = Handler(this, &TMainForm::SetupArrived);
  io_xml_->OnError = Handler(this, &TMainForm::DeviceError);
  UpdateControls(false);
}

TMainForm::~TMainForm() { ReleaseDevice(); }

void TMainForm::Prefill(const TStartOptions &options) {
  if (!options.Host.isEmpty()) ui_->IPEdit->setText(options.Host);
  if (!options.Port.isEmpty()) ui_->PortEdit->setText(options.Port);
  if (!options.User.isEmpty()) ui_->UserEdit->setText(options.User);
}

void TMainForm::Log(const std::string &text) {
  QListWidget *list = ui_->LogListBox;
  if (list->count() > kLogMaxLines) list->model()->removeRows(0, kLogTrimLines);
  const QString line = QString::fromStdString(text);
  auto *item = new QListWidgetItem(line);
  constexpr int kLogItemHeight = 13;
  item->setSizeHint(QSize(list->fontMetrics().horizontalAdvance(line) + 4, kLogItemHeight));
  list->addItem(item);
  list->setCurrentRow(list->count() - 1);
  list->scrollToItem(item);
}

void TMainForm::LogF(const char *format, ...) {
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::vector<char> text(length > 0 ? length + 1 : 1, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size(), format, args);
  va_end(args);
  Log(text.data());
}

void TMainForm::closeEvent(QCloseEvent *event) {
  closing_ = true;
  if (awaiting_calibration_) {
    // The close arrived while a TIoXml handler lets pending messages run:
    // destroying the object under its own handler would pull the ground from
    // under it, so it goes once the handler has returned.
    QMetaObject::invokeMethod(
        this, [this] { ReleaseDevice(); }, Qt::QueuedConnection);
  } else {
    ReleaseDevice();
  }
  event->accept();
}

void TMainForm::UseCloseButtonClick() {
  if (!io_xml_) return;
  if (io_xml_->State != zelvoapi::xaClosed) {
    io_xml_->Close();  // also while a request is in progress
    return;
  }
  const QString host = ui_->IPEdit->text();
  const QString port = ui_->PortEdit->text();
  if (host.isEmpty() || port.isEmpty()) return;
  const std::string address = ResolveIPv4(host.toStdString());
  if (address.empty()) {
    QMessageBox::critical(this, kProgramTitle, "Unknow device, addres can not be resolved!");
    return;
  }
  io_xml_->Host = address;
  io_xml_->Port = PortOfText(port);
  io_xml_->User = ui_->UserEdit->text().toStdString();
  io_xml_->Password = ui_->PassEdit->text().toStdString();
  // Success shows as DeviceOpened, a refusal as DeviceError; a slot that
  // opens but never becomes ready shows nothing.
  io_xml_->Open();
}

void TMainForm::ReadButtonClick() {
  remembered_row_ = -1;
  if (io_xml_) io_xml_->GetSetup();
}

void TMainForm::SensorsStringGridDblClick() {
  remembered_row_ = ui_->SensorsStringGrid->currentRow();
  if (!io_xml_ || !setup_.Record) return;  // no setup that may be read
  zelvoapi::TXmlSensorEnum sensor;
  setup_.GetCommon(sensor);
  if (setup_.GetSensor(remembered_row_, sensor) != 0) return;  // the empty last row
  if (sensor.Kind != zelvoapi::KIND_ANALOG_INPUT) return;      // only analog inputs take an offset
  float calibration = 0;
  if (!EditCalibration(this, sensor, calibration)) return;
  // The dialog let messages run: the window may have been closed meanwhile.
  // A refusal arrives as DeviceError, success as RequestIssued.
  if (io_xml_) io_xml_->SetCalibration(static_cast<uint32_t>(sensor.Id), calibration);
}

void TMainForm::DeviceOpened(zelvoapi::TSdkSimpleEventArgs &) {
  ui_->SensorsStringGrid->ClearSensorList();
  UpdateControls(true);
  ui_->ReadButton->click();
}

void TMainForm::DeviceClosed(zelvoapi::TSdkSimpleEventArgs &) {
  ReleaseSetup();  // the rows stay on view, their records are gone
  UpdateControls(false);
}

void TMainForm::RequestIssued(zelvoapi::TSdkSimpleEventArgs &) {
  ReleaseSetup();
  ui_->SensorsStringGrid->ClearSensorList();
  ui_->ReadButton->setEnabled(false);
}

void TMainForm::Connected(zelvoapi::TIoXmlStatusEventArgs &args) {
  if (args.Status == zelvoapi::xaGetValues) Log("Downloading values...");
  if (args.Status == zelvoapi::xaGetSetup) Log("Downloading setup...");
}

void TMainForm::SetupArrived(zelvoapi::TIoXmlSetupEventArgs &args) {
  const unsigned port = static_cast<unsigned>(args.Port);
  switch (args.Action) {
    case zelvoapi::xaGetSetup:
      ShowSetup(args);
      LogF("Download setup from %s:%u", HostOf(args).c_str(), port);
      break;
    case zelvoapi::xaSetCalibration: AwaitCalibration(args); return;  // the read-back download enables the button
    case zelvoapi::xaSendSetup:
    case zelvoapi::xaSetOutput:
    case zelvoapi::xaSetRange:
    case zelvoapi::xaSetName:
      LogF("%s finished. Download new setup from %s:%u", ActionName(args.Action), HostOf(args).c_str(), port);
      break;
    default: break;
  }
  ui_->ReadButton->setEnabled(true);
}

void TMainForm::DeviceError(zelvoapi::TSdkErrorEventArgs &args) {
  // The open, the close and a calibration post have no name of their own.
  const bool named = args.Operation >= zelvoapi::xaGetValues && args.Operation <= zelvoapi::xaSetName;
  if (named) {
    LogF("%s error: %s", ActionName(args.Operation), args.Error.Text.c_str());
  } else {
    LogF("Error: %s", args.Error.Text.c_str());
  }
  ui_->ReadButton->setEnabled(true);
}

void TMainForm::ShowSetup(const zelvoapi::TIoXmlSetupEventArgs &args) {
  setup_.Assign(args.Setup, args.Counts, args.Host, args.Port);
  TSensorsStringGrid *grid = ui_->SensorsStringGrid;
  if (const auto device_name = grid->FillSensorList(setup_)) ui_->NameLabel->setText(*device_name);
  if (remembered_row_ != -1)
    grid->setCurrentCell(remembered_row_, grid->currentColumn() < 0 ? 0 : grid->currentColumn());
}

void TMainForm::AwaitCalibration(const zelvoapi::TIoXmlSetupEventArgs &args) {
  LogF("%s finished. Download new setup from %s:%u", ActionName(args.Action), HostOf(args).c_str(),
       static_cast<unsigned>(args.Port));
  Log("Wait for applying new calibration value...");
  awaiting_calibration_ = true;
  QCoreApplication::processEvents();  // paints both lines before the wait
  awaiting_calibration_ = false;
  if (closing_ || !io_xml_) return;
  QThread::msleep(kCalibrationApplyMs);
  io_xml_->GetSetup();
}

void TMainForm::UpdateControls(bool device_open) {
  ui_->UseCloseButton->setText(device_open ? "&Close" : "&Open This Device");
  ui_->ReadButton->setEnabled(device_open);
  for (QWidget *control : std::initializer_list<QWidget *>{ui_->IPEdit, ui_->PortEdit, ui_->UserEdit, ui_->PassEdit,
                                                           ui_->Label1, ui_->Label2})
    control->setEnabled(!device_open);
  // Edits that cannot be changed wear the button face, as the form does.
  const QColor base = device_open ? palette().color(QPalette::Button) : QPalette().color(QPalette::Base);
  for (QWidget *edit : std::initializer_list<QWidget *>{ui_->IPEdit, ui_->PortEdit, ui_->UserEdit, ui_->PassEdit}) {
    QPalette colours = edit->palette();
    colours.setColor(QPalette::Base, base);
    edit->setPalette(colours);
  }
}

void TMainForm::ReleaseSetup() { setup_.Assign(nullptr, nullptr, "", 0); }

void TMainForm::ReleaseDevice() {
  ReleaseSetup();
  io_xml_.reset();
}

}  // namespace calibrator
