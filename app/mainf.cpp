#include "app/mainf.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QSpinBox>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <vector>

#include "app/calib_input.h"
#include "app/calibration_math.h"
#include "app/calibrecordf.h"
#include "app/device_address.h"
#include "app/document_quality.h"
#include "app/form_font.h"
#include "app/log_list.h"
#include "app/post_outcome.h"
#include "app/program_info.h"
#include "app/setcalibf.h"
#include "app/udpsearchf.h"
#include "sdk/value_text.h"
#include "ui_mainf.h"

namespace calibrator {

namespace {

using zelvoapi::EventHandler;

using zelvoapi::TIoXmlAction;

// A busy status line counts its seconds, so that a long wait shows as one.
constexpr int kStatusClockMs = 1000;
// The watch's spin box counts seconds.
constexpr int kMsPerSecond = 1000;

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

QString AddressOf(const zelvoapi::TIoXmlSetupEventArgs &args) {
  return QString("%1:%2").arg(QString::fromStdString(HostOf(args))).arg(args.Port);
}

template <class TArgs>
std::unique_ptr<zelvoapi::TEventCustom> Handler(TMainForm *form, void (TMainForm::*method)(TArgs &)) {
  return std::make_unique<EventHandler<TMainForm, TArgs>>(form, method);
}

}  // namespace

TMainForm::TMainForm(QWidget *parent)
    : QWidget(parent), ui_(std::make_unique<Ui::MainForm>()), lookup_(new THostLookup(this)) {
  ui_->setupUi(this);
  ApplyFormFont(this);
  ui_->DoubleDotLabel0->setFont(FormFont(13, true));
  setWindowTitle(QString("%1 %2 (%3)").arg(kProgramTitle, kProgramVersion, kMakerWebAddress));
  // The form opens at its designed size, which is also the smallest that
  // shows every control; the grid and the log take any room beyond it.
  setMinimumSize(size());
  // The note and the status line stay under the list, the Refresh button in
  // the corner.
  const unsigned kLeftTop = kAnchorLeft | kAnchorTop;
  for (const auto &[control, anchors] : std::initializer_list<std::pair<QWidget *, unsigned>>{
           {ui_->LogListBox, kLeftTop | kAnchorRight},
           {ui_->NameLabel, kLeftTop | kAnchorRight},
           {ui_->SensorsStringGrid, kLeftTop | kAnchorRight | kAnchorBottom},
           {ui_->Label5, kAnchorLeft | kAnchorBottom},
           {ui_->Label4, kAnchorLeft | kAnchorBottom},
           {ui_->StatusLabel, kAnchorLeft | kAnchorRight | kAnchorBottom},
           {ui_->ReadButton, kAnchorRight | kAnchorBottom},
           {ui_->WatchCheckBox, kAnchorRight | kAnchorBottom},
           {ui_->WatchSpinBox, kAnchorRight | kAnchorBottom},
           {ui_->RecordButton, kAnchorRight | kAnchorTop},
       })
    anchors_.Add(control, anchors);
  if (QScreen *screen = QGuiApplication::primaryScreen()) move(screen->availableGeometry().center() - rect().center());

  log_ = std::make_unique<TLogList>(ui_->LogListBox);
  lookup_->setObjectName("HostLookup");
  apply_wait_.setSingleShot(true);
  apply_wait_.setTimerType(Qt::PreciseTimer);  // a coarse timer may end the wait early
  apply_wait_.setInterval(kCalibrationApplyMs);
  status_clock_.setInterval(kStatusClockMs);
  watch_timer_.setSingleShot(true);
  highlight_timer_.setSingleShot(true);
  highlight_timer_.setInterval(kChangeHighlightMs);
  connect(&watch_timer_, &QTimer::timeout, this, &TMainForm::WatchTick);
  connect(&highlight_timer_, &QTimer::timeout, ui_->SensorsStringGrid, [this] {
    ui_->SensorsStringGrid->ClearChangeMarks();
    ui_->SensorsStringGrid->viewport()->update();
  });
  connect(ui_->WatchCheckBox, &QCheckBox::toggled, this, &TMainForm::WatchToggled);
  connect(ui_->RecordButton, &QPushButton::clicked, this, &TMainForm::RecordButtonClick);
  connect(&apply_wait_, &QTimer::timeout, this, &TMainForm::CalibrationApplied);
  connect(&status_clock_, &QTimer::timeout, this, &TMainForm::UpdateStatus);
  connect(lookup_, &THostLookup::finished, this, &TMainForm::HostLookedUp);
  connect(ui_->SearchButton, &QPushButton::clicked, this, &TMainForm::SearchButtonClick);
  connect(ui_->UseCloseButton, &QPushButton::clicked, this, &TMainForm::UseCloseButtonClick);
  connect(ui_->ReadButton, &QPushButton::clicked, this, &TMainForm::ReadButtonClick);
  connect(ui_->SensorsStringGrid, &TSensorsStringGrid::rowActivated, this, &TMainForm::SensorsStringGridDblClick);
  // The password is the last field: Enter there means "open".
  connect(ui_->PassEdit, &QLineEdit::returnPressed, ui_->UseCloseButton, &QPushButton::click);

  udps_ = std::make_unique<zelvoapi::TUdps>(this);
  udps_->OnSearchBegin = Handler(this, &TMainForm::SearchStarted);
  udps_->OnSearchDone = Handler(this, &TMainForm::SearchFinished);
  udps_->OnError = Handler(this, &TMainForm::SearchFailed);
  io_xml_ = std::make_unique<zelvoapi::TIoXml>(this);
  io_xml_->OnOpen = Handler(this, &TMainForm::DeviceOpened);
  io_xml_->OnClose = Handler(this, &TMainForm::DeviceClosed);
  io_xml_->OnBegin = Handler(this, &TMainForm::RequestIssued);
  io_xml_->OnStatus = Handler(this, &TMainForm::Connected);
  io_xml_->OnSetup = Handler(this, &TMainForm::SetupArrived);
  io_xml_->OnSetupSent = Handler(this, &TMainForm::SetupArrived);
  io_xml_->OnError = Handler(this, &TMainForm::DeviceError);
  UpdateControls();
  UpdateStatus();
  FocusFirstEmptyField();
}

TMainForm::~TMainForm() { ReleaseObjects(); }

void TMainForm::Prefill(const TStartOptions &options) {
  if (!options.Host.isEmpty()) ui_->IPEdit->setText(options.Host);
  if (!options.Port.isEmpty()) ui_->PortEdit->setText(options.Port);
  if (!options.User.isEmpty()) ui_->UserEdit->setText(options.User);
  apply_wait_.setInterval(options.ApplyWaitMs);
  record_path_ = options.RecordPath;
  FocusFirstEmptyField();
}

void TMainForm::Log(const std::string &text) { log_->Append(QString::fromStdString(text)); }

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
  lookup_->Abandon();
  apply_wait_.stop();
  watch_timer_.stop();
  ReleaseObjects();
  search_running_ = false;  // the search that may still run reports to nobody
  UpdateControls();
  UpdateStatus();
  event->accept();
}

