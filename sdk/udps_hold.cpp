// TUdpsHold: the pause before a search's or setup's completion is raised,
// made with a timer so that the user-interface thread keeps running.
#include <QTimer>
#include <utility>

#include "sdk/udps_private.h"

namespace zelvoapi {

namespace {

bool PausesBefore(unsigned message) { return message == UDPS_MSG_SEARCH_DONE || message == UDPS_MSG_SETUP_DONE; }

}  // namespace

TUdpsHold::TUdpsHold(TRaise raise) : raise_(std::move(raise)), alive_(std::make_shared<bool>(true)) {}

TUdpsHold::~TUdpsHold() { *alive_ = false; }

void TUdpsHold::Deliver(const TUdpsHeld &event) {
  waiting_.push_back(event);
  if (!pausing_) Drain();
}

void TUdpsHold::Drain() {
  std::shared_ptr<bool> alive = alive_;
  while (!pausing_ && !waiting_.empty()) {
    TUdpsHeld &next = waiting_.front();
    if (PausesBefore(next.Message) && !next.Paused) {
      pausing_ = true;
      QTimer::singleShot(UDPS_DONE_PAUSE_MS, &timer_context_, [this] { PauseOver(); });
      return;
    }
    // Taken off before the handler runs: a handler that runs the event loop
    // may deliver the events behind it, which must not see it again.
    TUdpsHeld event = next;
    waiting_.pop_front();
    raise_(event);
    if (!*alive) return;
  }
}

void TUdpsHold::PauseOver() {
  pausing_ = false;
  if (!waiting_.empty()) waiting_.front().Paused = true;
  Drain();
}

}  // namespace zelvoapi
