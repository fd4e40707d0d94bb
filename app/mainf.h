// The main window: the connection fields of one device, the log, the sensor
// list, the button that searches the network for devices and the two buttons
// that open or close the device and download its setup again.
//
// The window owns the TUdps of the device search and the device's TIoXml for
// its whole life and reacts to their events, which all arrive on the
// user-interface thread. Nothing here blocks that thread: the search runs on
// the discovery library's worker, the host lookup on a thread of its own, and
// the wait for a posted calibration to take effect is a timer.
#ifndef APP_MAINF_H
#define APP_MAINF_H

#include <QElapsedTimer>
#include <QHash>
#include <QTime>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/calibration_record.h"
#include "app/form_anchors.h"
#include "app/host_lookup.h"
#include "app/request_status.h"
#include "app/sensor_grid.h"
#include "app/start_options.h"
#include "sdk/io_xml.h"
#include "sdk/udps.h"

namespace Ui {
class MainForm;
}

namespace calibrator {

class TCalibRecordForm;
class TLogList;

class TMainForm : public QWidget {
  Q_OBJECT

 public:
  explicit TMainForm(QWidget *parent = nullptr);
  ~TMainForm() override;

  // Prefills the connection fields from the command line and gives the
  // focus to the first field still empty; takes the apply wait and the
  // record file of the options.
  void Prefill(const TStartOptions &options);

  // Every calibration attempt since the window opened, oldest first.
  const std::vector<TCalibrationRow> &CalibrationRecord() const { return record_; }

  // Appends one line to the log and selects it (see TLogList).
  void Log(const std::string &text);
  void LogF(const char *format, ...) __attribute__((format(printf, 2, 3)));

  // How long the device is given to apply a posted calibration before its
  // setup is read back, unless --apply-wait says otherwise: its readings
  // change only once it applied the offset.
  static constexpr int kCalibrationApplyMs = kApplyWaitDefaultMs;
  // How long a value that changed since the previous download stays marked.
  static constexpr int kChangeHighlightMs = 1500;

