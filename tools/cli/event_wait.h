// Waiting for one completion of the object layer, whose events arrive
// through Qt's queue: the queue runs until the completion or a bound.
#pragma once

class QEventLoop;

namespace zelvocli {

class TEventWait {
 public:
  enum TOutcome { kPending, kDone, kFailed };

  // A request is about to be issued: its events may come from now on, also
  // synchronously from within the request call.
  void Begin() { outcome_ = kPending; }
  // Called by the event handlers; ends a running Run().
  void Finish(TOutcome outcome);
  bool Pending() const { return outcome_ == kPending; }
  // Runs the queue until Finish() or `bound_ms`; kPending when the bound
  // ran out.
  TOutcome Run(int bound_ms);

 private:
  TOutcome outcome_ = kDone;
  QEventLoop *loop_ = nullptr;
};

// Runs the event queue for `ms` milliseconds: a wait during which late
// events of the libraries are still taken.
void RunEventsFor(long ms);

}  // namespace zelvocli
