#ifndef QX_XML_TEXT_H
#define QX_XML_TEXT_H

#include "common/qx_export.h"

/* The most characters one byte of text becomes ("&quot;"), for callers that
 * size a buffer for any text of a given length. */
#define QX_XML_ESCAPE_GROWTH_MAX 6

QX_BEGIN_DECLS

/* Writes `length` bytes of `text` (a negative `length`: up to its zero) into
 * `out` as XML character data followed by a zero: "&", "<", ">" and '"'
 * become "&amp;", "&lt;", "&gt;" and "&quot;", every other byte is copied, so
 * UTF-8 passes unchanged. The result is valid as element text and as a
 * double-quoted attribute value, and a parser hands back exactly `text`
 * (but for a carriage return, which XML parsers read as a line feed).
 *
 * Returns the escaped length without the zero. Returns -1, with nothing
 * written, when the escaped text and its zero do not fit `out_size` bytes or
 * `text` is null: a text is never cut. With a null `out` returns the length
 * the escaped text needs (-1 beyond what an int holds). */
QX_EXPORT int qx_xml_escape(const char *text, int length, char *out, int out_size);

/* Writes `length` bytes of XML character data `text` (a negative `length`:
 * up to its zero) into `out` as plain text followed by a zero: the five
 * predefined references ("&amp;", "&lt;", "&gt;", "&quot;", "&apos;") and
 * character references ("&#38;", "&#x26;") become their characters, the
 * latter in UTF-8. A reference that is unknown, unterminated or names no
 * character XML allows (zero, a surrogate, beyond U+10FFFF) is kept as it
 * stands, as is every other byte: devices that write a bare '&' are read
 * as they wrote it.
 *
 * Decoding never makes a text longer, so `out_size` = `length` + 1 always
 * suffices, and `out` may be `text` itself to decode in place.
 *
 * Returns the decoded length without the zero. Returns -1, with nothing
 * written, when the decoded text and its zero do not fit `out_size` bytes or
 * `text` is null. With a null `out` returns the length the decoded text
 * needs. */
QX_EXPORT int qx_xml_unescape(const char *text, int length, char *out, int out_size);

QX_END_DECLS

#endif