void TMainForm::resizeEvent(QResizeEvent *event) {
  QWidget::resizeEvent(event);
  anchors_.Apply();
}

void TMainForm::SearchButtonClick() {
  // A refusal arrives as SearchFailed; an object already searching changes
  // nothing.
  if (udps_) udps_->Search();
}

void TMainForm::UseCloseButtonClick() {
  if (!io_xml_ || lookup_->Running()) return;
  if (DeviceOpen()) {
    io_xml_->Close();  // also while a request or the apply wait is in progress
    return;
  }
  const QString host = ui_->IPEdit->text();
  const QString port_text = ui_->PortEdit->text();
  if (host.isEmpty() || port_text.isEmpty()) return;
  const std::optional<int> port = PortOfText(port_text);
  if (!port) {
    QMessageBox::critical(this, kProgramTitle, PortTextError(port_text));
    ui_->PortEdit->setFocus();
    ui_->PortEdit->selectAll();
    return;
  }
  open_port_ = *port;
  lookup_->Start(host);
  UpdateControls();
  UpdateStatus();
}

void TMainForm::HostLookedUp(const QString &, const QString &address) {
  UpdateControls();
  UpdateStatus();
  if (!io_xml_) return;  // the window was closed meanwhile
  if (address.isEmpty()) {
    QMessageBox::critical(this, kProgramTitle, "Unknow device, addres can not be resolved!");
    return;
  }
  io_xml_->Host = address.toStdString();
  io_xml_->Port = open_port_;
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
  if (!DeviceOpen()) {
    // The rows on view, if any, are what the device said before its close.
    Log("The device is closed: open it to calibrate a sensor");
    return;
  }
  if (!setup_.Record) return;  // no setup that may be read
  zelvoapi::TXmlSensorEnum sensor;
  setup_.GetCommon(sensor);
  if (setup_.GetSensor(remembered_row_, sensor) != 0) return;  // the empty last row
  if (sensor.Kind != zelvoapi::KIND_ANALOG_INPUT) return;      // only analog inputs take an offset
  float calibration = 0;
  QString reference;
  // The watch pauses while the operator reads the dialog.
  dialog_open_ = true;
  const bool confirmed = EditCalibration(this, sensor, calibration, reference);
  dialog_open_ = false;
  if (!confirmed) {
    ScheduleWatch();
    return;
  }
  // The dialog let messages run: the window may have been closed meanwhile.
  // A refusal arrives as DeviceError, success as RequestIssued.
  if (!io_xml_) return;
  posted_sensor_ = static_cast<uint32_t>(sensor.Id);
  posted_calibration_ = calibration;
  zelvoapi::TXmlSensorStr texts;
  zelvoapi::sensor_enum_to_str(texts, sensor);
  attempt_ = TCalibrationRow{};
  attempt_.Time = IsoTime(std::time(nullptr));
  attempt_.Host = io_xml_->Host;
  attempt_.Port = static_cast<unsigned>(io_xml_->Port);
  attempt_.DeviceName = texts.DeviceName;
  attempt_.Id = sensor.Id;
  attempt_.SensorName = texts.Name;
  attempt_.Unit = texts.UnitsText;
  attempt_.ValueBefore = texts.ValueText;
  attempt_.OffsetBefore = CalibrationText(sensor.Calibration);  // in the form it is posted
  attempt_.Reference = reference.toStdString();
  attempt_.OffsetPosted = CalibrationText(calibration);
  verify_ = TVerify::kPosting;
  io_xml_->SetCalibration(posted_sensor_, calibration);
}

