// The UDP discovery object: searches the local network for devices and
// changes a found device's network settings through qxudps.
//
// TUdpsCustom issues the requests, keeps pointers to the records of its last
// search and copies a record out to a TUdpsDevice and back; it raises no
// events. TUdps adds the event slots and turns the completions that the
// library reports on its worker thread into events raised on the
// user-interface thread.
//
// The first object of the family starts qxudps, which then stays started
// until the process ends. Objects are created, used and destroyed on the
// user-interface thread.
#ifndef SDK_UDPS_H
#define SDK_UDPS_H

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "common/qx_error.h"
#include "common/qx_export.h"
#include "qxudps/qxudps.h"
#include "sdk/sdk_object.h"

namespace zelvoapi {

// One found device as the caller sees it. Numbers are the record's,
// zero-extended; texts are the record's up to their zero byte.
class TUdpsDevice {
 public:
  std::string Name;
  std::string Mac;  // identifies the device; never written back
  std::string Ip;
  int32_t Port = 0;
  std::string AddrM;
  std::string AddrN;
  std::string AddrF;
  std::string AddrW;
  int32_t SettingBit1 = 0;
  int32_t SettingBit2 = 0;
  int32_t SettingBit0 = 0;
  int32_t SettingBit4 = 0;
  int32_t SettingBit3 = 0;  // read only: a setup keeps the device's own
  std::string Model;
  int32_t Type = 0;
  std::string Version;
  int32_t Port2 = 0;
  int32_t Tlv6Value = 0;
  int32_t CapBit0 = 0;
  int32_t CapBit1 = 0;
  int32_t CapBit2 = 0;
  int32_t CapBit3 = 0;
  int32_t CapBit4 = 0;
  int32_t CapBit5 = 0;
  int32_t HasName = 0;
  int32_t CapBit6 = 0;
  int32_t Tlv7Value = 0;
};

// The object's request state.
enum TUdpsAction : int32_t {
  uaIdle = 0,    // no request of this object in progress
  uaSearch = 1,  // a search runs
  uaSetup = 2,   // a setup request runs
};

// Results of the operations.
enum : int {
  UDPS_DONE = 0,        // done; for a request: accepted by the library
  UDPS_REFUSED = -1,    // the library refused; its error record says why
  UDPS_BUSY = -2,       // the object has a request in progress
  UDPS_BAD_INDEX = -3,  // the index is outside 0..Count-1
};

// The Operation of the family's error events.
enum : uint8_t {
  UDPS_SEARCH_OPERATION = 0,
  UDPS_SETUP_OPERATION = 1,
};

// Records one search can find, hence the size of the device list.
constexpr int UDPS_DEVICES_MAX = MAX_MODULES;

class QX_EXPORT TUdpsCustom : public TSdkObject {
 public:
  explicit TUdpsCustom(void *owner);

  // Written by requests on the user-interface thread and by completions on
  // the library's worker, hence atomic. A completion writes Count and
  // Devices before it returns the state to uaIdle.
  std::atomic<TUdpsAction> State{uaIdle};
  // Entries of Devices that are valid: written by a search's completion on
  // the worker, hence atomic. Read it through DeviceCount, which also
  // notices when another object's search has replaced the records (the list
  // is then empty).
  std::atomic<int32_t> Count{0};
  // The records of the last search, inside the library: valid until the
  // next search of any object starts.
  qxudps_device *Devices[UDPS_DEVICES_MAX] = {};
  // Passed as lookup_names with every request: searches read the device
  // names and setups write them, over HTTP.
  int32_t LookupNames = 1;

  // Entered from the library's callbacks on its worker thread, with the
  // library lock held; each returns the state to uaIdle.
  virtual void DoSearchDone();
  virtual void DoSetupDone();
  virtual void DoSearchError(const qx_error_record &error);
  virtual void DoSetupError(const qx_error_record &error);
  // No library callback reaches the object once this has begun; the library
  // itself stays started.
  virtual ~TUdpsCustom();

