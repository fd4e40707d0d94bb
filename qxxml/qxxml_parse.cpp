/* Path-table parser: fills a slot's values or setup record from the text of
 * its document. libxml2's SAX1 interface reports elements; the path of the
 * current element ("Root_SenSet_Entry_Calib") selects the key whose field
 * takes the text that arrives, at the entry number that the list's closed
 * Entry elements give. The key is found once per element, when it starts,
 * by one step through the document's path table, and a memo of the steps
 * taken spares the table and the name's length for names seen before. */
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "qxxml/qxxml_docmodel_private.h"
#include "qxxml/qxxml_keys_private.h"
#include "qxxml/qxxml_meter_private.h"
#include "qxxml/qxxml_private.h"

namespace {

/* The libxml2 interface version the parser is written against. */
constexpr int kLibxmlVersion = 20627;

/* Steps remembered per parse. A setup document repeats the same names below
 * each of its Entry elements; with this many slots about nine in ten of the
 * start and end elements of a setup or values document find their step here,
 * and the memo, 8 KB, stays in the first-level cache. */
constexpr unsigned kMemoBits = 8;
constexpr unsigned kMemoSlots = 1u << kMemoBits;
/* 2^64 divided by the golden ratio: the product of a key with it spreads
 * every bit of the key over the top bits. */
constexpr uint64_t kMemoMultiplier = 0x9E3779B97F4A7C15ull;
/* The state goes above the bits in which user-space pointers differ. */
constexpr unsigned kMemoStateShift = 48;

/* One step taken during this parse, keyed by the name as libxml2 hands it
 * over. libxml2 interns element names in the dictionary of its parser
 * context, which lives until the parse ends: within one parse a name pointer
 * stands for one name and every occurrence of the name brings the same
 * pointer. A start element found here costs neither a strlen, nor a hash of
 * the name, nor a walk through the path table. */
struct step_memo {
  const char *name; /* null: slot empty */
  int from;
  int to;
  int row;
  int length;
  bool entry; /* the name is Entry */
};

struct qxxml_parse_context {
  int slot;
  int kind;
  int entry; /* where texts below an Entry are stored */
  int key_count;
  const qxxml_key *keys;
  const qxxml_path_table *paths; /* the kind's keys, then its lists' entry paths */
  void *record;
  void *counts;
  /* Length of the path of the current element; the path itself is known by
   * its states alone. */
  size_t path_length;
  /* The states of the open elements while a key can still lie below them,
   * and the key of each; the levels opened beneath the last of them, which
   * cannot lead to a key, are only counted. Every step adds a part of a
   * table path, so a deeper walk has left the table before the array ends. */
  int state_depth;
  int states[QXXML_PATH_PARTS_MAX + 1];
  const qxxml_key *state_keys[QXXML_PATH_PARTS_MAX + 1];
  int keyless_depth;
  /* The state of the last Entry opened (QXXML_PATH_NONE when its path leads
   * to no key), and the list it counts, or -1. */
  int entry_state;
  int entry_list;
  /* Elements whose path would pass QXXML_PATH_MAX - 1 characters, and
   * everything below them, are skipped; this counts the open skipped levels
   * so that end events still pair with the right start. */
  int ignored_depth;
  /* Set at libxml2's first error. */
  int stopped;
  /* That error lost part of the document, at this line of the text. */
  int not_well_formed;
  int error_line;
  step_memo memo[kMemoSlots];
};

qxxml_parse_context *context_of(void *user_data) { return static_cast<qxxml_parse_context *>(user_data); }

/* The start tag of a prefixed root as devices of some models write it;
 * past its '<' stands the name that its end tag repeats. */
const char *prefixed_root_start(int kind) { return kind == QXXML_DOC_VALUES ? "<val:Root" : "<set:Root"; }

bool is_entry(const char *name, size_t length) { return length == 5 && memcmp(name, "Entry", 5) == 0; }

/* The key of the current path, null when it has none. */
const qxxml_key *current_key(const qxxml_parse_context *c) {
  return c->keyless_depth > 0 ? nullptr : c->state_keys[c->state_depth - 1];
}

/* The slot of name below from in the memo. Interned names lie packed one
 * after the other, a few bytes apart, so every bit of the pointer counts:
 * the slot is the top bits of the key's product with the multiplier. */
step_memo &memo_slot(qxxml_parse_context *c, const char *name, int from) {
  const uint64_t key = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(name)) ^
                       static_cast<uint64_t>(static_cast<uint32_t>(from)) << kMemoStateShift;
  return c->memo[(key * kMemoMultiplier) >> (sizeof key * CHAR_BIT - kMemoBits)];
}

