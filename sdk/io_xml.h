// The XML I/O object: one device over HTTP through one qxxml slot.
//
// TIoXmlCustom opens and closes the slot, issues downloads and posts of
// small setup documents and tracks the request state; it raises no events.
// TIoXml adds the event slots and turns every completion that the library
// reports on its worker thread into an event raised on the user-interface
// thread (only the two parse hooks run their handlers on the worker).
//
// Objects are created, used and destroyed on the user-interface thread.
#ifndef SDK_IO_XML_H
#define SDK_IO_XML_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "common/qx_error.h"
#include "common/qx_export.h"
#include "qxxml/qxxml.h"
#include "sdk/sdk_object.h"

namespace zelvoapi {

// The object's request state; also the Operation of its error events and the
// Action of its setup events.
enum TIoXmlAction : int32_t {
  xaClosed = 0,          // no slot open
  xaIdle = 1,            // slot open, no request in progress
  xaGetValues = 2,       // downloading values.xml (or parsing a given values text)
  xaGetSetup = 3,        // downloading setup.xml
  xaSendSetup = 4,       // posting a whole setup document
  xaSetOutput = 5,       // posting a binary-output value
  xaSetRange = 6,        // posting a sensor's alarm range
  xaSetName = 7,         // posting a name
  xaSetCalibration = 8,  // posting a sensor's calibration
};

// Results of the operations.
enum : int {
  IOXML_ISSUED = 0,
  IOXML_REFUSED = -1,    // the library refused; its error record says why
  IOXML_BAD_STATE = -2,  // the state does not allow it (or a lookup could not start)
  IOXML_NOT_READY = -3,  // Open only: the slot did not start in time
};

class QX_EXPORT TIoXmlCustom : public TSdkObject {
 public:
  explicit TIoXmlCustom(void *owner);

  int32_t Slot = -1;  // qxxml slot 1..99, -1 when none
  // Written by requests on the user-interface thread and by completions on
  // the worker, hence atomic.
  std::atomic<TIoXmlAction> State{xaClosed};
  qx_error_record LastError{};  // why the last index lookup failed; empty until then
  uint32_t PendingId = 0;
  double PendingMin = 0;
  double PendingMax = 0;
  double PendingCalibration = 0;
  std::string PendingName;
  int32_t IdxEnabled = 0;        // address sensors by their position in values.xml
  int32_t PreParseEnabled = 0;   // install the pre-parse hook at open
  int32_t PostParseEnabled = 0;  // install the post-parse hook at open
  std::string Host = "192.168.1.99";
  int32_t Port = 80;
  std::string User;
  std::string Password;

  // Entered from the library's callbacks on the slot's worker thread.
  virtual void DoConnected(int slot, void *owner, int module);
  virtual void DoValuesDone(int slot, void *owner, int module, qxxml_values *record, qxxml_values_counts *counts);
  virtual void DoSetupDone(int slot, void *owner, int module, qxxml_setup *record, qxxml_setup_counts *counts);
  virtual void DoPostDone(int slot, void *owner, int module, qxxml_setup *record, qxxml_setup_counts *counts);
  virtual int DoPreParse(int slot, void *owner, char *text, int length, int kind);
  virtual void DoPostParse(int slot, void *owner, char *text, int length, int kind, void *record, void *counts,
                           int *result);
  // The index lookup's values arrived on the temporary slot.
  virtual void DoLookupDone(int slot, void *owner, int module, qxxml_values *record, qxxml_values_counts *counts);
  // Stops the callbacks (see StopCallbacks) and leaves the family; the last
  // object of the family shuts qxxml down.
  virtual ~TIoXmlCustom();

  // Operations; each returns one of the IOXML_* results. A Close frees the
  // slot's records and a request refills those of its kind (see TRecordKind).
  virtual int Open();
  virtual int Close();
  virtual int GetValues();
  virtual int GetSetup();
  virtual int SendSetup(std::string document);
  virtual int LoadValues(std::string document);
  virtual int SetOutput(int32_t id, int32_t value);
  virtual int SetRange(uint32_t id, double min, double max);
  virtual int SetName(uint32_t id, std::string name);
  virtual int SetCalibration(uint32_t id, double calibration);

