/* The multi-device worker: each request on a multi-device slot becomes one
 * pass that downloads from, or posts to, every active module in turn. */
#include <string.h>

#include "qxxml/qxxml_private.h"

/* Each module's document is parsed into the slot's records; the module
 * keeps whole copies of them. A pre-parse hook handles documents itself,
 * and the slot's records then still hold an earlier module's: nothing is
 * copied. */
static void keep_records(int slot, qxxml_module *m, qxxml_kind kind) {
  const qxxml_slot_storage &storage = qxxml_slots[slot];
  if (storage.slot.settings.callbacks.pre_parse_hook) return;
  if (kind == QXXML_KIND_VALUES) {
    if (storage.values) m->values = *storage.values;
    if (storage.values_counts) m->values_counts = *storage.values_counts;
  } else {
    if (storage.setup) m->setup = *storage.setup;
    if (storage.setup_counts) m->setup_counts = *storage.setup_counts;
  }
}

/* A module's failure is read from its own record: the slot's is cleared
 * for the next module and at the end of the pass. */
static void keep_failure(int slot, qxxml_module *m) { qxxml_copy_error(slot, &m->error, &qxxml_slots[slot].error); }

/* Downloads the module's document into its own buffer; the host text is
 * resolved anew and the address it gave is kept for later posts. */
static int serve_download(int slot, int module, qxxml_module *m, qxxml_kind kind) {
  bool values = kind == QXXML_KIND_VALUES;
  char *buffer = values ? m->values_buf : m->setup_buf;
  int *length = values ? &m->values_len : &m->setup_len;
  *length = QXXML_DOC_MAX;
  int r = qxxml_get_transaction(slot, m->ip, m->address, m->port, buffer, length,
                                values ? QXXML_DOC_VALUES : QXXML_DOC_SETUP, module);
  if (r == QXXML_STOPPED) return r;
  qxxml_stamp(slot, kind);
  if (r != 0) {
    keep_failure(slot, m);
    qxxml_deliver(slot, module, kind, 1);
    return qxxml_worker_abandoned() ? QXXML_STOPPED : 0;
  }
  /* Kept before the callback, so that it may read the module's copies. */
  keep_records(slot, m, kind);
  qxxml_deliver(slot, module, kind, 0);
  return qxxml_worker_abandoned() ? QXXML_STOPPED : 0;
}

/* Posts the module's prepared request to the address of its last download:
 * an empty host text resolves nothing. A failure was delivered by the
 * transaction and is kept in the module. */
static int serve_post(int slot, int module, qxxml_module *m) {
  m->setup_len = QXXML_DOC_MAX;
  int r = qxxml_post_transaction(slot, module, m->ip, "", m->port, m->post_buf, m->setup_buf, &m->setup_len);
  /* The failure's callback may have closed the slot and freed the module. */
  if (r == QXXML_STOPPED || qxxml_worker_abandoned()) return QXXML_STOPPED;
  if (r != 0) {
    keep_failure(slot, m);
    return 0;
  }
  qxxml_stamp(slot, QXXML_KIND_POST);
  keep_records(slot, m, QXXML_KIND_POST);
  qxxml_deliver(slot, module, QXXML_KIND_POST, 0);
  return qxxml_worker_abandoned() ? QXXML_STOPPED : 0;
}

/* The request a wake-up serves, first match wins. Loads are not served:
 * they stay pending on a multi-device slot. */
static bool choose_pass(int slot, qxxml_kind *kind) {
  const qxxml_slot &s = qxxml_slots[slot].slot;
  qxxml_lock(slot);
  bool found = true;
  if (s.values_done == 0)
    *kind = QXXML_KIND_VALUES;
  else if (s.setup_done == 0)
    *kind = QXXML_KIND_SETUP;
  else if (s.post_done == 0)
    *kind = QXXML_KIND_POST;
  else
    found = false;
  qxxml_unlock(slot);
  return found;
}

/* Serves every active module once; the count is read anew for each, and a
 * close ends the pass between modules. */
static int serve_modules(int slot, qxxml_kind kind) {
  qxxml_slot_storage &storage = qxxml_slots[slot];
  for (int j = 0; j < storage.module_count; j++) {
    if (storage.slot.state.load() == 0) return QXXML_STOPPED;
    qxxml_module *m = storage.modules[j];
    if (!m || !m->active) continue;
    qxxml_set_error(slot, QX_ERR_NONE);
    qxxml_copy_error(slot, &m->error, &storage.error);
    storage.arriving = qxxml_doc_quality{};
    int r = kind == QXXML_KIND_POST ? serve_post(slot, j, m) : serve_download(slot, j, m, kind);
    if (r == QXXML_STOPPED) return r;
  }
  return 0;
}

/* One pass, then its completion: the pass callback, the completion fields,
 * the waiter. A pass with no active module completes at once all the same. */
static int serve_pass(int slot, qxxml_kind kind) {
  if (serve_modules(slot, kind) == QXXML_STOPPED) return QXXML_STOPPED;
  qxxml_set_error(slot, QX_ERR_NONE);
  qxxml_slot &s = qxxml_slots[slot].slot;
  const qxxml_callbacks &cb = s.settings.callbacks;
  if (kind == QXXML_KIND_VALUES && cb.many_values_done) cb.many_values_done(slot, s.owner);
  if (kind == QXXML_KIND_SETUP && cb.many_setup_done) cb.many_setup_done(slot, s.owner);
  if (qxxml_worker_abandoned()) return QXXML_STOPPED;
  qxxml_mark_done(slot, kind, 0);
  return 0;
}

void qxxml_many_worker(void) {
  int slot = qxxml_lib.next_slot;
  qxxml_slot &s = qxxml_slots[slot].slot;
  if (qxxml_worker_begin(slot) != 0) return;
  qxxml_worker_running(slot);
  for (;;) {
    /* Checked before the wait too: a close made before wake_sem existed posted nothing. */
    if (s.state.load() == 0) break;
    qxxml_sem_wait(slot, &s.wake_sem);
    if (s.state.load() == 0) break;
    qxxml_kind kind;
    if (!choose_pass(slot, &kind)) continue;
    if (serve_pass(slot, kind) == QXXML_STOPPED) break;
  }
  /* A callback that closed the slot handed it over: it may be open anew. */
  if (qxxml_worker_abandoned()) return;
  qxxml_free_modules(slot);
}
