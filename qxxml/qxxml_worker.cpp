/* Library threads: the deadline watcher (slot 0) and the single-device
 * worker, which serves one action per wake-up and delivers its completion;
 * the start steps and the delivery it shares with the multi-device worker. */
#include <stdlib.h>
#include <string.h>

#include "qxxml/qxxml_private.h"

static thread_local bool worker_abandoned = false;

void qxxml_abandon_worker(void) { worker_abandoned = true; }
bool qxxml_worker_abandoned(void) { return worker_abandoned; }

/* Ends waits whose deadline has passed. Deadlines are whole seconds checked
 * once a second, so a wait of N seconds ends N to N + 2 seconds after it began. */
static void watcher(void) {
  qxxml_sem_post(0, &qxxml_lib.start_sem);
  while (!qxxml_lib.watcher_stop.load()) {
    for (int slot = 0; slot < QXXML_ID_COUNT_MAX; slot++) {
      qxxml_slot &s = qxxml_slots[slot].slot;
      if (s.state.load() == 0) continue;
      int now = qx_time_seconds();
      if (s.waiting.load() == 1 && s.wait_deadline.load() < now) {
        /* Under the slot's lock, so the waiter cannot destroy wait_sem meanwhile. */
        qxxml_lock(slot);
        if (s.waiting.load() == 1) {
          s.wait_deadline = 0;
          qx_sem_post(&s.wait_sem);
        }
        qxxml_unlock(slot);
      }
    }
    /* One second between rounds, in slices so that uninit need not wait it out. */
    for (int i = 0; i < 10 && !qxxml_lib.watcher_stop.load(); i++) qx_sleep_ms(100);
  }
}

/* Moves next_slot on to a free slot while the starting thread holds the
 * start token. The slot being started is not free, so the last free slot
 * can never run: at most 98 slots run at once. */
static int reserve_next_slot(void) {
  int pos = qxxml_lib.next_slot;
  if (pos + 1 < QXXML_ID_COUNT_MAX && qxxml_slot_is_free(pos + 1)) {
    qxxml_lib.next_slot = pos + 1;
    return 0;
  }
  for (int slot = 1; slot < QXXML_ID_COUNT_MAX; slot++) {
    if (qxxml_slot_is_free(slot)) {
      qxxml_lib.next_slot = slot;
      return 0;
    }
  }
  return -1;
}

/* Posts wait_sem when a waiter is present; under the lock like every post of it. */
static void wake_waiter(int slot) {
  qxxml_slot &s = qxxml_slots[slot].slot;
  qxxml_lock(slot);
  if (s.waiting.load() == 1) qx_sem_post(&s.wait_sem);
  qxxml_unlock(slot);
}

void qxxml_mark_done(int slot, qxxml_kind kind, int snmp_flag) {
  qxxml_slot &s = qxxml_slots[slot].slot;
  qxxml_lock(slot);
  if (kind == QXXML_KIND_VALUES) s.values_done = 1;
  if (kind == QXXML_KIND_SETUP || kind == QXXML_KIND_POST) s.setup_done = 1;
  if (kind == QXXML_KIND_POST) s.post_done = 1;
  qxxml_unlock(slot);
  if (snmp_flag == 1) qxxml_refresh_snmp_cache(slot);
  wake_waiter(slot);
}

void qxxml_stamp(int slot, qxxml_kind kind) {
  qxxml_slot_storage &storage = qxxml_slots[slot];
  int now = qx_time_seconds();
  if (kind == QXXML_KIND_VALUES) {
    if (storage.values) storage.values->timestamp = now;
  } else if (storage.setup) {
    storage.setup->timestamp = now;
  }
  /* Under the lock: a caller may ask while the next action is under way. */
  qxxml_lock(slot);
  if (kind == QXXML_KIND_VALUES)
    storage.slot.values_quality = storage.arriving;
  else
    storage.slot.setup_quality = storage.arriving;
  qxxml_unlock(slot);
}

/* A module's record copy carries the time of its last action of the kind,
 * failed or not, as the slot's record does. */
static void stamp_module(int slot, int module, qxxml_kind kind) {
  qxxml_module *m = qxxml_module_at(slot, module);
  if (!m) return;
  if (kind == QXXML_KIND_VALUES)
    m->values.timestamp = qx_time_seconds();
  else
    m->setup.timestamp = qx_time_seconds();
}

