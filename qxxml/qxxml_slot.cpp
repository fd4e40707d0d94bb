/* Library life, slot open and close, requests, completion and getters. */
#include <libxml/parser.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>

#include "qxxml/qxxml_private.h"

qxxml_slot_storage qxxml_slots[QXXML_ID_COUNT_MAX];
qxxml_library qxxml_lib;

static bool slot_index_valid(int slot) { return slot >= 1 && slot < QXXML_ID_COUNT_MAX; }

/* Records 40 on a slot that is not running. A slot index outside 1..99 has
 * no worker either; 18 goes to slot 0's record for an index of 100 or more. */
static bool refuse_not_running(int slot) {
  if (slot >= QXXML_ID_COUNT_MAX || slot < 0) {
    qxxml_set_error(0, 18);
    return true;
  }
  if (slot == 0 || qxxml_slots[slot].slot.state.load() != 1) {
    qxxml_set_error(slot, 40);
    return true;
  }
  return false;
}

int qxxml_xml_init_parser(void) {
  xmlInitParser();
  return 0;
}

int qxxml_init(void) {
  qxxml_library &lib = qxxml_lib;
  qxxml_lock_init(0);
  if (++lib.ref_count != 0) {
    qxxml_set_error(0, 80);
    return -1;
  }
  lib.next_slot = 1;
  lib.watcher_stop = 0;
  if (qxxml_sem_create(&lib.start_sem) != 0) {
    /* Nothing was started: leave the library uninitialised so a later init can retry. */
    lib.ref_count = -1;
    qxxml_set_error(0, 20);
    return -1;
  }
  for (auto &storage : qxxml_slots) storage.module_count = -1;
  lib.thread_kind = 0;
  if (qxxml_thread_start(0, qxxml_thread_entry) != 0) {
    qx_sem_destroy(&lib.start_sem);
    lib.ref_count = -1;
    qxxml_set_error(0, 37);
    return -1;
  }
  qxxml_sem_wait(0, &lib.start_sem);
  qxxml_sem_post(0, &lib.start_sem); /* the token for the first open */
  return 0;
}

int qxxml_uninit(void) {
  qxxml_library &lib = qxxml_lib;
  if (lib.ref_count == -1) return 0;
  if (lib.ref_count > 0) {
    lib.ref_count--;
    qxxml_set_error(0, 80);
    return -1;
  }
  lib.ref_count = -1;
  lib.watcher_stop = 1;
  for (int slot = 1; slot < QXXML_ID_COUNT_MAX; slot++)
    if (qxxml_slots[slot].slot.state.load() != 0) qxxml_close(slot);
  if (qxxml_thread_join(0) != 0) {
    qxxml_set_error(0, 36);
    return -1;
  }
  qxxml_sem_destroy(&lib.start_sem);
  return 0;
}

