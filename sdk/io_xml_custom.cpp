// TIoXmlCustom: the slot, the request state and the index lookup.
#include <cstdio>
#include <cstring>

#include "common/qx_thread.h"
#include "sdk/document_xml.h"
#include "sdk/field_text_private.h"
#include "sdk/io_xml_private.h"

namespace zelvoapi {

namespace {

// Waits for a new slot's worker to run: 2 seconds is ample for a thread
// start, and short enough not to freeze the user interface for long.
constexpr int kStartWaitSeconds = 2;
// How often a close is asked again while the slot's worker outlives it.
constexpr int kCloseRetryMs = 20;

TIoXmlCustom *OwnerObject(void *owner) { return static_cast<TIoXmlCustom *>(owner); }

// Callback adapters: the owner pointer given at open is the object.
void ConnectedAdapter(int slot, void *owner, int module) { OwnerObject(owner)->DoConnected(slot, owner, module); }
void ValuesDoneAdapter(int slot, void *owner, int module, qxxml_values *record, qxxml_values_counts *counts) {
  OwnerObject(owner)->DoValuesDone(slot, owner, module, record, counts);
}
void SetupDoneAdapter(int slot, void *owner, int module, qxxml_setup *record, qxxml_setup_counts *counts) {
  OwnerObject(owner)->DoSetupDone(slot, owner, module, record, counts);
}
void PostDoneAdapter(int slot, void *owner, int module, qxxml_setup *record, qxxml_setup_counts *counts) {
  OwnerObject(owner)->DoPostDone(slot, owner, module, record, counts);
}
int PreParseAdapter(int slot, void *owner, char *text, int length, int kind) {
  return OwnerObject(owner)->DoPreParse(slot, owner, text, length, kind);
}
void PostParseAdapter(int slot, void *owner, char *text, int length, int kind, void *record, void *counts,
                      int *result) {
  OwnerObject(owner)->DoPostParse(slot, owner, text, length, kind, record, counts, result);
}
void LookupDoneAdapter(int slot, void *owner, int module, qxxml_values *record, qxxml_values_counts *counts) {
  OwnerObject(owner)->DoLookupDone(slot, owner, module, record, counts);
}

bool IsLookupAction(TIoXmlAction action) {
  return action == xaSetRange || action == xaSetName || action == xaSetCalibration;
}

qx_error_record TextError(const char *text) {
  qx_error_record record{};
  std::snprintf(record.text, sizeof record.text, "%s", text);
  return record;
}

// Closes `slot` and returns only once its worker has ended, so that none of
// its callbacks can come later. The library gives up joining a worker after
// a few seconds and keeps the slot until the worker ends; a further close
// then reaps it.
void CloseUntilEnded(int slot) {
  while (qxxml_close(slot) != 0) qx_sleep_ms(kCloseRetryMs);
}

}  // namespace

void BuildOpenSettings(const TIoXmlCustom &object, qxxml_settings &settings) {
  qxxml_clr_settings_struct(&settings);
  settings.connect_at_open = 0;
  PutText(settings.get_user, object.User);
  PutText(settings.set_user, object.User);
  PutText(settings.get_password, object.Password);
  PutText(settings.set_password, object.Password);
  settings.callbacks.values_done = ValuesDoneAdapter;
  settings.callbacks.setup_done = SetupDoneAdapter;
  settings.callbacks.post_done = PostDoneAdapter;
  settings.callbacks.connected = ConnectedAdapter;
  if (object.PreParseEnabled) settings.callbacks.pre_parse_hook = PreParseAdapter;
  if (object.PostParseEnabled) settings.callbacks.post_parse_hook = PostParseAdapter;
}

void BuildLookupSettings(qxxml_settings &settings) {
  qxxml_clr_settings_struct(&settings);
  settings.connect_at_open = 0;
  settings.callbacks.values_done = LookupDoneAdapter;
}

TIoXmlCustom::TIoXmlCustom(void *owner) : TSdkObject(owner) { IoXmlFamily().Join(this, qxxml_init); }

TIoXmlCustom::~TIoXmlCustom() {
  // Already done by a derived destructor; an object built as this class
  // itself stops here, before its members go.
  StopCallbacks();
  IoXmlFamily().Leave(this, qxxml_uninit);
}

void TIoXmlCustom::StopCallbacks() {
  EndLookup();
  if (TIoXmlCustom::Close() != IOXML_ISSUED && Slot != -1) {
    CloseUntilEnded(Slot);
    Slot = -1;
    State = xaClosed;
  }
}

uint32_t TIoXmlCustom::RecordGeneration(TRecordKind kind) const {
  return kind == rkValues ? values_generation_.load() : setup_generation_.load();
}

void TIoXmlCustom::RenewRecords(TRecordKind kind) {
  std::atomic<uint32_t> &generation = kind == rkValues ? values_generation_ : setup_generation_;
  ++generation;
}

void TIoXmlCustom::Begin(TIoXmlAction action) {
  // Before the library hears of the request: its completion must find the
  // new generation. The previous completion read the old one before it
  // returned the state to idle, which the caller saw.
  RenewRecords(action == xaGetValues ? rkValues : rkSetup);
  State = action;
}

void TIoXmlCustom::DoConnected(int, void *, int) {}

void TIoXmlCustom::DoValuesDone(int, void *, int, qxxml_values *, qxxml_values_counts *) { State = xaIdle; }

void TIoXmlCustom::DoSetupDone(int, void *, int, qxxml_setup *, qxxml_setup_counts *) { State = xaIdle; }

void TIoXmlCustom::DoPostDone(int, void *, int, qxxml_setup *, qxxml_setup_counts *) { State = xaIdle; }

int TIoXmlCustom::DoPreParse(int, void *, char *, int, int) { return -1; }

void TIoXmlCustom::DoPostParse(int, void *, char *, int, int, void *, void *, int *) {}

void TIoXmlCustom::DoLookupDone(int slot, void *, int, qxxml_values *, qxxml_values_counts *) {
  if (!ClaimLookup(slot)) return;
  TIoXmlAction action;
  qx_error_record failure;
  CompleteLookup(slot, action, failure);
  FinishLookup(slot);
}

int TIoXmlCustom::Open() {
  if (State != xaClosed) return IOXML_BAD_STATE;
  qxxml_settings settings;
  BuildOpenSettings(*this, settings);
  Slot = qxxml_open(Host.c_str(), Port, &settings, this);
  if (Slot != -1) {
    if (qxxml_wait_finish(Slot, QXXML_FINISH_STARTED, kStartWaitSeconds) == -1) {
      qxxml_close(Slot);
      Slot = -1;
      return IOXML_NOT_READY;
    }
    State = xaIdle;
  }
  return Slot > 0 ? IOXML_ISSUED : IOXML_REFUSED;
}

int TIoXmlCustom::Close() {
  if (State == xaClosed) return IOXML_BAD_STATE;
  if (Slot == -1) return IOXML_ISSUED;
  int result = qxxml_close(Slot);
  // After the library joined the worker: whatever it posted carries the old
  // generations, also when the join gave up.
  RenewRecords(rkValues);
  RenewRecords(rkSetup);
  if (result == 0) {
    Slot = -1;
    State = xaClosed;
  }
  return result;
}

int TIoXmlCustom::GetValues() {
  if (State != xaIdle) return IOXML_BAD_STATE;
  Begin(xaGetValues);
  if (qxxml_get_values(Slot) == -1) {
    State = xaIdle;
    return IOXML_REFUSED;
  }
  return IOXML_ISSUED;
}

int TIoXmlCustom::GetSetup() {
  if (State != xaIdle) return IOXML_BAD_STATE;
  Begin(xaGetSetup);
  if (qxxml_get_setup(Slot) == -1) {
    State = xaIdle;
    return IOXML_REFUSED;
  }
  return IOXML_ISSUED;
}

int TIoXmlCustom::SendSetup(std::string document) {
  if (State != xaIdle) return IOXML_BAD_STATE;
  Begin(xaSendSetup);
  return Post(document);
}

int TIoXmlCustom::LoadValues(std::string document) {
  if (State != xaIdle) return IOXML_BAD_STATE;
  Begin(xaGetValues);
  if (qxxml_load_values(Slot, document.c_str(), static_cast<int>(document.size())) == -1) {
    State = xaIdle;
    return IOXML_REFUSED;
  }
  return IOXML_ISSUED;
}

int TIoXmlCustom::SetOutput(int32_t id, int32_t value) {
  if (State != xaIdle) return IOXML_BAD_STATE;
  Begin(xaSetOutput);
  return Post(OutputDocument(IdxEnabled != 0, static_cast<uint32_t>(id), static_cast<uint32_t>(value)));
}

int TIoXmlCustom::SetRange(uint32_t id, double min, double max) {
  if (State != xaIdle) return IOXML_BAD_STATE;
  Begin(xaSetRange);
  PendingId = id;
  PendingMin = min;
  PendingMax = max;
  if (IdxEnabled) return StartLookup();
  return PostSensorDocument(xaSetRange, 0);
}

int TIoXmlCustom::SetName(uint32_t id, std::string name) {
  if (State != xaIdle) return IOXML_BAD_STATE;
  Begin(xaSetName);
  // Inputs and outputs are posted at once: their index follows from the ID.
  if (id >= 1 && id <= IOXML_BINARY_IN_LAST_ID) {
    return Post(BinaryNameDocument(IdxEnabled != 0, "BinaryInSet", id, id, name));
  }
  if (id >= IOXML_BINARY_OUT_FIRST_ID && id <= IOXML_BINARY_OUT_LAST_ID) {
    return Post(BinaryNameDocument(IdxEnabled != 0, "BinaryOutSet", id - IOXML_BINARY_OUT_INDEX_BASE, id, name));
  }
  PendingId = id;
  PendingName = name;
  if (IdxEnabled) return StartLookup();
  return PostSensorDocument(xaSetName, 0);
}

int TIoXmlCustom::SetCalibration(uint32_t id, double calibration) {
  if (State != xaIdle) return IOXML_BAD_STATE;
  Begin(xaSetCalibration);
  PendingId = id;
  PendingCalibration = calibration;
  if (IdxEnabled) return StartLookup();
  return PostSensorDocument(xaSetCalibration, 0);
}

int TIoXmlCustom::Post(const std::string &document) {
  if (qxxml_send_setup_xml(Slot, document.c_str(), static_cast<int>(document.size())) == -1) {
    State = xaIdle;
    return IOXML_REFUSED;
  }
  return IOXML_ISSUED;
}

int TIoXmlCustom::PostSensorDocument(TIoXmlAction action, int index) {
  bool idx = IdxEnabled != 0;
  auto position = static_cast<uint32_t>(index);
  switch (action) {
    case xaSetRange: return Post(RangeDocument(idx, position, PendingId, PendingMin, PendingMax));
    case xaSetName: return Post(SensorNameDocument(idx, position, PendingId, PendingName));
    default: return Post(CalibrationDocument(idx, position, PendingId, PendingCalibration));
  }
}

int TIoXmlCustom::StartLookup() {
  qxxml_settings settings;
  BuildLookupSettings(settings);
  int lookup = qxxml_open(Host.c_str(), Port, &settings, this);
  if (lookup == -1) {
    qxxml_error(IOXML_LIBRARY_SLOT, &LastError);
    State = xaIdle;
    return IOXML_BAD_STATE;
  }
  {
    // Known before the download starts, so that its callback can claim it.
    std::lock_guard<std::mutex> lock(lookup_mutex_);
    lookup_slot_ = lookup;
  }
  if (qxxml_wait_finish(lookup, QXXML_FINISH_STARTED, kStartWaitSeconds) == -1 || qxxml_get_values(lookup) == -1) {
    qxxml_error(lookup, &LastError);
    EndLookup();
    State = xaIdle;
    return IOXML_BAD_STATE;
  }
  return IOXML_ISSUED;
}

bool TIoXmlCustom::ClaimLookup(int lookup_slot) {
  std::lock_guard<std::mutex> lock(lookup_mutex_);
  if (lookup_slot_ != lookup_slot) return false;  // abandoned: its closer is joining this worker
  lookup_busy_ = true;
  return true;
}

int TIoXmlCustom::CompleteLookup(int lookup_slot, TIoXmlAction &action, qx_error_record &failure) {
  failure = qx_error_record{};
  action = State;
  if (!IsLookupAction(action)) {
    action = xaClosed;
    return 0;
  }
  qxxml_values *record = nullptr;
  qxxml_values_counts *counts = nullptr;
  int index = -1;
  if (qxxml_get_values_cache(lookup_slot, &record, &counts) != 0) {
    // Without the values there is no index to post: report why the download
    // failed rather than posting an entry with an invalid index.
    qxxml_error(lookup_slot, &failure);
  } else {
    char host[16] = {};
    int port = 0;
    qxxml_get_module(Slot, host, &port);
    TValuesXml<TValuesXmlBuffer> values(record, counts, host, port);
    if (values.FindSensor(PendingId, index) != 0) failure = TextError("Invalid sensor ID");
  }
  if (index == -1) {
    LastError = failure;
    State = xaIdle;
    return IOXML_BAD_STATE;
  }
  if (PostSensorDocument(action, index) != IOXML_ISSUED) {
    qxxml_error(Slot, &failure);
    return IOXML_REFUSED;
  }
  return IOXML_ISSUED;
}

void TIoXmlCustom::FinishLookup(int lookup_slot) {
  std::lock_guard<std::mutex> lock(lookup_mutex_);
  // Under the lock: a destructor waiting in EndLookup resumes only once the
  // slot is released, and this thread touches the object no more after it.
  qxxml_close_for_callback(lookup_slot);
  lookup_slot_ = -1;
  lookup_busy_ = false;
  lookup_done_.notify_all();
}

void TIoXmlCustom::EndLookup() {
  int lookup;
  {
    std::unique_lock<std::mutex> lock(lookup_mutex_);
    // A completion in progress finishes and releases its slot by itself.
    lookup_done_.wait(lock, [this] { return !lookup_busy_; });
    lookup = lookup_slot_;
    lookup_slot_ = -1;
  }
  if (lookup != -1) CloseUntilEnded(lookup);
}

}  // namespace zelvoapi
