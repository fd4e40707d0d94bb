// Waiting on the UI thread: events of the object layer arrive through Qt's
// queue, so a test that waits for one must run that queue while it waits.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <chrono>
#include <functional>

#include "tests/support/eventually.h"

namespace qxsupport {

// Runs the UI thread's queue, deferred deletions included, until `done`
// holds or `timeout` passes. The queue is left alone once `done` holds, so
// that no later event is delivered or can undo it.
inline bool PumpUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
  return Eventually(
      [&] {
        if (done()) return true;
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return done();
      },
      timeout);
}

}  // namespace qxsupport
