#ifndef QX_ERROR_H
#define QX_ERROR_H

#include "common/qx_export.h"

/* Width of both text fields of an error record; the longest table message
 * has 37 characters, so every message fits with room to spare. */
#define QX_ERROR_TEXT_MAX 104
/* Codes are dense: 0 .. QX_ERROR_CODE_COUNT - 1, code = table position. */
#define QX_ERROR_CODE_COUNT 90

QX_BEGIN_DECLS

/* The reason of the last failure, copied out by value by the caller. */
typedef struct qx_error_record {
  int sys_errno;                    /* errno of the recording thread */
  int code;                         /* table code (unused by free-text records) */
  char sys_text[QX_ERROR_TEXT_MAX]; /* runtime library text of sys_errno */
  char text[QX_ERROR_TEXT_MAX];     /* table message or free message text */
} qx_error_record;

/* Copies the message of `code` into `out`, which must hold at least
 * QX_ERROR_TEXT_MAX bytes; returns 0. A code outside 0..89 copies
 * "Unknown error code" and returns -1; a null `out` returns -1. */
QX_EXPORT int qx_error_i2s(int code, char *out);

/* The static message of `code`; a code outside the table gives the text of
 * entry 0, "NULL", which is what a record of an unknown code carries. */
QX_EXPORT const char *qx_error_message(int code);

/* Overwrites the whole record: `text` (truncated to QX_ERROR_TEXT_MAX - 1
 * characters, empty when null), `sys_text` and `sys_errno` from the current
 * errno, and `code` as given. errno is left as it was. The caller provides
 * any locking the record needs. */
QX_EXPORT void qx_error_capture(qx_error_record *record, int code, const char *text);

QX_END_DECLS

#ifdef __cplusplus
static_assert(sizeof(qx_error_record) == 216, "error record layout is part of the interface");
#endif

#endif
