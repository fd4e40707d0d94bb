/* Setup transfer: posts of setup documents to a device, prepared on the
 * caller's thread into the slot's post_buf and sent by the worker. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "qxxml/qxxml_docmodel_private.h"
#include "qxxml/qxxml_private.h"

enum {
  /* Room the filter may need beyond a caller's document: the declaration it
   * adds and the moves of Idx elements. */
  FILTER_SLACK = 1024,
  CREDENTIALS_MAX = 2 * QXXML_AUTH_MAX,
  AUTHORIZATION_MAX = 4 * ((CREDENTIALS_MAX + 2) / 3) + 64,
};

static const char kSnmpManagerDocument[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Root>\n<SnmpTraps>\n<Entry>\n<Idx>1</Idx>\n"
    "<Community>qorvel</Community>\n<IPaddr>%s</IPaddr>\n<Port>%i</Port>\n<E>1</E>\n</Entry>\n</SnmpTraps>\n</Root>";

/* Under the slot's lock: records QX_ERR_THREAD_NOT_RUN when the slot does not run. */
static bool slot_runs(int slot) {
  if (slot < 1 || slot >= QXXML_ID_COUNT_MAX) {
    qxxml_set_error(0, QX_ERR_ID_TOO_LARGE);
    return false;
  }
  qxxml_lock(slot);
  bool runs = qxxml_slots[slot].slot.state.load() == 1;
  qxxml_unlock(slot);
  if (!runs) qxxml_set_error(slot, QX_ERR_THREAD_NOT_RUN);
  return runs;
}

/* Formats the POST request with its optional Basic authorization line into
 * post_buf. A request that would not fit is refused with QX_ERR_BUFFER_FULL
 * rather than sent cut off. */
static int format_post(int slot, const qxxml_settings *settings, const char *body, char *post_buf) {
  char authorization[AUTHORIZATION_MAX] = {0};
  if (settings && settings->set_user[0] != '\0') {
    char credentials[CREDENTIALS_MAX + 1] = {0};
    char encoded[AUTHORIZATION_MAX] = {0};
    int n = snprintf(credentials, sizeof credentials, "%s:%s", settings->set_user, settings->set_password);
    qx_base64_encode(credentials, n, encoded, (int)sizeof encoded - 1);
    snprintf(authorization, sizeof authorization, "Authorization: Basic %s\r\n", encoded);
  }
  memset(post_buf, 0, QXXML_DOC_MAX);
  int n = snprintf(post_buf, QXXML_DOC_MAX,
                   "POST /setup.xml HTTP/1.0\r\n%sContent-Type: text/xml\r\nContent-Length: %i\r\n\r\n%s",
                   authorization, (int)strlen(body), body);
  if (n < 0 || n >= QXXML_DOC_MAX) {
    post_buf[0] = '\0';
    qxxml_set_error(slot, QX_ERR_BUFFER_FULL);
    return -1;
  }
  return 0;
}

int qxxml_prepare_post(int slot, const char *document, int length, const qxxml_settings *settings, char *post_buf) {
  if (!document || length < 0) {
    qxxml_set_error(slot, QX_ERR_POINTER_NULL);
    return -1;
  }
  int size = length + FILTER_SLACK;
  char *work = static_cast<char *>(calloc((size_t)size, 1));
  if (!work) {
    qxxml_set_error(slot, QX_ERR_MEMORY_NOT_FOUND);
    return -1;
  }
  memcpy(work, document, strnlen(document, (size_t)length));
  int r = qxxml_filter_setup_update(slot, work, size);
  if (r == 0) r = format_post(slot, settings, work, post_buf);
  free(work);
  return r;
}

/* Marks a prepared post pending and wakes the worker. */
static int post_pending(int slot) {
  qxxml_slot &s = qxxml_slots[slot].slot;
  qxxml_lock(slot);
  s.post_done = 0;
  qxxml_unlock(slot);
  qxxml_sem_post(slot, &s.wake_sem);
  return 0;
}

int qxxml_send_setup_xml(int slot, const char *document, int length) {
  if (!slot_runs(slot)) return -1;
  qxxml_slot &s = qxxml_slots[slot].slot;
  if (qxxml_prepare_post(slot, document, length, &s.settings, s.post_buf) != 0) return -1;
  return post_pending(slot);
}

/* Writes the record out as a document, filters it and formats the post
 * request with the settings' post credentials into post_buf. */
static int prepare_record_post(int slot, const qxxml_setup *record, const qxxml_setup_counts *counts,
                               const qxxml_settings *settings, char *post_buf) {
  char *document = static_cast<char *>(calloc(QXXML_DOC_MAX, 1));
  if (!document) {
    qxxml_set_error(slot, QX_ERR_MEMORY_NOT_FOUND);
    return -1;
  }
  int r = qxxml_write_setup_document(record, counts, document);
  if (r != 0)
    qxxml_set_error(slot, QX_ERR_BUFFER_FULL); /* the writer recorded on slot 0; the caller asked about this slot */
  if (r == 0) r = qxxml_filter_setup_update(slot, document, (int)strlen(document) + 1);
  if (r == 0) r = format_post(slot, settings, document, post_buf);
  free(document);
  return r;
}

int qxxml_send_setup(int slot, const qxxml_setup *record, const qxxml_setup_counts *counts) {
  if (!slot_runs(slot)) return -1;
  if (!record || !counts) {
    qxxml_set_error(slot, QX_ERR_POINTER_NULL);
    return -1;
  }
  qxxml_slot &s = qxxml_slots[slot].slot;
  if (prepare_record_post(slot, record, counts, &s.settings, s.post_buf) != 0) return -1;
  return post_pending(slot);
}

/* The posts of a multi-device slot: one request per module, each with the
 * module's own post credentials; the first failure ends the preparation
 * with nothing pending. The modules exist while the slot runs: only the
 * worker's end and the close free them. */
static bool multi_slot_runs(int slot) {
  if (!slot_runs(slot)) return false;
  return !qxxml_refuse_not_many(slot);
}

int qxxml_send_setup_xml_many(int slot, const char *document, int length) {
  if (!multi_slot_runs(slot)) return -1;
  qxxml_slot_storage &storage = qxxml_slots[slot];
  for (int j = 0; j < storage.module_count; j++) {
    qxxml_module *m = storage.modules[j];
    if (qxxml_prepare_post(slot, document, length, &m->settings, m->post_buf) != 0) return -1;
  }
  return post_pending(slot);
}

int qxxml_send_setup_many(int slot, qxxml_setup_edit edit) {
  if (!multi_slot_runs(slot)) return -1;
  qxxml_slot_storage &storage = qxxml_slots[slot];
  for (int j = 0; j < storage.module_count; j++) {
    qxxml_module *m = storage.modules[j];
    if (edit) edit(&m->setup);
    if (prepare_record_post(slot, &m->setup, &m->setup_counts, &m->settings, m->post_buf) != 0) return -1;
  }
  return post_pending(slot);
}

int qxxml_set_snmp_manager(int slot, const char *ip, int port) {
  if (!slot_runs(slot)) return -1;
  qxxml_slot &s = qxxml_slots[slot].slot;
  /* The address is the caller's text: escaped, it stays the text of its
   * element whatever it holds. A document that would not fit is refused. */
  char address[QXXML_DOC_MAX];
  char document[QXXML_DOC_MAX] = {0};
  if (qx_xml_escape(ip ? ip : "", -1, address, sizeof address) < 0 ||
      snprintf(document, sizeof document, kSnmpManagerDocument, address, port) >= (int)sizeof document) {
    qxxml_set_error(slot, QX_ERR_BUFFER_FULL);
    return -1;
  }
  /* A fixed document: no filter, and never an authorization line. */
  if (format_post(slot, nullptr, document, s.post_buf) != 0) return -1;
  return post_pending(slot);
}

int qxxml_get_snmp_manager(int slot) {
  if (!slot_runs(slot)) return -1;
  qxxml_slot &s = qxxml_slots[slot].slot;
  qxxml_lock(slot);
  s.setup_done = 0;
  s.snmp_done = 0;
  s.snmp_request = 1;
  s.setup_buf[0] = '\0';
  s.setup_len = 0;
  qxxml_unlock(slot);
  qxxml_sem_post(slot, &s.wake_sem);
  return 0;
}
