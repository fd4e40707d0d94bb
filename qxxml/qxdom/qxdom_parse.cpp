// The parse: the main loop over markup, tags with their attributes,
// character data, CDATA sections, comments and processing instructions.
//
// Every scan stops at a zero byte. The parse overwrites the text's last byte
// with one before it starts, so no scan can run past the text, and a zero
// inside the input simply ends it early.
#include <cstdlib>
#include <cstring>

#include "qxxml/qxdom/qxdom_private.h"

namespace {

bool is_name_start(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' || u == ':' || u >= 0x80;
}

bool push_frame(qxdom_parser *p, qxdom_node *node) {
  if (p->depth == p->frames_cap) {
    size_t cap = p->frames_cap ? 2 * p->frames_cap : 16;
    auto *grown = static_cast<qxdom_frame *>(qxdom_realloc(p->frames, cap * sizeof(qxdom_frame)));
    if (!grown) return false;
    p->frames = grown;
    p->frames_cap = cap;
  }
  p->frames[p->depth++] = qxdom_frame{node, 0, 0, nullptr};
  return true;
}

void free_if_allocated(const qxdom_text &text) {
  if (text.allocated) free(text.str);
}

// Joins a decoded piece to the text of the element being filled. The first
// piece stays where it is; a second one makes the text allocated, and it
// then grows by doubling.
bool join_text(qxdom_parser *p, const qxdom_text &piece, const char *at) {
  qxdom_frame *frame = &p->frames[p->depth - 1];
  qxdom_node *node = frame->node;
  if (!piece.length) {
    free_if_allocated(piece);
    return true;
  }
  if (!frame->text_length && !(node->flags & QXDOM_TEXT_ALLOCATED)) {
    node->text = piece.str;
    frame->text_length = piece.length;
    if (piece.allocated) {
      node->flags |= QXDOM_TEXT_ALLOCATED;
      frame->text_cap = piece.cap;
    }
    return true;
  }
  size_t total = frame->text_length + piece.length;
  if (total + 1 > frame->text_cap) {
    size_t cap = 2 * (total + 1);
    char *grown;
    if (node->flags & QXDOM_TEXT_ALLOCATED) {
      grown = static_cast<char *>(qxdom_realloc(node->text, cap));
    } else {
      grown = static_cast<char *>(qxdom_malloc(cap));
      if (grown) memcpy(grown, node->text, frame->text_length);
    }
    if (!grown) {
      free_if_allocated(piece);
      qxdom_fail(p, QXDOM_OUT_OF_MEMORY, at);
      return false;
    }
    node->text = grown;
    node->flags |= QXDOM_TEXT_ALLOCATED;
    frame->text_cap = cap;
  }
  memcpy(node->text + frame->text_length, piece.str, piece.length);
  node->text[total] = '\0';
  frame->text_length = total;
  free_if_allocated(piece);
  return true;
}

// Character data counts only inside the document element.
bool add_text(qxdom_parser *p, char *s, char type) {
  if (!p->depth) return true;
  qxdom_text piece;
  return qxdom_decode(p, s, type, &piece) && join_text(p, piece, s);
}

qxdom_node *open_element(qxdom_parser *p, char *name, const char *at) {
  qxdom_doc *doc = p->doc;
  qxdom_node *node = &doc->pub.node;
  if (!node->name) {
    node->name = name;  // the first element is the document itself
  } else {
    qxdom_frame *frame = &p->frames[p->depth - 1];
    node = qxdom_node_new(name);
    if (!node) {
      qxdom_fail(p, QXDOM_OUT_OF_MEMORY, at);
      return nullptr;
    }
    node->text_offset = static_cast<uint32_t>(frame->text_length);
    qxdom_append_child(frame->node, node, frame->last_child);
    frame->last_child = node;
  }
  if (!push_frame(p, node)) {
    qxdom_fail(p, QXDOM_OUT_OF_MEMORY, at);
    return nullptr;
  }
  doc->pub.current = node;
  return node;
}

void close_element(qxdom_parser *p) {
  p->depth--;
  p->doc->pub.current = p->depth ? p->frames[p->depth - 1].node : nullptr;
}

char attribute_type(const qxdom_parser *p, const char *element, const char *attribute) {
  char **declared = qxdom_find_default(p->doc, element, attribute);
  return declared && declared[2][0] == '*' ? QXDOM_DECODE_TOKEN_ATTR : QXDOM_DECODE_CDATA_ATTR;
}

bool add_pending(qxdom_parser *p, char *name, const qxdom_text &value, const char *at) {
  char *pair[2] = {name, value.str};
  if (qxdom_list_append(&p->pending, pair, 2, value.allocated ? QXDOM_MARK_VALUE_ALLOCATED : ' ')) return true;
  free_if_allocated(value);
  qxdom_fail(p, QXDOM_OUT_OF_MEMORY, at);
  return false;
}

// Gives the attributes read so far to node, also after an error, so that
// they are released with the tree.
bool attach_attributes(qxdom_parser *p, qxdom_node *node, const char *at) {
  size_t n = p->pending.used / 2;
  if (!n) return true;
  char **list = qxdom_attributes_build(p->pending.items, p->pending.marks, n);
  if (list) node->attributes = list;
  if (!list) {
    for (size_t i = 0; i < n; i++) {
      if (p->pending.marks[i] & QXDOM_MARK_VALUE_ALLOCATED) free(p->pending.items[2 * i + 1]);
    }
    qxdom_fail(p, QXDOM_OUT_OF_MEMORY, at);
  }
  p->pending.used = 0;
  p->pending.marks_used = 0;
  return list != nullptr;
}

// Reads attributes up to the end of the tag; *delimiter is then the '/' or
// '>' that ended it (s after it), or 0 when the text ended.
bool read_attributes(qxdom_parser *p, qxdom_node *node, char **cursor, char *delimiter) {
  char *s = *cursor;
  for (;;) {
    char c = *s;
    if (!c || c == '/' || c == '>') {
      if (c) s++;
      *delimiter = c;
      break;
    }
    char *name = s;
    s += strcspn(s, QXDOM_SPACES "=/>");
    char after = *s;
    qxdom_text value{qxdom_empty_text, 0, 0, false};
    if (!after || after == '/' || after == '>') {
      // A bare name that ends the tag.
      if (after) *s++ = '\0';
      *delimiter = after;
      *cursor = s;
      return add_pending(p, name, value, name);
    }
    *s++ = '\0';
    while (qxdom_is_space(*s) || *s == '=') s++;
    if (*s == '"' || *s == '\'') {
      const char quote[] = {*s, '\0'};
      char *start = ++s;
      s += strcspn(s, quote);
      if (*s != quote[0]) {
        qxdom_fail(p, QXDOM_MISSING_QUOTE, start - 1, quote[0]);
        return false;
      }
      *s++ = '\0';
      if (!qxdom_decode(p, start, attribute_type(p, node->name, name), &value)) return false;
    }
    // Without a quote the value is empty and the word is the next name.
    if (!add_pending(p, name, value, name)) return false;
    s = qxdom_skip_space(s);
  }
  *cursor = s;
  return true;
}

char *parse_start_tag(qxdom_parser *p, char *s) {
  char *lt = s - 1;
  if (!p->doc->pub.current) return qxdom_fail(p, QXDOM_OUTSIDE_ROOT, lt);
  char *name = s;
  s += strcspn(s, QXDOM_SPACES "/>");
  char delimiter = *s;
  if (delimiter) *s++ = '\0';
  qxdom_node *node = open_element(p, name, lt);
  if (!node) return nullptr;
  if (qxdom_is_space(delimiter)) {
    s = qxdom_skip_space(s);
    bool read = read_attributes(p, node, &s, &delimiter);
    bool attached = attach_attributes(p, node, lt);
    if (!read || !attached) return nullptr;
  }
  if (!delimiter && qxdom_closes_at(p, s)) delimiter = '>';
  if (delimiter == '>') return s;
  if (delimiter == '/' && qxdom_closes_at(p, s)) {
    close_element(p);
    return qxdom_after_gt(s);
  }
  return qxdom_fail(p, QXDOM_MISSING_GT, lt);
}

char *parse_end_tag(qxdom_parser *p, char *s) {
  char *lt = s - 1;
  char *name = ++s;
  s += strcspn(s, QXDOM_SPACES ">");
  char *name_end = s;
  s = qxdom_skip_space(s);
  if (!qxdom_closes_at(p, s)) return qxdom_fail(p, QXDOM_MISSING_GT, lt);
  char *next = qxdom_after_gt(s);
  *name_end = '\0';
  if (!p->depth || strcmp(p->doc->pub.current->name, name) != 0) {
    return qxdom_fail(p, QXDOM_UNEXPECTED_CLOSE, lt, name);
  }
  close_element(p);
  return next;
}

char *parse_cdata(qxdom_parser *p, char *s) {
  char *content = s + 8;
  for (char *q = content; (q = strstr(q, "]]")); q++) {
    if (qxdom_closes_at(p, q + 2)) {
      char *next = qxdom_after_gt(q + 2);
      *q = '\0';
      return add_text(p, content, QXDOM_DECODE_CDATA) ? next : nullptr;
    }
  }
  return qxdom_fail(p, QXDOM_UNCLOSED_CDATA, s - 1);
}

void run(qxdom_parser *p) {
  char *s = strchr(p->start, '<');
  if (!s) {
    qxdom_fail(p, QXDOM_ROOT_MISSING, p->end);
    return;
  }
  for (;;) {
    s++;
    if (is_name_start(*s))
      s = parse_start_tag(p, s);
    else if (*s == '/')
      s = parse_end_tag(p, s);
    else if (strncmp(s, "!--", 3) == 0)
      s = qxdom_skip_comment(p, s);
    else if (strncmp(s, "![CDATA[", 8) == 0)
      s = parse_cdata(p, s);
    else if (strncmp(s, "!DOCTYPE", 8) == 0)
      s = qxdom_parse_doctype(p, s);
    else if (*s == '?')
      s = qxdom_parse_instruction(p, s, true);
    else
      s = qxdom_fail(p, QXDOM_UNEXPECTED_LT, s - 1);
    if (!s) return;
    char *text = s;
    s += strcspn(s, "<");
    bool more = *s == '<';
    *s = '\0';
    if (!add_text(p, text, QXDOM_DECODE_TEXT)) return;
    if (!more) break;
  }
  if (!p->doc->pub.node.name)
    qxdom_fail(p, QXDOM_ROOT_MISSING, s);
  else if (p->depth)
    qxdom_fail(p, QXDOM_UNCLOSED_TAG, s, p->doc->pub.current->name);
}

// Notes where the text holds line feeds, for the line numbers of errors.
unsigned char *map_line_feeds(const char *text, size_t length) {
  auto *map = static_cast<unsigned char *>(qxdom_malloc(length / 8 + 1));
  if (!map) return nullptr;
  memset(map, 0, length / 8 + 1);
  for (const char *p = text; (p = static_cast<const char *>(memchr(p, '\n', length - (p - text)))); p++) {
    size_t i = static_cast<size_t>(p - text);
    map[i / 8] |= static_cast<unsigned char>(1u << (i % 8));
  }
  return map;
}

void free_parser(qxdom_parser *p) {
  free(p->line_feeds);
  free(p->frames);
  qxdom_list_free(&p->pending);
  for (size_t i = 0; i < p->parameters.marks_used; i++) {
    if (p->parameters.marks[i] & QXDOM_MARK_VALUE_ALLOCATED) free(p->parameters.items[2 * i + 1]);
  }
  qxdom_list_free(&p->parameters);
}

}  // namespace