  // Requests; each returns one of the UDPS_* results.
  virtual int Search();
  // Writes `device` into the record `index` (as SetDevice) and sends it to
  // the device as its new network settings.
  virtual int Setup(int32_t index, const TUdpsDevice &device);
  // Installs the setup key for devices that ask for it, then Setup.
  virtual int SetupWithKeys(int32_t index, const TUdpsDevice &device, uint32_t k0, uint32_t k1, uint32_t k2,
                            uint32_t k3);
  // Sends the record `index` as it stands with bit 5 of the settings set for
  // this one request; the record itself is left as the search gave it.
  virtual int SetupWithBit5(int32_t index);

  // Takes the library's records of the search that just ended into Devices;
  // called on the worker from within the search's completion. Returns Count,
  // or -1 when the library offered more records than the list holds.
  int Collect();
  // Count, or UDPS_BUSY during a request of this object.
  int DeviceCount();
  // UDPS_DONE for 0 <= index < DeviceCount(), else UDPS_BAD_INDEX.
  int CheckIndex(int32_t index);
  // Copies the record `index` out. UDPS_BUSY, UDPS_BAD_INDEX or UDPS_DONE.
  int GetDevice(int32_t index, TUdpsDevice &device);
  // Writes into the record `index` in place: the name (at most 99
  // characters), the address and the four further addresses (at most 15
  // characters each), the port (its low 16 bits) and setting bits 1, 2, 0
  // and 4 (any non-zero value sets a bit). Everything else, the MAC and
  // setting bit 3 above all, stays as the search gave it.
  int SetDevice(int32_t index, const TUdpsDevice &device);

 private:
  // The records behind Devices belong to the library's last search; this
  // object's list is current only while that search was this object's.
  bool ListCurrent() const;
  // Count while the list is current, else 0.
  int32_t ListedCount() const;
  // Hands `request` to the library as a setup of this object.
  int StartSetup(const qxudps_device &request);

  uint64_t list_search_ = 0;  // the family-wide number of the search that filled the list
};

class TUdpsHold;

class QX_EXPORT TUdps : public TUdpsCustom {
 public:
  explicit TUdps(void *owner);
  // Stops the library callbacks first, while the object is whole; then
  // removes the family's target when this is the last object and deletes the
  // handlers (OnError first, OnSearchBegin last).
  ~TUdps() override;

  // A search's and a setup's completion are raised 200 milliseconds after
  // they reached the user-interface thread, which stays responsive meanwhile;
  // events of the object that arrive during the pause wait behind them, so
  // that every event keeps its order.
  TEventSlot OnSearchBegin;  // TSdkSimpleEventArgs, raised by Search when accepted
  TEventSlot OnSearchDone;   // TSdkSimpleEventArgs, posted
  TEventSlot OnSetupBegin;   // TSdkSimpleEventArgs, raised by Setup and SetupWithBit5 when accepted
  TEventSlot OnSetupDone;    // TSdkSimpleEventArgs, posted
  TEventSlot OnError;        // TSdkErrorEventArgs, raised on refusal, posted on later failure

  void DoSearchDone() override;
  void DoSetupDone() override;
  void DoSearchError(const qx_error_record &error) override;
  void DoSetupError(const qx_error_record &error) override;

  int Search() override;
  int Setup(int32_t index, const TUdpsDevice &device) override;
  int SetupWithBit5(int32_t index) override;

 private:
  friend class TUdpsDispatcher;

  // Raises OnSearchBegin/OnSetupBegin or OnError for a request's result.
  int Report(int result, uint8_t operation);
  // Posts an error event for a failure the library reported later.
  void PostFailure(unsigned message, const qx_error_record &error);

  // The events waiting for the end of a pause; declared last so that it
  // goes before the handlers it raises.
  std::unique_ptr<TUdpsHold> hold_;
};

}  // namespace zelvoapi

#endif
