// TIoXml: the events of the XML I/O object and their delivery on the
// user-interface thread.
#include <cstdlib>
#include <cstring>

#include "sdk/io_xml_private.h"

namespace zelvoapi {

namespace {

intptr_t IoXmlWindowProc(TSdkMessageTarget *window, TSdkMessage &message) {
  return IoXmlFamily().WindowProc(window, message);
}

// Argument records of the posted document events, filled from a payload.
TIoXmlValuesEventArgs ValuesArgs(TSdkObject *sender, const TIoXmlValuesPayload &payload) {
  TIoXmlValuesEventArgs args(sender);
  args.Values = payload.Values;
  args.Counts = payload.Counts;
  std::memcpy(args.Host, payload.Host, sizeof args.Host);
  args.Host[sizeof args.Host - 1] = '\0';
  args.Port = payload.Port;
  args.Quality = payload.Quality;
  return args;
}

TIoXmlSetupEventArgs SetupArgs(TSdkObject *sender, const TIoXmlSetupPayload &payload) {
  TIoXmlSetupEventArgs args(sender);
  args.Setup = payload.Setup;
  args.Counts = payload.Counts;
  std::memcpy(args.Host, payload.Host, sizeof args.Host);
  args.Host[sizeof args.Host - 1] = '\0';
  args.Port = payload.Port;
  args.Action = payload.Action;
  args.Quality = payload.Quality;
  return args;
}

// Invokes the slot's handler, if any, with a record built from the payload.
template <class TArgs, class TPayload, class TBuild>
void RaisePosted(const TEventSlot &slot, TSdkObject *sender, const TPayload &payload, TBuild build) {
  if (!slot) return;
  TArgs args = build(sender, payload);
  slot->Invoke(args);
}

template <class T>
T *NewPayload() {
  return static_cast<T *>(std::calloc(1, sizeof(T)));
}

qx_error_record SlotError(int slot) {
  qx_error_record record{};
  qxxml_error(slot, &record);
  return record;
}

// Payload of a finished setup download or post, from the slot's cache; null
// when the slot holds no valid document.
TIoXmlSetupPayload *SetupPayload(int slot, int32_t action, uint32_t generation) {
  qxxml_setup *record = nullptr;
  qxxml_setup_counts *counts = nullptr;
  if (qxxml_get_setup_cache(slot, &record, &counts) != 0) return nullptr;
  auto *payload = NewPayload<TIoXmlSetupPayload>();
  if (!payload) return nullptr;
  payload->Setup = record;
  payload->Counts = counts;
  qxxml_get_module(slot, payload->Host, &payload->Port);
  payload->Action = action;
  payload->Generation = generation;
  qxxml_get_doc_quality(slot, QXXML_DOC_SETUP, &payload->Quality);
  return payload;
}

}  // namespace

// Delivers the family's messages to the object's handlers. An event that
// points into the slot's records is dropped when they changed generation
// since it was posted: its pointers lead to freed or refilled memory.
class TIoXmlDispatcher {
 public:
  static void Dispatch(TSdkObject *object, unsigned message, void *payload) {
    auto *self = static_cast<TIoXml *>(object);
    switch (message) {
      case IOXML_MSG_STATUS:
        RaiseEvent<TIoXmlStatusEventArgs>(self->OnStatus, self, *static_cast<const int32_t *>(payload));
        break;
      case IOXML_MSG_VALUES: {
        const auto &values = *static_cast<const TIoXmlValuesPayload *>(payload);
        if (!Current(*self, TIoXml::rkValues, values.Generation)) break;
        RaisePosted<TIoXmlValuesEventArgs>(self->OnValues, self, values, ValuesArgs);
        break;
      }
      case IOXML_MSG_SETUP:
      case IOXML_MSG_SETUP_SENT: {
        const auto &setup = *static_cast<const TIoXmlSetupPayload *>(payload);
        if (!Current(*self, TIoXml::rkSetup, setup.Generation)) break;
        const TEventSlot &slot = message == IOXML_MSG_SETUP ? self->OnSetup : self->OnSetupSent;
        RaisePosted<TIoXmlSetupEventArgs>(slot, self, setup, SetupArgs);
        break;
      }
      case IOXML_MSG_ERROR: {
        const auto &error = *static_cast<const TIoXmlErrorPayload *>(payload);
        RaiseEvent<TSdkErrorEventArgs>(self->OnError, self, static_cast<uint8_t>(error.Operation & 0xFF), error.Error,
                                       0);
        break;
      }
    }
  }

