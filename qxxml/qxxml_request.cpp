/* Requests on a running slot: downloads of the values and setup documents
 * and parses of documents the caller supplies, each handed to the worker. */
#include <string.h>

#include "qxxml/qxxml_private.h"

/* Marks one download pending and wakes the worker. The wake-up is binary: a
 * request made while one is still pending records a failed semaphore post
 * and runs later. */
static int request_download(int slot, int *done, char *buffer, int *length, int snmp_request) {
  qxxml_slot &s = qxxml_slots[slot].slot;
  qxxml_lock(slot);
  if (s.state.load() != 1) {
    qxxml_unlock(slot);
    qxxml_set_error(slot, QX_ERR_THREAD_NOT_RUN);
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
  if (qxxml_refuse_not_running(slot)) return -1;
  qxxml_slot &s = qxxml_slots[slot].slot;
  return request_download(slot, &s.values_done, s.values_buf, &s.values_len, -1);
}

int qxxml_get_setup(int slot) {
  if (qxxml_refuse_not_running(slot)) return -1;
  qxxml_slot &s = qxxml_slots[slot].slot;
  return request_download(slot, &s.setup_done, s.setup_buf, &s.setup_len, 0);
}

/* Copies a caller's document into a slot buffer for the worker to parse:
 * up to length bytes, stopping at a zero byte, the rest zero-filled. */
static int request_load(int slot, const char *text, int length, int *load_done, char *buffer, int *buffer_len) {
  if (length >= QXXML_DOC_MAX) {
    qxxml_set_error(slot >= 0 && slot < QXXML_ID_COUNT_MAX ? slot : 0, QX_ERR_LENGTH_TOO_LARGE);
    return -1;
  }
  if (qxxml_refuse_not_running(slot)) return -1;
  if (length < 0 || (!text && length > 0)) {
    qxxml_set_error(slot, QX_ERR_POINTER_NULL);
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