 protected:
  // Destroys the TUdps, then the TIoXml, which closes the device, and drops
  // a lookup or a read-back still to come.
  void closeEvent(QCloseEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;

 private:
  void SearchButtonClick();
  void UseCloseButtonClick();
  void ReadButtonClick();
  void SensorsStringGridDblClick();
  // The host of the connection fields was looked up: opens the device, or
  // shows that the host does not resolve.
  void HostLookedUp(const QString &host, const QString &address);
  // The apply wait after a calibration post has run out.
  void CalibrationApplied();
  // Shows the calibration record window, raising it when already open.
  void RecordButtonClick();
  // The Watch box was ticked or cleared.
  void WatchToggled(bool on);
  // The watch period ran out: downloads the setup, or waits one more
  // period while the window is busy with a calibration or a request.
  void WatchTick();
  // Starts the next watch period when the watch is on and a device is open.
  void ScheduleWatch();

  // Handlers of the TUdps's events.
  void SearchStarted(zelvoapi::TSdkSimpleEventArgs &args);
  void SearchFinished(zelvoapi::TSdkSimpleEventArgs &args);
  void SearchFailed(zelvoapi::TSdkErrorEventArgs &args);
  // Offers the devices of the search that just finished and copies the
  // chosen one's address and port into the connection fields.
  void ChooseFoundDevice();

  // Handlers of the TIoXml's events.
  void DeviceOpened(zelvoapi::TSdkSimpleEventArgs &args);
  void DeviceClosed(zelvoapi::TSdkSimpleEventArgs &args);
  void RequestIssued(zelvoapi::TSdkSimpleEventArgs &args);
  void Connected(zelvoapi::TIoXmlStatusEventArgs &args);
  void SetupArrived(zelvoapi::TIoXmlSetupEventArgs &args);
  void DeviceError(zelvoapi::TSdkErrorEventArgs &args);

  // Shows the downloaded setup in the grid and returns to the remembered row.
  void ShowSetup(const zelvoapi::TIoXmlSetupEventArgs &args);
  // After a posted calibration: gives the device time to apply it, then
  // downloads the setup again.
  void AwaitCalibration(const zelvoapi::TIoXmlSetupEventArgs &args);
  // A calibration post failed: says whether the device can have taken it
  // and reads its setup back, at once after a refusal, after the apply wait
  // when the device may have applied the offset.
  void CalibrationFailed(const zelvoapi::TSdkError &error);
  // Issues the read-back that a failed post left due, once the apply wait is
  // over and no other request runs.
  void ReadBackIfDue();
  // Logs what the downloaded setup holds for the sensor last posted to.
  void LogReadBack();
  // Compares the read-back setup with the posted offset: logs the verdict,
  // marks the calibration cell and records the attempt.
  void VerifyCalibration();
  // Ends the attempt under verification with `verdict`: one row of the
  // record, appended to the record file when there is one.
  void FinishAttempt(TVerdict verdict, const std::string &read_back);
  // The name of the sensor under verification, as its verdict line says it.
  QString AttemptSensor() const;
  // Remembers the value column of a filled grid by sensor ID, and marks the
  // values of the freshly filled grid that differ from the remembered ones.
  void RememberValues();
  void MarkChangedValues();
  // Sets every control that mirrors the window's state: device open or not,
  // a search, a lookup, a request or an apply wait in progress.
  void UpdateControls();
  // Writes the status line and the grid's cursor for the same state.
  void UpdateStatus();
  // Gives the focus to the first empty connection field, else the button.
  void FocusFirstEmptyField();
  bool DeviceOpen() const;
  // "127.0.0.1:8080": the address the TIoXml connects to.
  QString DeviceAddress() const;
  // Forgets the setup record: the library reuses or frees it once a new
  // transaction starts or the device closes, so it must not be read after.
  void ReleaseSetup();
  // Destroys the TUdps, then the TIoXml and with it the device's slot.
  void ReleaseObjects();

  std::unique_ptr<Ui::MainForm> ui_;
  std::unique_ptr<zelvoapi::TIoXml> io_xml_;
  // Declared after io_xml_, so that it also goes first when the window is
  // destroyed without having been closed.
  std::unique_ptr<zelvoapi::TUdps> udps_;
  // Goes before the form's child widgets, the log list among them, so that
  // it never hears from a list that is being torn down.
  std::unique_ptr<TLogList> log_;
  THostLookup *lookup_;           // owned by the form as its QObject child
  TFormAnchors anchors_;          // how the controls follow a resize
  TSetupView setup_;              // the last downloaded setup; empty when none may be read
  int32_t remembered_row_ = -1;   // grid row to return to after a download, -1 for none
  int open_port_ = 0;             // the port of the open that waits for its lookup
  uint32_t posted_sensor_ = 0;    // ID of the sensor whose calibration was posted last
  float posted_calibration_ = 0;  // the offset posted to it
  // A calibration from its post until its read-back arrived or failed.
  enum class TVerify { kNone, kPosting, kReadBack } verify_ = TVerify::kNone;
  TCalibrationRow attempt_;                  // the attempt under verification
  std::vector<TCalibrationRow> record_;      // every attempt, oldest first
  QString record_path_;                      // the CSV each attempt is appended to; empty for none
  TCalibRecordForm *record_form_ = nullptr;  // owned as QObject child, made at its first showing
  bool dialog_open_ = false;                 // the calibration dialog is on view
  bool watched_ = false;                     // the running download is a watched one
  QTime last_watch_;                         // when the last watched download arrived
  QHash<QString, QString> previous_values_;  // value texts of the previous download by sensor ID
  // After a failed post the setup is read back: due until the download is
  // issued, then issued until it arrives or fails.
  enum class TReadBack { kNone, kDue, kIssued } read_back_ = TReadBack::kNone;
  bool request_running_ = false;  // from the request's begin to its completion or failure
  bool search_running_ = false;   // from the search's begin to its completion or failure
  TRequestPhase request_phase_ = TRequestPhase::kConnecting;
  int32_t request_action_ = 0;  // the running request's TIoXmlAction
  QTimer apply_wait_;           // single shot: the read-back after a calibration post
  QTimer status_clock_;         // ticks the seconds of a busy status
  QTimer watch_timer_;          // single shot: the next watched download
  QTimer highlight_timer_;      // single shot: ends the marks of changed values
  QString status_;              // the status line without its seconds
  QElapsedTimer status_since_;  // when the status line last changed
};

}  // namespace calibrator

#endif
