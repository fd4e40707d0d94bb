/* Error records of qxxml: one per slot index, slot 0 the library-wide one. */
#include <stdio.h>
#include <string.h>

#include "qxxml/qxxml_private.h"

void qxxml_set_error_errno(int slot, int code, int sys_errno) {
  /* An unknown code keeps its number but takes entry 0's text. */
  const char *text = qx_error_message(code);
  qxxml_lock(slot);
  qx_error_capture_errno(&qxxml_slots[slot].error, code, text, sys_errno);
  qxxml_unlock(slot);
}

/* Not the current errno: at most places nothing set it for this failure, and
 * it would name whatever an earlier call left there ("Operation now in
 * progress" from every connect). */
void qxxml_set_error(int slot, int code) { qxxml_set_error_errno(slot, code, 0); }

void qxxml_copy_error(int slot, qx_error_record *destination, const qx_error_record *source) {
  qxxml_lock(slot);
  *destination = *source;
  qxxml_unlock(slot);
}

int qxxml_error(int slot, qx_error_record *out) {
  if (slot < 0 || slot >= QXXML_ID_COUNT_MAX || !out) return -1;
  qxxml_copy_error(slot, out, &qxxml_slots[slot].error);
  return 0;
}

int qxxml_error_print(int slot) {
  qx_error_record record;
  if (qxxml_error(slot, &record) != 0) return -1;
  return printf("%s (%i): %s (%i)\n", record.text, record.code, record.sys_text, record.sys_errno);
}
