// The library state, its lock and its error record.
#include <stdio.h>

#include "qxudps/qxudps_state_private.h"

qxudps_state qxudps_lib;

namespace {

// Created on first use and never destroyed: callers may still hold or be
// about to take the lock while a stopping worker ends.
struct process_lock {
  qx_thread_mutex_t mutex;
  bool ready;
  process_lock() : ready(qx_thread_mutex_init(&mutex) == 0) {}
};

process_lock &the_lock() {
  static process_lock lock;
  return lock;
}

// Writes the record without the lock: for the lock's own failures.
void write_error(const char *text, int sys_errno) {
  qx_error_capture_errno(&qxudps_lib.error, QX_ERR_NONE, text, sys_errno);
}

}  // namespace

int qxudps_lock_ready(void) { return the_lock().ready ? 0 : -1; }

void qxudps_lock(void) {
  process_lock &lock = the_lock();
  if (!lock.ready || qx_thread_mutex_lock(&lock.mutex) != 0) write_error(qx_error_message(QX_ERR_MUTEX_LOCK), 0);
}

void qxudps_unlock(void) {
  process_lock &lock = the_lock();
  if (!lock.ready || qx_thread_mutex_unlock(&lock.mutex) != 0) write_error(qx_error_message(QX_ERR_MUTEX_UNLOCK), 0);
}

void qxudps_record_error(const char *text, int sys_errno) {
  qxudps_locked hold;
  write_error(text, sys_errno);
}

int qxudps_error(qx_error_record *out) {
  if (out == NULL) return -1;
  qxudps_locked hold;
  *out = qxudps_lib.error;
  return 0;
}

int qxudps_error_print(void) {
  qx_error_record record;
  qxudps_error(&record);
  printf("%s (%i): %s\n", record.text, record.sys_errno, record.sys_text);
  return 0;
}
