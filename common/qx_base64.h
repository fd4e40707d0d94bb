#ifndef QX_BASE64_H
#define QX_BASE64_H

#include "common/qx_export.h"

/* Error results of the _ex variants. */
#define QX_BASE64_OK 0
#define QX_BASE64_NO_ROOM 1       /* capacity below the needed size; nothing written */
#define QX_BASE64_BAD_ARGUMENT 2  /* negative length, null input with a length, or a size beyond int */
#define QX_BASE64_BAD_CHARACTER 3 /* a strict decode met a refused character */

/* Low four bits of the encoder's `mode`: where lines break (CR LF between lines). */
#define QX_BASE64_LINES_GIVEN 0 /* every `line_length` characters, 64 when negative, none when 0 */
#define QX_BASE64_LINES_64 2
#define QX_BASE64_LINES_76 3
/* Any other value: no line breaks. */

/* Decoder flags. Without them, characters outside the alphabet are skipped. */
#define QX_BASE64_STRICT_OTHER 0x100 /* refuse characters that are neither alphabet, "=", CR, LF nor blank */
#define QX_BASE64_STRICT_BLANK 0x200 /* refuse backspace, tab, vertical tab and space */

QX_BEGIN_DECLS

/* Encodes `length` bytes without line breaks; returns the length of the
 * Base64 text, 0 when it does not fit into `capacity`. With a null `out`
 * returns the size needed. No terminating zero byte is written. */
QX_EXPORT int qx_base64_encode(const void *data, int length, char *out, int capacity);

/* As qx_base64_encode, with line breaks chosen by `mode` and `line_length`
 * (the needed size counts them). `error` (may be null) receives
 * QX_BASE64_OK, QX_BASE64_NO_ROOM or QX_BASE64_BAD_ARGUMENT. */
QX_EXPORT int qx_base64_encode_ex(const void *data, int length, char *out, int capacity, int mode, int line_length,
                                  int *error);

/* Lenient decoding of `length` characters; returns the number of bytes
 * written. CR and LF are skipped, and so is every other character outside
 * the alphabet; a group with padding ("=") ends decoding and an incomplete
 * last group is dropped. With a null `out` returns the size needed:
 * 3 bytes for every started group of 4 characters. A capacity below that
 * size writes nothing and returns 0. */
QX_EXPORT int qx_base64_decode(const char *text, int length, void *out, int capacity);

/* As qx_base64_decode with QX_BASE64_STRICT_* `flags`. A refused character
 * stops decoding: 0 is returned, `error` receives QX_BASE64_BAD_CHARACTER and
 * `bad` points at that character. `bad` and `error` may be null; `bad` is set
 * to null otherwise. */
QX_EXPORT int qx_base64_decode_ex(const char *text, int length, void *out, int capacity, int flags, const char **bad,
                                  int *error);

QX_END_DECLS

#endif