char *qxdom_skip_space(char *p) {
  while (qxdom_is_space(*p)) p++;
  return p;
}

bool qxdom_closes_at(const qxdom_parser *parser, const char *p) {
  return *p == '>' || (p == parser->end && parser->last == '>');
}

char *qxdom_after_gt(char *p) { return *p == '>' ? p + 1 : p; }

char *qxdom_fail(qxdom_parser *parser, qxdom_message message, const char *at, ...) {
  // The parse zeroes delimiters and decodes texts in place, so line feeds
  // are counted in the bitmap taken before it started.
  int line = 1;
  size_t offset = at > parser->start ? static_cast<size_t>(at - parser->start) : 0;
  size_t length = static_cast<size_t>(parser->end - parser->start) + 1;
  if (offset > length) offset = length;
  for (size_t i = 0; i < offset; i++) line += (parser->line_feeds[i / 8] >> (i % 8)) & 1;
  va_list args;
  va_start(args, at);
  qxdom_set_error_v(parser->doc, message, line, args);
  va_end(args);
  return nullptr;
}

char *qxdom_skip_comment(qxdom_parser *parser, char *s) {
  char *q = strstr(s + 3, "--");
  if (q && qxdom_closes_at(parser, q + 2)) return qxdom_after_gt(q + 2);
  return qxdom_fail(parser, QXDOM_UNCLOSED_COMMENT, s - 1);
}