void TMainForm::RecordButtonClick() {
  if (!record_form_) {
    record_form_ = new TCalibRecordForm(this);
    record_form_->SetRows(record_);
  }
  record_form_->show();
  record_form_->raise();
  record_form_->activateWindow();
}

void TMainForm::WatchToggled(bool on) {
  if (on) {
    ScheduleWatch();
  } else {
    watch_timer_.stop();
  }
  UpdateStatus();
}

void TMainForm::ScheduleWatch() {
  if (!ui_->WatchCheckBox->isChecked() || !DeviceOpen()) return;
  watch_timer_.start(ui_->WatchSpinBox->value() * kMsPerSecond);
}

void TMainForm::WatchTick() {
  if (!ui_->WatchCheckBox->isChecked() || !io_xml_ || !DeviceOpen()) return;
  // A calibration in the dialog, on its way or waiting for its read-back
  // owns the device: the watch waits one more period.
  const bool busy = dialog_open_ || verify_ != TVerify::kNone || read_back_ != TReadBack::kNone || request_running_ ||
                    apply_wait_.isActive() || io_xml_->State != zelvoapi::xaIdle;
  if (busy) {
    ScheduleWatch();
    return;
  }
  watched_ = true;
  remembered_row_ = ui_->SensorsStringGrid->currentRow();
  io_xml_->GetSetup();
}

void TMainForm::CalibrationApplied() {
  if (read_back_ == TReadBack::kDue) {
    ReadBackIfDue();
  } else if (DeviceOpen()) {
    io_xml_->GetSetup();
  }
  UpdateControls();
  UpdateStatus();
}

void TMainForm::SearchStarted(zelvoapi::TSdkSimpleEventArgs &) {
  // The button is about to be disabled: Qt would pass its focus on to the
  // user name and select it, and that selection would outlast the dialog.
  if (ui_->SearchButton->hasFocus()) ui_->IPEdit->setFocus();
  search_running_ = true;
  Log("Searching devices...");
  UpdateControls();
  UpdateStatus();
}

