#include "app/host_lookup.h"

#include <mutex>
#include <thread>

#include "app/device_address.h"

namespace calibrator {

// The lookup's way back: the thread posts its result to `target` under the
// mutex, and the owner clears `target` under it before it goes. A post thus
// always reaches a living object, and Qt discards it unread if that object is
// destroyed before the post is delivered.
struct THostLookup::TGuard {
  std::mutex mutex;
  THostLookup *target;
};

THostLookup::THostLookup(QObject *parent) : QObject(parent), resolver_(ResolveIPv4) {}

THostLookup::~THostLookup() { Abandon(); }

void THostLookup::Start(const QString &name) {
  Abandon();
  guard_ = std::make_shared<TGuard>();
  guard_->target = this;
  running_ = true;
  std::thread([guard = guard_, resolver = resolver_, name] {
    const QString address = QString::fromStdString(resolver(name.toStdString()));
    std::lock_guard<std::mutex> lock(guard->mutex);
    THostLookup *target = guard->target;
    if (!target) return;
    QMetaObject::invokeMethod(
        target,
        [target, guard, name, address] {
          if (target->guard_ != guard) return;  // abandoned while queued
          target->running_ = false;
          target->guard_.reset();
          emit target->finished(name, address);
        },
        Qt::QueuedConnection);
  }).detach();
}

void THostLookup::Abandon() {
  if (guard_) {
    std::lock_guard<std::mutex> lock(guard_->mutex);
    guard_->target = nullptr;
  }
  guard_.reset();
  running_ = false;
}

}  // namespace calibrator
