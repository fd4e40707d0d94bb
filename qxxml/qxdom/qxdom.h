/* qxdom: a small, non-validating XML parser that builds a tree of elements.
 *
 * The parser works in place: names, attribute values and texts are
 * zero-terminated inside the parsed buffer wherever possible, and only texts
 * that grow while being decoded (entity references) are copied out. It knows
 * start, end and empty-element tags with attributes, character data with
 * entity and character references, CDATA sections, comments, processing
 * instructions and a <!DOCTYPE internal subset with <!ENTITY and <!ATTLIST
 * declarations. The first error stops parsing; it is kept as one text and
 * the tree built until then stays usable.
 *
 * Nothing here throws or aborts: a failed allocation ends the parse with an
 * error text ("out of memory"), and only a document record that cannot be
 * allocated at all gives a null document. */
#ifndef QXXML_QXDOM_QXDOM_H
#define QXXML_QXDOM_QXDOM_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "common/qx_export.h"

/* Node flags. */
#define QXDOM_NAME_ALLOCATED 0x80 /* name is owned by the node */
#define QXDOM_TEXT_ALLOCATED 0x40 /* text is owned by the node */
#define QXDOM_COPY_STRINGS 0x20   /* editing operations copy the strings they are given */
#define QXDOM_DOCUMENT 0x100      /* the node is the head of a qxdom_document */

/* Marks of an attribute list (one character per name/value pair). */
#define QXDOM_MARK_VALUE_ALLOCATED 0x40
#define QXDOM_MARK_NAME_ALLOCATED 0x80

/* Size of the error text, terminating zero included. */
#define QXDOM_ERROR_MAX 128

QX_BEGIN_DECLS

typedef struct qxdom_node qxdom_node;

/* One element. */
struct qxdom_node {
  char *name;              /* element name, zero-terminated */
  char **attributes;       /* name, value, name, value, ..., null, then a marks string with one
                              character per pair (QXDOM_MARK_* bits, a blank when none) */
  char *text;              /* the element's own character data, all pieces joined; never null */
  uint32_t text_offset;    /* length of the parent's text when this element started */
  qxdom_node *same_next;   /* next child of the parent with the same name, in document order */
  qxdom_node *group_next;  /* first child of the parent of the next distinct name */
  qxdom_node *order_next;  /* next child of the parent in document order */
  qxdom_node *first_child; /* first child in document order, also the head of the name groups */
  qxdom_node *parent;      /* enclosing element, null for the document element */
  uint16_t flags;          /* QXDOM_* node flags */
};

/* The document element together with the state of the whole document. */
typedef struct qxdom_document {
  qxdom_node node;             /* the document element; its name is null when none was read */
  qxdom_node *current;         /* element being filled; the document at start, null once it closed */
  char *buffer;                /* the text that was parsed */
  int32_t buffer_owned;        /* -1: buffer was read by a qxdom_read_* function and is freed with the
                                  document; 0: the caller's buffer (modified by the parse) */
  char *converted;             /* UTF-8 copy of a UTF-16 input, freed with the document */
  char *text_start;            /* first byte of the parsed text */
  char *text_end;              /* one past its last byte */
  char **entities;             /* name, replacement, ..., null, marks (one per pair); begins with the
                                  five predefined entities */
  char ***attribute_defaults;  /* per element name: element name, then triples of attribute name,
                                  default (null when none) and decoding type (" " for CDATA, "*"
                                  otherwise), null, marks (one per triple); the list ends with null */
  char ***instructions;        /* per processing-instruction target: target, texts, null, then one
                                  character per text: '<' before the document element, '>' after;
                                  the list ends with null */
  uint16_t standalone;         /* 1 when the XML declaration said standalone="yes" */
  char error[QXDOM_ERROR_MAX]; /* "[error near line %d]: %s" for the first error, empty when none */
} qxdom_document;

/* Parses length bytes of a writable buffer, which stays the caller's and must
 * outlive the document. A buffer that starts with 0xFE or 0xFF is read as
 * UTF-16 (big-endian after 0xFE, little-endian after 0xFF). Returns the
 * document, also on error (with error set); null only when not even the
 * document record could be allocated. */
QX_EXPORT qxdom_document *qxdom_parse_memory(char *buffer, size_t length);

/* Read the whole input into a buffer owned by the document, then parse it.
 * A failed read parses what arrived before it. Null for a null stream, a
 * negative descriptor or a file that cannot be opened. */
QX_EXPORT qxdom_document *qxdom_read_stream(FILE *stream);
QX_EXPORT qxdom_document *qxdom_read_descriptor(int descriptor);
QX_EXPORT qxdom_document *qxdom_read_file(const char *path);

/* Releases a document and everything it owns. Given any other node, detaches
 * that node and releases it with its descendants. Null is ignored. */
QX_EXPORT void qxdom_release(qxdom_node *node);

/* First child of node named name (case-sensitive); null when none. */
QX_EXPORT qxdom_node *qxdom_find_child(const qxdom_node *node, const char *name);
/* The node n steps along the same-name chain (n = 0: node itself). */
QX_EXPORT qxdom_node *qxdom_same_name_at(const qxdom_node *node, int n);
/* Walks (child name, same-name index) pairs ended by an empty or null name,
 * for example qxdom_follow_path(root, "SenSet", 0, "Entry", 2, ""). */
QX_EXPORT qxdom_node *qxdom_follow_path(const qxdom_node *node, ...);

/* Value of the node's attribute name; else the default an <!ATTLIST declared
 * for it (which is null for a non-CDATA attribute without default); null
 * when neither exists. */
QX_EXPORT const char *qxdom_attribute(const qxdom_node *node, const char *name);

/* Texts of the processing instructions of target, ended by null; an empty
 * list when there are none. */
QX_EXPORT char **qxdom_instructions(const qxdom_document *document, const char *target);

/* Error text of the node's document; empty when there was none. */
QX_EXPORT const char *qxdom_error_text(const qxdom_node *node);

/* Writes node and its descendants as XML into a new zero-terminated string,
 * to be released with free(); null when memory runs out. Elements get the
 * attribute defaults their document declared; a document also gets its
 * processing instructions. */
QX_EXPORT char *qxdom_serialize(const qxdom_node *node);

/* Editing. Strings are taken as given (they must outlive the tree) unless
 * the node they are given to carries QXDOM_COPY_STRINGS; a child inherits
 * that flag from its parent. Each returns the node changed or created, null
 * on a bad argument or when memory runs out (nothing changed then). */
QX_EXPORT qxdom_document *qxdom_create(const char *name);
QX_EXPORT qxdom_node *qxdom_insert_child(qxdom_node *parent, const char *name, uint32_t offset);
QX_EXPORT qxdom_node *qxdom_replace_text(qxdom_node *node, const char *text);
/* Adds or replaces attribute name; a null value removes it. */
QX_EXPORT qxdom_node *qxdom_put_attribute(qxdom_node *node, const char *name, const char *value);
/* Sets flag bits (QXDOM_DOCUMENT excepted). Setting QXDOM_NAME_ALLOCATED or
 * QXDOM_TEXT_ALLOCATED hands the node its name or text, which must then come
 * from malloc(), to be freed with the node. */
QX_EXPORT qxdom_node *qxdom_mark(qxdom_node *node, uint16_t flags);
/* Unlinks node from its parent's chains without freeing it; it then belongs
 * to the caller, who releases it with qxdom_release before the document,
 * since its texts may still lie in the document's buffer. */
QX_EXPORT qxdom_node *qxdom_detach(qxdom_node *node);

QX_END_DECLS

#endif
