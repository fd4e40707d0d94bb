/* Setup update filter: every document posted to a device's /setup.xml
 * passes through it. It leaves out the elements that describe the device's
 * identity, readings and fixed network and user settings, moves each Idx to
 * the front of the element that holds it, adds the XML declaration and folds
 * runs of line feeds. One SAX pass writes the filtered document and collects
 * the Idx texts with the place right after the start tag of the element that
 * holds each; the texts are then set into their places, and the result
 * replaces the text only once all of it succeeded. libxml2 hands over texts
 * with their references resolved, so every text is escaped again as it is
 * written: otherwise an "&amp;" would be posted as a bare "&" and a "&lt;" in
 * a name would become markup. */
#include <libxml/parser.h>
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "common/qx_xml_text.h"
#include "qxxml/qxxml_docmodel_private.h"
#include "qxxml/qxxml_keys_private.h"
#include "qxxml/qxxml_private.h"

namespace {

constexpr int kLibxmlVersion = 20627;
constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
constexpr char kIdxOpening[] = "\n<Idx>";
constexpr char kIdxClosing[] = "</Idx>";

/* Limits of one filtering: at most 999 Idx elements, each with at most 99
 * characters, paths of at most 9999 characters and a result of at most
 * 19999. Passing any of them fails the filter with QX_ERR_BUFFER_FULL: a
 * result with an element or an index left out would post a different setup. */
constexpr int kItemMax = 999;
constexpr int kIdxTextMax = 100;
/* Each level adds at least "_" and one character to the path. */
constexpr int kDepthMax = QXXML_PATH_MAX / 2 + 1;
/* An element that is left out has no place for an Idx. */
constexpr int kNoPlace = -1;

const char *const qxxml_readonly_paths[] = {
    "Root_Agent",
    "Root_BinaryInSet_Entry_Value",
    "Root_BinaryInSet_Entry_State",
    "Root_BinaryOutSet_Entry_Type",
    "Root_SenSet_Entry_Value",
    "Root_SenSet_Entry_Units",
    "Root_SenSet_Entry_State",
    "Root_Network_IPAddr",
    "Root_Network_Submask",
    "Root_Network_Gateway",
    "Root_Network_HTTPport",
    "Root_Network_DHCP",
    "Root_Time_TimeShift",
    "Root_Time_Date",
    "Root_Time_Time",
    "Root_MIBIISysGroup_SysName",
    "Root_User_Entry_Idx",
    "Root_User_Entry_Name",
    "Root_User_Entry_Pswd",
};

/* The read-only paths as a walk of one step per start element, built once
 * at first use; null when memory ran out. */
const qxxml_path_table *readonly_table() {
  static const qxxml_path_table *const table = qxxml_path_table_create(
      qxxml_readonly_paths, static_cast<int>(sizeof qxxml_readonly_paths / sizeof qxxml_readonly_paths[0]));
  return table;
}

/* One Idx element: the element that holds it, by its position among all
 * element starts of the document, where that element's content begins in
 * out, and its text. Pairing by position rather than by path gives every Idx
 * back to its own element, also when an entry before it has no Idx or
 * several. */
struct qxxml_filter_item {
  int element;
  int place; /* offset in out right after the element's start tag, or kNoPlace */
  char text[kIdxTextMax];
};

/* One open element. */
struct qxxml_filter_level {
  int element;        /* its position among the element starts */
  int place;          /* offset in out right after its start tag, or kNoPlace */
  int readonly_state; /* its path's state in the read-only walk */
  int path_length;    /* length of its path, below QXXML_PATH_MAX */
};

struct qxxml_filter_context {
  const qxxml_path_table *readonly;
  int in_idx;        /* 1 while the text of an Idx goes into items[cursor] */
  int removed_depth; /* open levels of a removed element or an Idx; 0 while events are copied */
  int element_count; /* element starts seen */
  int depth;
  qxxml_filter_level levels[kDepthMax]; /* the open elements, outermost first */
  int cursor;                           /* the item being collected */
  int item_count;
  qxxml_filter_item items[kItemMax];
  size_t out_length;
  char out[QXXML_DOC_MAX]; /* the filtered document without its Idx elements */
  size_t merged_length;
  char merged[QXXML_DOC_MAX]; /* out with the Idx elements set into their places */
  int full;                   /* a limit on items, Idx texts or paths was reached: the filter fails */
  int out_full;               /* the result does not fit: the filter fails unless an Idx without text comes first */
  int stopped;                /* libxml2 reported its first error: nothing more is taken */
};

/* The context of this thread, allocated at its first filtering and kept
 * until the thread ends: a context is larger than the allocator hands out
 * without mapping fresh pages, and filters may run on several threads at
 * once. */
qxxml_filter_context *thread_context() {
  static thread_local std::unique_ptr<qxxml_filter_context, decltype(&free)> context(nullptr, &free);
  if (!context) context.reset(static_cast<qxxml_filter_context *>(malloc(sizeof(qxxml_filter_context))));
  return context.get();
}

qxxml_filter_context *context_of(void *user_data) { return static_cast<qxxml_filter_context *>(user_data); }

/* Appends to a buffer of QXXML_DOC_MAX bytes; one that does not fit sets
 * *full and leaves the buffer as it was. */
void append(char *buffer, size_t *length, int *full, const char *text, size_t count) {
  if (*full || *length + count >= QXXML_DOC_MAX) {
    *full = 1;
    return;
  }
  memcpy(buffer + *length, text, count);
  *length += count;
}

/* Appends a text as character data, under the same rule. */
void append_escaped(char *buffer, size_t *length, int *full, const char *text, size_t count) {
  if (*full) return;
  const int room = static_cast<int>(QXXML_DOC_MAX - *length);
  const int written = qx_xml_escape(text, static_cast<int>(count), buffer + *length, room);
  if (written < 0)
    *full = 1;
  else
    *length += static_cast<size_t>(written);
}

void append_out(qxxml_filter_context *c, const char *text, size_t count) {
  append(c->out, &c->out_length, &c->out_full, text, count);
}

void append_tag(qxxml_filter_context *c, const char *opening, const char *name, size_t name_length) {
  append_out(c, opening, strlen(opening));
  append_out(c, name, name_length);
  append_out(c, ">", 1);
}

bool is_idx(const char *name, size_t length) { return length == 3 && memcmp(name, "Idx", 3) == 0; }

void qxxml_filter_on_start(void *user_data, const xmlChar *name_text, const xmlChar **attributes) {
  (void)attributes;
  qxxml_filter_context *c = context_of(user_data);
  if (c->stopped || c->full) return;
  const char *name = reinterpret_cast<const char *>(name_text);
  const size_t name_length = strlen(name);
  const bool idx = is_idx(name, name_length);
  const qxxml_filter_level *parent = c->depth > 0 ? &c->levels[c->depth - 1] : nullptr;
  const size_t parent_length = parent ? static_cast<size_t>(parent->path_length) : 0;
  const size_t separator = parent_length > 0 ? 1 : 0;
  if (parent_length + separator + name_length >= QXXML_PATH_MAX || c->depth >= kDepthMax) {
    c->full = 1;
    return;
  }

  /* Every Idx opens an item for the element that holds it; an Idx that is
   * the document element has no element to move to. */
  if (idx && parent) {
    if (c->item_count >= kItemMax) {
      c->full = 1;
      return;
    }
    c->cursor = c->item_count++;
    c->items[c->cursor].element = parent->element;
    c->items[c->cursor].place = parent->place;
    c->items[c->cursor].text[0] = '\0';
    c->in_idx = 1;
  }

  qxxml_filter_level *level = &c->levels[c->depth++];
  level->element = c->element_count++;
  level->path_length = static_cast<int>(parent_length + separator + name_length);
  level->readonly_state =
      qxxml_path_step(c->readonly, parent ? parent->readonly_state : QXXML_PATH_ROOT, name, name_length);

  /* A removed element takes everything inside it along; the Idx elements
   * are written again at the front of their elements. */
  if (c->removed_depth > 0)
    c->removed_depth++;
  else if (idx || qxxml_path_row(c->readonly, level->readonly_state) >= 0)
    c->removed_depth = 1;
  level->place = kNoPlace;
  if (c->removed_depth == 0) {
    append_tag(c, "<", name, name_length);
    level->place = static_cast<int>(c->out_length);
  }
}

void qxxml_filter_on_end(void *user_data, const xmlChar *name_text) {
  qxxml_filter_context *c = context_of(user_data);
  if (c->stopped || c->full) return;
  const char *name = reinterpret_cast<const char *>(name_text);
  const size_t name_length = strlen(name);
  if (is_idx(name, name_length)) c->in_idx = 0;
  if (c->removed_depth > 0)
    c->removed_depth--;
  else
    append_tag(c, "</", name, name_length);
  /* libxml2 always closes the innermost open element. */
  if (c->depth > 0) c->depth--;
}

void qxxml_filter_on_characters(void *user_data, const xmlChar *bytes, int length) {
  qxxml_filter_context *c = context_of(user_data);
  if (c->stopped || c->full) return;
  const char *text = reinterpret_cast<const char *>(bytes);
  const size_t piece = strnlen(text, static_cast<size_t>(length));
  if (c->in_idx) {
    /* The pieces of one Idx text form one item. */
    char *item_text = c->items[c->cursor].text;
    const size_t current = strlen(item_text);
    if (current + piece >= sizeof c->items[c->cursor].text) {
      c->full = 1;
      return;
    }
    memcpy(item_text + current, text, piece);
    item_text[current + piece] = '\0';
  }
  if (c->removed_depth == 0) append_escaped(c->out, &c->out_length, &c->out_full, text, piece);
}

/* libxml2 2.9 in SAX1 mode goes on reporting text after its first fatal
 * error while element events have stopped; the filter takes nothing after
 * it, so a broken document yields exactly the part before the fault. This
 * error channel is the only member set beyond the three element callbacks;
 * without validation only fatal errors reach it. */
void qxxml_filter_on_error(void *user_data, const char *message, ...) {
  (void)message;
  context_of(user_data)->stopped = 1;
}

/* A positive result (not well-formed) keeps what came before the fault. */
int run_pass(qxxml_filter_context *c, const char *text, int length) {
  c->in_idx = 0;
  c->removed_depth = 0;
  c->element_count = 0;
  c->depth = 0;
  c->cursor = 0;
  c->item_count = 0;
  c->out_length = 0;
  c->full = 0;
  c->out_full = 0;
  c->stopped = 0;
  xmlSAXHandler handler;
  memset(&handler, 0, sizeof handler);
  handler.startElement = qxxml_filter_on_start;
  handler.endElement = qxxml_filter_on_end;
  handler.characters = qxxml_filter_on_characters;
  handler.error = qxxml_filter_on_error;
  return xmlSAXUserParseMemory(&handler, c, text, length) < 0 ? QX_ERR_XML_NOT_VALID : QX_ERR_NONE;
}

/* Sets the Idx elements into out at the front of their elements, giving
 * merged; false when that does not fit. The items are handed out in
 * document order of their elements: an item whose element started before
 * the previous item's was already passed by, and it and every item after it
 * have no place. */
bool merge_items(qxxml_filter_context *c) {
  c->merged_length = 0;
  int full = 0;
  size_t copied = 0;
  for (int i = 0; i < c->item_count && !full; i++) {
    const qxxml_filter_item &item = c->items[i];
    if (i > 0 && item.element < c->items[i - 1].element) break;
    if (item.place == kNoPlace) continue;
    const size_t place = static_cast<size_t>(item.place);
    append(c->merged, &c->merged_length, &full, c->out + copied, place - copied);
    copied = place;
    append(c->merged, &c->merged_length, &full, kIdxOpening, strlen(kIdxOpening));
    append_escaped(c->merged, &c->merged_length, &full, item.text, strlen(item.text));
    append(c->merged, &c->merged_length, &full, kIdxClosing, strlen(kIdxClosing));
  }
  append(c->merged, &c->merged_length, &full, c->out + copied, c->out_length - copied);
  return !full;
}

/* Copies the n bytes of in to out (when out is not null) without every line
 * feed that follows a line feed, the byte before in counting as one; returns
 * the bytes that remain. */
size_t fold_line_feeds(const char *in, size_t n, char *out) {
  size_t kept = 0;
  for (size_t i = 0; i < n;) {
    /* Here the byte before i is a line feed, kept or left out. */
    while (i < n && in[i] == '\n') i++;
    const char *line_feed = static_cast<const char *>(memchr(in + i, '\n', n - i));
    const size_t end = line_feed ? static_cast<size_t>(line_feed - in) + 1 : n;
    if (out) memcpy(out + kept, in + i, end - i);
    kept += end - i;
    i = end;
  }
  return kept;
}

/* Filters text and replaces it by the result; returns 0 or the code of the
 * failure, text then unchanged. */
int filter(char *text, int length, qxxml_filter_context *c) {
  xmlCheckVersion(kLibxmlVersion);
  if (run_pass(c, text, length) != 0) return QX_ERR_XML_NOT_VALID;
  if (c->full) return QX_ERR_BUFFER_FULL;
  /* The last Idx of the document without text: no index to post for the
   * entry that holds it, recorded like a missing pointer. */
  if (c->item_count > 0 && c->items[c->item_count - 1].text[0] == '\0') return QX_ERR_POINTER_NULL;
  if (c->out_full || !merge_items(c)) return QX_ERR_BUFFER_FULL;

  /* The declaration, then merged without the line feeds that follow a line
   * feed, so that no empty line remains. */
  const size_t declaration = strlen(kDeclaration);
  const size_t result = declaration + fold_line_feeds(c->merged, c->merged_length, nullptr);
  if (result >= static_cast<size_t>(length)) return QX_ERR_BUFFER_FULL;
  memcpy(text, kDeclaration, declaration);
  fold_line_feeds(c->merged, c->merged_length, text + declaration);
  memset(text + result, 0, static_cast<size_t>(length) - result);
  return QX_ERR_NONE;
}

}  // namespace

int qxxml_filter_setup_update(int slot, char *text, int length) {
  if (!text) {
    qxxml_set_error(slot, QX_ERR_POINTER_NULL);
    return -1;
  }
  qxxml_filter_context *context = thread_context();
  const qxxml_path_table *readonly = readonly_table();
  if (!context || !readonly) {
    qxxml_set_error(slot, QX_ERR_MEMORY_NOT_FOUND);
    return -1;
  }
  context->readonly = readonly;
  const int code = filter(text, length, context);
  if (code != QX_ERR_NONE) {
    qxxml_set_error(slot, code);
    return -1;
  }
  return 0;
}
