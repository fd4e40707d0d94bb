// Decoding of texts and attribute values: line ends, character and entity
// references, whitespace normalisation.
//
// Entity replacement texts are read from a stack of sources instead of being
// spliced into the string, so that every byte is handled once however the
// entities nest. The result is written over the string itself as long as it
// stays behind the unread input; only a text that grows past it is copied
// out into an allocated buffer.
//
// Most of a text needs no decoding at all, so the bytes between two that may
// need it are found with one scan and moved as a whole run; a text without
// any of them is left where it is without a byte written.
#include <cstdlib>
#include <cstring>

#include "qxxml/qxdom/qxdom_private.h"

namespace {

struct decoder {
  qxdom_parser *parser;
  char *start;  // the string being decoded
  char *read;   // its next unread byte
  char *write;  // next byte of the result while it is written in place
  char *heap;   // the result once copied out
  size_t length;
  size_t cap;
  const char *sources[QXDOM_NESTING_MAX];  // replacement texts being read, innermost last
  size_t depth;
};

int digit_value(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (!hex) return -1;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A character reference "&#digits;" or "&#xhex;" at at: its length, with
// its UTF-8 bytes in out. 0 when at holds none; references to 0, to
// surrogates or beyond U+10FFFF name no character and are left as they are.
size_t character_reference(const char *at, char *out, size_t *n) {
  const char *p = at + 2;
  bool hex = *p == 'x';
  if (hex) p++;
  const char *digits = p;
  uint32_t code = 0;
  for (int v; (v = digit_value(*p, hex)) >= 0; p++) {
    if (code <= 0x10FFFF) code = code * (hex ? 16 : 10) + static_cast<uint32_t>(v);
  }
  if (p == digits || *p != ';' || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  *n = qxdom_put_utf8(code, out);
  return static_cast<size_t>(p + 1 - at);
}

void advance(decoder &d, size_t n) {
  if (d.depth)
    d.sources[d.depth - 1] += n;
  else
    d.read += n;
}

// Gives up the result after a failed allocation, which it reports.
bool out_of_memory(decoder &d) {
  qxdom_fail(d.parser, QXDOM_OUT_OF_MEMORY, d.start);
  free(d.heap);
  return false;
}

// Appends n bytes to the result; false after reporting a failed allocation.
// bytes may be a run of the string itself, ahead of write: moved, not copied.
bool emit(decoder &d, const char *bytes, size_t n) {
  if (!d.heap) {
    if (d.write + n <= d.read) {
      if (d.write != bytes) memmove(d.write, bytes, n);
      d.write += n;
      return true;
    }
    size_t done = static_cast<size_t>(d.write - d.start);
    size_t cap = 2 * (done + n + 1);
    if (cap < 64) cap = 64;
    d.heap = static_cast<char *>(qxdom_malloc(cap));
    if (!d.heap) return out_of_memory(d);
    memcpy(d.heap, d.start, done);
    d.length = done;
    d.cap = cap;
  }
  if (d.length + n + 1 > d.cap) {
    // Bounded by the input and QXDOM_EXPANSION_MAX, far below overflow.
    size_t cap = 2 * (d.length + n + 1);
    char *grown = static_cast<char *>(qxdom_realloc(d.heap, cap));
    if (!grown) return out_of_memory(d);
    d.heap = grown;
    d.cap = cap;
  }
  memcpy(d.heap + d.length, bytes, n);
  d.length += n;
  return true;
}

// Starts reading the replacement text of entity index, charging its length
// to the document's expansion budget (the predefined entities only stand for
// one character and cost nothing).
bool push(decoder &d, const qxdom_list *entities, long index, bool predefined) {
  if (d.depth == QXDOM_NESTING_MAX) {
    qxdom_fail(d.parser, QXDOM_NESTING_TOO_DEEP, d.start);
    return false;
  }
  const char *value = entities->items[2 * index + 1];
  if (!predefined) {
    qxdom_doc *doc = d.parser->doc;
    doc->expansion += strlen(value);
    if (doc->expansion > QXDOM_EXPANSION_MAX) {
      qxdom_fail(d.parser, QXDOM_EXPANSION_TOO_LARGE, d.start);
      return false;
    }
  }
  d.sources[d.depth++] = value;
  return true;
}

// The bytes that end a run of a decoding type: those the loop below may
// change (line ends of the document, whitespace of attribute values) and
// those that may start a reference. The zero that ends every string ends a
// run as well.
const char *run_ends(char type) {
  switch (type) {
    case QXDOM_DECODE_CDATA: return "\r";
    case QXDOM_DECODE_ENTITY: return "\r&%";
    case QXDOM_DECODE_CDATA_ATTR:
    case QXDOM_DECODE_TOKEN_ATTR: return "\r&\t\n";
    default: return "\r&";
  }
}

// Removes leading and trailing blanks and makes every run of blanks one.
size_t collapse_blanks(char *s, size_t length) {
  char *out = s;
  bool after_blank = true;
  for (size_t i = 0; i < length; i++) {
    if (s[i] == ' ') {
      if (!after_blank) *out++ = ' ';
      after_blank = true;
    } else {
      *out++ = s[i];
      after_blank = false;
    }
  }
  if (out > s && out[-1] == ' ') out--;
  *out = '\0';
  return static_cast<size_t>(out - s);
}

}  // namespace

size_t qxdom_reference_length(const char *s) {
  size_t n = 0;
  while (s[n] && !strchr(";&%<>\"' \t\r\n", s[n])) n++;
  return n && s[n] == ';' ? n : 0;
}

long qxdom_entity_index(const qxdom_list *entities, const char *name, size_t n) {
  for (size_t i = 0; 2 * i < entities->used; i++) {
    const char *candidate = entities->items[2 * i];
    if (strncmp(candidate, name, n) == 0 && candidate[n] == '\0') return static_cast<long>(i);
  }
  return -1;
}

bool qxdom_decode(qxdom_parser *parser, char *s, char type, qxdom_text *out) {
  // Not value-initialised: the source stack is only read up to depth, and
  // clearing it would cost more than decoding most texts.
  decoder d;
  d.parser = parser;
  d.start = d.read = d.write = s;
  d.heap = nullptr;
  d.length = d.cap = d.depth = 0;
  const bool attribute = type == QXDOM_DECODE_CDATA_ATTR || type == QXDOM_DECODE_TOKEN_ATTR;
  const bool references = type != QXDOM_DECODE_CDATA;
  const bool parameters = type == QXDOM_DECODE_ENTITY;
  const char marker = parameters ? '%' : '&';
  const qxdom_list *entities = parameters ? &parser->parameters : &parser->doc->entities;
  const char *ends = run_ends(type);

  for (;;) {
    const char *at = d.depth ? d.sources[d.depth - 1] : d.read;
    if (size_t run = strcspn(at, ends)) {
      advance(d, run);
      if (!emit(d, at, run)) return false;
      at += run;
    }
    char c = *at;
    if (!c) {
      if (!d.depth) break;
      d.depth--;
      continue;
    }
    char bytes[4];
    size_t n = 0;
    size_t used = 1;
    // Line ends of the document itself; replacement texts were normalised
    // when declared, and a CR they hold came from a character reference.
    if (c == '\r' && !d.depth) {
      c = '\n';
      if (at[1] == '\n') used = 2;
    } else if (references && c == '&' && at[1] == '#') {
      size_t length = character_reference(at, bytes, &n);
      if (length) used = length;
    } else if (references && c == marker) {
      size_t length = qxdom_reference_length(at + 1);
      long index = length ? qxdom_entity_index(entities, at + 1, length) : -1;
      if (index >= 0) {
        advance(d, length + 2);
        if (!push(d, entities, index, !parameters && index < QXDOM_PREDEFINED_ENTITIES)) {
          free(d.heap);
          return false;
        }
        continue;
      }
    }
    advance(d, used);
    // Whitespace in attribute values becomes a blank; a character reference
    // keeps the character it names, so that "&#xA;" survives a round trip.
    if (!n) bytes[n++] = attribute && qxdom_is_space(c) ? ' ' : c;
    if (!emit(d, bytes, n)) return false;
  }

  if (d.heap) {
    d.heap[d.length] = '\0';
    *out = qxdom_text{d.heap, d.length, d.cap, true};
  } else {
    *d.write = '\0';
    *out = qxdom_text{s, static_cast<size_t>(d.write - s), 0, false};
  }
  if (type == QXDOM_DECODE_TOKEN_ATTR) out->length = collapse_blanks(out->str, out->length);
  return true;
}