void TMainForm::SearchFinished(zelvoapi::TSdkSimpleEventArgs &) {
  Log("Search finished");
  search_running_ = false;
  UpdateControls();
  UpdateStatus();
  // The dialog runs an event loop of its own, in which the window may be
  // closed and the TUdps that raised this event destroyed: it opens once the
  // event has been delivered.
  QTimer::singleShot(0, this, &TMainForm::ChooseFoundDevice);
}

void TMainForm::SearchFailed(zelvoapi::TSdkErrorEventArgs &args) {
  // Without this line a failed search would show nothing but the button
  // coming back.
  LogF("Search failed: %s", args.Error.Text.c_str());
  search_running_ = false;
  UpdateControls();
  UpdateStatus();
}

void TMainForm::ChooseFoundDevice() {
  // A search, a lookup or an open that began since the search finished
  // takes its place: the fields are no longer the search's to fill.
  if (!udps_ || search_running_ || lookup_->Running() || DeviceOpen()) return;
  int32_t index = -1;
  if (!SelectUdpDevice(this, *udps_, index)) return;
  // The dialog let messages run: the window may have been closed meanwhile.
  zelvoapi::TUdpsDevice device;
  if (!udps_ || udps_->GetDevice(index, device) != zelvoapi::UDPS_DONE) return;
  ui_->IPEdit->setText(QString::fromStdString(device.Ip));
  ui_->PortEdit->setText(DevicePortText(device));
  // Next come the credentials, if the device needs any.
  FocusFirstEmptyField();
}

void TMainForm::DeviceOpened(zelvoapi::TSdkSimpleEventArgs &) {
  ui_->SensorsStringGrid->ClearSensorList();
  UpdateControls();
  UpdateStatus();
  // The fields are disabled now; the list is where the keyboard goes next.
  ui_->SensorsStringGrid->setFocus();
  ui_->ReadButton->click();
}

void TMainForm::DeviceClosed(zelvoapi::TSdkSimpleEventArgs &) {
  ReleaseSetup();      // the rows stay on view, their records are gone
  apply_wait_.stop();  // no read-back of a closed device
  watch_timer_.stop();
  watched_ = false;
  if (verify_ != TVerify::kNone) {
    log_->Append(NotVerifiedLine(AttemptSensor(), attempt_.Id, "the device was closed"));
    FinishAttempt(TVerdict::NotVerified, std::string());
  }
  read_back_ = TReadBack::kNone;
  request_running_ = false;
  // What stays on view describes a device that is no longer open.
  ui_->SensorsStringGrid->SetStale(true);
  ui_->NameLabel->setEnabled(false);
  UpdateControls();
  UpdateStatus();
}

void TMainForm::RequestIssued(zelvoapi::TSdkSimpleEventArgs &) {
  RememberValues();
  ReleaseSetup();
  ui_->SensorsStringGrid->ClearSensorList();
  request_running_ = true;
  request_phase_ = TRequestPhase::kConnecting;
  request_action_ = io_xml_->State;  // the request just issued
  UpdateControls();
  UpdateStatus();
}

void TMainForm::Connected(zelvoapi::TIoXmlStatusEventArgs &args) {
  if (args.Status == zelvoapi::xaGetValues) Log("Downloading values...");
  // A watched download that succeeds says nothing in the log.
  if (args.Status == zelvoapi::xaGetSetup && !watched_) Log("Downloading setup...");
  if (request_running_ && args.Status == request_action_) {
    request_phase_ = TRequestPhase::kTransferring;
    UpdateStatus();
  }
}

