// Internal parts of the UDP discovery object shared by its source files: the
// family, its messages and payloads, and the hold that delays completions.
#ifndef SDK_UDPS_PRIVATE_H
#define SDK_UDPS_PRIVATE_H

#include <QObject>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

#include "common/qx_error.h"
#include "sdk/sdk_message_target_private.h"
#include "sdk/udps.h"

namespace zelvoapi {

// The UDP family: window class "TUdpsWndClass", messages 1024..1027.
TSdkFamily &UdpsFamily();

enum : unsigned {
  UDPS_MSG_SEARCH_DONE = SDK_WM_USER,       // no payload
  UDPS_MSG_SETUP_DONE = SDK_WM_USER + 1,    // no payload
  UDPS_MSG_SEARCH_ERROR = SDK_WM_USER + 2,  // qx_error_record
  UDPS_MSG_SETUP_ERROR = SDK_WM_USER + 3,   // qx_error_record
};
constexpr unsigned UDPS_LAST_MESSAGE_OFFSET = 3;

// The settling pause between a search's or setup's completion reaching the
// user-interface thread and its event: long enough for the interface to
// catch up with the request's end, short enough not to be noticed.
constexpr int UDPS_DONE_PAUSE_MS = 200;

// Starts qxudps and installs the adapters that route its callbacks to the
// owner object; run by the family's first object.
int StartUdpsLibrary();

// One event of an object on its way to the handlers: the message and, for
// an error, a copy of the record its payload carried.
struct TUdpsHeld {
  unsigned Message = 0;
  qx_error_record Error{};
  bool Paused = false;  // a completion whose pause is over
};

// The events of one object that reached the user-interface thread, raised
// in arrival order. A completion first waits UDPS_DONE_PAUSE_MS on a timer
// (the thread keeps running its queue meanwhile), and whatever arrives
// during that wait is raised after it. Lives and dies with its object:
// destroying it cancels a running pause and drops what waits.
class TUdpsHold {
 public:
  using TRaise = std::function<void(const TUdpsHeld &event)>;
  explicit TUdpsHold(TRaise raise);
  ~TUdpsHold();
  TUdpsHold(const TUdpsHold &) = delete;
  TUdpsHold &operator=(const TUdpsHold &) = delete;

  // Takes one arriving event; raises it now unless a pause is due or running.
  void Deliver(const TUdpsHeld &event);

 private:
  // Raises waiting events up to the next completion whose pause is due.
  void Drain();
  void PauseOver();

  TRaise raise_;
  std::deque<TUdpsHeld> waiting_;
  bool pausing_ = false;
  QObject timer_context_;  // the pause's timer fires only while this lives
  // False once the hold is destroyed; a Drain whose handler destroyed the
  // object (and with it the hold) sees it through its own copy and stops.
  std::shared_ptr<bool> alive_;
};

}  // namespace zelvoapi

#endif
