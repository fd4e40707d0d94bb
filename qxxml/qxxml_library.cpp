/* Library life: the process-wide state, initialisation with its deadline
 * watcher, tear-down and the count of further initialisations. */
#include <libxml/parser.h>

#include "qxxml/qxxml_private.h"

qxxml_slot_storage qxxml_slots[QXXML_ID_COUNT_MAX];
qxxml_library qxxml_lib;

int qxxml_xml_init_parser(void) {
  xmlInitParser();
  return 0;
}

int qxxml_init(void) {
  qxxml_library &lib = qxxml_lib;
  qxxml_lock_init(0);
  if (++lib.ref_count != 0) {
    qxxml_set_error(0, QX_ERR_MODULE_IN_USE);
    return -1;
  }
  lib.next_slot = 1;
  lib.watcher_stop = 0;
  if (qxxml_sem_create(&lib.start_sem) != 0) {
    /* Nothing was started: leave the library uninitialised so a later init can retry. */
    lib.ref_count = -1;
    qxxml_set_error(0, QX_ERR_SEM_INIT);
    return -1;
  }
  for (auto &storage : qxxml_slots) storage.module_count = -1;
  lib.thread_kind = QXXML_THREAD_WATCHER;
  if (qxxml_thread_start(0, qxxml_thread_entry) != 0) {
    qx_sem_destroy(&lib.start_sem);
    lib.ref_count = -1;
    qxxml_set_error(0, QX_ERR_THREAD0_CREATE);
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
    qxxml_set_error(0, QX_ERR_MODULE_IN_USE);
    return -1;
  }
  lib.ref_count = -1;
  lib.watcher_stop = 1;
  for (int slot = 1; slot < QXXML_ID_COUNT_MAX; slot++)
    if (qxxml_slots[slot].slot.state.load() != 0) qxxml_close(slot);
  if (qxxml_thread_join(0) != 0) {
    qxxml_set_error(0, QX_ERR_THREAD0_NOT_EXIT);
    return -1;
  }
  qxxml_sem_destroy(&lib.start_sem);
  return 0;
}

int qxxml_count_ref2zero(void) {
  if (qxxml_lib.ref_count > 0) qxxml_lib.ref_count = 0;
  return 0;
}