/* The step of name below from: the state, its row and the name's length. */
const step_memo &take_step(qxxml_parse_context *c, const char *name, int from) {
  step_memo &m = memo_slot(c, name, from);
  if (m.name == name && m.from == from) return m;
  const size_t length = strlen(name);
  const int to = from == QXXML_PATH_NONE ? QXXML_PATH_NONE : qxxml_path_step(c->paths, from, name, length);
  /* Longer names than an int holds pass QXXML_PATH_MAX and are skipped whole
   * before their length counts anywhere. */
  m = step_memo{name,
                from,
                to,
                qxxml_path_row(c->paths, to),
                length > INT32_MAX ? INT32_MAX : static_cast<int>(length),
                is_entry(name, length)};
  return m;
}

void qxxml_on_start_element(void *user_data, const xmlChar *name_text, const xmlChar **attributes) {
  (void)attributes;
  qxxml_parse_context *c = context_of(user_data);
  if (c->stopped) return;
  if (c->ignored_depth > 0) {
    c->ignored_depth++;
    return;
  }
  const char *name = reinterpret_cast<const char *>(name_text);
  const step_memo &step = take_step(c, name, c->keyless_depth > 0 ? QXXML_PATH_NONE : c->states[c->state_depth - 1]);
  const size_t name_length = static_cast<size_t>(step.length);
  const size_t separator = c->path_length > 0 ? 1 : 0;
  if (c->path_length + separator + name_length >= QXXML_PATH_MAX) {
    c->ignored_depth = 1;
    return;
  }
  c->path_length += separator + name_length;

  const int state = step.to;
  const int row = step.row;
  if (state == QXXML_PATH_NONE) {
    c->keyless_depth++;
  } else {
    c->states[c->state_depth] = state;
    c->state_keys[c->state_depth] = row >= 0 && row < c->key_count ? &c->keys[row] : nullptr;
    c->state_depth++;
  }

  if (step.entry) {
    /* The first Entry of a list starts at 0; later ones of the same list keep
     * the number that the previous Entry's end produced. Two Entry paths
     * without a state may differ and still compare equal here; that is
     * harmless, as the entry number is already 0 after one of them opened. */
    if (state == QXXML_PATH_NONE || state != c->entry_state) c->entry = 0;
    c->entry_state = state;
    c->entry_list = row >= c->key_count ? row - c->key_count : -1;
  }
}

