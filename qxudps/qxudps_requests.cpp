// Requests from the callers' threads and the results they read. No call here
// waits for the network; the most any waits for is the lock.
#include "qxudps/qxudps_state_private.h"

namespace {

// The refusals common to both kinds, under the lock. A stopping library
// takes no request: its worker would never serve it.
bool worker_busy(void) {
  if (qxudps_lib.initialised && !qxudps_lib.stop && qxudps_lib.worker_idle) return false;
  qxudps_record_error(QXUDPS_MSG_BUSY, 0);
  return true;
}

// One wake-up serves every request made before the worker took it, so a
// request that finds another already open needs none of its own.
int wake_worker(bool already_woken) {
  if (already_woken || qx_sem_post(&qxudps_lib.wake) == 0) return 0;
  qxudps_record_error(QXUDPS_MSG_SEM_POST, 0);
  return -1;
}

}  // namespace

int qxudps_search(int lookup_names, void *owner) {
  qxudps_locked hold;
  qxudps_lib.lookup_names = lookup_names;
  if (worker_busy()) return -1;
  if (qxudps_lib.search_pending) {
    qxudps_record_error(QXUDPS_MSG_SEARCH_ALREADY, 0);
    return -1;
  }
  const bool already_woken = qxudps_lib.setup_pending;
  qxudps_lib.cursor = 0;
  qxudps_lib.count = 0;
  qxudps_lib.search_done = 0;
  qxudps_lib.search_pending = 1;
  qxudps_lib.search_owner = owner;
  return wake_worker(already_woken);
}

int qxudps_setup(const qxudps_device *request, int lookup_names, void *owner) {
  qxudps_locked hold;
  qxudps_lib.lookup_names = lookup_names;
  if (request == nullptr) {
    qxudps_record_error(QXUDPS_MSG_POINTER_NULL, 0);
    return -1;
  }
  if (worker_busy()) return -1;
  if (qxudps_lib.setup_pending) {
    qxudps_record_error(QXUDPS_MSG_SETUP_ALREADY, 0);
    return -1;
  }
  const bool already_woken = qxudps_lib.search_pending;
  qxudps_lib.setup_pending = 1;
  qxudps_lib.setup_owner = owner;
  qxudps_lib.setup_request = *request;
  qxudps_lib.setup_done = 0;
  return wake_worker(already_woken);
}

int qxudps_search_finish(void) {
  qxudps_locked hold;
  return qxudps_lib.search_done ? 0 : -1;
}

int qxudps_setup_finish(void) {
  qxudps_locked hold;
  return qxudps_lib.setup_done ? 0 : -1;
}

int qxudps_count(void) { return qxudps_lib.count; }

int qxudps_record(qxudps_device **out) {
  const int at = qxudps_lib.cursor;
  if (out == nullptr || at >= qxudps_lib.count) return -1;
  *out = &qxudps_lib.records[at];
  qxudps_lib.cursor = at + 1;
  return 0;
}

int qxudps_record_copy(qxudps_device *out) {
  qxudps_device *record;
  if (out == nullptr || qxudps_record(&record) != 0) return -1;
  *out = *record;
  return 0;
}

int qxudps_rewind(void) {
  qxudps_lib.cursor = 0;
  return 0;
}

unsigned int qxudps_search_dropped(void) { return qxudps_lib.dropped; }

int qxudps_receive_buffer_size(void) { return qxudps_lib.receive_buffer; }