char *qxdom_parse_instruction(qxdom_parser *parser, char *s, bool process) {
  qxdom_doc *doc = parser->doc;
  for (char *q = s + 1; (q = strchr(q, '?')); q++) {
    if (!qxdom_closes_at(parser, q + 1)) continue;
    char *next = qxdom_after_gt(q + 1);
    *q = '\0';
    if (!process) return next;
    char *target = s + 1;
    char *text = target;
    while (*text && !qxdom_is_space(*text)) text++;
    if (*text) {
      *text++ = '\0';
      text = qxdom_skip_space(text);
    }
    if (strcmp(target, "xml") == 0) {
      // Of the XML declaration only standalone="yes" matters.
      const char *flag = strstr(text, "standalone");
      if (flag) {
        flag += strlen("standalone");
        while (*flag && strchr(" \t\r\n=\"'", *flag)) flag++;
        if (strncmp(flag, "yes", 3) == 0) doc->pub.standalone = 1;
      }
      return next;
    }
    qxdom_list *list = qxdom_set_list(&doc->instructions, target, true);
    char mark = doc->pub.node.name ? '>' : '<';
    if (!list || !qxdom_list_append(list, &text, 1, mark)) return qxdom_fail(parser, QXDOM_OUT_OF_MEMORY, s - 1);
    qxdom_set_sync(&doc->instructions, list);
    qxdom_doc_publish(doc);
    return next;
  }
  return qxdom_fail(parser, QXDOM_UNCLOSED_PI, s - 1);
}

