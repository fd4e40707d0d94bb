// Documents and nodes: creation, the child chains, look-ups, errors and release.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "qxxml/qxdom/qxdom_private.h"

namespace {

// Stored as character references that are decoded again after substitution,
// so that "&amp;lt;" gives the four characters "&lt;", not "<".
char lt_name[] = "lt", lt_value[] = "&#60;";
char gt_name[] = "gt", gt_value[] = "&#62;";
char quot_name[] = "quot", quot_value[] = "&#34;";
char apos_name[] = "apos", apos_value[] = "&#39;";
char amp_name[] = "amp", amp_value[] = "&#38;";
char *const predefined[2 * QXDOM_PREDEFINED_ENTITIES] = {lt_name,    lt_value,  gt_name,    gt_value, quot_name,
                                                         quot_value, apos_name, apos_value, amp_name, amp_value};

char **empty_set[1] = {nullptr};
char *no_texts[1] = {nullptr};

const char *const messages[QXDOM_MESSAGE_COUNT] = {
    "root tag missing",
    "markup outside of root element",
    "missing %c",
    "missing >",
    "unexpected closing tag </%s>",
    "unclosed <!--",
    "unclosed <![CDATA[",
    "unclosed <!DOCTYPE",
    "unclosed <?",
    "unexpected <",
    "unclosed tag <%s>",
    "circular entity declaration &%s",
    "unclosed <!ATTLIST",
    "malformed <!ATTLIST",
    "out of memory",
    "document too large",
    "entity expansion too large",
    "entity nesting too deep",
};

bool same_name(const qxdom_node *a, const qxdom_node *b) {
  return strcmp(a->name ? a->name : "", b->name ? b->name : "") == 0;
}

// Links node, which follows prev in document order, into the name groups.
// prev is the latest child before node, so when it has node's name it is the
// tail of that name's chain (the common case of repeated elements).
void link_name(qxdom_node *parent, qxdom_node *node, qxdom_node *prev) {
  if (same_name(prev, node)) {
    prev->same_next = node;
    return;
  }
  qxdom_node *head = parent->first_child;
  for (;;) {
    if (same_name(head, node)) {
      while (head->same_next) head = head->same_next;
      head->same_next = node;
      return;
    }
    if (!head->group_next) break;
    head = head->group_next;
  }
  head->group_next = node;
}

void free_node_contents(qxdom_node *node) {
  char **attributes = node->attributes;
  if (attributes && attributes != qxdom_empty_attributes) {
    size_t n = qxdom_attribute_count(attributes);
    const char *marks = attributes[2 * n + 1];
    for (size_t i = 0; i < n; i++) {
      if (marks[i] & QXDOM_MARK_NAME_ALLOCATED) free(attributes[2 * i]);
      if (marks[i] & QXDOM_MARK_VALUE_ALLOCATED) free(attributes[2 * i + 1]);
    }
    free(attributes);
  }
  if (node->flags & QXDOM_TEXT_ALLOCATED) free(node->text);
  if (node->flags & QXDOM_NAME_ALLOCATED) free(node->name);
}

void free_document_lists(qxdom_doc *doc) {
  qxdom_list *entities = &doc->entities;
  for (size_t i = QXDOM_PREDEFINED_ENTITIES; i < entities->marks_used; i++) {
    if (entities->marks[i] & QXDOM_MARK_VALUE_ALLOCATED) free(entities->items[2 * i + 1]);
  }
  qxdom_list_free(entities);
  for (size_t l = 0; l < doc->defaults.count; l++) {
    const qxdom_list *list = &doc->defaults.lists[l];
    for (size_t i = 0; i < list->marks_used; i++) {
      if (list->marks[i] & QXDOM_MARK_VALUE_ALLOCATED) free(list->items[1 + 3 * i + 1]);
    }
  }
  qxdom_set_free(&doc->defaults);
  qxdom_set_free(&doc->instructions);
}

}  // namespace

void qxdom_doc_publish(qxdom_doc *doc) {
  doc->pub.entities = doc->entities.items ? doc->entities.items : no_texts;
  doc->pub.attribute_defaults = doc->defaults.view ? doc->defaults.view : empty_set;
  doc->pub.instructions = doc->instructions.view ? doc->instructions.view : empty_set;
}

qxdom_doc *qxdom_doc_new(void) {
  qxdom_doc *doc = static_cast<qxdom_doc *>(qxdom_malloc(sizeof(qxdom_doc)));
  if (!doc) return nullptr;
  memset(doc, 0, sizeof *doc);
  qxdom_node *node = &doc->pub.node;
  node->attributes = qxdom_empty_attributes;
  node->text = qxdom_empty_text;
  node->flags = QXDOM_DOCUMENT;
  doc->pub.current = node;
  for (size_t i = 0; i < QXDOM_PREDEFINED_ENTITIES; i++) {
    if (!qxdom_list_append(&doc->entities, &predefined[2 * i], 2, ' ')) {
      qxdom_set_error(doc, QXDOM_OUT_OF_MEMORY, 1);
      break;
    }
  }
  qxdom_doc_publish(doc);
  return doc;
}

qxdom_doc *qxdom_doc_of(const qxdom_node *node) {
  if (!node) return nullptr;
  while (node->parent) node = node->parent;
  if (!(node->flags & QXDOM_DOCUMENT)) return nullptr;
  return reinterpret_cast<qxdom_doc *>(const_cast<qxdom_node *>(node));
}

