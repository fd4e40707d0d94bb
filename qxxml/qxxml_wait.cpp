/* Completion: the query of a completion type and the blocking wait for it,
 * which the deadline watcher ends when its time-out passes. */
#include "qxxml/qxxml_private.h"

/* The completion field of a type; 0 (not finished) for a type out of range. */
static int completion_of(const qxxml_slot &s, int type) {
  switch (type) {
    case QXXML_FINISH_STARTED:
    case QXXML_FINISH_STARTED_ALT: return s.state.load();
    case QXXML_FINISH_VALUES:
    case QXXML_FINISH_VALUES_ALT: return s.values_done;
    case QXXML_FINISH_SETUP:
    case QXXML_FINISH_SETUP_ALT: return s.setup_done;
    case QXXML_FINISH_SNMP: return s.snmp_done;
    case QXXML_FINISH_POST:
    case QXXML_FINISH_POST_ALT: return s.post_done;
    case QXXML_FINISH_LOAD_VALUES: return s.values_load_done;
    case QXXML_FINISH_LOAD_SETUP: return s.setup_load_done;
  }
  return 0;
}

static bool type_valid(int type) { return type >= QXXML_FINISH_STARTED && type <= QXXML_FINISH_TYPE_MAX; }

int qxxml_finish(int slot, int type) {
  if (slot < 0 || slot >= QXXML_ID_COUNT_MAX) {
    qxxml_set_error(0, QX_ERR_ID_TOO_LARGE);
    return -1;
  }
  if (!type_valid(type)) {
    qxxml_set_error(0, QX_ERR_ACTION_NOT_VALID);
    return -1;
  }
  qxxml_lock(slot);
  int field = completion_of(qxxml_slots[slot].slot, type);
  qxxml_unlock(slot);
  if (field == 1) return 0;
  qxxml_set_error(0, QX_ERR_ACTION_NOT_FINISH);
  return -1;
}

int qxxml_wait_finish(int slot, int type, int timeout_seconds) {
  if (!type_valid(type)) {
    qxxml_set_error(0, QX_ERR_ACTION_NOT_VALID);
    return -1;
  }
  if (slot < 1 || slot >= QXXML_ID_COUNT_MAX) {
    qxxml_set_error(0, QX_ERR_ID_TOO_LARGE);
    return -1;
  }
  qxxml_slot &s = qxxml_slots[slot].slot;
  qxxml_lock(slot);
  /* A wait for the start itself may begin while the slot is still starting. */
  if (type > QXXML_FINISH_STARTED_ALT && s.state.load() != 1) {
    qxxml_unlock(slot);
    qxxml_set_error(slot, QX_ERR_THREAD_NOT_RUN);
    return -1;
  }
  if (qxxml_sem_create(&s.wait_sem) != 0) {
    qxxml_unlock(slot);
    qxxml_set_error(0, QX_ERR_SEM_INIT);
    return -1;
  }
  s.waiting = 1;
  s.wait_deadline = qx_time_seconds() + timeout_seconds;
  qxxml_unlock(slot);

  bool finished = qxxml_finish(slot, type) == 0;
  if (!finished) {
    int deadline;
    do {
      qxxml_sem_wait(0, &s.wait_sem);
      finished = qxxml_finish(slot, type) == 0;
      qxxml_lock(slot);
      deadline = s.wait_deadline;
      qxxml_unlock(slot);
    } while (!finished && deadline != 0);
  }
  /* The semaphore is destroyed under the lock, and every post of it is made
   * under the same lock after checking waiting, so none reaches it destroyed. */
  qxxml_lock(slot);
  s.waiting = 0;
  int deadline = s.wait_deadline;
  qxxml_sem_destroy(&s.wait_sem);
  qxxml_unlock(slot);
  /* A deadline that passed counts as a time-out even if the type finished in the same wake-up. */
  if (deadline == 0) {
    qxxml_set_error(0, QX_ERR_TIMEOUT);
    return -1;
  }
  return 0;
}