 private:
  static bool Current(const TIoXml &object, TIoXml::TRecordKind kind, uint32_t generation) {
    return object.RecordGeneration(kind) == generation;
  }
};

TSdkFamily &IoXmlFamily() {
  // Never destroyed: objects may outlive the order of static destruction.
  static TSdkFamily *family = new TSdkFamily("TIoXmlWndClass", IOXML_LAST_MESSAGE_OFFSET, TIoXmlDispatcher::Dispatch);
  return *family;
}

TIoXml::TIoXml(void *owner) : TIoXmlCustom(owner) { IoXmlFamily().OpenWindow(Owner, IoXmlWindowProc); }

TIoXml::~TIoXml() {
  // First, while the object is whole: a callback arriving once the handlers
  // or the vtable of this class were being torn down would find half an
  // object.
  StopCallbacks();
  IoXmlFamily().CloseWindow(this);
}

void TIoXml::PostFailure(int32_t operation, const qx_error_record &error) {
  auto *payload = NewPayload<TIoXmlErrorPayload>();
  if (!payload) return;  // the event is lost, as with any post that cannot be made
  payload->Operation = operation;
  payload->Error = error;
  IoXmlFamily().Post(IOXML_MSG_ERROR, this, payload);
}

void TIoXml::DoConnected(int slot, void *owner, int module) {
  TIoXmlCustom::DoConnected(slot, owner, module);
  auto *payload = NewPayload<int32_t>();
  if (!payload) return;
  *payload = State;
  IoXmlFamily().Post(IOXML_MSG_STATUS, this, payload);
}

void TIoXml::DoValuesDone(int slot, void *owner, int module, qxxml_values *record, qxxml_values_counts *counts) {
  // With the pre-parse hook the document may have been consumed unparsed:
  // the event then carries no record, only the address.
  bool delivered = false;
  TIoXmlValuesPayload *payload = nullptr;
  if (PreParseEnabled) {
    delivered = counts != nullptr;
    if (delivered && (payload = NewPayload<TIoXmlValuesPayload>())) {
      qxxml_get_module(Slot, payload->Host, &payload->Port);
    }
  } else {
    qxxml_values *cached = nullptr;
    qxxml_values_counts *cached_counts = nullptr;
    delivered = qxxml_get_values_cache(Slot, &cached, &cached_counts) == 0;
    if (delivered && (payload = NewPayload<TIoXmlValuesPayload>())) {
      payload->Values = cached;
      payload->Counts = cached_counts;
      qxxml_get_module(Slot, payload->Host, &payload->Port);
    }
  }
  if (payload) {
    payload->Generation = RecordGeneration(rkValues);
    qxxml_get_doc_quality(Slot, QXXML_DOC_VALUES, &payload->Quality);
  }
  qx_error_record error = delivered ? qx_error_record{} : SlotError(Slot);
  TIoXmlCustom::DoValuesDone(slot, owner, module, record, counts);
  if (!delivered) {
    PostFailure(xaGetValues, error);
  } else if (payload) {
    IoXmlFamily().Post(IOXML_MSG_VALUES, this, payload);
  }
}

void TIoXml::DoSetupDone(int slot, void *owner, int module, qxxml_setup *record, qxxml_setup_counts *counts) {
  TIoXmlSetupPayload *payload = SetupPayload(Slot, State, RecordGeneration(rkSetup));
  qx_error_record error = payload ? qx_error_record{} : SlotError(Slot);
  TIoXmlCustom::DoSetupDone(slot, owner, module, record, counts);
  if (payload) {
    IoXmlFamily().Post(IOXML_MSG_SETUP, this, payload);
  } else {
    PostFailure(xaGetSetup, error);
  }
}

void TIoXml::DoPostDone(int slot, void *owner, int module, qxxml_setup *record, qxxml_setup_counts *counts) {
  TIoXmlAction action = State;
  TIoXmlSetupPayload *payload = SetupPayload(Slot, action, RecordGeneration(rkSetup));
  qx_error_record error = payload ? qx_error_record{} : SlotError(Slot);
  TIoXmlCustom::DoPostDone(slot, owner, module, record, counts);
  if (payload) {
    IoXmlFamily().Post(IOXML_MSG_SETUP_SENT, this, payload);
  } else {
    bool single_change = action >= xaSetOutput && action <= xaSetCalibration;
    PostFailure(single_change ? action : xaSendSetup, error);
  }
}

int TIoXml::DoPreParse(int, void *, char *text, int length, int kind) {
  if (!OnPreParse) return -1;
  TIoXmlPreParseEventArgs args(this, text, length, kind);
  OnPreParse->Invoke(args);
  return args.Result;
}

void TIoXml::DoPostParse(int, void *, char *text, int length, int kind, void *record, void *counts, int *result) {
  RaiseEvent<TIoXmlPostParseEventArgs>(OnPostParse, this, text, length, kind, record, counts, result);
}

void TIoXml::DoLookupDone(int slot, void *, int, qxxml_values *, qxxml_values_counts *) {
  if (!ClaimLookup(slot)) return;
  TIoXmlAction action;
  qx_error_record failure;
  if (CompleteLookup(slot, action, failure) != 0) PostFailure(action, failure);
  FinishLookup(slot);
}

int TIoXml::Report(int result, TIoXmlAction operation, bool report_bad_state) {
  if (result == IOXML_ISSUED) {
    RaiseEvent<TSdkSimpleEventArgs>(OnBegin, this);
  } else if (result == IOXML_REFUSED) {
    RaiseEvent<TSdkErrorEventArgs>(OnError, this, static_cast<uint8_t>(operation), SlotError(Slot), 0);
  } else if (result == IOXML_BAD_STATE && report_bad_state) {
    RaiseEvent<TSdkErrorEventArgs>(OnError, this, static_cast<uint8_t>(operation), LastError, 0);
  }
  return result;
}

int TIoXml::Open() {
  int result = TIoXmlCustom::Open();
  if (result == IOXML_REFUSED) {
    RaiseEvent<TSdkErrorEventArgs>(OnError, this, IOXML_OPEN_OPERATION, SlotError(IOXML_LIBRARY_SLOT), 0);
  } else if (result == IOXML_ISSUED) {
    RaiseEvent<TSdkSimpleEventArgs>(OnOpen, this);
  }
  return result;
}

int TIoXml::Close() {
  int result = TIoXmlCustom::Close();
  if (result == IOXML_REFUSED) {
    RaiseEvent<TSdkErrorEventArgs>(OnError, this, IOXML_CLOSE_OPERATION, SlotError(Slot), 0);
  } else if (result == IOXML_ISSUED) {
    RaiseEvent<TSdkSimpleEventArgs>(OnClose, this);
  }
  return result;
}

int TIoXml::GetValues() { return Report(TIoXmlCustom::GetValues(), xaGetValues, false); }

int TIoXml::GetSetup() { return Report(TIoXmlCustom::GetSetup(), xaGetSetup, false); }

int TIoXml::SendSetup(std::string document) {
  return Report(TIoXmlCustom::SendSetup(std::move(document)), xaSendSetup, false);
}

int TIoXml::LoadValues(std::string document) {
  return Report(TIoXmlCustom::LoadValues(std::move(document)), xaGetValues, false);
}

int TIoXml::SetOutput(int32_t id, int32_t value) {
  return Report(TIoXmlCustom::SetOutput(id, value), xaSetOutput, false);
}

int TIoXml::SetRange(uint32_t id, double min, double max) {
  return Report(TIoXmlCustom::SetRange(id, min, max), xaSetRange, true);
}

int TIoXml::SetName(uint32_t id, std::string name) {
  return Report(TIoXmlCustom::SetName(id, std::move(name)), xaSetName, true);
}

int TIoXml::SetCalibration(uint32_t id, double calibration) {
  return Report(TIoXmlCustom::SetCalibration(id, calibration), xaSetCalibration, true);
}

}  // namespace zelvoapi
