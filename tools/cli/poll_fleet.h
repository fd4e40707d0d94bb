// The devices of a poll as one multi-device slot of qxxml: every device is a
// module with its own credentials, and each pass downloads one document
// from every module in list order.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "qxxml/qxxml.h"
#include "tools/cli/credentials.h"
#include "tools/cli/device_list.h"
#include "tools/cli/read_document.h"
#include "tools/cli/sensor_rows.h"

namespace zelvocli {

// One device's outcome in one pass.
struct TPollRecord {
  const TDeviceEntry *Entry = nullptr;
  bool Ok = false;
  std::string Error;  // the module's own error text when not Ok
  TSensorList Sensors;
  bool Complete = true;
};

class TPollFleet {
 public:
  // Called once per device and pass, in list order, on the library's worker
  // thread while the pass runs: a slow device does not hold back the
  // records of the devices before it.
  using TSink = std::function<void(const TPollRecord &)>;

  TPollFleet();
  ~TPollFleet();
  TPollFleet(const TPollFleet &) = delete;
  TPollFleet &operator=(const TPollFleet &) = delete;

  enum TOpenOutcome { kOpened, kDeviceRefused, kSlotFailed };

  // Opens the slot and lists `devices`, each with its own user and password
  // or else `defaults`; `devices` must outlive the fleet. kDeviceRefused
  // when the library refuses an entry (listed twice, one too many, an
  // address too long), kSlotFailed when the slot does not open, both with
  // `error` set.
  TOpenOutcome Open(const std::vector<TDeviceEntry> &devices, const TCredentials &defaults, std::string &error);

  // Runs one pass over every device, handing each record to `sink`; the
  // number of devices that failed. A pass that does not end in time closes
  // the slot: the devices it did not reach get a failure record and the
  // fleet serves no further pass (Usable() turns false).
  int RunPass(TDocument document, const TSink &sink);
  bool Usable() const { return slot_ > 0; }

 private:
  static void ValuesDone(int slot, void *owner, int module, qxxml_values *record, qxxml_values_counts *counts);
  static void SetupDone(int slot, void *owner, int module, qxxml_setup *record, qxxml_setup_counts *counts);
  // A module's download of document `kind` ended: builds and hands out its
  // record.
  template <typename TView, typename TRecord, typename TCounts>
  void ModuleDone(int slot, int module, int kind, const TRecord *record, const TCounts *counts);
  void Deliver(const TPollRecord &record);
  void Close();

  int slot_ = -1;
  const std::vector<TDeviceEntry> *devices_ = nullptr;
  TSink sink_;
  // Written by the worker during a pass, read after it ended.
  std::atomic<int> reported_{0};
  std::atomic<int> failed_{0};
};

}  // namespace zelvocli
