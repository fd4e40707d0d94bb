/* Internals of the qxdom tree parser shared by its source files. */
#ifndef QXXML_QXDOM_QXDOM_PRIVATE_H
#define QXXML_QXDOM_QXDOM_PRIVATE_H

#include <stdarg.h>

#include "qxxml/qxdom/qxdom.h"

/* Inputs beyond 1 GiB are refused: text offsets are 32-bit, and a UTF-16
 * input grows by half when converted, which must still fit them. */
#define QXDOM_INPUT_MAX ((size_t)1 << 30)

/* Entity replacement texts decoded in one document, in bytes, and entity
 * references open inside one another. Device documents are at most 20000
 * bytes; these bounds are far beyond any real document, yet they stop a
 * nest of entities that expand to each other many times over (a "billion
 * laughs") after a bounded amount of memory and time. */
#define QXDOM_EXPANSION_MAX ((size_t)1 << 20)
#define QXDOM_NESTING_MAX 32

/* The five predefined entities come first in every entity list. */
#define QXDOM_PREDEFINED_ENTITIES 5

/* Fault injection for tests: after n more successful allocations every
 * allocation of the parser fails; a negative n turns this off. */
void qxdom_fail_allocations_after(long n);
void *qxdom_malloc(size_t size);
void *qxdom_realloc(void *block, size_t size);
char *qxdom_strdup(const char *text);

/* Shared empty values, so that no node field is ever null. */
extern char qxdom_empty_text[1];
extern char *qxdom_empty_attributes[2];

/* A growable pointer list in the public shape: the items, a null, then a
 * marks string with one character per group of items. */
typedef struct qxdom_list {
  char **items;
  size_t used; /* items before the null */
  size_t cap;  /* pointer slots allocated */
  char *marks;
  size_t marks_used;
  size_t marks_cap;
} qxdom_list;

/* Appends n items and, unless mark is 0, one mark. False when memory runs out. */
bool qxdom_list_append(qxdom_list *list, char *const *items, size_t n, char mark);
void qxdom_list_free(qxdom_list *list);

/* A list of lists, each headed by a name: attribute defaults per element,
 * instructions per target. view is the public form, ended by null. */
typedef struct qxdom_set {
  qxdom_list *lists;
  size_t count;
  size_t cap;
  char ***view;
  size_t view_cap;
} qxdom_set;

/* The list headed by name; created when missing and create is set. Null
 * when not found or when memory runs out. */
qxdom_list *qxdom_set_list(qxdom_set *set, const char *name, bool create);
/* Publishes a list's items in the view after the list grew. */
void qxdom_set_sync(qxdom_set *set, const qxdom_list *list);
void qxdom_set_free(qxdom_set *set);

/* A document with the bookkeeping behind its public lists. */
typedef struct qxdom_doc {
  qxdom_document pub;
  qxdom_list entities;    /* pairs; mark QXDOM_MARK_VALUE_ALLOCATED for allocated replacements */
  qxdom_set defaults;     /* per element: triples; mark QXDOM_MARK_VALUE_ALLOCATED for allocated defaults */
  qxdom_set instructions; /* per target: texts; mark '<' or '>' */
  size_t expansion;       /* replacement text decoded so far, in bytes */
} qxdom_doc;

/* An empty document (no name, empty text and error, the predefined
 * entities); null when memory runs out. */
qxdom_doc *qxdom_doc_new(void);
/* Points the public list fields at the current lists after they grew. */
void qxdom_doc_publish(qxdom_doc *doc);
/* The document a node belongs to; null for a detached subtree. */
qxdom_doc *qxdom_doc_of(const qxdom_node *node);
/* A new element with the shared empty text and attributes; null when memory runs out. */
qxdom_node *qxdom_node_new(char *name);
/* Frees node's descendants and everything node owns, but not node itself. */
void qxdom_free_subtree(qxdom_node *node);

/* Links node in as the last child of parent in document order, after prev
 * (the previous last child, null when there is none), keeping the chains. */
void qxdom_append_child(qxdom_node *parent, qxdom_node *node, qxdom_node *prev);
/* Rebuilds the name groups and same-name chains of parent's children from
 * their document order, after an edit. */
void qxdom_relink_groups(qxdom_node *parent);

/* The triple (attribute name, default, type) an <!ATTLIST declared for the
 * element and attribute; null when none. */
char **qxdom_find_default(const qxdom_doc *doc, const char *element, const char *attribute);

/* An attribute list in one allocation from n name/value pairs and n marks;
 * the shared empty list when n is 0; null when memory runs out. */
char **qxdom_attributes_build(char *const *pairs, const char *marks, size_t n);
size_t qxdom_attribute_count(char *const *attributes);

