/* Setup update filter: every document posted to a device's /setup.xml
 * passes through it. It leaves out the elements that describe the device's
 * identity, readings and fixed network and user settings, moves each Idx to
 * the front of the element that holds it, adds the XML declaration and folds
 * runs of line feeds. Two SAX passes run over the text: the first collects
 * the Idx texts, the second writes the filtered document, which replaces the
 * text only once both passes succeeded. libxml2 hands over texts with their
 * references resolved, so every text is escaped again as it is written:
 * otherwise an "&amp;" would be posted as a bare "&" and a "&lt;" in a name
 * would become markup. */
#include <libxml/parser.h>
#include <stdlib.h>
#include <string.h>

#include "common/qx_xml_text.h"
#include "qxxml/qxxml_docmodel_private.h"
#include "qxxml/qxxml_private.h"

namespace {

constexpr int kLibxmlVersion = 20627;
constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

/* Limits of one filtering: at most 999 Idx elements, each with at most 99
 * characters, paths of at most 9999 characters and a result of at most
 * 19999. Passing any of them fails the filter with QX_ERR_BUFFER_FULL: a
 * result with an element or an index left out would post a different setup. */
constexpr int kItemMax = 999;
constexpr int kIdxTextMax = 100;
/* Each level adds at least "_" and one character to the path. */
constexpr int kDepthMax = QXXML_PATH_MAX / 2 + 1;

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

/* One Idx element: the element that holds it, by its position among all
 * element starts of the document, and its text. Both passes see the same
 * events, so the position names the same element in pass 2. Pairing by
 * position rather than by path gives every Idx back to its own element, also
 * when an entry before it has no Idx or several. */
struct qxxml_filter_item {
  int element;
  char text[kIdxTextMax];
};

struct qxxml_filter_context {
  int pass;          /* 1 collect, 2 write */
  int in_idx;        /* pass 1: 1 while the text of an Idx goes into items[cursor] */
  int removed_depth; /* open levels of a removed element or an Idx; 0 while events are copied */
  int element_count; /* element starts seen in this pass */
  int depth;
  int open_elements[kDepthMax]; /* position of each open element, outermost first */
  size_t path_length;
  char path[QXXML_PATH_MAX];
  int cursor; /* pass 1: the item being collected; pass 2: the next item to place */
  int item_count;
  qxxml_filter_item items[kItemMax];
  size_t out_length;
  char out[QXXML_DOC_MAX];
  int full;    /* a limit above was reached: the filter fails with QX_ERR_BUFFER_FULL */
  int stopped; /* libxml2 reported its first error: nothing more is taken */
};

qxxml_filter_context *context_of(void *user_data) { return static_cast<qxxml_filter_context *>(user_data); }

void append(qxxml_filter_context *c, const char *text, size_t length) {
  if (c->full || c->out_length + length >= sizeof c->out) {
    c->full = 1;
    return;
  }
  memcpy(c->out + c->out_length, text, length);
  c->out_length += length;
}

/* Appends a text as character data; one that does not fit fails the filter. */
void append_escaped(qxxml_filter_context *c, const char *text, size_t length) {
  if (c->full) return;
  const int room = static_cast<int>(sizeof c->out - c->out_length);
  const int written = qx_xml_escape(text, static_cast<int>(length), c->out + c->out_length, room);
  if (written < 0)
    c->full = 1;
  else
    c->out_length += static_cast<size_t>(written);
}

void append_tag(qxxml_filter_context *c, const char *opening, const char *name) {
  append(c, opening, strlen(opening));
  append(c, name, strlen(name));
  append(c, ">", 1);
}

bool is_readonly(const char *path) {
  for (const char *readonly : qxxml_readonly_paths)
    if (strcmp(path, readonly) == 0) return true;
  return false;
}

void qxxml_filter_on_start(void *user_data, const xmlChar *name_text, const xmlChar **attributes) {
  (void)attributes;
  qxxml_filter_context *c = context_of(user_data);
  if (c->stopped || c->full) return;
  const char *name = reinterpret_cast<const char *>(name_text);
  const bool idx = strcmp(name, "Idx") == 0;
  const size_t name_length = strlen(name);
  const size_t separator = c->path_length > 0 ? 1 : 0;
  if (c->path_length + separator + name_length >= sizeof c->path || c->depth >= kDepthMax) {
    c->full = 1;
    return;
  }

  /* Pass 1 opens an item for every Idx; an Idx that is the document element
   * has no element to move to. */
  if (idx && c->pass == 1 && c->depth > 0) {
    if (c->item_count >= kItemMax) {
      c->full = 1;
      return;
    }
    c->cursor = c->item_count++;
    c->items[c->cursor].element = c->open_elements[c->depth - 1];
    c->items[c->cursor].text[0] = '\0';
    c->in_idx = 1;
  }

  const int element = c->element_count++;
  c->open_elements[c->depth++] = element;
  if (separator) c->path[c->path_length++] = '_';
  memcpy(c->path + c->path_length, name, name_length + 1);
  c->path_length += name_length;

  /* A removed element takes everything inside it along; the Idx elements
   * are written again at the front of their elements. */
  if (c->removed_depth > 0)
    c->removed_depth++;
  else if (is_readonly(c->path) || (idx && c->pass == 2))
    c->removed_depth = 1;
  if (c->pass != 2) return;

  /* The Idx items of an element that is left out go with it. */
  const bool written = c->removed_depth == 0;
  if (written) append_tag(c, "<", name);
  for (; c->cursor < c->item_count && c->items[c->cursor].element == element; c->cursor++) {
    if (!written) continue;
    append(c, "\n<Idx>", 6);
    append_escaped(c, c->items[c->cursor].text, strlen(c->items[c->cursor].text));
    append(c, "</Idx>", 6);
  }
}

void qxxml_filter_on_end(void *user_data, const xmlChar *name_text) {
  qxxml_filter_context *c = context_of(user_data);
  if (c->stopped || c->full) return;
  const char *name = reinterpret_cast<const char *>(name_text);
  if (strcmp(name, "Idx") == 0) c->in_idx = 0;
  if (c->removed_depth > 0)
    c->removed_depth--;
  else if (c->pass == 2)
    append_tag(c, "</", name);
  /* libxml2 always closes the innermost open element, so name is the last
   * component of the path. */
  const size_t name_length = strlen(name);
  c->path_length -= name_length < c->path_length ? name_length + 1 : c->path_length;
  c->path[c->path_length] = '\0';
  if (c->depth > 0) c->depth--;
}

void qxxml_filter_on_characters(void *user_data, const xmlChar *bytes, int length) {
  qxxml_filter_context *c = context_of(user_data);
  if (c->stopped || c->full) return;
  const char *text = reinterpret_cast<const char *>(bytes);
  const size_t piece = strnlen(text, static_cast<size_t>(length));
  if (c->pass == 1) {
    if (!c->in_idx) return;
    /* The pieces of one Idx text form one item. */
    char *item_text = c->items[c->cursor].text;
    const size_t current = strlen(item_text);
    if (current + piece >= sizeof c->items[c->cursor].text) {
      c->full = 1;
      return;
    }
    memcpy(item_text + current, text, piece);
    item_text[current + piece] = '\0';
  } else if (c->removed_depth == 0) {
    append_escaped(c, text, piece);
  }
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

int run_pass(qxxml_filter_context *c, int pass, const char *text, int length) {
  c->pass = pass;
  c->in_idx = 0;
  c->removed_depth = 0;
  c->element_count = 0;
  c->depth = 0;
  c->path_length = 0;
  c->path[0] = '\0';
  c->cursor = 0;
  c->stopped = 0;
  xmlSAXHandler handler;
  memset(&handler, 0, sizeof handler);
  handler.startElement = qxxml_filter_on_start;
  handler.endElement = qxxml_filter_on_end;
  handler.characters = qxxml_filter_on_characters;
  handler.error = qxxml_filter_on_error;
  /* A positive result (not well-formed) keeps what came before the fault. */
  return xmlSAXUserParseMemory(&handler, c, text, length) < 0 ? QX_ERR_XML_NOT_VALID : QX_ERR_NONE;
}

/* Runs both passes and replaces text by the result; returns 0 or the code
 * of the failure, text then unchanged. */
int filter(char *text, int length, qxxml_filter_context *c) {
  xmlCheckVersion(kLibxmlVersion);
  for (int pass = 1; pass <= 2; pass++) {
    if (run_pass(c, pass, text, length) != 0) return QX_ERR_XML_NOT_VALID;
    if (c->full) return QX_ERR_BUFFER_FULL;
    /* The last Idx of the document without text: no index to post for the
     * entry that holds it, recorded like a missing pointer. */
    if (pass == 1 && c->item_count > 0 && c->items[c->item_count - 1].text[0] == '\0') return QX_ERR_POINTER_NULL;
  }

  /* The declaration, then out with every line feed that follows a line feed
   * left out, so that no empty line remains. */
  const size_t declaration = strlen(kDeclaration);
  size_t result = declaration;
  for (size_t i = 0; i < c->out_length; i++)
    if (c->out[i] != '\n' || (i == 0 ? kDeclaration[declaration - 1] : c->out[i - 1]) != '\n') result++;
  if (result >= static_cast<size_t>(length)) return QX_ERR_BUFFER_FULL;

  memset(text, 0, static_cast<size_t>(length));
  memcpy(text, kDeclaration, declaration);
  char *p = text + declaration;
  for (size_t i = 0; i < c->out_length; i++)
    if (c->out[i] != '\n' || p[-1] != '\n') *p++ = c->out[i];
  return QX_ERR_NONE;
}

}  // namespace

int qxxml_filter_setup_update(int slot, char *text, int length) {
  if (!text) {
    qxxml_set_error(slot, QX_ERR_POINTER_NULL);
    return -1;
  }
  qxxml_filter_context *context = static_cast<qxxml_filter_context *>(calloc(1, sizeof(qxxml_filter_context)));
  if (!context) {
    qxxml_set_error(slot, QX_ERR_MEMORY_NOT_FOUND);
    return -1;
  }
  const int code = filter(text, length, context);
  free(context);
  if (code != QX_ERR_NONE) {
    qxxml_set_error(slot, code);
    return -1;
  }
  return 0;
}