void qxxml_on_end_element(void *user_data, const xmlChar *name_text) {
  qxxml_parse_context *c = context_of(user_data);
  if (c->stopped) return;
  if (c->ignored_depth > 0) {
    c->ignored_depth--;
    return;
  }
  /* The closing element took its step from its parent's state when it
   * opened; the memo mostly still holds that step, with the name's length. */
  const int from = c->keyless_depth > 1    ? QXXML_PATH_NONE
                   : c->keyless_depth == 1 ? c->states[c->state_depth - 1]
                   : c->state_depth > 1    ? c->states[c->state_depth - 2]
                                           : QXXML_PATH_NONE;
  const step_memo &step = take_step(c, reinterpret_cast<const char *>(name_text), from);
  const size_t name_length = static_cast<size_t>(step.length);
  if (c->entry_list >= 0 && step.entry) {
    int *count = reinterpret_cast<int *>(static_cast<char *>(c->counts) + qxxml_lists[c->entry_list].count_offset);
    c->entry = ++*count;
  }
  /* libxml2 names the element it closes, which is always the innermost open
   * one, so its name is the path's last component and its state the last
   * one opened. */
  c->path_length -= name_length < c->path_length ? name_length + 1 : c->path_length;
  if (c->keyless_depth > 0)
    c->keyless_depth--;
  else if (c->state_depth > 1)
    c->state_depth--;
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
  const qxxml_key *key = current_key(c);
  if (key) qxxml_store_text(c, key, reinterpret_cast<const char *>(bytes), length);
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
   * is whole all the same. Every key begins with "Root", so the path
   * "Root" always has a state. */
  const bool at_root = c->ignored_depth == 0 && c->keyless_depth == 0 &&
                       c->states[c->state_depth - 1] == qxxml_path_step(c->paths, QXXML_PATH_ROOT, "Root", 4);
  if (error && error->code == XML_ERR_TAG_NAME_MISMATCH && at_root && error->str2 &&
      strcmp(error->str2, prefixed_root_start(c->kind) + 1) == 0)
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
 * zeroes them; fills in the context's view of the kind's tables. The whole
 * record is cleared: what the parse leaves untouched reads as empty, also
 * where a caller wrote into the record since the last parse. */
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
  } else {
    record = reinterpret_cast<void **>(&s.setup);
    counts = reinterpret_cast<void **>(&s.setup_counts);
    record_size = sizeof(qxxml_setup);
    counts_size = sizeof(qxxml_setup_counts);
    c->keys = qxxml_setup_keys;
    c->key_count = QXXML_SETUP_KEY_COUNT;
  }
  c->paths = qxxml_document_paths(c->kind);
  if (!c->paths) return -1;
  if (!*counts) *counts = calloc(1, counts_size);
  if (*counts && !*record) *record = calloc(1, record_size);
  if (!*counts || !*record) return -1;
  memset(*record, 0, record_size);
  memset(*counts, 0, counts_size);
  c->record = *record;
  c->counts = *counts;
  return 0;
}

/* The first place in text[0, length) where pattern lies whole. The search
 * goes by the pattern's ':', a byte that markup rarely holds, where a search
 * by its '<' would stop at every tag; the first ':' that completes a match
 * gives the first match, as the ':' stands at a fixed place in it. */
char *find_prefixed_root(char *text, size_t length, const char *pattern, size_t pattern_length) {
  const size_t colon = static_cast<size_t>(strchr(pattern, ':') - pattern);
  if (length < pattern_length) return nullptr;
  char *const last = text + (length - pattern_length) + colon;
  for (char *at = text + colon; at <= last; at++) {
    at = static_cast<char *>(memchr(at, ':', static_cast<size_t>(last - at) + 1));
    if (!at) return nullptr;
    if (memcmp(at - colon, pattern, pattern_length) == 0) return at - colon;
  }
  return nullptr;
}

}  // namespace

void qxxml_rewrite_prefixed_root(char *text, int length, int kind) {
  if (!text) return;
  const char *pattern = prefixed_root_start(kind);
  const size_t pattern_length = strlen(pattern);
  /* A match must begin before length - pattern_length, so it ends before
   * the last byte. */
  if (length <= static_cast<int>(pattern_length)) return;
  char *start = find_prefixed_root(text, static_cast<size_t>(length) - 1, pattern, pattern_length);
  if (!start) return;
  const char *close = static_cast<const char *>(memchr(start, '>', static_cast<size_t>(text + length - start)));
  if (!close) return;
  memset(start, ' ', static_cast<size_t>(close - start + 1));
  memcpy(start, "<Root>", 6);
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

  if (kind != QXXML_DOC_VALUES && kind != QXXML_DOC_SETUP) return -1;
  /* The states above the first are written before they are read. */
  qxxml_parse_context context;
  context.slot = slot;
  context.kind = kind;
  context.entry = 0;
  context.path_length = 0;
  context.state_depth = 1;
  context.states[0] = QXXML_PATH_ROOT;
  context.state_keys[0] = nullptr;
  context.keyless_depth = 0;
  /* No Entry opened yet: the first one starts its list at 0. */
  context.entry_state = QXXML_PATH_NONE;
  context.entry_list = -1;
  context.ignored_depth = 0;
  context.stopped = 0;
  context.not_well_formed = 0;
  context.error_line = 0;
  for (step_memo &m : context.memo) m.name = nullptr;
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
