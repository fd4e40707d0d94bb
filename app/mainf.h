// The main window: the connection fields of one device, the log, the sensor
// list and the two buttons that open or close the device and download its
// setup again.
//
// The window owns the device's TIoXml for its whole life and reacts to its
// events, which all arrive on the user-interface thread.
#ifndef APP_MAINF_H
#define APP_MAINF_H

#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "app/sensor_grid.h"
#include "app/start_options.h"
#include "sdk/io_xml.h"

namespace Ui {
class MainForm;
}

namespace calibrator {

class TMainForm : public QWidget {
  Q_OBJECT

 public:
  explicit TMainForm(QWidget *parent = nullptr);
  ~TMainForm() override;

  // Prefills the connection fields from the command line.
  void Prefill(const TStartOptions &options);

  // Appends one line to the log and selects it; when the log holds more
  // than kLogMaxLines lines, its kLogTrimLines oldest go first.
  void Log(const std::string &text);
  void LogF(const char *format, ...) __attribute__((format(printf, 2, 3)));

  static constexpr int kLogMaxLines = 200;
  static constexpr int kLogTrimLines = 50;

 protected:
  // Destroys the TIoXml, which closes the device.
  void closeEvent(QCloseEvent *event) override;

 private:
  void UseCloseButtonClick();
  void ReadButtonClick();
  void SensorsStringGridDblClick();

  // Handlers of the TIoXml's events.
  void DeviceOpened(zelvoapi::TSdkSimpleEventArgs &args);
  void DeviceClosed(zelvoapi::TSdkSimpleEventArgs &args);
  void RequestIssued(zelvoapi::TSdkSimpleEventArgs &args);
  void Connected(zelvoapi::TIoXmlStatusEventArgs &args);
  void SetupArrived(zelvoapi::TIoXmlSetupEventArgs &args);
  void DeviceError(zelvoapi::TSdkErrorEventArgs &args);

  // Shows the downloaded setup in the grid and returns to the remembered row.
  void ShowSetup(const zelvoapi::TIoXmlSetupEventArgs &args);
  // After a posted calibration: gives the device a second to apply it, then
  // downloads the setup again.
  void AwaitCalibration(const zelvoapi::TIoXmlSetupEventArgs &args);
  // Sets every control that mirrors the window's state (device open or not).
  void UpdateControls(bool device_open);
  // Forgets the setup record: the library reuses or frees it once a new
  // transaction starts or the device closes, so it must not be read after.
  void ReleaseSetup();
  // Destroys the TIoXml and with it the device's slot.
  void ReleaseDevice();

  std::unique_ptr<Ui::MainForm> ui_;
  std::unique_ptr<zelvoapi::TIoXml> io_xml_;
  TSetupView setup_;                   // the last downloaded setup; empty when none may be read
  int32_t remembered_row_ = -1;        // grid row to return to after a download, -1 for none
  bool awaiting_calibration_ = false;  // inside AwaitCalibration's processing of pending messages
  bool closing_ = false;               // the window was closed
};

}  // namespace calibrator

#endif