void TMainForm::SetupArrived(zelvoapi::TIoXmlSetupEventArgs &args) {
  const unsigned port = static_cast<unsigned>(args.Port);
  request_running_ = false;
  switch (args.Action) {
    case zelvoapi::xaGetSetup: {
      ShowSetup(args);
      MarkChangedValues();
      if (watched_) {
        last_watch_ = QTime::currentTime();
        watched_ = false;
      } else {
        LogF("Download setup from %s:%u", HostOf(args).c_str(), port);
      }
      const int sensors = ui_->SensorsStringGrid->rowCount() - 1;  // less the empty last row
      const QString warning = IncompleteSetupWarning(AddressOf(args), args.Quality, sensors);
      if (!warning.isEmpty()) log_->Append(warning);
      if (read_back_ != TReadBack::kNone) LogReadBack();
      if (verify_ == TVerify::kReadBack) VerifyCalibration();
      break;
    }
    case zelvoapi::xaSetCalibration:
      // A reply cut short tells nothing of what the device holds: the
      // read-back after the apply wait says it.
      if (IsIncomplete(args.Quality)) read_back_ = TReadBack::kDue;
      AwaitCalibration(args);
      break;
    case zelvoapi::xaSendSetup:
    case zelvoapi::xaSetOutput:
    case zelvoapi::xaSetRange:
    case zelvoapi::xaSetName:
      LogF("%s finished. Download new setup from %s:%u", ActionName(args.Action), HostOf(args).c_str(), port);
      break;
    default: break;
  }
  if (args.Action >= zelvoapi::xaSendSetup && args.Action <= zelvoapi::xaSetCalibration) {
    const QString warning = IncompleteReplyWarning(AddressOf(args), ActionName(args.Action), args.Quality);
    if (!warning.isEmpty()) log_->Append(warning);
  }
  ReadBackIfDue();
  ScheduleWatch();
  UpdateControls();
  UpdateStatus();
}

void TMainForm::DeviceError(zelvoapi::TSdkErrorEventArgs &args) {
  // The open, the close and a calibration post have no name of their own.
  const bool named = args.Operation >= zelvoapi::xaGetValues && args.Operation <= zelvoapi::xaSetName;
  if (named) {
    LogF("%s error: %s", ActionName(args.Operation), args.Error.Text.c_str());
  } else {
    LogF("Error: %s", args.Error.Text.c_str());
  }
  // A request refused because another one runs leaves that one running.
  if (!io_xml_ || io_xml_->State == zelvoapi::xaIdle || io_xml_->State == zelvoapi::xaClosed) request_running_ = false;
  if (args.Operation == zelvoapi::xaSetCalibration) CalibrationFailed(args.Error);
  if (args.Operation == zelvoapi::xaGetSetup && read_back_ == TReadBack::kIssued) {
    // No endless retries against a device that cannot be read: the operator
    // refreshes once it answers again.
    log_->Append(ReadBackFailedLine(posted_sensor_));
    read_back_ = TReadBack::kNone;
  }
  if (args.Operation == zelvoapi::xaGetSetup && verify_ == TVerify::kReadBack) {
    log_->Append(NotVerifiedLine(AttemptSensor(), attempt_.Id, QString::fromStdString(args.Error.Text)));
    FinishAttempt(TVerdict::NotVerified, std::string());
  }
  if (args.Operation == zelvoapi::xaGetSetup && watched_) {
    // A device that stopped answering is not asked again and again.
    watched_ = false;
    ui_->WatchCheckBox->setChecked(false);
    Log("Watch stopped: the download failed");
  }
  ReadBackIfDue();
  UpdateControls();
  UpdateStatus();
}

void TMainForm::ShowSetup(const zelvoapi::TIoXmlSetupEventArgs &args) {
  setup_.Assign(args.Setup, args.Counts, args.Host, args.Port);
  TSensorsStringGrid *grid = ui_->SensorsStringGrid;
  if (const auto device_name = grid->FillSensorList(setup_)) {
    ui_->NameLabel->setText(*device_name);
    ui_->NameLabel->setEnabled(true);  // no longer what a close left
  }
  grid->SetPartial(IsIncomplete(args.Quality));
  if (remembered_row_ != -1)
    grid->setCurrentCell(remembered_row_, grid->currentColumn() < 0 ? 0 : grid->currentColumn());
}

void TMainForm::AwaitCalibration(const zelvoapi::TIoXmlSetupEventArgs &args) {
  LogF("%s finished. Download new setup from %s:%u", ActionName(args.Action), HostOf(args).c_str(),
       static_cast<unsigned>(args.Port));
  Log("Wait for applying new calibration value...");
  // The read-back follows from the timer; until then nothing else may be
  // posted, so the controls that would start a request stay disabled.
  if (verify_ == TVerify::kPosting) verify_ = TVerify::kReadBack;
  apply_wait_.start();
}

void TMainForm::CalibrationFailed(const zelvoapi::TSdkError &error) {
  const TPostOutcome outcome = PostOutcomeOf(error.Code);
  log_->Append(PostFailureLine(outcome, posted_sensor_, QString::fromStdString(error.Text)));
  // The grid was cleared for the post; the device's own view replaces it.
  read_back_ = TReadBack::kDue;
  if (verify_ == TVerify::kPosting) verify_ = TVerify::kReadBack;
  if (outcome == TPostOutcome::kAmbiguous) {
    // A device that took the offset shows it only once it has applied it.
    Log("Wait for applying new calibration value...");
    apply_wait_.start();
  }
}

