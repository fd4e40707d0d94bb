#include <poll.h>

#include <algorithm>
#include <chrono>

#include "common/qx_select_wait_private.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// poll instead of select: select cannot watch a descriptor at or above
// FD_SETSIZE (1024), and a process with many open slots reaches that.

// One network wait step: every time-out of the libraries is a count of these.
const int kAttemptMs = 1000;
// A step is waited out in slices of this length, and the stop mark is looked
// at after each, so that a close (and with it quitting the program) ends a
// worker's wait within 50 ms instead of at the end of the step. The price is
// twenty wake-ups a second of a worker that waits, which nobody measures.
// Slices rather than a wake-up descriptor: the stop mark stays the slot
// state the callers already share, and no descriptor has to be made, kept
// and closed per slot.
const int kSliceMs = 50;

// The three sets in one pollfd array: at most 3 x QX_SOCKET_SET_MAX entries.
const int kMaxEntries = 3 * QX_SOCKET_SET_MAX;

struct SetKind {
  short request;  // what poll is asked for
  short ready;    // what counts as ready for this set
};

// Read and write follow what a following recv/send sees: neither blocks on
// an error or a hang-up. POLLNVAL (descriptor not open) counts in every set.
const SetKind kRead = {POLLIN, POLLIN | POLLHUP | POLLERR | POLLNVAL};
const SetKind kWrite = {POLLOUT, POLLOUT | POLLHUP | POLLERR | POLLNVAL};
const SetKind kError = {POLLPRI, POLLPRI | POLLHUP | POLLERR | POLLNVAL};

int set_count(const qx_socket_set *set) {
  if (set == nullptr || set->count < 0) return 0;
  return set->count < QX_SOCKET_SET_MAX ? set->count : QX_SOCKET_SET_MAX;
}

int add_entries(pollfd *entries, int used, const qx_socket_set *set, const SetKind &kind) {
  for (int i = 0; i < set_count(set); ++i) entries[used++] = pollfd{set->fd[i], kind.request, 0};
  return used;
}

// Keeps the ready sockets of `set`, in their order; `entries` are this set's
// poll entries. Returns the position of the next set's entries.
int reduce_set(qx_socket_set *set, const pollfd *entries, const SetKind &kind) {
  const int count = set_count(set);
  if (set == nullptr) return 0;
  int kept = 0;
  for (int i = 0; i < count; ++i) {
    if (entries[i].revents & kind.ready) set->fd[kept++] = set->fd[i];
  }
  set->count = kept;
  return count;
}

// Waits one step in slices. The poll result of the last slice (time-out 0,
// failure < 0, or the number of ready entries), or QX_WAIT_STOPPED.
int wait_one_step(pollfd *entries, int used, const std::atomic<int> *stop_mark) {
  const auto step_end = steady_clock::now() + milliseconds(kAttemptMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<milliseconds>(step_end - steady_clock::now()).count();
    const int slice = static_cast<int>(std::clamp<long long>(left, 0, kSliceMs));
    const int ready = poll(entries, static_cast<nfds_t>(used), slice);
    // The owner was closed: hand a distinct result up to the worker loop,
    // which ends the thread. Ending the thread here in place would unwind
    // (or skip unwinding) through callers that hold locks and buffers.
    if (stop_mark != nullptr && stop_mark->load() == 0) return QX_WAIT_STOPPED;
    if (ready != 0 || left <= kSliceMs) return ready;
  }
}

}  // namespace

int qx_select_wait(qx_socket_set *read, qx_socket_set *write, qx_socket_set *error, int attempts,
                   const std::atomic<int> *stop_mark) {
  pollfd entries[kMaxEntries];
  int used = add_entries(entries, 0, read, kRead);
  used = add_entries(entries, used, write, kWrite);
  used = add_entries(entries, used, error, kError);
  for (int attempt = 0; attempt < attempts; ++attempt) {
    const int ready = wait_one_step(entries, used, stop_mark);
    if (ready == QX_WAIT_STOPPED) return QX_WAIT_STOPPED;
    if (ready <= 0) continue;  // time-out, or a failed wait (EINTR included)

    int next = reduce_set(read, entries, kRead);
    next += reduce_set(write, entries + next, kWrite);
    reduce_set(error, entries + next, kError);
    return 0;
  }
  return -1;
}
