/* Path-table parser: fills a slot's values or setup record from the text of
 * its document. libxml2's SAX1 interface reports elements; the parser keeps
 * the path of the current element ("Root_SenSet_Entry_Calib"), looks it up in
 * the document's key table whenever text arrives and appends the text to the
 * field of that key, at the entry number that the list's closed Entry
 * elements give. */
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <stdlib.h>
#include <string.h>

#include "qxxml/qxxml_docmodel_private.h"
#include "qxxml/qxxml_meter_private.h"
#include "qxxml/qxxml_private.h"

namespace {

/* The libxml2 interface version the parser is written against. */
constexpr int kLibxmlVersion = 20627;

struct qxxml_parse_context {
  int slot;
  int kind;
  int entry; /* where texts below an Entry are stored */
  int key_count;
  const qxxml_key *keys;
  int list_count; /* lists counted for this kind: the first list_count of qxxml_lists */
  void *record;
  void *counts;
  size_t path_length;
  char path[QXXML_PATH_MAX];       /* path of the current element */
  char entry_path[QXXML_PATH_MAX]; /* path of the last Entry opened */
  /* Elements whose path would not fit path, and everything below them, are
   * skipped; this counts the open skipped levels so that end events still
   * pair with the right start. */
  int ignored_depth;
  /* Set at libxml2's first error. */
  int stopped;
  /* That error lost part of the document, at this line of the text. */
  int not_well_formed;
  int error_line;
};

qxxml_parse_context *context_of(void *user_data) { return static_cast<qxxml_parse_context *>(user_data); }

/* The start tag of a prefixed root as devices of some models write it;
 * past its '<' stands the name that its end tag repeats. */
const char *prefixed_root_start(int kind) { return kind == QXXML_DOC_VALUES ? "<val:Root" : "<set:Root"; }

void qxxml_on_start_element(void *user_data, const xmlChar *name_text, const xmlChar **attributes) {
  (void)attributes;
  qxxml_parse_context *c = context_of(user_data);
  if (c->stopped) return;
  if (c->ignored_depth > 0) {
    c->ignored_depth++;
    return;
  }
  const char *name = reinterpret_cast<const char *>(name_text);
  const size_t name_length = strlen(name);
  const size_t separator = c->path_length > 0 ? 1 : 0;
  if (c->path_length + separator + name_length >= sizeof c->path) {
    c->ignored_depth = 1;
    return;
  }
  if (separator) c->path[c->path_length++] = '_';
  memcpy(c->path + c->path_length, name, name_length + 1);
  c->path_length += name_length;

  if (strcmp(name, "Entry") == 0) {
    /* The first Entry of a list starts at 0; later ones of the same list keep
     * the number that the previous Entry's end produced. */
    if (strcmp(c->entry_path, c->path) != 0) c->entry = 0;
    memcpy(c->entry_path, c->path, c->path_length + 1);
  }
}

void qxxml_on_end_element(void *user_data, const xmlChar *name_text) {
  qxxml_parse_context *c = context_of(user_data);
  if (c->stopped) return;
  if (c->ignored_depth > 0) {
    c->ignored_depth--;
    return;
  }
  const char *name = reinterpret_cast<const char *>(name_text);
  if (strcmp(name, "Entry") == 0) {
    for (int list = 0; list < c->list_count; list++) {
      if (strcmp(c->entry_path, qxxml_lists[list].entry_path) != 0) continue;
      int *count = reinterpret_cast<int *>(static_cast<char *>(c->counts) + qxxml_lists[list].count_offset);
      c->entry = ++*count;
      break;
    }
  }
  /* libxml2 names the element it closes, which is always the innermost open
   * one, so its name is the path's last component. */
  const size_t name_length = strlen(name);
  const size_t cut = name_length < c->path_length ? name_length + 1 : c->path_length;
  c->path_length -= cut;
  c->path[c->path_length] = '\0';
}

/* Appends a piece of text to the field of row at entry. A field of n bytes
 * keeps at most n - 2 characters; a piece that would pass that is dropped
 * whole, and so is one for an entry beyond the array. */
void qxxml_store_text(qxxml_parse_context *c, const qxxml_key *row, const char *bytes, int length) {
  char *field = qxxml_field(c->record, row, c->entry);
  if (!field) return;
  const size_t piece = strnlen(bytes, static_cast<size_t>(length));
  const size_t current = strnlen(field, static_cast<size_t>(row->bytes));
  if (current + piece >= static_cast<size_t>(row->bytes) - 1) return;
  memcpy(field + current, bytes, piece);
  field[current + piece] = '\0';
}

void qxxml_on_characters(void *user_data, const xmlChar *bytes, int length) {
  qxxml_parse_context *c = context_of(user_data);
  if (c->stopped || c->ignored_depth > 0) return;
  for (int i = 0; i < c->key_count; i++) {
    if (strcmp(c->keys[i].key, c->path) == 0) {
      qxxml_store_text(c, &c->keys[i], reinterpret_cast<const char *>(bytes), length);
      return;
    }
  }
}

/* libxml2 2.9 in SAX1 mode stops element events at the first fatal error
 * but goes on reporting the text after it, at the path that was current
 * then: "<A>1</X><B>2</B>" would add "2" to A. The handler therefore watches
 * the error channel, the one member set beyond the three element callbacks,
 * and the parse stores nothing once it reported. SAX1 without validation
 * reports only fatal errors there; warnings use another member. */
void qxxml_on_error(void *user_data, const char *message, ...) {
  (void)message;
  qxxml_parse_context *c = context_of(user_data);
  if (c->stopped) return;
  c->stopped = 1;
  /* libxml2 has recorded the error (per thread) by the time it reports it. */
  const xmlError *error = xmlGetLastError();
  /* The root rewrite leaves "</val:Root>" closing "<Root>": libxml2 reports
   * that mismatch only after every element was delivered, so the document
   * is whole all the same. */
  if (error && error->code == XML_ERR_TAG_NAME_MISMATCH && c->ignored_depth == 0 && strcmp(c->path, "Root") == 0 &&
      error->str2 && strcmp(error->str2, prefixed_root_start(c->kind) + 1) == 0)
    return;
  c->not_well_formed = 1;
  c->error_line = error ? error->line : 0;
}

/* Notes for the completion how the document of the current action parsed:
 * refused whole, or stopped at a fatal error at a line. */
void note_parse(int slot, int not_well_formed, int error_line) {
  qxxml_doc_quality &arriving = qxxml_slots[slot].arriving;
  arriving.not_well_formed = not_well_formed;
  arriving.error_line = error_line;
}

/* Allocates the slot's record and counts of the kind on first use and
 * zeroes them; fills in the context's view of the kind's tables. */
int qxxml_prepare_records(qxxml_parse_context *c) {
  qxxml_slot_storage &s = qxxml_slots[c->slot];
  size_t record_size = 0;
  size_t counts_size = 0;
  void **record = nullptr;
  void **counts = nullptr;
  if (c->kind == QXXML_DOC_VALUES) {
    record = reinterpret_cast<void **>(&s.values);
    counts = reinterpret_cast<void **>(&s.values_counts);
    record_size = sizeof(qxxml_values);
    counts_size = sizeof(qxxml_values_counts);
    c->keys = qxxml_values_keys;
    c->key_count = QXXML_VALUES_KEY_COUNT;
    c->list_count = QXXML_VALUES_LIST_COUNT;
  } else {
    record = reinterpret_cast<void **>(&s.setup);
    counts = reinterpret_cast<void **>(&s.setup_counts);
    record_size = sizeof(qxxml_setup);
    counts_size = sizeof(qxxml_setup_counts);
    c->keys = qxxml_setup_keys;
    c->key_count = QXXML_SETUP_KEY_COUNT;
    c->list_count = QXXML_LIST_COUNT;
  }
  if (!*counts) *counts = calloc(1, counts_size);
  if (*counts && !*record) *record = calloc(1, record_size);
  if (!*counts || !*record) return -1;
  memset(*record, 0, record_size);
  memset(*counts, 0, counts_size);
  c->record = *record;
  c->counts = *counts;
  return 0;
}

}  // namespace