/* The error messages; the text of each is in qxdom_messages. */
typedef enum qxdom_message {
  QXDOM_ROOT_MISSING,
  QXDOM_OUTSIDE_ROOT,
  QXDOM_MISSING_QUOTE,
  QXDOM_MISSING_GT,
  QXDOM_UNEXPECTED_CLOSE,
  QXDOM_UNCLOSED_COMMENT,
  QXDOM_UNCLOSED_CDATA,
  QXDOM_UNCLOSED_DOCTYPE,
  QXDOM_UNCLOSED_PI,
  QXDOM_UNEXPECTED_LT,
  QXDOM_UNCLOSED_TAG,
  QXDOM_CIRCULAR_ENTITY,
  QXDOM_UNCLOSED_ATTLIST,
  QXDOM_MALFORMED_ATTLIST,
  QXDOM_OUT_OF_MEMORY,
  QXDOM_TOO_LARGE,
  QXDOM_EXPANSION_TOO_LARGE,
  QXDOM_NESTING_TOO_DEEP,
  QXDOM_MESSAGE_COUNT
} qxdom_message;

/* Records the first error of doc as "[error near line %d]: %s", the
 * message's placeholder filled from the arguments. */
void qxdom_set_error(qxdom_doc *doc, qxdom_message message, int line, ...);
void qxdom_set_error_v(qxdom_doc *doc, qxdom_message message, int line, va_list args);

/* One element being filled during a parse. */
typedef struct qxdom_frame {
  qxdom_node *node;
  size_t text_length;
  size_t text_cap; /* allocated size of an allocated text, 0 otherwise */
  qxdom_node *last_child;
} qxdom_frame;

/* The state of one parse. The text ends at end, whose byte was overwritten
 * with a zero; last remembers it for the checks of a final '>'. */
typedef struct qxdom_parser {
  qxdom_doc *doc;
  char *start;
  char *end;
  char last;
  qxdom_frame *frames; /* open elements, the document element first */
  size_t depth;
  size_t frames_cap;
  unsigned char *line_feeds; /* one bit per byte of the text: a line feed before the parse changed it */
  qxdom_list pending;        /* attribute pairs of the tag being read */
  qxdom_list parameters;     /* parameter entities, only while the internal subset is read */
} qxdom_parser;

/* Reports an error at a position of the text, its line counted in the text
 * as it was before the parse; always returns null, so that scanners can end
 * with "return qxdom_fail(...)". */
char *qxdom_fail(qxdom_parser *parser, qxdom_message message, const char *at, ...);

/* True when p holds the '>' that closes a construct: the byte itself, or the
 * remembered last byte at the end of the text. */
bool qxdom_closes_at(const qxdom_parser *parser, const char *p);
/* The position after the '>' that qxdom_closes_at accepted at p. */
char *qxdom_after_gt(char *p);
/* The whitespace of XML, for scans with strcspn and strspn. */
#define QXDOM_SPACES " \t\r\n"
inline bool qxdom_is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
char *qxdom_skip_space(char *p);

/* A decoded string: in place inside the text, or allocated (then cap is its size). */
typedef struct qxdom_text {
  char *str;
  size_t length;
  size_t cap;
  bool allocated;
} qxdom_text;

/* Decoding types. */
#define QXDOM_DECODE_TEXT '&'       /* element text */
#define QXDOM_DECODE_CDATA_ATTR ' ' /* CDATA or undeclared attribute value */
#define QXDOM_DECODE_TOKEN_ATTR '*' /* other declared attribute value: blanks collapsed */
#define QXDOM_DECODE_ENTITY '%'     /* entity value in the internal subset */
#define QXDOM_DECODE_CDATA 'c'      /* CDATA section: line ends only */

/* Decodes the zero-terminated string s of the text; false after reporting an
 * error (out of memory, expansion too large, nesting too deep). */
bool qxdom_decode(qxdom_parser *parser, char *s, char type, qxdom_text *out);

/* Length of the name of an entity reference whose name starts at s, when a
 * ';' ends it; 0 when s does not start a reference. */
size_t qxdom_reference_length(const char *s);
/* Index of the pair of the first entity named by the n bytes at name; -1 when none. */
long qxdom_entity_index(const qxdom_list *entities, const char *name, size_t n);

/* Scanners of one construct each: s is at the byte after its '<'. They
 * return the position after the construct, null after reporting an error. */
char *qxdom_skip_comment(qxdom_parser *parser, char *s);
/* Reads a processing instruction; records it only when process is set. */
char *qxdom_parse_instruction(qxdom_parser *parser, char *s, bool process);
char *qxdom_parse_doctype(qxdom_parser *parser, char *s);

/* Writes code point code (at most U+10FFFF) as UTF-8; returns the 1 to 4 bytes written. */
size_t qxdom_put_utf8(uint32_t code, char *out);
/* The UTF-8 form of the UTF-16 units after the first two bytes of in;
 * null when memory runs out. */
char *qxdom_utf16_to_utf8(const unsigned char *in, size_t length, bool big_endian, size_t *out_length);

/* Parses text into doc, which keeps buffer as given. */
void qxdom_parse_into(qxdom_doc *doc, char *buffer, size_t length);

#endif
