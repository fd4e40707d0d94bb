/* Getters: the documents and parsed records of a slot's last actions and
 * how those documents arrived, the device's address and the kind of slot. */
#include <string.h>

#include "qxxml/qxxml_private.h"

/* Codes that do not come from a failed transaction: the cleared record and
 * the codes that getters and credential setters record themselves. */
static bool getter_may_proceed(int slot) {
  static const int passable[] = {
      QX_ERR_NONE,           QX_ERR_ACTION_NOT_FINISH, QX_ERR_INDEX_NOT_VALID,   QX_ERR_FILE_NOT_FOUND,
      QX_ERR_FILE_NOT_VALID, QX_ERR_ID_NOT_FOUND,      QX_ERR_PASSWORD_TOO_LONG, QX_ERR_USER_TOO_LONG};
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
    qxxml_set_error(0, QX_ERR_ID_TOO_LARGE);
    return -1;
  }
  if (!getter_may_proceed(slot)) return -1;
  document_fields doc = document_of(slot, values);
  if (doc.done != 1) {
    qxxml_set_error(slot, QX_ERR_ACTION_NOT_FINISH);
    return -1;
  }
  if (doc.length == 0) {
    qxxml_set_error(slot, QX_ERR_FILE_NOT_FOUND);
    return -1;
  }
  if (!memmem(doc.buffer, (size_t)doc.length, "<?xml", 5)) {
    qxxml_set_error(slot, QX_ERR_FILE_NOT_VALID);
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
    qxxml_set_error(slot, QX_ERR_ACTION_NOT_VALID);
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