 protected:
  // The slot's records that events point into. A values request (GetValues,
  // LoadValues) refills the values record; a setup download and every post
  // refill the setup record, since the device's reply to a post is parsed
  // as the slot's new setup.
  enum TRecordKind : int { rkValues = 0, rkSetup = 1 };
  // The generation of the slot's records of `kind`: it changes when the
  // slot is closed and when a request that refills them is issued. Read on
  // the worker when a completion builds its payload and on the user-interface
  // thread when the event is dispatched.
  uint32_t RecordGeneration(TRecordKind kind) const;

  // Stops every library callback into the object: ends a lookup, closes the
  // slot with the base's own Close (a close the program did not ask for
  // raises no event) and returns only once the slot's worker has ended. The
  // most-derived destructor calls it before anything of the object is torn
  // down; a later call finds nothing left to stop.
  void StopCallbacks();

  // Called first by a lookup completion: false when the lookup was
  // abandoned (the object is being destroyed), which then must do nothing.
  bool ClaimLookup(int lookup_slot);
  // Completes an index lookup: finds the pending sensor in the temporary
  // slot's values and posts the pending document through the main slot.
  // Returns 0, or -2 / -1 with `failure` saying why (sensor not found or
  // values unreadable / post refused). `action` receives the lookup's
  // request state, 0 when no lookup was pending.
  int CompleteLookup(int lookup_slot, TIoXmlAction &action, qx_error_record &failure);
  // Releases the temporary slot from inside its own callback (its worker
  // ends) and forgets it.
  void FinishLookup(int lookup_slot);
  // Ends a lookup in progress: waits for a running completion, or closes the
  // temporary slot and waits for its worker to end.
  void EndLookup();

 private:
  // A request of `action` begins: sets the state and makes the events of
  // the records it refills stale.
  void Begin(TIoXmlAction action);
  void RenewRecords(TRecordKind kind);
  int StartLookup();
  int Post(const std::string &document);
  int PostSensorDocument(TIoXmlAction action, int index);

  std::mutex lookup_mutex_;
  std::condition_variable lookup_done_;
  int lookup_slot_ = -1;      // temporary slot of a lookup in progress
  bool lookup_busy_ = false;  // its completion is running
  std::atomic<uint32_t> values_generation_{0};
  std::atomic<uint32_t> setup_generation_{0};
};

// Argument records of the events.
struct TIoXmlStatusEventArgs : TEventArgs {
  TIoXmlStatusEventArgs(TSdkObject *sender, int32_t status) : TEventArgs(sender), Status(status) {}
  int32_t Status;  // the object's state when the worker connected
};

struct TIoXmlValuesEventArgs : TEventArgs {
  using TEventArgs::TEventArgs;
  // Point into the slot's cache: valid until the slot's next values
  // transaction or its close.
  const qxxml_values *Values = nullptr;
  const qxxml_values_counts *Counts = nullptr;
  char Host[16] = {};  // the dotted address the slot connected to
  int32_t Port = 0;
  qxxml_doc_quality Quality = {};  // whether the records hold the whole document
};

struct TIoXmlSetupEventArgs : TEventArgs {
  using TEventArgs::TEventArgs;
  // Point into the slot's cache: valid until the slot's next setup
  // transaction or its close.
  const qxxml_setup *Setup = nullptr;
  const qxxml_setup_counts *Counts = nullptr;
  char Host[16] = {};
  int32_t Port = 0;
  int32_t Action = 0;              // the action that completed: xaGetSetup, or 4..8 for a post
  qxxml_doc_quality Quality = {};  // whether the records hold the whole document
};

struct TIoXmlPreParseEventArgs : TEventArgs {
  TIoXmlPreParseEventArgs(TSdkObject *sender, char *data, int32_t length, int32_t kind)
      : TEventArgs(sender), Data(data), Length(length), Kind(kind) {}
  int32_t Result = -1;  // set by the handler: 0 = document consumed, not to be parsed
  char *Data;
  int32_t Length;
  int32_t Kind;  // QXXML_DOC_VALUES or QXXML_DOC_SETUP
};

struct TIoXmlPostParseEventArgs : TEventArgs {
  TIoXmlPostParseEventArgs(TSdkObject *sender, char *data, int32_t length, int32_t kind, void *record, void *counts,
                           int *result)
      : TEventArgs(sender), Data(data), Length(length), Kind(kind), Record(record), Counts(counts), Result(result) {}
  char *Data;
  int32_t Length;
  int32_t Kind;
  void *Record;  // the slot's live record of that kind
  void *Counts;
  int *Result;  // the parser's result; a negative value fails the parse
};

class QX_EXPORT TIoXml : public TIoXmlCustom {
 public:
  explicit TIoXml(void *owner);