void qxdom_parse_into(qxdom_doc *doc, char *buffer, size_t length) {
  doc->pub.buffer = buffer;
  if (doc->pub.error[0]) return;
  if (!buffer || !length) {
    qxdom_set_error(doc, QXDOM_ROOT_MISSING, 1);
    return;
  }
  if (length > QXDOM_INPUT_MAX) {
    qxdom_set_error(doc, QXDOM_TOO_LARGE, 1);
    return;
  }
  char *text = buffer;
  unsigned char first = static_cast<unsigned char>(buffer[0]);
  if (first == 0xFE || first == 0xFF) {
    text = qxdom_utf16_to_utf8(reinterpret_cast<unsigned char *>(buffer), length, first == 0xFE, &length);
    if (!text) {
      qxdom_set_error(doc, QXDOM_OUT_OF_MEMORY, 1);
      return;
    }
    doc->pub.converted = text;
  }
  doc->pub.text_start = text;
  doc->pub.text_end = text + length;
  if (!length) {
    qxdom_set_error(doc, QXDOM_ROOT_MISSING, 1);
    return;
  }
  qxdom_parser parser{};
  parser.line_feeds = map_line_feeds(text, length);
  if (!parser.line_feeds) {
    qxdom_set_error(doc, QXDOM_OUT_OF_MEMORY, 1);
    return;
  }
  parser.doc = doc;
  parser.start = text;
  parser.end = text + length - 1;
  parser.last = *parser.end;
  *parser.end = '\0';
  run(&parser);
  free_parser(&parser);
}

qxdom_document *qxdom_parse_memory(char *buffer, size_t length) {
  qxdom_doc *doc = qxdom_doc_new();
  if (!doc) return nullptr;
  qxdom_parse_into(doc, buffer, length);
  return &doc->pub;
}