int qxxml_count_ref2zero(void) {
  if (qxxml_lib.ref_count > 0) qxxml_lib.ref_count = 0;
  return 0;
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

int qxxml_open(const char *host, int port, const qxxml_settings *settings, void *owner) {
  qxxml_library &lib = qxxml_lib;
  /* Without qxxml_init there is no watcher and no start token: refuse
   * rather than wait on a semaphore that does not exist. */
  if (lib.ref_count == -1) {
    qxxml_set_error(0, 40);
    return -1;
  }
  /* A port outside 1..65535 would wrap silently to another port at the connect. */
  if (!host || strnlen(host, QXXML_HOST_MAX) >= QXXML_HOST_MAX || port < 1 || port > 65535) {
    qxxml_set_error(0, 13);
    return -1;
  }
  qxxml_sem_wait(0, &lib.start_sem);
  int pos = lib.next_slot;
  lib.thread_kind = 1;
  if (!qxxml_slot_is_free(pos)) {
    qxxml_sem_post(0, &lib.start_sem);
    qxxml_set_error(0, 17);
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
  storage.module_count = -1;
  qxxml_lock_init(pos);
  if (qxxml_thread_start(pos, qxxml_thread_entry) != 0) {
    s.state = 0;
    qxxml_sem_post(0, &lib.start_sem);
    qxxml_set_error(0, 38);
    return -1;
  }
  return pos; /* start_sem stays taken: the new worker gives it back */
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
    qxxml_set_error(0, 18);
    return -1;
  }
  qxxml_slot_storage &storage = qxxml_slots[slot];
  if (storage.release_pending) return qxxml_slot_is_free(slot) ? 0 : (qxxml_set_error(slot, 39), -1);
  storage.slot.state = 0;
  if (qx_thread_check(&storage.thread) != 0) return 0; /* never started, or already closed */
  if (storage.wake_sem_ready) qx_sem_post(&storage.slot.wake_sem);
  if (qxxml_thread_join(slot) != 0) {
    storage.release_pending = 1;
    qxxml_set_error(slot, 39);
    return -1;
  }
  qxxml_release_slot(slot);
  return 0;
}

int qxxml_close_for_callback(int slot) {
  if (!slot_index_valid(slot)) {
    qxxml_set_error(0, 18);
    return -1;
  }
  qxxml_slot_storage &storage = qxxml_slots[slot];
  storage.slot.state = 0;
  qxxml_thread_detach(slot);
  qxxml_release_slot(slot);
  qxxml_abandon_worker();
  return 0;
}

/* Marks one download pending and wakes the worker. The wake-up is binary: a
 * request made while one is still pending records 21 and runs later. */
static int request_download(int slot, int *done, char *buffer, int *length, int snmp_request) {
  qxxml_slot &s = qxxml_slots[slot].slot;
  qxxml_lock(slot);
  if (s.state.load() != 1) {
    qxxml_unlock(slot);
    qxxml_set_error(slot, 40);
    return -1;
  }
  *done = 0;
  buffer[0] = '\0';
  *length = 0;
  if (snmp_request >= 0) s.snmp_request = snmp_request;
  qxxml_unlock(slot);
  qxxml_sem_post(slot, &s.wake_sem);
  return 0;
}

int qxxml_get_values(int slot) {
  if (refuse_not_running(slot)) return -1;
  qxxml_slot &s = qxxml_slots[slot].slot;
  return request_download(slot, &s.values_done, s.values_buf, &s.values_len, -1);
}

int qxxml_get_setup(int slot) {
  if (refuse_not_running(slot)) return -1;
  qxxml_slot &s = qxxml_slots[slot].slot;
  return request_download(slot, &s.setup_done, s.setup_buf, &s.setup_len, 0);
}

/* Copies a caller's document into a slot buffer for the worker to parse:
 * up to length bytes, stopping at a zero byte, the rest zero-filled. */
static int request_load(int slot, const char *text, int length, int *load_done, char *buffer, int *buffer_len) {
  if (length >= QXXML_DOC_MAX) {
    qxxml_set_error(slot >= 0 && slot < QXXML_ID_COUNT_MAX ? slot : 0, 81);
    return -1;
  }
  if (refuse_not_running(slot)) return -1;
  if (length < 0 || (!text && length > 0)) {
    qxxml_set_error(slot, 85);
    return -1;
  }
  qxxml_slot &s = qxxml_slots[slot].slot;
  qxxml_lock(slot);
  *load_done = 0;
  size_t copied = text ? strnlen(text, (size_t)length) : 0;
  memcpy(buffer, text, copied);
  memset(buffer + copied, 0, (size_t)length - copied + 1);
  *buffer_len = length;
  qxxml_unlock(slot);
  qxxml_sem_post(slot, &s.wake_sem);
  return 0;
}

int qxxml_load_values(int slot, const char *text, int length) {
  if (slot < 1 || slot >= QXXML_ID_COUNT_MAX) return request_load(slot, text, length, nullptr, nullptr, nullptr);
  qxxml_slot &s = qxxml_slots[slot].slot;
  return request_load(slot, text, length, &s.values_load_done, s.values_buf, &s.values_len);
}

int qxxml_load_setup(int slot, const char *text, int length) {
  if (slot < 1 || slot >= QXXML_ID_COUNT_MAX) return request_load(slot, text, length, nullptr, nullptr, nullptr);
  qxxml_slot &s = qxxml_slots[slot].slot;
  return request_load(slot, text, length, &s.setup_load_done, s.setup_buf, &s.setup_len);
}

/* The completion field of a type, or null for a type above 10. */
static int completion_of(const qxxml_slot &s, int type) {
  switch (type) {
    case 0:
    case 1: return s.state.load();
    case 2:
    case 3: return s.values_done;
    case 4:
    case 5: return s.setup_done;
    case 6: return s.snmp_done;
    case 7:
    case 8: return s.post_done;
    case 9: return s.values_load_done;
    case 10: return s.setup_load_done;
  }
  return 0;
}

static bool type_valid(int type) { return type >= 0 && type <= 10; }

int qxxml_finish(int slot, int type) {
  if (slot < 0 || slot >= QXXML_ID_COUNT_MAX) {
    qxxml_set_error(0, 18);
    return -1;
  }
  if (!type_valid(type)) {
    qxxml_set_error(0, 2);
    return -1;
  }
  qxxml_lock(slot);
  int field = completion_of(qxxml_slots[slot].slot, type);
  qxxml_unlock(slot);
  if (field == 1) return 0;
  qxxml_set_error(0, 1);
  return -1;
}

int qxxml_wait_finish(int slot, int type, int timeout_seconds) {
  if (!type_valid(type)) {
    qxxml_set_error(0, 2);
    return -1;
  }
  if (slot < 1 || slot >= QXXML_ID_COUNT_MAX) {
    qxxml_set_error(0, 18);
    return -1;
  }
  qxxml_slot &s = qxxml_slots[slot].slot;
  qxxml_lock(slot);
  if (type >= 2 && s.state.load() != 1) {
    qxxml_unlock(slot);
    qxxml_set_error(slot, 40);
    return -1;
  }
  if (qxxml_sem_create(&s.wait_sem) != 0) {
    qxxml_unlock(slot);
    qxxml_set_error(0, 20);
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
    qxxml_set_error(0, 19);
    return -1;
  }
  return 0;
}

/* Codes that do not come from a failed transaction: the cleared record and
 * the codes that getters and credential setters record themselves. */
static bool getter_may_proceed(int slot) {
  static const int passable[] = {0, 1, 4, 10, 11, 16, 42, 43};
  qx_error_record record;
  qxxml_error(slot, &record);
  for (int code : passable)
    if (record.code == code) return true;
  return false;
}

/* The document of one kind in a slot, as the getters see it. */
struct document_fields {
  int done;
  int length;
  char *buffer;
};

static document_fields document_of(int slot, bool values) {
  qxxml_slot &s = qxxml_slots[slot].slot;
  if (values) return {s.values_done, s.values_len, s.values_buf};
  return {s.setup_done, s.setup_len, s.setup_buf};
}

/* Shared steps of the document and record getters: the slot's last action
 * must not have failed, the document must be finished, present and XML. */
static int check_document(int slot, bool values) {
  if (slot < 1 || slot >= QXXML_ID_COUNT_MAX) {
    qxxml_set_error(0, 18);
    return -1;
  }
  if (!getter_may_proceed(slot)) return -1;
  document_fields doc = document_of(slot, values);
  if (doc.done != 1) {
    qxxml_set_error(slot, 1);
    return -1;
  }
  if (doc.length == 0) {
    qxxml_set_error(slot, 10);
    return -1;
  }
  if (!memmem(doc.buffer, (size_t)doc.length, "<?xml", 5)) {
    qxxml_set_error(slot, 11);
    return -1;
  }
  return 0;
}

static int get_document(int slot, bool values, char **text, int *length) {
  if (check_document(slot, values) != 0) return -1;
  document_fields doc = document_of(slot, values);
  *text = doc.buffer;
  *length = doc.length;
  return 0;
}

/* Hands out the slot's live record and counts of a kind. */
template <typename Record, typename Counts>
static int get_cache(int slot, bool values, Record *live, Counts *live_counts, Record **record, Counts **counts) {
  if (check_document(slot, values) != 0) return -1;
  if (!live || !live_counts) {
    qxxml_set_error(slot, 2);
    return -1;
  }
  *record = live;
  *counts = live_counts;
  return 0;
}

int qxxml_get_values_xml(int slot, char **text, int *length) { return get_document(slot, true, text, length); }

int qxxml_get_setup_xml(int slot, char **text, int *length) { return get_document(slot, false, text, length); }

int qxxml_get_values_cache(int slot, qxxml_values **record, qxxml_values_counts **counts) {
  if (slot < 1 || slot >= QXXML_ID_COUNT_MAX) return check_document(slot, true);
  qxxml_slot_storage &storage = qxxml_slots[slot];
  return get_cache(slot, true, storage.values, storage.values_counts, record, counts);
}

int qxxml_get_setup_cache(int slot, qxxml_setup **record, qxxml_setup_counts **counts) {
  if (slot < 1 || slot >= QXXML_ID_COUNT_MAX) return check_document(slot, false);
  qxxml_slot_storage &storage = qxxml_slots[slot];
  return get_cache(slot, false, storage.setup, storage.setup_counts, record, counts);
}

/* Address queries refuse a multi-device slot, whose modules have their own. */
static int check_module_query(int slot) {
  if (slot >= QXXML_ID_COUNT_MAX || slot < 0) {
    qxxml_set_error(0, 18);
    return -1;
  }
  if (refuse_not_running(slot)) return -1;
  if (qxxml_slots[slot].module_count != -1) {
    qxxml_set_error(slot, 16);
    return -1;
  }
  return 0;
}

int qxxml_get_module(int slot, char *ip16, int *port) {
  if (check_module_query(slot) != 0) return -1;
  const qxxml_slot &s = qxxml_slots[slot].slot;
  memcpy(ip16, s.ip, sizeof s.ip);
  *port = s.port;
  return 0;
}

int qxxml_get_module_ex(int slot, char *host100, char *ip16, int *port) {
  if (qxxml_get_module(slot, ip16, port) != 0) return -1;
  memcpy(host100, qxxml_slots[slot].slot.host, QXXML_HOST_MAX);
  return 0;
}

int qxxml_type_of(int slot) {
  if (refuse_not_running(slot)) return -1;
  return qxxml_slots[slot].module_count == -1 ? 0 : 1;
}

int qxxml_callback(int slot, const qxxml_callbacks *callbacks) {
  if (refuse_not_running(slot)) return -1;
  qxxml_lock(slot);
  if (callbacks)
    qxxml_slots[slot].slot.settings.callbacks = *callbacks;
  else
    qxxml_clr_callback(0, &qxxml_slots[slot].slot.settings.callbacks);
  qxxml_unlock(slot);
  return 0;
}
