/* The document getters: a slot's or a module's last document of each kind
 * and its parsed records, handed out as pointers, as copies or into a file. */
#include <string.h>

#include "qxxml/qxxml_private.h"

/* Codes that do not come from a failed transaction: the cleared record and
 * the codes that getters and credential setters record themselves. */
static bool passable(int code) {
  static const int codes[] = {
      QX_ERR_NONE,           QX_ERR_ACTION_NOT_FINISH, QX_ERR_INDEX_NOT_VALID,   QX_ERR_FILE_NOT_FOUND,
      QX_ERR_FILE_NOT_VALID, QX_ERR_ID_NOT_FOUND,      QX_ERR_PASSWORD_TOO_LONG, QX_ERR_USER_TOO_LONG};
  for (int c : codes)
    if (code == c) return true;
  return false;
}

/* One document as the getters hand it out. */
struct document {
  char *buffer;
  int length;
};

/* The document must be present and XML. */
static int check_present(int slot, const document &doc) {
  if (doc.length <= 0) {
    qxxml_set_error(slot, QX_ERR_FILE_NOT_FOUND);
    return -1;
  }
  if (!memmem(doc.buffer, (size_t)doc.length, "<?xml", 5)) {
    qxxml_set_error(slot, QX_ERR_FILE_NOT_VALID);
    return -1;
  }
  return 0;
}

/* A slot's document of a kind: its last action must not have failed (the
 * record then says why and stays as it is) and must have finished. */
static int slot_document(int slot, bool values, document *doc) {
  if (slot < 1 || slot >= QXXML_ID_COUNT_MAX) {
    qxxml_set_error(0, QX_ERR_ID_TOO_LARGE);
    return -1;
  }
  qx_error_record record;
  qxxml_error(slot, &record);
  if (!passable(record.code)) return -1;
  qxxml_slot &s = qxxml_slots[slot].slot;
  if ((values ? s.values_done : s.setup_done) != 1) {
    qxxml_set_error(slot, QX_ERR_ACTION_NOT_FINISH);
    return -1;
  }
  *doc = values ? document{s.values_buf, s.values_len} : document{s.setup_buf, s.setup_len};
  return check_present(slot, *doc);
}

/* A module's document of a kind. The index is checked before anything of
 * the module table is read; the module's failure is then copied into the
 * slot's record, where qxxml_error finds it. */
static qxxml_module *valid_module(int slot, int module) {
  if (qxxml_refuse_not_many(slot)) return nullptr;
  qxxml_module *m = qxxml_module_at(slot, module);
  if (!m) qxxml_set_error(slot, QX_ERR_INDEX_NOT_VALID);
  return m;
}

static document module_document_of(qxxml_module *m, bool values) {
  return values ? document{m->values_buf, m->values_len} : document{m->setup_buf, m->setup_len};
}

static qxxml_module *module_document(int slot, int module, bool values, document *doc) {
  qxxml_module *m = valid_module(slot, module);
  if (!m) return nullptr;
  qx_error_record record;
  qxxml_copy_error(slot, &record, &m->error);
  if (!passable(record.code)) {
    qxxml_copy_error(slot, &qxxml_slots[slot].error, &record);
    return nullptr;
  }
  *doc = module_document_of(m, values);
  return check_present(slot, *doc) == 0 ? m : nullptr;
}

static bool refuse_null(int slot, const void *a, const void *b) {
  if (a && b) return false;
  qxxml_set_error(slot, QX_ERR_POINTER_NULL);
  return true;
}

/* The hand-outs shared by the slot and module getters. */
static int hand_text(int slot, const document &doc, char **text, int *length) {
  if (refuse_null(slot, text, length)) return -1;
  *text = doc.buffer;
  *length = doc.length;
  return 0;
}

/* The caller's buffer holds QXXML_DOC_MAX bytes: the document and its zero byte. */
static int copy_text(int slot, const document &doc, char *text, int *length) {
  if (refuse_null(slot, text, length)) return -1;
  int n = doc.length < QXXML_DOC_MAX ? doc.length : QXXML_DOC_MAX - 1;
  memcpy(text, doc.buffer, (size_t)n);
  text[n] = '\0';
  *length = n;
  return 0;
}

template <typename Record, typename Counts>
static int hand_records(int slot, Record *live, Counts *live_counts, Record **record, Counts **counts) {
  if (!live || !live_counts) {
    qxxml_set_error(slot, QX_ERR_ACTION_NOT_VALID);
    return -1;
  }
  if (refuse_null(slot, record, counts)) return -1;
  *record = live;
  *counts = live_counts;
  return 0;
}

template <typename Record, typename Counts>
static int copy_records(int slot, const Record *live, const Counts *live_counts, Record *record, Counts *counts) {
  if (!live || !live_counts) {
    qxxml_set_error(slot, QX_ERR_ACTION_NOT_VALID);
    return -1;
  }
  if (refuse_null(slot, record, counts)) return -1;
  *record = *live;
  *counts = *live_counts;
  return 0;
}

/* Slot members. */
int qxxml_get_values_xml(int slot, char **text, int *length) {
  document doc;
  return slot_document(slot, true, &doc) == 0 ? hand_text(slot, doc, text, length) : -1;
}

int qxxml_get_setup_xml(int slot, char **text, int *length) {
  document doc;
  return slot_document(slot, false, &doc) == 0 ? hand_text(slot, doc, text, length) : -1;
}