void TMainForm::ReadBackIfDue() {
  if (read_back_ != TReadBack::kDue || apply_wait_.isActive()) return;
  if (!io_xml_ || io_xml_->State != zelvoapi::xaIdle) return;  // the running request's end issues it
  read_back_ = TReadBack::kIssued;
  io_xml_->GetSetup();
}

void TMainForm::LogReadBack() {
  read_back_ = TReadBack::kNone;
  std::optional<double> held;
  if (setup_.Record) {
    zelvoapi::TXmlSensorEnum sensor;
    setup_.GetCommon(sensor);
    for (int row = 0; setup_.GetSensor(row, sensor) == 0; ++row) {
      if (static_cast<uint32_t>(sensor.Id) == posted_sensor_) {
        held = sensor.Calibration;
        break;
      }
    }
  }
  log_->Append(CalibrationReadBackLine(posted_sensor_, held, posted_calibration_));
}

void TMainForm::VerifyCalibration() {
  // The record, not the grid's text: the grid rounds the offset to the
  // decimals of the sensor's value.
  std::optional<double> held;
  int row = 0;
  if (setup_.Record) {
    zelvoapi::TXmlSensorEnum sensor;
    setup_.GetCommon(sensor);
    for (; setup_.GetSensor(row, sensor) == 0; ++row) {
      if (static_cast<uint32_t>(sensor.Id) == posted_sensor_) {
        held = sensor.Calibration;
        break;
      }
    }
  }
  if (!held) {
    log_->Append(NotVerifiedLine(AttemptSensor(), attempt_.Id, "the device no longer lists the sensor"));
    FinishAttempt(TVerdict::NotVerified, std::string());
    return;
  }
  const bool verified = SameAtPostedPrecision(*held, posted_calibration_);
  const QString read_back = QString::fromStdString(CalibrationText(*held));
  const QString posted = QString::fromStdString(attempt_.OffsetPosted);
  log_->Append(
      verified ? VerifiedLine(AttemptSensor(), attempt_.Id, QString::fromStdString(attempt_.OffsetBefore), read_back)
               : NotAppliedLine(AttemptSensor(), attempt_.Id, read_back, posted));
  ui_->SensorsStringGrid->SetVerdictMark(
      row, verified,
      verified ? QString("Verified: the device holds the posted offset %1").arg(posted)
               : QString("Not applied: the device reports %1, %2 was posted").arg(read_back, posted));
  FinishAttempt(verified ? TVerdict::Verified : TVerdict::NotApplied, read_back.toStdString());
}

void TMainForm::FinishAttempt(TVerdict verdict, const std::string &read_back) {
  verify_ = TVerify::kNone;
  attempt_.OffsetReadBack = read_back;
  attempt_.Verdict = verdict;
  record_.push_back(attempt_);
  if (record_form_) record_form_->SetRows(record_);
  if (record_path_.isEmpty()) return;
  const std::string error = AppendCsv(record_path_.toStdString(), attempt_);
  // The calibration itself went through: a trail that cannot be written is
  // said, not fatal.
  if (!error.empty())
    log_->Append(QString("Calibration record not written to %1: %2").arg(record_path_, QString::fromStdString(error)));
}

QString TMainForm::AttemptSensor() const { return QString::fromStdString(attempt_.SensorName); }

void TMainForm::RememberValues() {
  const TSensorsStringGrid *grid = ui_->SensorsStringGrid;
  // The list is empty between a post and its read-back: what came before
  // the post is what the read-back compares with.
  if (grid->rowCount() <= 1) return;
  previous_values_.clear();
  for (int row = 0; row + 1 < grid->rowCount(); ++row) {
    const QTableWidgetItem *id = grid->item(row, kIdColumn);
    const QTableWidgetItem *value = grid->item(row, kValueColumn);
    if (id && value) previous_values_.insert(id->text(), value->text());
  }
}

