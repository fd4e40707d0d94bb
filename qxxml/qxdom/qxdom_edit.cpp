// Editing operations: new documents and children, texts, attributes, flags,
// detaching.
#include <cstdlib>
#include <cstring>

#include "qxxml/qxdom/qxdom_private.h"

namespace {

bool copies(const qxdom_node *node) { return node->flags & QXDOM_COPY_STRINGS; }

// The string to store for s: a copy when the node copies, else s itself.
char *keep(const qxdom_node *node, const char *s) { return copies(node) ? qxdom_strdup(s) : const_cast<char *>(s); }

char attribute_mark(char name_mark, bool value_allocated) {
  int bits = (name_mark & QXDOM_MARK_NAME_ALLOCATED) | (value_allocated ? QXDOM_MARK_VALUE_ALLOCATED : 0);
  return bits ? static_cast<char>(bits) : ' ';
}

// Replaces node's attribute list by n pairs with their marks; the strings
// move to the new list, the old block is freed. False when memory runs out.
bool replace_attributes(qxdom_node *node, char *const *pairs, const char *marks, size_t n) {
  char **list = qxdom_attributes_build(pairs, marks, n);
  if (!list) return false;
  if (node->attributes != qxdom_empty_attributes) free(node->attributes);
  node->attributes = list;
  return true;
}

void free_pair(char *const *pair, char mark) {
  if (mark & QXDOM_MARK_NAME_ALLOCATED) free(pair[0]);
  if (mark & QXDOM_MARK_VALUE_ALLOCATED) free(pair[1]);
}

qxdom_node *remove_attribute(qxdom_node *node, const char *name) {
  char **old = node->attributes;
  size_t n = qxdom_attribute_count(old);
  const char *old_marks = old[2 * n + 1];
  size_t kept = 0;
  for (size_t i = 0; i < n; i++) kept += strcmp(old[2 * i], name) != 0;
  if (kept == n) return node;
  char **list = qxdom_empty_attributes;
  if (kept) {
    auto *pairs = static_cast<char **>(qxdom_malloc(2 * kept * sizeof(char *)));
    auto *marks = static_cast<char *>(qxdom_malloc(kept));
    if (pairs && marks) {
      for (size_t i = 0, k = 0; i < n; i++) {
        if (strcmp(old[2 * i], name) == 0) continue;
        pairs[2 * k] = old[2 * i];
        pairs[2 * k + 1] = old[2 * i + 1];
        marks[k++] = old_marks[i];
      }
      list = qxdom_attributes_build(pairs, marks, kept);
    } else {
      list = nullptr;
    }
    free(pairs);
    free(marks);
    if (!list) return nullptr;
  }
  // The removed strings go only once the new list exists.
  for (size_t i = 0; i < n; i++) {
    if (strcmp(old[2 * i], name) == 0) free_pair(&old[2 * i], old_marks[i]);
  }
  free(old);
  node->attributes = list;
  return node;
}

qxdom_node *add_attribute(qxdom_node *node, const char *name, const char *value) {
  char **attributes = node->attributes;
  size_t n = qxdom_attribute_count(attributes);
  auto *pairs = static_cast<char **>(qxdom_malloc((2 * n + 2) * sizeof(char *)));
  auto *marks = static_cast<char *>(qxdom_malloc(n + 2));
  char *own_name = keep(node, name);
  char *own_value = own_name ? keep(node, value) : nullptr;
  bool done = false;
  if (pairs && marks && own_value) {
    memcpy(pairs, attributes, 2 * n * sizeof(char *));
    memcpy(marks, attributes[2 * n + 1], n);
    pairs[2 * n] = own_name;
    pairs[2 * n + 1] = own_value;
    marks[n] = copies(node) ? static_cast<char>(QXDOM_MARK_NAME_ALLOCATED | QXDOM_MARK_VALUE_ALLOCATED) : ' ';
    done = replace_attributes(node, pairs, marks, n + 1);
  }
  if (!done && copies(node)) {
    free(own_name);
    free(own_value);
  }
  free(pairs);
  free(marks);
  return done ? node : nullptr;
}

}  // namespace

