#include <QCoreApplication>
#include <QEvent>
#include <atomic>
#include <cstdlib>
#include <memory>

#include "sdk/sdk_message_target_private.h"

namespace zelvoapi {

namespace {

std::atomic<void (*)(void *)> g_free_hook{nullptr};

// The one event type of every family's posts.
QEvent::Type SdkEventType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

// A queued message. It owns its payload until the target takes it, so that
// Qt deleting the event undelivered (target destroyed) still releases it.
class TSdkMessageEvent : public QEvent {
 public:
  explicit TSdkMessageEvent(const TSdkMessage &message) : QEvent(SdkEventType()), message_(message) {}
  ~TSdkMessageEvent() override { FreeSdkPayload(message_.LParam); }

  TSdkMessage Take() {
    TSdkMessage taken = message_;
    message_.LParam = nullptr;
    return taken;
  }

 private:
  TSdkMessage message_;
};

// Releases a payload when it goes out of scope, also if a handler throws.
struct TPayloadRelease {
  void operator()(void *payload) const { FreeSdkPayload(payload); }
};
using TPayloadGuard = std::unique_ptr<void, TPayloadRelease>;

}  // namespace

void FreeSdkPayload(void *payload) {
  if (!payload) return;
  void (*hook)(void *) = g_free_hook.load();
  if (hook) {
    hook(payload);
  } else {
    std::free(payload);
  }
}

void SetSdkPayloadFreeHook(void (*hook)(void *payload)) { g_free_hook.store(hook); }

TSdkMessageTarget::TSdkMessageTarget(const char *class_name, TSdkWindowProc proc) : proc_(proc) {
  setObjectName(QString::fromLatin1(class_name));
}

bool TSdkMessageTarget::event(QEvent *event) {
  published_.load(std::memory_order_acquire);
  if (event->type() != SdkEventType()) return QObject::event(event);
  TSdkMessage message = static_cast<TSdkMessageEvent *>(event)->Take();
  ++dispatching_;
  if (proc_) {
    proc_(this, message);
  } else {
    SdkDefaultWindowProc(this, message);
  }
  --dispatching_;
  return true;
}

TSdkMessageTarget *CreateSdkWindow(void *, const char *class_name, TSdkWindowProc proc) {
  return new TSdkMessageTarget(class_name, proc);
}

void DestroySdkWindow(TSdkMessageTarget *window) {
  if (!window) return;
  if (window->Dispatching()) {
    window->deleteLater();
  } else {
    delete window;
  }
}

bool PostSdkMessage(TSdkMessageTarget *window, TSdkMessage message) {
  if (!window) {
    FreeSdkPayload(message.LParam);
    return false;
  }
  // Qt keeps posting order per receiver and takes ownership of the event.
  auto *event = new TSdkMessageEvent(message);
  window->Publish();
  QCoreApplication::postEvent(window, event);
  return true;
}

intptr_t SdkDefaultWindowProc(TSdkMessageTarget *, TSdkMessage &message) {
  FreeSdkPayload(message.LParam);
  message.LParam = nullptr;
  return 0;
}

// RAII holder of one of the family's mutexes, by default the one that guards
// its state.
class TSdkFamily::TLock {
 public:
  explicit TLock(TSdkFamily &family) : TLock(family.mutex_) {}
  explicit TLock(qx_thread_mutex_t &mutex) : mutex_(&mutex) { qx_thread_mutex_lock(mutex_); }
  ~TLock() { qx_thread_mutex_unlock(mutex_); }
  TLock(const TLock &) = delete;
  TLock &operator=(const TLock &) = delete;

 private:
  qx_thread_mutex_t *mutex_;
};

TSdkFamily::TSdkFamily(const char *class_name, unsigned last_offset, TSdkDispatcher dispatcher)
    : class_name_(class_name), last_offset_(last_offset), dispatcher_(dispatcher) {
  // Created on first use of the family and never destroyed.
  qx_thread_mutex_init(&lifecycle_mutex_);
  qx_thread_mutex_init(&mutex_);
}

void TSdkFamily::Join(const TSdkObject *object, int (*start_library)()) {
  TLock lifecycle(lifecycle_mutex_);
  bool first = false;
  {
    TLock lock(*this);
    live_[object] = object->Serial();
    first = instance_count_++ == 0;
  }
  if (first && start_library) start_library();
}

void TSdkFamily::OpenWindow(void *owner, TSdkWindowProc proc) {
  TLock lock(*this);
  // Created whenever the family has none, not only for the first object, so
  // that a family whose first object was a base-class object still gets one.
  if (!window_) window_ = CreateSdkWindow(owner, class_name_, proc);
}

void TSdkFamily::CloseWindow(const TSdkObject *object) {
  TLock lock(*this);
  live_.erase(object);
  if (instance_count_ == 1 && window_) {
    DestroySdkWindow(window_);
    window_ = nullptr;
  }
}

void TSdkFamily::Leave(const TSdkObject *object, int (*stop_library)()) {
  TLock lifecycle(lifecycle_mutex_);
  {
    TLock lock(*this);
    live_.erase(object);
    if (--instance_count_ > 0) return;
    instance_count_ = 0;
    if (window_) {
      DestroySdkWindow(window_);
      window_ = nullptr;
    }
  }
  // A callback still running in the library may post meanwhile: the family
  // has no target any more, so the post only releases its payload.
  if (stop_library) stop_library();
}

bool TSdkFamily::Post(unsigned message, const TSdkObject *object, void *payload) {
  TSdkMessage posted;
  posted.Message = message;
  posted.WParam = reinterpret_cast<uintptr_t>(object);
  posted.LParam = payload;
  posted.Serial = object ? object->Serial() : 0;
  // Under the mutex so that the target cannot be destroyed mid-post.
  TLock lock(*this);
  return PostSdkMessage(window_, posted);
}

bool TSdkFamily::IsLive(uintptr_t object, uint64_t serial) {
  TLock lock(*this);
  auto found = live_.find(reinterpret_cast<const TSdkObject *>(object));
  return found != live_.end() && found->second == serial;
}

intptr_t TSdkFamily::WindowProc(TSdkMessageTarget *window, TSdkMessage &message) {
  if (message.Message < SDK_WM_USER || message.Message > SDK_WM_USER + last_offset_) {
    return SdkDefaultWindowProc(window, message);
  }
  TPayloadGuard payload(message.LParam);
  message.LParam = nullptr;
  if (message.WParam == 0) return 0;
  // Checked, then released before dispatch: no handler runs under the family
  // mutex. Objects die only on this thread, so the answer holds until the
  // dispatcher returns.
  if (!IsLive(message.WParam, message.Serial)) return 0;
  dispatcher_(reinterpret_cast<TSdkObject *>(message.WParam), message.Message, payload.get());
  return 0;
}

int TSdkFamily::InstanceCount() {
  TLock lock(*this);
  return instance_count_;
}

TSdkMessageTarget *TSdkFamily::Window() {
  TLock lock(*this);
  return window_;
}

}  // namespace zelvoapi
