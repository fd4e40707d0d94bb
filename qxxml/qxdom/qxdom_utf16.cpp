// Character encodings: UTF-8 output, and the conversion of a UTF-16 input
// into the UTF-8 text that is parsed.
#include <cstring>

#include "qxxml/qxdom/qxdom_private.h"

namespace {

constexpr uint32_t replacement_character = 0xFFFD;

bool is_high_surrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

size_t qxdom_put_utf8(uint32_t code, char *out) {
  if (code < 0x80) {
    out[0] = static_cast<char>(code);
    return 1;
  }
  if (code < 0x800) {
    out[0] = static_cast<char>(0xC0 | (code >> 6));
    out[1] = static_cast<char>(0x80 | (code & 0x3F));
    return 2;
  }
  if (code < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (code >> 12));
    out[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (code & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (code >> 18));
  out[1] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (code & 0x3F));
  return 4;
}

char *qxdom_utf16_to_utf8(const unsigned char *in, size_t length, bool big_endian, size_t *out_length) {
  // The first two bytes are the byte-order mark (whatever the second one
  // is); an odd last byte is no unit. A unit gives at most three bytes and a
  // surrogate pair four, so three bytes per unit always suffice.
  size_t units = length >= 2 ? (length - 2) / 2 : 0;
  char *out = static_cast<char *>(qxdom_malloc(3 * units + 1));
  if (!out) return nullptr;
  const unsigned char *p = in + 2;
  auto unit_at = [&](size_t i) -> uint32_t {
    const unsigned char *u = p + 2 * i;
    return big_endian ? (uint32_t{u[0]} << 8 | u[1]) : (uint32_t{u[1]} << 8 | u[0]);
  };
  size_t n = 0;
  for (size_t i = 0; i < units; i++) {
    uint32_t code = unit_at(i);
    if (is_high_surrogate(code) && i + 1 < units && is_low_surrogate(unit_at(i + 1))) {
      code = (((code & 0x3FF) << 10) | (unit_at(i + 1) & 0x3FF)) + 0x10000;
      i++;
    } else if (is_high_surrogate(code) || is_low_surrogate(code)) {
      code = replacement_character;  // an unpaired surrogate names no character
    }
    n += qxdom_put_utf8(code, out + n);
  }
  out[n] = '\0';
  *out_length = n;
  return out;
}