int qxxml_get_values_xml_copy(int slot, char *text, int *length) {
  document doc;
  return slot_document(slot, true, &doc) == 0 ? copy_text(slot, doc, text, length) : -1;
}

int qxxml_get_setup_xml_copy(int slot, char *text, int *length) {
  document doc;
  return slot_document(slot, false, &doc) == 0 ? copy_text(slot, doc, text, length) : -1;
}

int qxxml_get_values_to_file(int slot, const char *file_name) {
  document doc;
  return slot_document(slot, true, &doc) == 0 ? qxxml_write_file(slot, file_name, doc.buffer, doc.length) : -1;
}

int qxxml_get_setup_to_file(int slot, const char *file_name) {
  document doc;
  return slot_document(slot, false, &doc) == 0 ? qxxml_write_file(slot, file_name, doc.buffer, doc.length) : -1;
}

/* The slot's live records, overwritten by the next parse of their kind. */
int qxxml_get_values_cache(int slot, qxxml_values **record, qxxml_values_counts **counts) {
  document doc;
  if (slot_document(slot, true, &doc) != 0) return -1;
  qxxml_slot_storage &storage = qxxml_slots[slot];
  return hand_records(slot, storage.values, storage.values_counts, record, counts);
}

int qxxml_get_setup_cache(int slot, qxxml_setup **record, qxxml_setup_counts **counts) {
  document doc;
  if (slot_document(slot, false, &doc) != 0) return -1;
  qxxml_slot_storage &storage = qxxml_slots[slot];
  return hand_records(slot, storage.setup, storage.setup_counts, record, counts);
}

int qxxml_get_values_cache_copy(int slot, qxxml_values *record, qxxml_values_counts *counts) {
  document doc;
  if (slot_document(slot, true, &doc) != 0) return -1;
  const qxxml_slot_storage &storage = qxxml_slots[slot];
  return copy_records(slot, storage.values, storage.values_counts, record, counts);
}

int qxxml_get_setup_cache_copy(int slot, qxxml_setup *record, qxxml_setup_counts *counts) {
  document doc;
  if (slot_document(slot, false, &doc) != 0) return -1;
  const qxxml_slot_storage &storage = qxxml_slots[slot];
  return copy_records(slot, storage.setup, storage.setup_counts, record, counts);
}

/* Module members. */
int qxxml_get_values_xml_many(int slot, int module, char **text, int *length) {
  document doc;
  return module_document(slot, module, true, &doc) ? hand_text(slot, doc, text, length) : -1;
}

int qxxml_get_setup_xml_many(int slot, int module, char **text, int *length) {
  document doc;
  return module_document(slot, module, false, &doc) ? hand_text(slot, doc, text, length) : -1;
}

int qxxml_get_values_xml_many_copy(int slot, int module, char *text, int *length) {
  document doc;
  return module_document(slot, module, true, &doc) ? copy_text(slot, doc, text, length) : -1;
}

int qxxml_get_setup_xml_many_copy(int slot, int module, char *text, int *length) {
  document doc;
  return module_document(slot, module, false, &doc) ? copy_text(slot, doc, text, length) : -1;
}

int qxxml_get_values_to_file_many(int slot, int module, const char *file_name) {
  document doc;
  if (!module_document(slot, module, true, &doc)) return -1;
  return qxxml_write_file(slot, file_name, doc.buffer, doc.length);
}

int qxxml_get_setup_to_file_many(int slot, int module, const char *file_name) {
  document doc;
  if (!module_document(slot, module, false, &doc)) return -1;
  return qxxml_write_file(slot, file_name, doc.buffer, doc.length);
}

int qxxml_get_values_cache_many(int slot, int module, qxxml_values **record, qxxml_values_counts **counts) {
  document doc;
  qxxml_module *m = module_document(slot, module, true, &doc);
  return m ? hand_records(slot, &m->values, &m->values_counts, record, counts) : -1;
}

int qxxml_get_setup_cache_many(int slot, int module, qxxml_setup **record, qxxml_setup_counts **counts) {
  document doc;
  qxxml_module *m = module_document(slot, module, false, &doc);
  return m ? hand_records(slot, &m->setup, &m->setup_counts, record, counts) : -1;
}

int qxxml_get_values_cache_many_copy(int slot, int module, qxxml_values *record, qxxml_values_counts *counts) {
  document doc;
  const qxxml_module *m = module_document(slot, module, true, &doc);
  return m ? copy_records(slot, &m->values, &m->values_counts, record, counts) : -1;
}

int qxxml_get_setup_cache_many_copy(int slot, int module, qxxml_setup *record, qxxml_setup_counts *counts) {
  document doc;
  const qxxml_module *m = module_document(slot, module, false, &doc);
  return m ? copy_records(slot, &m->setup, &m->setup_counts, record, counts) : -1;
}

/* The time is handed out for every valid index, also when the document
 * itself is refused afterwards: a failed download has a time too. */
static int module_status(int slot, int module, bool values, int *time) {
  qxxml_module *m = valid_module(slot, module);
  if (!m || refuse_null(slot, time, time)) return -1;
  *time = values ? m->values.timestamp : m->setup.timestamp;
  return check_present(slot, module_document_of(m, values));
}

int qxxml_get_values_many_status(int slot, int module, int *time) { return module_status(slot, module, true, time); }

int qxxml_get_setup_many_status(int slot, int module, int *time) { return module_status(slot, module, false, time); }