void TMainForm::MarkChangedValues() {
  TSensorsStringGrid *grid = ui_->SensorsStringGrid;
  bool any = false;
  for (int row = 0; row + 1 < grid->rowCount(); ++row) {
    const QTableWidgetItem *id = grid->item(row, kIdColumn);
    const QTableWidgetItem *value = grid->item(row, kValueColumn);
    if (!id || !value) continue;
    const auto previous = previous_values_.constFind(id->text());
    if (previous == previous_values_.constEnd() || *previous == value->text()) continue;
    grid->MarkChanged(row);
    any = true;
  }
  if (any) highlight_timer_.start();
}

void TMainForm::UpdateControls() {
  const bool open = DeviceOpen();
  const bool looking_up = lookup_->Running();
  ui_->UseCloseButton->setText(open ? "&Close" : looking_up ? "Looking up..." : "&Open This Device");
  // While a search runs, its result is what the operator opens next.
  ui_->UseCloseButton->setEnabled(open || (!looking_up && !search_running_));
  ui_->SearchButton->setEnabled(udps_ && !open && !looking_up && !search_running_);
  ui_->ReadButton->setEnabled(open && !request_running_ && !apply_wait_.isActive());
  for (QWidget *control : std::initializer_list<QWidget *>{ui_->IPEdit, ui_->PortEdit, ui_->UserEdit, ui_->PassEdit,
                                                           ui_->Label1, ui_->Label2})
    control->setEnabled(!open && !looking_up);
  // Edits that cannot be changed wear the button face, as the form does.
  const QColor base = open ? palette().color(QPalette::Button) : QPalette().color(QPalette::Base);
  for (QWidget *edit : std::initializer_list<QWidget *>{ui_->IPEdit, ui_->PortEdit, ui_->UserEdit, ui_->PassEdit}) {
    QPalette colours = edit->palette();
    colours.setColor(QPalette::Base, base);
    edit->setPalette(colours);
  }
}

void TMainForm::UpdateStatus() {
  QString status;
  bool busy = true;
  if (lookup_->Running()) {
    status = LookupStatus(ui_->IPEdit->text());
  } else if (search_running_) {
    status = SearchStatus();
  } else if (!DeviceOpen()) {
    status = ClosedStatus();
    busy = false;
  } else if (apply_wait_.isActive()) {
    status = ApplyWaitStatus(DeviceAddress());
  } else if (request_running_) {
    status = RequestStatus(request_action_, request_phase_, DeviceAddress());
  } else {
    status = ReadyStatus(DeviceAddress());
    if (ui_->WatchCheckBox->isChecked() && last_watch_.isValid())
      status += QString(" \u00b7 watched, last download %1").arg(last_watch_.toString("HH:mm:ss"));
    busy = false;
  }
  const bool changed = status != status_ || !status_since_.isValid();
  if (changed) {
    status_ = status;
    status_since_.start();
  }
  ui_->StatusLabel->setText(busy ? WithElapsed(status_, status_since_.elapsed()) : status_);
  // A search concerns the whole window, a request only the device's list.
  if (search_running_) {
    setCursor(Qt::BusyCursor);
  } else {
    unsetCursor();
  }
  TSensorsStringGrid *grid = ui_->SensorsStringGrid;
  if (busy) {
    grid->setCursor(Qt::BusyCursor);
    // Ticks in step with the status, so that each second shows as it passes.
    if (changed || !status_clock_.isActive()) status_clock_.start();
  } else {
    grid->unsetCursor();
    status_clock_.stop();
  }
}

void TMainForm::FocusFirstEmptyField() {
  for (QLineEdit *edit : {ui_->IPEdit, ui_->PortEdit, ui_->UserEdit, ui_->PassEdit}) {
    if (edit->text().isEmpty()) {
      edit->setFocus();
      return;
    }
  }
  ui_->UseCloseButton->setFocus();
}

bool TMainForm::DeviceOpen() const { return io_xml_ && io_xml_->State != zelvoapi::xaClosed; }

QString TMainForm::DeviceAddress() const {
  return QString("%1:%2").arg(QString::fromStdString(io_xml_->Host)).arg(io_xml_->Port);
}

void TMainForm::ReleaseSetup() { setup_.Assign(nullptr, nullptr, "", 0); }

void TMainForm::ReleaseObjects() {
  udps_.reset();
  ReleaseSetup();
  io_xml_.reset();
}

}  // namespace calibrator
