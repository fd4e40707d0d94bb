// The status line of the main window: what the window is waiting for, and
// for how long, so that a device that is slow to connect or falls silent
// mid-reply is told apart from one that has answered.
#ifndef APP_REQUEST_STATUS_H
#define APP_REQUEST_STATUS_H

#include <QString>
#include <cstdint>

namespace calibrator {

// How far a request to the device has come.
enum class TRequestPhase {
  kConnecting,    // issued; the connection is not up yet
  kTransferring,  // connected; the request goes out and the reply comes in
};

// "Connecting to 127.0.0.1:8080 to download the setup...", "Downloading the
// setup from 127.0.0.1:8080...", "Posting the calibration to ...", for the
// request `action` (a TIoXmlAction) in `phase`.
QString RequestStatus(int32_t action, TRequestPhase phase, const QString &address);

// The status while the device applies a posted calibration.
QString ApplyWaitStatus(const QString &address);
// The status while the host name of the connection fields is resolved.
QString LookupStatus(const QString &host);
// The status while a search for devices runs.
QString SearchStatus();
// The status of an open device that nothing is asked of.
QString ReadyStatus(const QString &address);
// The status with no device open.
QString ClosedStatus();

// `status` with the seconds it has lasted, once that is a second or more:
// "Downloading the setup from 127.0.0.1:8080... 7 s".
QString WithElapsed(const QString &status, int64_t elapsed_ms);

}  // namespace calibrator

#endif
