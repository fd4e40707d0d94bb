#include "tools/cli/event_wait.h"

#include <QEventLoop>
#include <QTimer>

namespace zelvocli {

void TEventWait::Finish(TOutcome outcome) {
  outcome_ = outcome;
  if (loop_) loop_->quit();
}

TEventWait::TOutcome TEventWait::Run(int bound_ms) {
  if (outcome_ != kPending) return outcome_;
  QEventLoop loop;
  QTimer bound;
  bound.setSingleShot(true);
  QObject::connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
  bound.start(bound_ms);
  loop_ = &loop;
  loop.exec();
  loop_ = nullptr;
  return outcome_;
}

void RunEventsFor(long ms) {
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(ms), Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace zelvocli