void qxxml_deliver(int slot, int module, qxxml_kind kind, int failed) {
  qxxml_slot_storage &storage = qxxml_slots[slot];
  if (module != -1) stamp_module(slot, module, kind);
  const qxxml_callbacks &cb = storage.slot.settings.callbacks;
  if (kind == QXXML_KIND_VALUES) {
    if (!cb.values_done) return;
    if (failed) return cb.values_done(slot, storage.slot.owner, module, nullptr, nullptr);
    /* With a pre-parse hook the library parsed nothing of its own; the
     * callback then receives null records, as for a failure. */
    if (cb.pre_parse_hook || !storage.values || !storage.values_counts)
      return cb.values_done(slot, storage.slot.owner, module, nullptr, nullptr);
    qxxml_values record = *storage.values;
    qxxml_values_counts counts = *storage.values_counts;
    return cb.values_done(slot, storage.slot.owner, module, &record, &counts);
  }
  auto done = kind == QXXML_KIND_SETUP ? cb.setup_done : cb.post_done;
  if (!done) return;
  if (failed || cb.pre_parse_hook || !storage.setup || !storage.setup_counts)
    return done(slot, storage.slot.owner, module, nullptr, nullptr);
  /* The setup record is 129540 bytes: copied to the heap rather than onto
   * the worker's stack, once per delivery and only when a callback exists. */
  auto *record = static_cast<qxxml_setup *>(malloc(sizeof(qxxml_setup)));
  if (!record) return done(slot, storage.slot.owner, module, nullptr, nullptr);
  *record = *storage.setup;
  qxxml_setup_counts counts = *storage.setup_counts;
  done(slot, storage.slot.owner, module, record, &counts);
  free(record);
}

/* One download of values or setup, marked finished and delivered: a success
 * is marked before its callback, a failure after it. */
static int serve_download(int slot, qxxml_kind kind, int snmp_flag) {
  qxxml_slot &s = qxxml_slots[slot].slot;
  bool values = kind == QXXML_KIND_VALUES;
  char *buffer = values ? s.values_buf : s.setup_buf;
  int *length = values ? &s.values_len : &s.setup_len;
  *length = QXXML_DOC_MAX;
  int r = qxxml_get_transaction(slot, s.ip, s.host, s.port, buffer, length, values ? QXXML_DOC_VALUES : QXXML_DOC_SETUP,
                                -1);
  if (r == QXXML_STOPPED) return r;
  qxxml_stamp(slot, kind);
  if (r == 0) {
    qxxml_mark_done(slot, kind, snmp_flag);
    qxxml_deliver(slot, -1, kind, 0);
  } else {
    qxxml_deliver(slot, -1, kind, 1);
    if (qxxml_worker_abandoned()) return QXXML_STOPPED;
    qxxml_mark_done(slot, kind, snmp_flag);
  }
  return qxxml_worker_abandoned() ? QXXML_STOPPED : 0;
}

static int serve_load(int slot, qxxml_kind kind) {
  qxxml_slot &s = qxxml_slots[slot].slot;
  bool values = kind == QXXML_KIND_VALUES;
  qxxml_lock(0);
  int r = values ? qxxml_parse_document(slot, s.values_buf, s.values_len, QXXML_DOC_VALUES)
                 : qxxml_parse_document(slot, s.setup_buf, s.setup_len, QXXML_DOC_SETUP);
  qxxml_unlock(0);
  qxxml_stamp(slot, kind);
  qxxml_lock(slot);
  if (values)
    s.values_load_done = s.values_done = 1;
  else
    s.setup_load_done = s.setup_done = 1;
  qxxml_unlock(slot);
  qxxml_deliver(slot, -1, kind, r != 0);
  if (qxxml_worker_abandoned()) return QXXML_STOPPED;
  wake_waiter(slot);
  return 0;
}