qxdom_document *qxdom_create(const char *name) {
  if (!name) return nullptr;
  qxdom_doc *doc = qxdom_doc_new();
  if (!doc) return nullptr;
  if (doc->pub.error[0]) {
    qxdom_release(&doc->pub.node);
    return nullptr;
  }
  doc->pub.node.name = const_cast<char *>(name);
  return &doc->pub;
}

qxdom_node *qxdom_insert_child(qxdom_node *parent, const char *name, uint32_t offset) {
  if (!parent || !name) return nullptr;
  char *own = keep(parent, name);
  qxdom_node *node = own ? qxdom_node_new(own) : nullptr;
  if (!node) {
    if (copies(parent)) free(own);
    return nullptr;
  }
  if (copies(parent)) node->flags |= QXDOM_NAME_ALLOCATED | QXDOM_COPY_STRINGS;
  node->text_offset = offset;
  // After the last child whose offset is not greater: equal offsets keep
  // their order of insertion.
  qxdom_node *prev = nullptr;
  for (qxdom_node *c = parent->first_child; c && c->text_offset <= offset; c = c->order_next) prev = c;
  if (prev ? !prev->order_next : !parent->first_child) {
    qxdom_append_child(parent, node, prev);
    return node;
  }
  node->parent = parent;
  if (prev) {
    node->order_next = prev->order_next;
    prev->order_next = node;
  } else {
    node->order_next = parent->first_child;
    parent->first_child = node;
  }
  qxdom_relink_groups(parent);
  return node;
}

qxdom_node *qxdom_replace_text(qxdom_node *node, const char *text) {
  if (!node) return nullptr;
  char *own = keep(node, text ? text : "");
  if (!own) return nullptr;
  if (node->flags & QXDOM_TEXT_ALLOCATED) free(node->text);
  node->text = own;
  if (copies(node))
    node->flags |= QXDOM_TEXT_ALLOCATED;
  else
    node->flags &= static_cast<uint16_t>(~QXDOM_TEXT_ALLOCATED);
  return node;
}

qxdom_node *qxdom_put_attribute(qxdom_node *node, const char *name, const char *value) {
  if (!node || !name) return nullptr;
  if (!value) return remove_attribute(node, name);
  char **attributes = node->attributes;
  size_t n = qxdom_attribute_count(attributes);
  for (size_t i = 0; i < n; i++) {
    if (strcmp(attributes[2 * i], name) != 0) continue;
    char *own = keep(node, value);
    if (!own) return nullptr;
    char *marks = attributes[2 * n + 1];
    if (marks[i] & QXDOM_MARK_VALUE_ALLOCATED) free(attributes[2 * i + 1]);
    attributes[2 * i + 1] = own;
    marks[i] = attribute_mark(marks[i], copies(node));
    return node;
  }
  return add_attribute(node, name, value);
}

qxdom_node *qxdom_mark(qxdom_node *node, uint16_t flags) {
  if (!node) return nullptr;
  // Whether a node heads a document is not the caller's to change.
  node->flags |= static_cast<uint16_t>(flags & ~QXDOM_DOCUMENT);
  return node;
}

qxdom_node *qxdom_detach(qxdom_node *node) {
  if (!node || !node->parent) return node;
  qxdom_node *parent = node->parent;
  if (parent->first_child == node) {
    parent->first_child = node->order_next;
  } else {
    qxdom_node *prev = parent->first_child;
    while (prev->order_next != node) prev = prev->order_next;
    prev->order_next = node->order_next;
  }
  node->parent = nullptr;
  node->order_next = nullptr;
  node->same_next = nullptr;
  node->group_next = nullptr;
  qxdom_relink_groups(parent);
  return node;
}
