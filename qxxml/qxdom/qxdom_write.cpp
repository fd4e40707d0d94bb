// The serializer: a node and its descendants back to XML text.
#include <cstdlib>
#include <cstring>

#include "qxxml/qxdom/qxdom_private.h"

namespace {

struct output {
  char *data;
  size_t length;
  size_t cap;
  bool failed;
};

void put(output &out, const char *s, size_t n) {
  if (out.failed) return;
  if (out.length + n + 1 > out.cap) {
    size_t cap = out.cap ? out.cap : 1024;
    while (cap < out.length + n + 1) {
      if (cap > SIZE_MAX / 2) {
        out.failed = true;
        return;
      }
      cap *= 2;
    }
    char *grown = static_cast<char *>(qxdom_realloc(out.data, cap));
    if (!grown) {
      out.failed = true;
      return;
    }
    out.data = grown;
    out.cap = cap;
  }
  memcpy(out.data + out.length, s, n);
  out.length += n;
  out.data[out.length] = '\0';
}

void put(output &out, const char *s) { put(out, s, strlen(s)); }

// Element text keeps quotes, line feeds and tabs; attribute values escape
// them too, so that a parse gives the same value back.
const char *escape(char c, bool attribute) {
  switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '\r': return "&#xD;";
    case '"': return attribute ? "&quot;" : nullptr;
    case '\n': return attribute ? "&#xA;" : nullptr;
    case '\t': return attribute ? "&#x9;" : nullptr;
    default: return nullptr;
  }
}

void put_escaped(output &out, const char *s, size_t n, bool attribute) {
  size_t plain = 0;
  for (size_t i = 0; i < n; i++) {
    const char *replacement = escape(s[i], attribute);
    if (!replacement) continue;
    put(out, s + plain, i - plain);
    put(out, replacement);
    plain = i + 1;
  }
  put(out, s + plain, n - plain);
}

void put_attribute(output &out, const char *name, const char *value) {
  put(out, " ");
  put(out, name);
  put(out, "=\"");
  put_escaped(out, value, strlen(value), true);
  put(out, "\"");
}

// The stretch [from, to) of node's text, both clipped to its length (an
// edited text may be shorter than the offsets of the children).
void put_text(output &out, const qxdom_node *node, size_t from, size_t to) {
  size_t length = strlen(node->text);
  if (to > length) to = length;
  if (from < to) put_escaped(out, node->text + from, to - from, false);
}

// The first of node's own attributes called name, which is the one that
// counts; null when node has none.
char *const *own_attribute(const qxdom_node *node, const char *name) {
  for (char *const *pair = node->attributes; pair[0]; pair += 2) {
    if (strcmp(pair[0], name) == 0) return pair;
  }
  return nullptr;
}

// A declared attribute name holding '=' or '/' could never be read back
// from a tag, so its default is not written.
bool readable_attribute_name(const char *name) { return !strpbrk(name, "=/"); }

// Writes the start tag and the text before the first child. Of repeated
// names only the attribute that counts is written, and a declared default
// only where the element does not set its own value.
void put_start(output &out, const qxdom_doc *doc, const qxdom_node *node) {
  put(out, "<");
  put(out, node->name);
  for (char *const *pair = node->attributes; pair[0]; pair += 2) {
    if (own_attribute(node, pair[0]) == pair) put_attribute(out, pair[0], pair[1]);
  }
  qxdom_list *defaults = doc ? qxdom_set_list(const_cast<qxdom_set *>(&doc->defaults), node->name, false) : nullptr;
  for (size_t i = 1; defaults && i + 2 < defaults->used; i += 3) {
    char *const *triple = &defaults->items[i];
    if (triple[1] && readable_attribute_name(triple[0]) && !own_attribute(node, triple[0]) &&
        qxdom_find_default(doc, node->name, triple[0]) == triple) {
      put_attribute(out, triple[0], triple[1]);
    }
  }
  put(out, ">");
  put_text(out, node, 0, node->first_child ? node->first_child->text_offset : SIZE_MAX);
}

void put_end(output &out, const qxdom_node *node) {
  put(out, "</");
  put(out, node->name);
  put(out, ">");
}

// Iterative, so that nesting depth cannot exhaust the stack.
void put_element(output &out, const qxdom_doc *doc, const qxdom_node *top) {
  put_start(out, doc, top);
  const qxdom_node *node = top->first_child;
  while (node) {
    put_start(out, doc, node);
    if (node->first_child) {
      node = node->first_child;
      continue;
    }
    // Close node and every ancestor it was the last child of.
    for (;;) {
      put_end(out, node);
      const qxdom_node *parent = node->parent;
      const qxdom_node *next = node->order_next;
      put_text(out, parent, node->text_offset, next ? next->text_offset : SIZE_MAX);
      if (next) {
        node = next;
        break;
      }
      node = parent;
      if (node == top) {
        node = nullptr;
        break;
      }
    }
  }
  put_end(out, top);
}

void put_instructions(output &out, const qxdom_doc *doc, char when) {
  for (size_t l = 0; l < doc->instructions.count; l++) {
    const qxdom_list *list = &doc->instructions.lists[l];
    for (size_t i = 0; i + 1 < list->used; i++) {
      if (list->marks[i] != when) continue;
      const char *text = list->items[i + 1];
      if (when == '>') put(out, "\n");
      put(out, "<?");
      put(out, list->items[0]);
      if (*text) put(out, " ");
      put(out, text);
      put(out, "?>");
      if (when == '<') put(out, "\n");
    }
  }
}

}  // namespace

char *qxdom_serialize(const qxdom_node *node) {
  output out{nullptr, 0, 0, false};
  put(out, "", 0);
  if (!node) return out.data;
  const qxdom_doc *doc = qxdom_doc_of(node);
  bool whole = node->flags & QXDOM_DOCUMENT;
  if (whole) put_instructions(out, doc, '<');
  if (node->name) put_element(out, doc, node);
  if (whole) put_instructions(out, doc, '>');
  if (!out.failed) return out.data;
  free(out.data);
  return nullptr;
}
