/* Per-slot wrappers of the locks, semaphores and threads, recording their
 * failures on the slot they name. The runtime primitives report a failure by
 * their result and leave errno alone, so these records carry no error number
 * rather than a stale one. */
#include <pthread.h>

#include "qxxml/qxxml_private.h"

/* A slot's lock guards its error record, which is written for closed slots
 * too (QX_ERR_THREAD_NOT_RUN), so every slot's lock exists for the whole
 * life of the process: initialised once, on first use, and never destroyed. */
static pthread_once_t locks_once = PTHREAD_ONCE_INIT;

static void init_all_locks(void) {
  for (int i = 0; i < QXXML_ID_COUNT_MAX; i++) qx_thread_mutex_init(&qxxml_slots[i].lock);
}

int qxxml_lock_init(int slot) {
  (void)slot;
  return pthread_once(&locks_once, init_all_locks) == 0 ? 0 : -1;
}

int qxxml_lock(int slot) {
  qxxml_lock_init(slot);
  if (qx_thread_mutex_lock(&qxxml_slots[slot].lock) != 0) {
    qx_error_capture_errno(&qxxml_slots[slot].error, QX_ERR_MUTEX_LOCK, qx_error_message(QX_ERR_MUTEX_LOCK), 0);
    return -1;
  }
  return 0;
}

int qxxml_unlock(int slot) {
  if (qx_thread_mutex_unlock(&qxxml_slots[slot].lock) != 0) {
    qx_error_capture_errno(&qxxml_slots[slot].error, QX_ERR_MUTEX_UNLOCK, qx_error_message(QX_ERR_MUTEX_UNLOCK), 0);
    return -1;
  }
  return 0;
}

int qxxml_sem_create(qx_sem_t *semaphore) { return qx_sem_init(semaphore) == 0 ? 0 : -1; }

int qxxml_sem_post(int slot, qx_sem_t *semaphore) {
  if (qx_sem_post(semaphore) != 0) {
    qxxml_set_error(slot, QX_ERR_SEM_POST);
    return -1;
  }
  return 0;
}

int qxxml_sem_wait(int slot, qx_sem_t *semaphore) {
  if (qx_sem_wait(semaphore) != 0) {
    qxxml_set_error(slot, QX_ERR_SEM_WAIT);
    return -1;
  }
  return 0;
}

void qxxml_sem_destroy(qx_sem_t *semaphore) { qx_sem_destroy(semaphore); }

int qxxml_thread_start(int slot, void (*entry)(void)) {
  qxxml_slots[slot].thread = qx_thread_start(entry);
  return qx_thread_check(&qxxml_slots[slot].thread);
}

int qxxml_thread_join(int slot) { return qx_thread_join(&qxxml_slots[slot].thread); }

void qxxml_thread_detach(int slot) { qx_thread_detach(&qxxml_slots[slot].thread); }
