// One device over HTTP, one request at a time: the object layer's TIoXml
// with each request awaited on Qt's queue, where its events arrive.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "sdk/zelvoapi.h"
#include "tools/cli/credentials.h"
#include "tools/cli/event_wait.h"

namespace zelvocli {

using TSetupView = zelvoapi::TSetupXml<zelvoapi::TSetupXmlBuffer>;
using TValuesView = zelvoapi::TValuesXml<zelvoapi::TValuesXmlBuffer>;

class TDeviceSession {
 public:
  // `host` is a dotted IPv4 address. Needs a QCoreApplication.
  TDeviceSession(const std::string &host, int port, const TCredentials &credentials);
  ~TDeviceSession();
  TDeviceSession(const TDeviceSession &) = delete;
  TDeviceSession &operator=(const TDeviceSession &) = delete;

  // Each returns true on success, else false with Error() telling why. The
  // views point into the library's records: valid until the next request of
  // their kind (a post refills the setup, being the device's new setup).
  bool Open();
  bool GetSetup();
  bool GetValues();
  bool SetCalibration(uint32_t id, double calibration);

  const TSetupView &Setup() const { return setup_; }
  const TValuesView &Values() const { return values_; }
  // The last document ended early or was cut by a parse error, so entries
  // may be missing.
  bool Incomplete() const { return incomplete_; }
  // The library's text of the last failure.
  const std::string &Error() const { return error_; }
  // "HOST:PORT", as errors name the device.
  std::string Address() const;

 private:
  void SetupArrived(zelvoapi::TIoXmlSetupEventArgs &args);
  void ValuesArrived(zelvoapi::TIoXmlValuesEventArgs &args);
  void Failed(zelvoapi::TSdkErrorEventArgs &args);
  // Issues `request` and waits for its completion as `action`.
  bool Await(zelvoapi::TIoXmlAction action, const std::function<int()> &request);

  std::unique_ptr<zelvoapi::TIoXml> io_;
  TSetupView setup_;
  TValuesView values_;
  bool incomplete_ = false;
  std::string error_;
  TEventWait wait_;
  zelvoapi::TIoXmlAction awaited_ = zelvoapi::xaIdle;
};

}  // namespace zelvocli
