/* Reader of values.xml in the meter form: devices of four models describe
 * their readings as Meter elements holding Val readings, and their inputs as
 * Input elements. The reader adds them to the values record as sensor and
 * binary-input entries, so that every layer above sees one record layout. */
#ifndef QXXML_QXXML_METER_PRIVATE_H
#define QXXML_QXXML_METER_PRIVATE_H

#include <stdint.h>
#include <stdio.h>

#include "qxxml/qxxml_records.h"

QX_BEGIN_DECLS

/* Runs after the path-table pass over a values document. For the models
 * whose Agent_Model is 45, 55, 57 or 58 it parses a private copy of text and
 * appends one sensor entry per Val and one binary-input entry per Input
 * after the entries already counted; other models leave record and counts
 * untouched. Only the BinaryInSet and SenSet counts change. */
void qxxml_read_meter_tree(qxxml_values *record, qxxml_values_counts *counts, const char *text, int length);

/* value × 10^exponent as decimal text without floating point, at most 31
 * characters and at most max_decimals decimals (none cut when negative).
 * With a null stream: a new text for the caller to free(), null when memory
 * runs out. With a stream: printed through format (such as "%s"), then null. */
char *qxxml_format_scaled(FILE *stream, int32_t value, int16_t exponent, int16_t max_decimals, const char *format);

QX_END_DECLS

#endif
