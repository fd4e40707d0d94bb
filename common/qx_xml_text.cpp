#include "common/qx_xml_text.h"

#include <limits.h>
#include <string.h>

namespace {

/* The replacement of a byte that XML text cannot carry as it is, or null. */
const char *reference_of(char c) {
  switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    default: return nullptr;
  }
}

const unsigned long kLastCodePoint = 0x10FFFF;
const int kUtf8Max = 4; /* bytes of the longest UTF-8 sequence */
const int kDecimal = 10;
const int kHexadecimal = 16;

/* The predefined references after their '&', each with its character. */
struct NamedReference {
  const char *name;
  char character;
};

const NamedReference kNamedReferences[] = {
    {"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''},
};

/* The characters a document may hold, and so the only ones a character
 * reference may name. */
bool is_xml_char(unsigned long c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= kLastCodePoint);
}

/* The value of `c` as a digit of `base`, or -1. */
int digit_value(char c, int base) {
  if (c >= '0' && c <= '9') return c - '0';
  if (base == kHexadecimal && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (base == kHexadecimal && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/* Writes code point `c` (at most kLastCodePoint) as UTF-8; returns its bytes. */
size_t utf8_encode(unsigned long c, char *out) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

/* Decodes the character reference "&#...;" at the start of `text` (`count`
 * bytes). Returns the bytes it spans, or 0 when it is none that decodes. */
size_t character_reference(const char *text, size_t count, char *decoded, size_t *decoded_length) {
  size_t i = 2; /* after "&#" */
  int base = kDecimal;
  if (i < count && text[i] == 'x') {
    base = kHexadecimal;
    i++;
  }
  const size_t digits_from = i;
  unsigned long value = 0;
  for (; i < count && digit_value(text[i], base) >= 0; i++) {
    /* Beyond the last code point the value only has to stay beyond it. */
    if (value <= kLastCodePoint) value = value * static_cast<unsigned long>(base) + digit_value(text[i], base);
  }
  if (i == digits_from || i >= count || text[i] != ';' || !is_xml_char(value)) return 0;
  *decoded_length = utf8_encode(value, decoded);
  return i + 1;
}

/* Decodes the reference at the start of `text` (`count` bytes, the first of
 * them '&') into `decoded`. Returns the bytes it spans, or 0 when it is none
 * that decodes. */
size_t reference_at(const char *text, size_t count, char *decoded, size_t *decoded_length) {
  if (count > 1 && text[1] == '#') return character_reference(text, count, decoded, decoded_length);
  for (const NamedReference &reference : kNamedReferences) {
    const size_t n = strlen(reference.name);
    if (count - 1 >= n && memcmp(text + 1, reference.name, n) == 0) {
      decoded[0] = reference.character;
      *decoded_length = 1;
      return n + 1;
    }
  }
  return 0;
}

/* Decodes `count` bytes of `text` into `out` (none written when it is null);
 * returns the decoded length. `out` may be `text`: what is written never
 * passes what has been read. */
size_t decode(const char *text, size_t count, char *out) {
  size_t written = 0;
  for (size_t i = 0; i < count;) {
    char decoded[kUtf8Max];
    size_t decoded_length = 0;
    const size_t span = text[i] == '&' ? reference_at(text + i, count - i, decoded, &decoded_length) : 0;
    if (span == 0) {
      if (out) out[written] = text[i];
      written++;
      i++;
      continue;
    }
    if (out) memcpy(out + written, decoded, decoded_length);
    written += decoded_length;
    i += span;
  }
  return written;
}

}  // namespace

int qx_xml_escape(const char *text, int length, char *out, int out_size) {
  if (!text) return -1;
  const size_t count = length < 0 ? strlen(text) : static_cast<size_t>(length);

  /* Measured first, so that a text that does not fit leaves out as it was. */
  size_t needed = 0;
  for (size_t i = 0; i < count && needed < INT_MAX; i++) {
    const char *reference = reference_of(text[i]);
    needed += reference ? strlen(reference) : 1;
  }
  if (needed >= INT_MAX) return -1;
  if (!out) return static_cast<int>(needed);
  if (out_size <= 0 || needed >= static_cast<size_t>(out_size)) return -1;

  char *p = out;
  for (size_t i = 0; i < count; i++) {
    const char *reference = reference_of(text[i]);
    if (reference) {
      const size_t n = strlen(reference);
      memcpy(p, reference, n);
      p += n;
    } else {
      *p++ = text[i];
    }
  }
  *p = '\0';
  return static_cast<int>(needed);
}

int qx_xml_unescape(const char *text, int length, char *out, int out_size) {
  if (!text) return -1;
  const size_t count = length < 0 ? strlen(text) : static_cast<size_t>(length);

  /* Measured first, so that a text that does not fit leaves out as it was. */
  const size_t needed = decode(text, count, nullptr);
  if (needed >= INT_MAX) return -1;
  if (!out) return static_cast<int>(needed);
  if (out_size <= 0 || needed >= static_cast<size_t>(out_size)) return -1;
  decode(text, count, out);
  out[needed] = '\0';
  return static_cast<int>(needed);
}
