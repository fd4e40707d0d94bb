/* Slot open and close: taking a free slot and starting its worker, the
 * caller's settings and callbacks, and releasing what a closed slot holds. */
#include <pthread.h>
#include <stdlib.h>
#include <string.h>

#include "qxxml/qxxml_private.h"

static bool slot_index_valid(int slot) { return slot >= 1 && slot < QXXML_ID_COUNT_MAX; }

/* A slot index outside 1..99 has no worker either. */
bool qxxml_refuse_not_running(int slot) {
  if (slot >= QXXML_ID_COUNT_MAX || slot < 0) {
    qxxml_set_error(0, QX_ERR_ID_TOO_LARGE);
    return true;
  }
  if (slot == 0 || qxxml_slots[slot].slot.state.load() != 1) {
    qxxml_set_error(slot, QX_ERR_THREAD_NOT_RUN);
    return true;
  }
  return false;
}

int qxxml_clr_callback(int unused, qxxml_callbacks *callbacks) {
  (void)unused;
  if (callbacks) memset(callbacks, 0, sizeof *callbacks);
  return 0;
}

int qxxml_clr_settings_struct(qxxml_settings *settings) {
  if (settings) memset(settings, 0, sizeof *settings);
  return 0;
}

int qxxml_open_slot(int thread_kind, const char *host, int port, const qxxml_settings *settings, void *owner,
                    int module_count) {
  qxxml_library &lib = qxxml_lib;
  /* Without qxxml_init there is no watcher and no start token: refuse
   * rather than wait on a semaphore that does not exist. */
  if (lib.ref_count == -1) {
    qxxml_set_error(0, QX_ERR_THREAD_NOT_RUN);
    return -1;
  }
  qxxml_sem_wait(0, &lib.start_sem);
  int pos = lib.next_slot;
  lib.thread_kind = thread_kind;
  if (!qxxml_slot_is_free(pos)) {
    qxxml_sem_post(0, &lib.start_sem);
    qxxml_set_error(0, QX_ERR_ID_IN_USE);
    return -1;
  }
  qxxml_slot_storage &storage = qxxml_slots[pos];
  qxxml_slot &s = storage.slot;
  if (settings)
    s.settings = *settings;
  else
    qxxml_clr_settings_struct(&s.settings);
  s.owner = owner;
  s.values_done = s.setup_done = s.values_load_done = s.setup_load_done = -1;
  s.post_done = s.snmp_done = 1;
  s.snmp_request = 0;
  s.waiting = 0;
  s.state = -1;
  s.snmp_ip[0] = '\0';
  s.ip[0] = '\0';
  strcpy(s.host, host);
  s.port = port;
  storage.socket = QX_INVALID_SOCKET;
  storage.module_count = module_count;
  qxxml_lock_init(pos);
  if (qxxml_thread_start(pos, qxxml_thread_entry) != 0) {
    s.state = 0;
    storage.module_count = -1;
    qxxml_sem_post(0, &lib.start_sem);
    qxxml_set_error(0, QX_ERR_THREAD_CREATE);
    return -1;
  }
  return pos; /* start_sem stays taken: the new worker gives it back */
}

int qxxml_open(const char *host, int port, const qxxml_settings *settings, void *owner) {
  /* Before the address checks: without qxxml_init nothing else is said. */
  if (qxxml_lib.ref_count == -1) {
    qxxml_set_error(0, QX_ERR_THREAD_NOT_RUN);
    return -1;
  }
  /* A port outside 1..65535 would wrap silently to another port at the connect. */
  if (!host || strnlen(host, QXXML_HOST_MAX) >= QXXML_HOST_MAX || port < 1 || port > 65535) {
    qxxml_set_error(0, QX_ERR_IP_NOT_VALID);
    return -1;
  }
  return qxxml_open_slot(QXXML_THREAD_WORKER, host, port, settings, owner, -1);
}

void qxxml_release_slot(int slot) {
  qxxml_slot_storage &storage = qxxml_slots[slot];
  qxxml_lock(slot);
  storage.slot.host[0] = '\0';
  storage.slot.ip[0] = '\0';
  free(storage.values);
  free(storage.values_counts);
  free(storage.setup);
  free(storage.setup_counts);
  storage.values = nullptr;
  storage.values_counts = nullptr;
  storage.setup = nullptr;
  storage.setup_counts = nullptr;
  /* The index returns to single-device mode for a later qxxml_open. */
  qxxml_free_modules(slot);
  storage.module_count = -1;
  qxxml_close_socket(slot);
  if (storage.wake_sem_ready) qxxml_sem_destroy(&storage.slot.wake_sem);
  storage.wake_sem_ready = 0;
  storage.release_pending = 0;
  qxxml_unlock(slot);
}

bool qxxml_slot_is_free(int slot) {
  qxxml_slot_storage &storage = qxxml_slots[slot];
  if (storage.slot.state.load() != 0) return false;
  if (!storage.release_pending) return true;
  /* A close gave up on this slot's worker; reap it if it has ended since. */
  if (pthread_tryjoin_np(storage.thread.id, nullptr) != 0) return false;
  storage.thread.valid = 0;
  qxxml_release_slot(slot);
  return true;
}

int qxxml_close(int slot) {
  if (!slot_index_valid(slot)) {
    qxxml_set_error(0, QX_ERR_ID_TOO_LARGE);
    return -1;
  }
  qxxml_slot_storage &storage = qxxml_slots[slot];
  if (storage.release_pending)
    return qxxml_slot_is_free(slot) ? 0 : (qxxml_set_error(slot, QX_ERR_THREAD_NOT_EXIT), -1);
  storage.slot.state = 0;
  if (qx_thread_check(&storage.thread) != 0) return 0; /* never started, or already closed */
  if (storage.wake_sem_ready) qx_sem_post(&storage.slot.wake_sem);
  if (qxxml_thread_join(slot) != 0) {
    storage.release_pending = 1;
    qxxml_set_error(slot, QX_ERR_THREAD_NOT_EXIT);
    return -1;
  }
  qxxml_release_slot(slot);
  return 0;
}

int qxxml_close_for_callback(int slot) {
  if (!slot_index_valid(slot)) {
    qxxml_set_error(0, QX_ERR_ID_TOO_LARGE);
    return -1;
  }
  qxxml_slot_storage &storage = qxxml_slots[slot];
  storage.slot.state = 0;
  qxxml_thread_detach(slot);
  qxxml_release_slot(slot);
  qxxml_abandon_worker();
  return 0;
}

int qxxml_callback(int slot, const qxxml_callbacks *callbacks) {
  if (qxxml_refuse_not_running(slot)) return -1;
  qxxml_lock(slot);
  if (callbacks)
    qxxml_slots[slot].slot.settings.callbacks = *callbacks;
  else
    qxxml_clr_callback(0, &qxxml_slots[slot].slot.settings.callbacks);
  qxxml_unlock(slot);
  return 0;
}
