/* Library-internal interface of the document model: the parser's root
 * rewrite, the setup writer and the setup update filter. The parse entry
 * itself, qxxml_parse_document, is declared in qxxml_private.h. */
#ifndef QXXML_QXXML_DOCMODEL_PRIVATE_H
#define QXXML_QXXML_DOCMODEL_PRIVATE_H

#include "qxxml/qxxml.h"

/* Element paths hold at most 9999 characters. */
#define QXXML_PATH_MAX 10000

/* Replaces the first "<val:Root ...>" (values) or "<set:Root ...>" (setup)
 * start tag in text by "<Root>" padded with blanks to the tag's length, so
 * that documents of devices that prefix their root parse like the others. */
void qxxml_rewrite_prefixed_root(char *text, int length, int kind);

/* Writes record and counts as a complete setup document, zero-terminated,
 * into out (QXXML_DOC_MAX bytes), every text escaped. Returns 0; -1 with
 * QX_ERR_BUFFER_FULL on slot 0 when the document, escaped, would not fit,
 * leaving out empty, or with QX_ERR_POINTER_NULL when an argument is
 * missing. */
int qxxml_write_setup_document(const qxxml_setup *record, const qxxml_setup_counts *counts, char *out);

/* Rewrites the setup document in text (a buffer of length bytes) into the
 * body posted to a device: read-only elements removed, each Idx moved to the
 * front of its entry, one XML declaration, no empty lines, texts escaped
 * again after libxml2 resolved their references. Returns 0; -1
 * with QX_ERR_MEMORY_NOT_FOUND, QX_ERR_XML_NOT_VALID, QX_ERR_BUFFER_FULL or
 * QX_ERR_POINTER_NULL (no text, or its last Idx empty) recorded on slot, the
 * text then unchanged. */
int qxxml_filter_setup_update(int slot, char *text, int length);

#endif