static int serve_post(int slot, int snmp_flag) {
  qxxml_slot &s = qxxml_slots[slot].slot;
  s.setup_len = QXXML_DOC_MAX;
  int r = qxxml_post_transaction(slot, -1, s.ip, s.host, s.port, s.post_buf, s.setup_buf, &s.setup_len);
  if (r == QXXML_STOPPED || qxxml_worker_abandoned()) return QXXML_STOPPED;
  if (r == 0) qxxml_stamp(slot, QXXML_KIND_POST); /* a failed post was stamped before its delivery */
  qxxml_mark_done(slot, QXXML_KIND_POST, snmp_flag);
  if (r == 0) qxxml_deliver(slot, -1, QXXML_KIND_POST, 0);
  return qxxml_worker_abandoned() ? QXXML_STOPPED : 0;
}

enum action { NONE, VALUES, SETUP, LOAD_VALUES, LOAD_SETUP, POST };

static action choose_action(const qxxml_slot &s) {
  if (s.values_done == 0) return VALUES;
  if (s.setup_done == 0) return SETUP;
  if (s.values_load_done == 0) return LOAD_VALUES;
  if (s.setup_load_done == 0) return LOAD_SETUP;
  if (s.post_done == 0) return POST;
  return NONE;
}

int qxxml_worker_begin(int slot) {
  qxxml_slot_storage &storage = qxxml_slots[slot];
  if (reserve_next_slot() != 0) {
    qxxml_sem_post(0, &qxxml_lib.start_sem);
    qxxml_set_error(0, QX_ERR_ID_TOO_LARGE);
    return -1;
  }
  if (qxxml_sem_create(&storage.slot.wake_sem) != 0) {
    qxxml_sem_post(0, &qxxml_lib.start_sem);
    qxxml_set_error(0, QX_ERR_SEM_INIT);
    return -1;
  }
  storage.wake_sem_ready = 1;
  qxxml_sem_post(0, &qxxml_lib.start_sem);
  return 0;
}

void qxxml_worker_running(int slot) {
  qxxml_slot &s = qxxml_slots[slot].slot;
  qxxml_lock(slot);
  /* A slot index is reused: nothing of an earlier open's documents shows. */
  s.values_quality = qxxml_doc_quality{};
  s.setup_quality = qxxml_doc_quality{};
  /* A close during the start already set state to 0; it must stay so. */
  int starting = -1;
  s.state.compare_exchange_strong(starting, 1);
  if (s.waiting.load() == 1) qx_sem_post(&s.wait_sem);
  qxxml_unlock(slot);
}

static void worker(void) {
  int slot = qxxml_lib.next_slot;
  qxxml_slot_storage &storage = qxxml_slots[slot];
  qxxml_slot &s = storage.slot;
  if (qxxml_worker_begin(slot) != 0) return;
  if (s.settings.connect_at_open) {
    qxxml_begin_transaction(slot);
    int r = qxxml_connect(slot, -1, s.ip, s.host, s.port);
    if (r == QXXML_STOPPED || qxxml_worker_abandoned()) return;
    qxxml_close_socket(slot);
  }
  qxxml_worker_running(slot);

  int snmp_flag = 0; /* of the most recent download, handed to the marking of a post */
  for (;;) {
    /* Checked before the wait too: a close made before wake_sem existed posted nothing. */
    if (s.state.load() == 0) return;
    qxxml_sem_wait(slot, &s.wake_sem);
    if (s.state.load() == 0) return;
    qxxml_set_error(slot, QX_ERR_NONE);
    storage.arriving = qxxml_doc_quality{};
    qxxml_lock(slot);
    action next = choose_action(s);
    int snmp_request = s.snmp_request;
    qxxml_unlock(slot);
    int r = 0;
    switch (next) {
      case NONE: break;
      case VALUES:
        snmp_flag = 0;
        r = serve_download(slot, QXXML_KIND_VALUES, 0);
        break;
      case SETUP:
        snmp_flag = snmp_request;
        r = serve_download(slot, QXXML_KIND_SETUP, snmp_request);
        break;
      case LOAD_VALUES: r = serve_load(slot, QXXML_KIND_VALUES); break;
      case LOAD_SETUP: r = serve_load(slot, QXXML_KIND_SETUP); break;
      case POST: r = serve_post(slot, snmp_flag); break;
    }
    if (r == QXXML_STOPPED) return;
  }
}

void qxxml_thread_entry(void) {
  switch (qxxml_lib.thread_kind) {
    case QXXML_THREAD_WATCHER: watcher(); break;
    case QXXML_THREAD_MANY_WORKER: qxxml_many_worker(); break;
    default: worker(); break;
  }
}
