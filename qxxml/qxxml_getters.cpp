/* Slot facts: how the slot's last documents arrived, the device's address
 * and the kind of slot. The documents themselves are in qxxml_documents.cpp. */
#include <string.h>

#include "qxxml/qxxml_private.h"

/* Readable whether or not the action succeeded: a failed download may have
 * ended by silence all the same. */
int qxxml_get_doc_quality(int slot, int kind, qxxml_doc_quality *quality) {
  if (qxxml_refuse_not_running(slot)) return -1;
  if (kind != QXXML_DOC_VALUES && kind != QXXML_DOC_SETUP) {
    qxxml_set_error(slot, QX_ERR_ACTION_NOT_VALID);
    return -1;
  }
  if (!quality) {
    qxxml_set_error(slot, QX_ERR_POINTER_NULL);
    return -1;
  }
  qxxml_slot &s = qxxml_slots[slot].slot;
  qxxml_lock(slot);
  *quality = kind == QXXML_DOC_VALUES ? s.values_quality : s.setup_quality;
  qxxml_unlock(slot);
  return 0;
}

/* Address queries refuse a multi-device slot, whose modules have their own. */
static int check_module_query(int slot) {
  if (slot >= QXXML_ID_COUNT_MAX || slot < 0) {
    qxxml_set_error(0, QX_ERR_ID_TOO_LARGE);
    return -1;
  }
  if (qxxml_refuse_not_running(slot)) return -1;
  if (qxxml_slots[slot].module_count != -1) {
    qxxml_set_error(slot, QX_ERR_ID_NOT_FOUND);
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
  if (qxxml_refuse_not_running(slot)) return -1;
  return qxxml_slots[slot].module_count == -1 ? 0 : 1;
}