  // OnValues, OnSetup and OnSetupSent hand out pointers into the slot's
  // records, which a Close frees and a request of their kind refills (see
  // TRecordKind). Such an event is delivered only while its records are the
  // ones it was posted for: a Close, or a request of its kind, issued after
  // the completion but before the event reached the user-interface thread
  // drops it undelivered. A request of the other kind leaves it alone.
  // OnStatus and OnError carry copies of their own and are always delivered.
  TEventSlot OnOpen;       // TSdkSimpleEventArgs, raised by Open
  TEventSlot OnClose;      // TSdkSimpleEventArgs, raised by Close
  TEventSlot OnBegin;      // TSdkSimpleEventArgs, raised when a request was issued
  TEventSlot OnStatus;     // TIoXmlStatusEventArgs, posted: connected
  TEventSlot OnValues;     // TIoXmlValuesEventArgs, posted
  TEventSlot OnSetup;      // TIoXmlSetupEventArgs, posted
  TEventSlot OnSetupSent;  // TIoXmlSetupEventArgs, posted
  TEventSlot OnError;      // TSdkErrorEventArgs, raised on refusal, posted on later failure
  TEventSlot OnPreParse;   // TIoXmlPreParseEventArgs, on the worker thread
  TEventSlot OnPostParse;  // TIoXmlPostParseEventArgs, on the worker thread

  void DoConnected(int slot, void *owner, int module) override;
  void DoValuesDone(int slot, void *owner, int module, qxxml_values *record, qxxml_values_counts *counts) override;
  void DoSetupDone(int slot, void *owner, int module, qxxml_setup *record, qxxml_setup_counts *counts) override;
  void DoPostDone(int slot, void *owner, int module, qxxml_setup *record, qxxml_setup_counts *counts) override;
  int DoPreParse(int slot, void *owner, char *text, int length, int kind) override;
  void DoPostParse(int slot, void *owner, char *text, int length, int kind, void *record, void *counts,
                   int *result) override;
  void DoLookupDone(int slot, void *owner, int module, qxxml_values *record, qxxml_values_counts *counts) override;
  // Stops the callbacks first, while the object is whole; then removes the
  // family's target when this is the last object and deletes the handlers
  // (slots in reverse order).
  ~TIoXml() override;

  int Open() override;
  int Close() override;
  int GetValues() override;
  int GetSetup() override;
  int SendSetup(std::string document) override;
  int LoadValues(std::string document) override;
  int SetOutput(int32_t id, int32_t value) override;
  int SetRange(uint32_t id, double min, double max) override;
  int SetName(uint32_t id, std::string name) override;
  int SetCalibration(uint32_t id, double calibration) override;

 private:
  // The family's dispatcher, which compares an event's generation with the
  // object's.
  friend class TIoXmlDispatcher;

  // Raises OnBegin or OnError for a request's result.
  int Report(int result, TIoXmlAction operation, bool report_bad_state);
  // Posts an error event for a failure reported by a completion.
  void PostFailure(int32_t operation, const qx_error_record &error);
};

}  // namespace zelvoapi

#endif
