// Internal: the hidden message target of an object family and the family's
// shared state.
//
// Each family (the XML I/O objects, the UDP discovery objects) has one
// target, a QObject living on the user-interface thread. A worker thread
// posts (message number, object, payload) to it; the target hands every
// message, in posting order and on its own thread, to the family's window
// procedure, which checks the range and the object and calls the family's
// dispatcher. Payloads are malloc'ed by the poster and released exactly once
// on every path: after dispatch, when a message is dropped, when a post
// cannot be made, and when the target is destroyed with messages pending.
//
// Objects must be created and destroyed on the user-interface thread, the
// thread the target lives on.
#ifndef SDK_SDK_MESSAGE_TARGET_PRIVATE_H
#define SDK_SDK_MESSAGE_TARGET_PRIVATE_H

#include <QObject>
#include <atomic>
#include <cstdint>
#include <unordered_map>

#include "common/qx_thread.h"
#include "sdk/sdk_object.h"

namespace zelvoapi {

// First message number of every family; a family uses WM_USER .. WM_USER + n.
constexpr unsigned SDK_WM_USER = 1024;

// One posted message.
struct TSdkMessage {
  unsigned Message = 0;
  uintptr_t WParam = 0;    // the raising object, 0 for none
  void *LParam = nullptr;  // malloc'ed payload or null; owned by whoever holds the message
  uint64_t Serial = 0;     // the raising object's serial at posting time
};

class TSdkMessageTarget;

// A family's window procedure: consumes the message's payload and returns
// the message result.
using TSdkWindowProc = intptr_t (*)(TSdkMessageTarget *window, TSdkMessage &message);

// The hidden message target. Never shown; exists only to receive posts.
class TSdkMessageTarget : public QObject {
 public:
  TSdkMessageTarget(const char *class_name, TSdkWindowProc proc);

  TSdkWindowProc Proc() const { return proc_; }
  // True while a message is being handled by the window procedure.
  bool Dispatching() const { return dispatching_ > 0; }
  // Called by the posting thread once the event is built, before Qt queues it.
  void Publish() { published_.fetch_add(1, std::memory_order_release); }

 protected:
  bool event(QEvent *event) override;

 private:
  TSdkWindowProc proc_;
  int dispatching_ = 0;
  // Qt's post queue orders the poster's writes before delivery, but its lock
  // is invisible to the thread sanitizer in a Qt built without it. This
  // counter states the same ordering in the C++ memory model, so that the
  // sanitizer sees the event built before it is read.
  std::atomic<uint64_t> published_{0};
};

// Creates the hidden target on the calling thread. `owner` is the creator's
// handle; Qt needs no module handle to register a window class, so it is
// not used.
TSdkMessageTarget *CreateSdkWindow(void *owner, const char *class_name, TSdkWindowProc proc);
// Destroys the target; messages still queued for it are released undelivered.
// From inside the target's own dispatch the deletion is deferred to the
// event loop, so that the target is not deleted under its own feet.
void DestroySdkWindow(TSdkMessageTarget *window);
// Queues `message` for the target's thread without waiting. On failure (no
// target) releases the payload and returns false.
bool PostSdkMessage(TSdkMessageTarget *window, TSdkMessage message);
// Default processing of a message outside the family's range: nothing is
// dispatched; the payload is released; result 0.
intptr_t SdkDefaultWindowProc(TSdkMessageTarget *window, TSdkMessage &message);

// Releases a payload (null is allowed). Every release goes through here.
void FreeSdkPayload(void *payload);
// Replaces the release function (null restores free); for tests that count
// releases.
void SetSdkPayloadFreeHook(void (*hook)(void *payload));

// Called for each dispatched message with the object, which is live, and the
// payload, which the caller releases after the call.
using TSdkDispatcher = void (*)(TSdkObject *object, unsigned message, void *payload);

// Shared state of one object family: its mutex, instance count, hidden
// target and the registry of live objects. One static instance per family,
// never destroyed (objects may outlive static destruction order).
class TSdkFamily {
 public:
  // Messages WM_USER .. WM_USER + `last_offset` belong to the family.
  TSdkFamily(const char *class_name, unsigned last_offset, TSdkDispatcher dispatcher);
  TSdkFamily(const TSdkFamily &) = delete;
  TSdkFamily &operator=(const TSdkFamily &) = delete;

  // Base constructor: counts and registers `object`; runs `start_library`
  // (when given) if it is the first object.
  void Join(const TSdkObject *object, int (*start_library)());
  // Derived constructor: creates the family's target unless one exists.
  void OpenWindow(void *owner, TSdkWindowProc proc);
  // Derived destructor: unregisters `object` (its queued messages are
  // dropped from now on) and removes the target when it is the last object.
  void CloseWindow(const TSdkObject *object);
  // Base destructor: unregisters and uncounts `object`; when none is left,
  // removes a target that is still there and runs `stop_library` (when given).
  void Leave(const TSdkObject *object, int (*stop_library)());

  // Posts `message` for `object` to the family's target; false (payload
  // released) when the family has no target.
  bool Post(unsigned message, const TSdkObject *object, void *payload);
  // The window procedure's logic: out-of-range messages go to default
  // processing, messages without object are dropped, messages of objects no
  // longer live are dropped, all others reach the dispatcher. The payload is
  // released in every case.
  intptr_t WindowProc(TSdkMessageTarget *window, TSdkMessage &message);

  // Observers, each taken under the family mutex.
  int InstanceCount();
  TSdkMessageTarget *Window();
  const char *ClassName() const { return class_name_; }

 private:
  class TLock;
  bool IsLive(uintptr_t object, uint64_t serial);

  const char *class_name_;
  unsigned last_offset_;
  TSdkDispatcher dispatcher_;
  // Taken around a library's start and stop, and never while mutex_ is held.
  // Library callbacks post under the library's own lock, so mutex_ must never
  // be held while a library is started or stopped: the two locks would be
  // taken in both orders.
  qx_thread_mutex_t lifecycle_mutex_;
  qx_thread_mutex_t mutex_;
  // Guarded by mutex_:
  int instance_count_ = 0;
  TSdkMessageTarget *window_ = nullptr;
  std::unordered_map<const TSdkObject *, uint64_t> live_;  // object -> serial
};

}  // namespace zelvoapi

#endif