qxdom_node *qxdom_node_new(char *name) {
  qxdom_node *node = static_cast<qxdom_node *>(qxdom_malloc(sizeof(qxdom_node)));
  if (!node) return nullptr;
  memset(node, 0, sizeof *node);
  node->name = name;
  node->attributes = qxdom_empty_attributes;
  node->text = qxdom_empty_text;
  return node;
}

void qxdom_free_subtree(qxdom_node *top) {
  // Iterative, depth first: a descent cuts the first_child link it follows,
  // so that on the way back up each parent is freed once its children are.
  // No recursion, so any nesting depth is safe.
  qxdom_node *node = top->first_child;
  top->first_child = nullptr;
  while (node) {
    if (node->first_child) {
      qxdom_node *child = node->first_child;
      node->first_child = nullptr;
      node = child;
      continue;
    }
    qxdom_node *next = node->order_next ? node->order_next : node->parent;
    if (next == top) next = nullptr;
    free_node_contents(node);
    free(node);
    node = next;
  }
  free_node_contents(top);
}

void qxdom_append_child(qxdom_node *parent, qxdom_node *node, qxdom_node *prev) {
  node->parent = parent;
  if (!prev) {
    parent->first_child = node;
    return;
  }
  prev->order_next = node;
  link_name(parent, node, prev);
}

void qxdom_relink_groups(qxdom_node *parent) {
  for (qxdom_node *child = parent->first_child; child; child = child->order_next) {
    child->same_next = nullptr;
    child->group_next = nullptr;
  }
  qxdom_node *prev = parent->first_child;
  if (!prev) return;
  for (qxdom_node *child = prev->order_next; child; prev = child, child = child->order_next) {
    link_name(parent, child, prev);
  }
}

char **qxdom_find_default(const qxdom_doc *doc, const char *element, const char *attribute) {
  qxdom_list *list = qxdom_set_list(const_cast<qxdom_set *>(&doc->defaults), element, false);
  if (!list) return nullptr;
  for (size_t i = 1; i + 2 < list->used; i += 3) {
    if (strcmp(list->items[i], attribute) == 0) return &list->items[i];
  }
  return nullptr;
}

void qxdom_set_error(qxdom_doc *doc, qxdom_message message, int line, ...) {
  va_list args;
  va_start(args, line);
  qxdom_set_error_v(doc, message, line, args);
  va_end(args);
}

void qxdom_set_error_v(qxdom_doc *doc, qxdom_message message, int line, va_list args) {
  if (doc->pub.error[0]) return;
  char text[QXDOM_ERROR_MAX];
  vsnprintf(text, sizeof text, messages[message], args);
  // Both steps are cut at the field's size; a long name only loses its tail.
  char *error = doc->pub.error;
  int prefix = snprintf(error, QXDOM_ERROR_MAX, "[error near line %d]: ", line);
  size_t used = prefix < 0 ? 0 : static_cast<size_t>(prefix);
  if (used >= QXDOM_ERROR_MAX) return;
  size_t n = strnlen(text, QXDOM_ERROR_MAX - 1 - used);
  memcpy(error + used, text, n);
  error[used + n] = '\0';
}

void qxdom_release(qxdom_node *node) {
  if (!node) return;
  if (!(node->flags & QXDOM_DOCUMENT)) {
    if (node->parent) qxdom_detach(node);
    qxdom_free_subtree(node);
    free(node);
    return;
  }
  qxdom_doc *doc = reinterpret_cast<qxdom_doc *>(node);
  qxdom_free_subtree(node);
  free_document_lists(doc);
  if (doc->pub.buffer_owned) free(doc->pub.buffer);
  free(doc->pub.converted);
  free(doc);
}

qxdom_node *qxdom_find_child(const qxdom_node *node, const char *name) {
  if (!node || !name) return nullptr;
  for (qxdom_node *child = node->first_child; child; child = child->group_next) {
    if (child->name && strcmp(child->name, name) == 0) return child;
  }
  return nullptr;
}

qxdom_node *qxdom_same_name_at(const qxdom_node *node, int n) {
  if (n < 0) return nullptr;
  while (node && n-- > 0) node = node->same_next;
  return const_cast<qxdom_node *>(node);
}

qxdom_node *qxdom_follow_path(const qxdom_node *node, ...) {
  va_list args;
  va_start(args, node);
  for (;;) {
    const char *name = va_arg(args, const char *);
    if (!name || !*name) break;
    int index = va_arg(args, int);
    node = qxdom_same_name_at(qxdom_find_child(node, name), index);
  }
  va_end(args);
  return const_cast<qxdom_node *>(node);
}

const char *qxdom_attribute(const qxdom_node *node, const char *name) {
  if (!node || !name) return nullptr;
  for (char *const *pair = node->attributes; pair[0]; pair += 2) {
    if (strcmp(pair[0], name) == 0) return pair[1];
  }
  qxdom_doc *doc = qxdom_doc_of(node);
  if (!doc || !node->name) return nullptr;
  char **triple = qxdom_find_default(doc, node->name, name);
  return triple ? triple[1] : nullptr;
}

char **qxdom_instructions(const qxdom_document *document, const char *target) {
  if (!document || !target) return no_texts;
  const qxdom_doc *doc = reinterpret_cast<const qxdom_doc *>(document);
  qxdom_list *list = qxdom_set_list(const_cast<qxdom_set *>(&doc->instructions), target, false);
  return list ? list->items + 1 : no_texts;
}

const char *qxdom_error_text(const qxdom_node *node) {
  qxdom_doc *doc = qxdom_doc_of(node);
  return doc ? doc->pub.error : "";
}