void qxxml_rewrite_prefixed_root(char *text, int length, int kind) {
  if (!text) return;
  const char *pattern = prefixed_root_start(kind);
  const int pattern_length = static_cast<int>(strlen(pattern));
  for (int start = 0; start < length - pattern_length; start++) {
    if (memcmp(text + start, pattern, pattern_length) != 0) continue;
    const char *close = static_cast<const char *>(memchr(text + start, '>', static_cast<size_t>(length - start)));
    if (!close) return;
    const int end = static_cast<int>(close - text);
    memset(text + start, ' ', static_cast<size_t>(end - start + 1));
    memcpy(text + start, "<Root>", 6);
    return;
  }
}

int qxxml_parse_document(int slot, char *text, int length, int kind) {
  if (slot < 0 || slot >= QXXML_ID_COUNT_MAX) return -1;
  const qxxml_slot &s = qxxml_slots[slot].slot;
  const qxxml_callbacks &callbacks = s.settings.callbacks;
  if (callbacks.pre_parse_hook) {
    /* The hook judges the document in place of the library's parse. */
    const int refused = callbacks.pre_parse_hook(slot, s.owner, text, length, kind) != 0;
    note_parse(slot, refused, 0);
    if (!refused) return 0;
    qxxml_set_error(slot, QX_ERR_XML_NOT_VALID);
    return -1;
  }

  /* The context (two 10000-byte paths) lives on the worker's stack. */
  qxxml_parse_context context;
  memset(&context, 0, sizeof context);
  context.slot = slot;
  context.kind = kind;
  if (kind != QXXML_DOC_VALUES && kind != QXXML_DOC_SETUP) return -1;
  if (qxxml_prepare_records(&context) != 0) {
    qxxml_set_error(slot, QX_ERR_MEMORY_NOT_FOUND);
    return -1;
  }

  xmlCheckVersion(kLibxmlVersion);
  qxxml_rewrite_prefixed_root(text, length, kind);

  /* SAX1 form (initialized 0): qualified names arrive unsplit and no
   * namespace processing takes place. */
  xmlSAXHandler handler;
  memset(&handler, 0, sizeof handler);
  handler.startElement = qxxml_on_start_element;
  handler.endElement = qxxml_on_end_element;
  handler.characters = qxxml_on_characters;
  handler.error = qxxml_on_error;
  /* A positive result is a document that is not well-formed: what came
   * before the fault is kept and the parse counts as done. Only a negative
   * result (no parser could be set up) fails. */
  int result = xmlSAXUserParseMemory(&handler, &context, text, length);
  /* Devices of the meter models list their readings as Meter and Input
   * elements, which the path table does not name: read them from a tree. */
  if (kind == QXXML_DOC_VALUES)
    qxxml_read_meter_tree(static_cast<qxxml_values *>(context.record),
                          static_cast<qxxml_values_counts *>(context.counts), text, length);

  if (callbacks.post_parse_hook)
    callbacks.post_parse_hook(slot, s.owner, text, length, kind, context.record, context.counts, &result);
  /* A document refused whole (an empty one gets no parser at all) holds
   * nothing of what the device meant either. */
  note_parse(slot, context.not_well_formed || result < 0, context.error_line);
  if (result < 0) {
    qxxml_set_error(slot, QX_ERR_XML_NOT_VALID);
    return -1;
  }
  return 0;
}
