// Base of the object layer's objects, their event-argument records, event
// handlers and the slots that own them.
//
// Library callbacks arrive on worker threads; the objects turn them into
// events raised on the user-interface thread. A handler is an object bound
// to one member function of its owner; each event of an object is a slot
// that owns at most one handler.
#ifndef SDK_SDK_OBJECT_H
#define SDK_SDK_OBJECT_H

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "common/qx_error.h"
#include "common/qx_export.h"

namespace zelvoapi {

// Base of every object of the layer.
class QX_EXPORT TSdkObject {
 public:
  explicit TSdkObject(void *owner);
  TSdkObject(const TSdkObject &) = delete;
  TSdkObject &operator=(const TSdkObject &) = delete;

  // Opaque handle given by the creator (the application passes its main
  // window); never interpreted by the object.
  void *Owner;

  // Unique among all objects the process ever created: messages posted for
  // an object carry it, so that a message of a destroyed object is never
  // delivered to a later object that happens to get the same address.
  uint64_t Serial() const { return serial_; }

 private:
  uint64_t serial_;
};

// Base of every event-argument record.
struct TEventArgs {
  explicit TEventArgs(TSdkObject *sender) : Sender(sender) {}
  TSdkObject *Sender;
};

// An event whose only information is that it happened.
struct TSdkSimpleEventArgs : TEventArgs {
  using TEventArgs::TEventArgs;
};

// A library error, copied so that it outlives the library's record.
struct QX_EXPORT TSdkError {
  TSdkError() = default;
  explicit TSdkError(const qx_error_record &record);

  int32_t Code = 0;     // the record's code
  int32_t SysCode = 0;  // the record's sys_errno
  std::string Text;     // the library's message
  std::string SysText;  // the system's message for SysCode
};

struct QX_EXPORT TSdkErrorEventArgs : TEventArgs {
  // `operation` is the failed action in the raising family's numbering.
  TSdkErrorEventArgs(TSdkObject *sender, uint8_t operation, const qx_error_record &record, int32_t extra);

  uint8_t Operation;
  TSdkError Error;
  int32_t Extra;  // every raiser passes 0
};

// Abstract event handler.
class QX_EXPORT TEventCustom {
 public:
  // Delivers one event; the raiser guarantees the argument record's type.
  virtual void Invoke(TEventArgs &args) = 0;
  virtual ~TEventCustom();
};

// Binds one owner object to one of its member functions that takes a
// reference to the argument record `TArgs` (TEventArgs or derived).
template <class TOwner, class TArgs>
class EventHandler : public TEventCustom {
 public:
  using TMethod = void (TOwner::*)(TArgs &);

  EventHandler(TOwner *owner, TMethod method) : owner_(owner), method_(method) {}

  void Invoke(TEventArgs &args) override { (owner_->*method_)(static_cast<TArgs &>(args)); }

 private:
  TOwner *owner_;
  TMethod method_;
};

// An event slot: owns at most one handler. Attaching transfers ownership
// from a std::unique_ptr; a different handler already held is deleted, while
// re-attaching the handler the slot already holds deletes nothing (a plain
// unique_ptr would delete it and keep a dangling pointer).
class QX_EXPORT TEventSlot {
 public:
  TEventSlot() = default;
  TEventSlot(const TEventSlot &) = delete;
  TEventSlot &operator=(const TEventSlot &) = delete;

  TEventSlot &operator=(std::unique_ptr<TEventCustom> handler) {
    Attach(std::move(handler));
    return *this;
  }
  TEventSlot &operator=(TEventSlot &&other) {
    if (&other != this) Attach(std::move(other.handler_));
    return *this;
  }

  TEventCustom *get() const { return handler_.get(); }
  TEventCustom *operator->() const { return handler_.get(); }
  explicit operator bool() const { return handler_ != nullptr; }
  // Deletes the handler and empties the slot.
  void reset() { handler_.reset(); }

 private:
  void Attach(std::unique_ptr<TEventCustom> handler) {
    if (handler.get() == handler_.get()) {
      (void)handler.release();  // already ours: the second owner lets go
      return;
    }
    handler_ = std::move(handler);
  }

  std::unique_ptr<TEventCustom> handler_;
};

// Raises an event synchronously on the calling thread: when the slot holds a
// handler, builds the argument record from `args` on the stack and invokes
// the handler; an empty slot builds nothing.
template <class TArgs, class... A>
void RaiseEvent(const TEventSlot &slot, A &&...args) {
  if (!slot) return;
  TArgs record(std::forward<A>(args)...);
  slot->Invoke(record);
}

}  // namespace zelvoapi

#endif
