// TUdps: the events of the UDP discovery object and their delivery on the
// user-interface thread.
#include <cstdlib>

#include "sdk/udps_private.h"

namespace zelvoapi {

namespace {

intptr_t UdpsWindowProc(TSdkMessageTarget *window, TSdkMessage &message) {
  return UdpsFamily().WindowProc(window, message);
}

bool CarriesError(unsigned message) { return message == UDPS_MSG_SEARCH_ERROR || message == UDPS_MSG_SETUP_ERROR; }

}  // namespace

// Delivers the family's messages to the object's handlers, through the
// object's hold so that completions come after their pause.
class TUdpsDispatcher {
 public:
  static void Dispatch(TSdkObject *object, unsigned message, void *payload) {
    // Only TUdps posts, so every object that receives a message is one.
    auto *self = static_cast<TUdps *>(object);
    TUdpsHeld event;
    event.Message = message;
    if (CarriesError(message) && payload) event.Error = *static_cast<const qx_error_record *>(payload);
    self->hold_->Deliver(event);
  }

  static void Raise(TUdps &self, const TUdpsHeld &event) {
    switch (event.Message) {
      case UDPS_MSG_SEARCH_DONE: RaiseEvent<TSdkSimpleEventArgs>(self.OnSearchDone, &self); break;
      case UDPS_MSG_SETUP_DONE: RaiseEvent<TSdkSimpleEventArgs>(self.OnSetupDone, &self); break;
      case UDPS_MSG_SEARCH_ERROR:
        RaiseEvent<TSdkErrorEventArgs>(self.OnError, &self, UDPS_SEARCH_OPERATION, event.Error, 0);
        break;
      case UDPS_MSG_SETUP_ERROR:
        RaiseEvent<TSdkErrorEventArgs>(self.OnError, &self, UDPS_SETUP_OPERATION, event.Error, 0);
        break;
    }
  }
};

TSdkFamily &UdpsFamily() {
  // Never destroyed: objects may outlive the order of static destruction.
  static TSdkFamily *family = new TSdkFamily("TUdpsWndClass", UDPS_LAST_MESSAGE_OFFSET, TUdpsDispatcher::Dispatch);
  return *family;
}

TUdps::TUdps(void *owner)
    : TUdpsCustom(owner),
      hold_(new TUdpsHold([this](const TUdpsHeld &event) { TUdpsDispatcher::Raise(*this, event); })) {
  UdpsFamily().OpenWindow(Owner, UdpsWindowProc);
}

TUdps::~TUdps() {
  // First, while the object is whole: a callback arriving once the handlers
  // or the vtable of this class were being torn down would find half an
  // object. The library waits for a callback in progress before it returns.
  qxudps_clr_ptr(this);
  UdpsFamily().CloseWindow(this);
}

void TUdps::PostFailure(unsigned message, const qx_error_record &error) {
  auto *payload = static_cast<qx_error_record *>(std::malloc(sizeof(qx_error_record)));
  if (payload) *payload = error;
  // The state goes back to idle also when the event is lost for want of
  // memory, as with any post that cannot be made.
  if (message == UDPS_MSG_SEARCH_ERROR) {
    TUdpsCustom::DoSearchError(error);
  } else {
    TUdpsCustom::DoSetupError(error);
  }
  if (payload) UdpsFamily().Post(message, this, payload);
}

void TUdps::DoSearchDone() {
  TUdpsCustom::DoSearchDone();
  UdpsFamily().Post(UDPS_MSG_SEARCH_DONE, this, nullptr);
}

void TUdps::DoSetupDone() {
  TUdpsCustom::DoSetupDone();
  UdpsFamily().Post(UDPS_MSG_SETUP_DONE, this, nullptr);
}

void TUdps::DoSearchError(const qx_error_record &error) { PostFailure(UDPS_MSG_SEARCH_ERROR, error); }

void TUdps::DoSetupError(const qx_error_record &error) { PostFailure(UDPS_MSG_SETUP_ERROR, error); }

int TUdps::Report(int result, uint8_t operation) {
  if (result == UDPS_DONE) {
    RaiseEvent<TSdkSimpleEventArgs>(operation == UDPS_SEARCH_OPERATION ? OnSearchBegin : OnSetupBegin, this);
  } else if (result == UDPS_REFUSED && OnError) {
    qx_error_record error{};
    qxudps_error(&error);
    RaiseEvent<TSdkErrorEventArgs>(OnError, this, operation, error, 0);
  }
  return result;
}

int TUdps::Search() { return Report(TUdpsCustom::Search(), UDPS_SEARCH_OPERATION); }

int TUdps::Setup(int32_t index, const TUdpsDevice &device) {
  return Report(TUdpsCustom::Setup(index, device), UDPS_SETUP_OPERATION);
}

int TUdps::SetupWithBit5(int32_t index) { return Report(TUdpsCustom::SetupWithBit5(index), UDPS_SETUP_OPERATION); }

}  // namespace zelvoapi
